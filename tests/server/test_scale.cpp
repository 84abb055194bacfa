// Several service instances on one set of databases behave as one service; login IDs past five
// digits; the health check a load balancer asks.

#include <httplib.h>
#include <nlohmann/json.hpp>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include <unistd.h>

#include "health.h"
#include "http.h"
#include "page_text.h"
#include "service_fixture.h"
#include "vlt/sqltext.h"
#include "web.h"

namespace vlt::server {
namespace {

namespace fs = std::filesystem;
using Json = nlohmann::json;

// Both instances sit behind this address: it is what browsers see and send as their origin.
const std::string kPublicUrl = "http://vlt.test";

using test::between;
using test::loginIdOf;
using test::openRegistrationForm;

// One running instance: its own service object (own pool, caches and memory) and HTTP server.
struct Instance {
  std::unique_ptr<DataService> service;
  httplib::Server server;
  std::thread thread;
  std::string url;

  void start(ServiceSettings settings, WebSettings web) {
    service = std::make_unique<DataService>(settings);
    service->prepare();
    tuneServer(server, 8);
    mountHealth(server, *service);
    mountApi(server, *service);
    mountWeb(server, *service, web);
    url = "http://127.0.0.1:" + std::to_string(bindServer(server, "127.0.0.1", 0));
    thread = std::thread([this] { server.listen_after_bind(); });
    while (!server.is_running())
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  ~Instance() {
    if (thread.joinable()) {
      server.stop();
      thread.join();
    }
  }

  httplib::Result api(const std::string& op, const Json& body, const std::string& token = {}) {
    httplib::Client c(url);
    httplib::Headers h;
    if (!token.empty()) h.emplace("Authorization", "Bearer " + token);
    return c.Post(("/api/" + op).c_str(), h, body.dump(), "application/json");
  }
};

// A browser holding the form cookie of the site, whichever instance answered.
struct Browser {
  std::string cookie;

  std::string openForm(Instance& at) { return openRegistrationForm(at.url, cookie); }

  httplib::Result post(Instance& at, const std::string& token, const std::string& nick,
                       httplib::Headers h = {}) {
    httplib::Client c(at.url);
    h.emplace("Origin", kPublicUrl);
    h.emplace("Cookie", cookie);
    return c.Post("/reg.htm", h,
                  "token=" + token + "&nick=" + nick + "&password=secret1&password2=secret1",
                  "application/x-www-form-urlencoded");
  }
};

// Two instances on the test's databases, as a load balancer would have them.
class TwoInstances : public test::ServiceFixture {
 protected:
  void start(int registrationsPerHour = 100, std::vector<std::string> trustedProxies = {}) {
    ServiceSettings s;
    s.admin = test::rootEndpoint();
    s.prefix = prefix;
    s.fastHashing = true;
    WebSettings web;
    web.publicUrl = kPublicUrl;
    web.registrationsPerHour = registrationsPerHour;
    web.trustedProxies = std::move(trustedProxies);
    // No secret configured: the instances must still accept each other's forms.
    instanceA->start(s, web);
    instanceB->start(s, web);
  }
  void TearDown() override {
    instanceA.reset();
    instanceB.reset();
    ServiceFixture::TearDown();
  }

  long long users() {
    DbEndpoint e = test::rootEndpoint();
    e.database = prefix + "_sys";
    return std::stoll(*Connection::open(e)->scalar("SELECT COUNT(*) FROM sys_mainuserbaseinfo"));
  }

