#pragma once
// End-to-end tests: the test's own DataService (its prefix on the test run's private MariaDB)
// served over HTTP on a free local port, as the client reaches it.

#include <httplib.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

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
  // Signs the user in through the proxy the windows use.
  void signIn(const std::string& userId, const std::string& password) {
    auto proxy = std::make_unique<TServerMethodsClient>(url);
    ASSERT_TRUE(proxy->CheckLoginUser(userId, password));
    host::SetServerMethods(std::move(proxy));
    host::CurUserInfo().UserID = userId;
  }

  httplib::Server http;
  std::thread thread;
  int port = 0;
  std::string url;
};

// A served service with an owner signed in through the proxy the windows use, on an account set
// of their own; `read` and `one` give the set's rows as "value|value|...".
class OwnerSetFixture : public ServedServiceFixture {
 protected:
  using Rows = std::vector<std::string>;
  void SetUp() override {
    ServedServiceFixture::SetUp();
    const std::string owner = service->CreateUser("店主", "owner pw");
    auto proxy = std::make_unique<TServerMethodsClient>(url);
    ASSERT_TRUE(proxy->CheckLoginUser(owner, "owner pw"));
    host::SetServerMethods(std::move(proxy));
    set = owner + "_01";
    ASSERT_EQ(host::doServerMethods().CreateUserDB("Main", owner, set, "总店", "False"), "0");
    host::CurUserInfo().UserID = owner;
    host::CurUserInfo().UserDBID = set;
  }
  Rows read(const std::string& sql) {
    Rows out;
    for (const Row& r : host::doServerMethods().GetUserDBDataBySql(set, sql).rows) {
      std::string line;
      for (const Value& v : r)
        line.append(line.empty() ? "" : "|").append(v.toText());
      out.push_back(line);
    }
    return out;
  }
  std::string one(const std::string& sql) {
    Rows r = read(sql);
    return r.size() == 1 ? r[0] : "<" + std::to_string(r.size()) + " rows>";
  }
  std::string set;
};

}  // namespace vlt::test
