#pragma once
// The test's own data service answering HTTP on a free loopback port, as the client's proxy
// reaches it.

#include <httplib.h>

#include <chrono>
#include <string>
#include <thread>

#include "http.h"
#include "service_fixture.h"

namespace vlt::server::test {

class ServedFixture : public ServiceFixture {
 protected:
  void SetUp() override {
    ServiceFixture::SetUp();
    HttpSettings h;
    h.maxRequestBytes = 1024 * 1024;
    tuneServer(server, 16);
    mountApi(server, *service, h);
    port = bindServer(server, "127.0.0.1", 0);
    thread = std::thread([this] { server.listen_after_bind(); });
    while (!server.is_running())
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    url = "http://127.0.0.1:" + std::to_string(port);
  }
  void TearDown() override {
    server.stop();
    thread.join();
    ServiceFixture::TearDown();
  }

  httplib::Server server;
  std::thread thread;
  int port = 0;
  std::string url;
};

}  // namespace vlt::server::test