  std::unique_ptr<Instance> instanceA = std::make_unique<Instance>();
  std::unique_ptr<Instance> instanceB = std::make_unique<Instance>();
  Instance& a = *instanceA;
  Instance& b = *instanceB;
};

TEST_F(TwoInstances, AFormIsUsedOnceWhicheverInstanceItReaches) {
  start();
  Browser browser;
  const long long before = users();

  // Shown by one instance, posted to the other, posted again to the first (a reload after the
  // balancer switched): one account, and the repeat shows its login ID.
  const std::string token = browser.openForm(a);
  auto first = browser.post(b, token, "first");
  ASSERT_TRUE(first);
  ASSERT_EQ(first->status, 200) << first->body;
  const std::string id = loginIdOf(first->body);
  ASSERT_FALSE(id.empty());
  auto again = browser.post(a, token, "first");
  ASSERT_TRUE(again);
  EXPECT_EQ(again->status, 200);
  EXPECT_EQ(loginIdOf(again->body), id);
  EXPECT_NE(again->body.find("id=\"repeat-notice\""), std::string::npos);
  EXPECT_EQ(users(), before + 1);

  // A refused form is used up on the other instance too.
  const std::string refused = browser.openForm(b);
  ASSERT_EQ(browser.post(b, refused, "")->status, 422);
  auto resent = browser.post(a, refused, "second");
  ASSERT_TRUE(resent);
  EXPECT_EQ(resent->status, 409);
  EXPECT_EQ(users(), before + 1);

  // The same form sent to both at once (a double click split by the balancer), several times:
  // each form makes one account, and both answers name it.
  for (int round = 0; round < 4; ++round) {
    const std::string t = browser.openForm(round % 2 ? a : b);
    std::string pageA, pageB;
    std::thread ta([&] {
      auto r = browser.post(a, t, "both");
      pageA = r ? r->body : "";
    });
    std::thread tb([&] {
      auto r = browser.post(b, t, "both");
      pageB = r ? r->body : "";
    });
    ta.join();
    tb.join();
    SCOPED_TRACE(round);
    EXPECT_FALSE(loginIdOf(pageA).empty()) << pageA;
    EXPECT_EQ(loginIdOf(pageA), loginIdOf(pageB));
    EXPECT_EQ(users(), before + 2 + round);
  }
}

TEST_F(TwoInstances, TheHourlyAllowanceOfAnAddressIsCountedAcrossInstances) {
  start(3);
  const long long before = users();
  // Eight forms sent at once, half to each instance, from one address: three accounts.
  std::vector<Browser> browsers(8);
  std::vector<std::string> tokens;
  for (std::size_t i = 0; i < browsers.size(); ++i)
    tokens.push_back(browsers[i].openForm(i % 2 ? a : b));
  std::atomic<int> made{0}, refused{0}, other{0};
  std::vector<std::thread> senders;
  for (std::size_t i = 0; i < browsers.size(); ++i)
    senders.emplace_back([&, i] {
      auto r =
          browsers[i].post(i % 2 ? b : a, tokens[i], std::string("n").append(std::to_string(i)));
      int status = r ? r->status : 0;
      (status == 200 ? made : status == 429 ? refused : other)++;
    });
  for (auto& t : senders)
    t.join();
  EXPECT_EQ(made.load(), 3);
  EXPECT_EQ(refused.load(), 5);
  EXPECT_EQ(other.load(), 0);
  EXPECT_EQ(users(), before + 3);
  // Used up on both.
  for (Instance* at : {&a, &b}) {
    Browser late;
    auto r = late.post(*at, late.openForm(*at), "late");
    ASSERT_TRUE(r);
    EXPECT_EQ(r->status, 429);
  }
}

TEST_F(TwoInstances, BehindTheBalancerEachBrowserAddressHasItsOwnAllowance) {
  // The balancer is 127.0.0.1; one account per address and hour.
  start(1, {"127.0.0.1"});
  struct Row {
    std::vector<std::string> forwardedFor;  // X-Forwarded-For headers, in order
    int status;
  };
  const std::vector<Row> rows = {
      {{"198.51.100.1"}, 200},
      {{"2001:db8::2"}, 200},
      {{"198.51.100.1"}, 429},
      // What the browser sent itself comes first; the balancer's own entry counts.
      {{"198.51.100.7", "2001:db8::2"}, 429},
      {{"198.51.100.7, 198.51.100.3"}, 200},
      // Not an address: the balancer's own address is counted.
      {{"<script>"}, 200},
      {{}, 429},
  };
  for (std::size_t i = 0; i < rows.size(); ++i) {
    SCOPED_TRACE(i);
    httplib::Headers h;
    for (const std::string& f : rows[i].forwardedFor)
      h.emplace("X-Forwarded-For", f);
    Instance& at = i % 2 ? a : b;
    Browser browser;
    auto r = browser.post(at, browser.openForm(at), std::string("p").append(std::to_string(i)), h);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->status, rows[i].status);
  }
}

TEST_F(TwoInstances, ARegistrationTheDatabaseFailsMakesNothingAndEndsTheForm) {
  start();
  DbEndpoint e = test::rootEndpoint();
  e.database = prefix + "_auth";
  auto root = Connection::open(e);
  root->execute("DROP TABLE auth_registration");  // the allowance cannot be counted
  const long long before = users();
  Browser browser;
  const std::string token = browser.openForm(a);
  auto r = browser.post(a, token, "broken");
  ASSERT_TRUE(r);
  EXPECT_EQ(r->status, 500);
  EXPECT_NE(r->body.find("注册没有完成"), std::string::npos);
  EXPECT_EQ(users(), before);
  // Recorded as refused, so a repeat on either instance answers at once instead of waiting.
  EXPECT_EQ(root->scalar("SELECT State FROM auth_form_use WHERE Nonce = " +
                         quotedStr(token.substr(0, token.find('.')))),
            "refused");
  auto again = browser.post(b, token, "broken");
  ASSERT_TRUE(again);
  EXPECT_EQ(again->status, 409);
}

TEST_F(TwoInstances, ASignOutOnOneInstanceEndsTheSessionOnTheOther) {
  start();
  const std::string id = service->CreateUser("signed in", "secret 1");
  auto login = a.api("CheckLoginUser", {{"UserID", id}, {"Password", "secret 1"}});
  ASSERT_TRUE(login);
  const std::string token = Json::parse(login->body).value("token", "");
  ASSERT_FALSE(token.empty()) << login->body;
  // Both instances know the session (and keep it in their caches).
  for (Instance* at : {&a, &b}) {
    auto r = at->api("GetRegisUserInfo", {{"UserID", id}}, token);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->status, 200) << r->body;
  }
  auto out = b.api("Logout", Json::object(), token);
  ASSERT_TRUE(out);
  EXPECT_EQ(out->status, 200);
  // Refused on the instance that signed out at once, on the other shortly after.
  EXPECT_EQ(b.api("GetRegisUserInfo", {{"UserID", id}}, token)->status, 401);
  int status = 0;
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (status != 401 && std::chrono::steady_clock::now() < until) {
    auto r = a.api("GetRegisUserInfo", {{"UserID", id}}, token);
    status = r ? r->status : 0;
    if (status != 401) std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  EXPECT_EQ(status, 401);
}

// ---- login IDs past five digits ----

class LoginIds : public test::ServiceFixture {
 protected:
  void rootExecute(const std::string& database, const std::string& sql) {
    DbEndpoint e = test::rootEndpoint();
    e.database = prefix + "_" + database;
    Connection::open(e)->query(sql);
  }
};

TEST_F(LoginIds, GoOnPastFiveDigitsAndOwnOnlyTheirOwnSets) {
  // The last five-digit IDs are taken, the next one has six digits.
  rootExecute("auth", "SELECT SETVAL(auth_loginid_seq, 99997)");
  std::vector<std::string> ids;
  for (int i = 0; i < 3; ++i)
    ids.push_back(service->CreateUser("u" + std::to_string(i), "secret " + std::to_string(i)));
  EXPECT_EQ(ids, (std::vector<std::string>{"99998", "99999", "100000"}));
  ASSERT_TRUE(service->CheckLoginUser("100000", "secret 2", "127.0.0.1"));

  // 10000 (the lowest ID) is the six-digit user's prefix.
  rootExecute("sys", "INSERT INTO sys_mainuserbaseinfo (UserID, NickName) VALUES (10000, 'low')");
  service->auth().setPassword("10000", "secret low");
  const Caller low{"10000", "127.0.0.1"}, high{"100000", "127.0.0.1"};
  ASSERT_EQ(service->CreateUserDB(low, "10000", "10000_01", "low's", "True"), "0");
  ASSERT_EQ(service->CreateUserDB(high, "100000", "100000_01", "high's", "True"), "0");

  struct Row {
    const Caller* caller;
    std::string setId;
    bool reaches;
  };
  const std::vector<Row> rows = {
      {&low, "10000_01", true},
      {&low, "100000_01", false},
      {&high, "100000_01", true},
      {&high, "10000_01", false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.caller->userId + " -> " + row.setId);
    if (row.reaches) {
      EXPECT_NO_THROW(service->GetUserDBDataBySql(*row.caller, row.setId, "SELECT 1"));
      // Named in the system database's SQL as well.
      EXPECT_NO_THROW(service->GetSysMainDBDataBySql(
          *row.caller, row.caller->userId, "SELECT COUNT(*) FROM " + row.setId + ".ts_userpower"));
    } else {
      EXPECT_THROW(service->GetUserDBDataBySql(*row.caller, row.setId, "SELECT 1"), AccessDenied);
      EXPECT_THROW(
          service->GetSysMainDBDataBySql(*row.caller, row.caller->userId,
                                         "SELECT COUNT(*) FROM " + row.setId + ".ts_userpower"),
          AccessDenied);
    }
  }
  // A set of another owner's ID cannot be made, whichever is the longer.
  EXPECT_THROW(service->CreateUserDB(low, "10000", "100000_02", "x", "False"), BadRequest);
  EXPECT_THROW(service->CreateUserDB(high, "100000", "10000_02", "x", "False"), BadRequest);
  // Each sees its own set in the system database's list.
  for (const Caller* c : {&low, &high}) {
    Packet sets =
        service->GetSysMainDBDataBySql(*c, c->userId, "SELECT UserDBID FROM userdatabase");
    ASSERT_EQ(sets.rows.size(), 1u);
    EXPECT_EQ(sets.rows[0][0].toText(), c->userId + "_01");
  }
}

// ---- the health check ----

// A database server of its own, so that the test can stop it under a running service.
TEST(Health, AnswersOnlyWhileTheDatabasesDo) {
  const fs::path folder = fs::temp_directory_path() / ("vlt-health-" + std::to_string(::getpid()));
  fs::remove_all(folder);
  PrivateMariaDb db({.folder = folder, .tcpPort = 0, .extraArgs = ""});
  db.initialise();
  db.start();
  ServiceSettings s;
  s.admin.socket = db.socketPath();
  s.admin.user = "root";
  s.fastHashing = true;
  Instance at;
  at.start(s, WebSettings{});
  auto health = [&] {
    httplib::Client c(at.url);
    auto r = c.Get("/health");
    return r ? r->status : 0;
  };
  // Waits for an expected answer: a connection that died with the server is noticed on use.
  auto settlesAt = [&](int expected) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    int got = health();
    while (got != expected && std::chrono::steady_clock::now() < until) {
      std::this_thread::sleep_for(std::chrono::milliseconds(200));
      got = health();
    }
    return got;
  };

  EXPECT_EQ(health(), 200);
  db.stop();
  EXPECT_EQ(health(), 503);
  EXPECT_EQ(health(), 503);
  db.start();
  EXPECT_EQ(settlesAt(200), 200);
  {
    httplib::Client c(at.url);
    auto r = c.Get("/health");
    ASSERT_TRUE(r);
    EXPECT_EQ(r->get_header_value("Cache-Control"), "no-store");
  }
  at.server.stop();
  at.thread.join();
  db.stop();
  fs::remove_all(folder);
}

}  // namespace
}  // namespace vlt::server
