#pragma once
// End-to-end tests: the test's own DataService (its prefix on the test run's private MariaDB)
// served over HTTP on a free local port, as the client reaches it.

#include <httplib.h>

#include <chrono>
#include <string>
#include <thread>

#include "../server/service_fixture.h"
#include "http.h"
#include "vlt/host.h"

namespace vlt::test {

class ServedServiceFixture : public server::test::ServiceFixture {
 protected:
  void SetUp() override {
    ServiceFixture::SetUp();
    server::tuneServer(http, 4);
    server::mountApi(http, *service, server::HttpSettings{});
    port = server::bindServer(http, "127.0.0.1", 0);
    url = "http://127.0.0.1:" + std::to_string(port);
    mountMore();
    thread = std::thread([this] { http.listen_after_bind(); });
    while (!http.is_running())
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  void TearDown() override {
    host::SetServerMethods(nullptr);
    http.stop();
    thread.join();
    ServiceFixture::TearDown();
  }
  // Further routes, mounted once `url` is known and before the server listens.
  virtual void mountMore() {}

  httplib::Server http;
  std::thread thread;
  int port = 0;
  std::string url;
};

}  // namespace vlt::test
