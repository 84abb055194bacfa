#include <httplib.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "http.h"
#include "page_text.h"
#include "service_fixture.h"
#include "web.h"

namespace vlt::server {
namespace {

namespace fs = std::filesystem;

using test::between;
using test::loginIdOf;
using test::openRegistrationForm;

std::string formEncode(const std::string& s) {
  static const char* hex = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : s) {
    if (std::isalnum(c) || c == '-' || c == '_' || c == '.') {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += hex[c >> 4];
      out += hex[c & 15];
    }
  }
  return out;
}

// The site and the API on a free loopback port, with a clock the test moves.
class WebTest : public test::ServiceFixture {
 protected:
  void start(WebSettings web = {}) {
    tuneServer(server, 8);
    mountApi(server, *service);
    port = bindServer(server, "127.0.0.1", 0);
    url = "http://127.0.0.1:" + std::to_string(port);
    if (web.publicUrl.empty()) web.publicUrl = url;
    web.now = [this] {
      return std::chrono::system_clock::now() + std::chrono::seconds(clockShift.load());
    };
    mountWeb(server, *service, web);
    thread = std::thread([this] { server.listen_after_bind(); });
    while (!server.is_running())
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  void TearDown() override {
    if (thread.joinable()) {
      server.stop();
      thread.join();
    }
    ServiceFixture::TearDown();
  }

  httplib::Result get(const std::string& path, httplib::Headers headers = {}) {
    httplib::Client c(url);
    return c.Get(path.c_str(), headers);
  }

  long long users() {
    DbEndpoint e = test::rootEndpoint();
    e.database = prefix + "_sys";
    return std::stoll(*Connection::open(e)->scalar("SELECT COUNT(*) FROM sys_mainuserbaseinfo"));
  }

  httplib::Server server;
  std::thread thread;
  int port = 0;
  std::string url;
  std::atomic<long long> clockShift{0};
};

// One browser: its form cookie, and the registration form as the page gave it.
struct Browser {
  std::string url;
  std::string cookie;  // "vlt_form=..."

  // Opens reg.htm and returns the form's token.
  std::string openForm() { return openRegistrationForm(url, cookie); }

  httplib::Result post(const std::string& token, const std::string& nick, const std::string& pw,
                       const std::string& pw2, httplib::Headers headers = {},
                       const std::string& type = "application/x-www-form-urlencoded") {
    if (!headers.count("Origin") && !headers.count("Referer")) headers.emplace("Origin", url);
    if (!cookie.empty() && !headers.count("Cookie")) headers.emplace("Cookie", cookie);
    // An empty value stands for a header left out.
    for (auto it = headers.begin(); it != headers.end();)
      it = it->second.empty() ? headers.erase(it) : std::next(it);
    std::string body = "token=" + formEncode(token) + "&nick=" + formEncode(nick) +
                       "&password=" + formEncode(pw) + "&password2=" + formEncode(pw2);
    httplib::Client c(url);
    return c.Post("/reg.htm", headers, body, type.c_str());
  }

  httplib::Result registerAs(const std::string& nick, const std::string& pw) {
    return post(openForm(), nick, pw, pw);
  }
};

TEST_F(WebTest, PagesAndAssetsAreServedWithTheirTypesAndCaching) {
  start();
  struct Row {
    std::string path;
    int status;
    std::string type, cache, contains;
  };
  const std::vector<Row> rows = {
      {"/", 200, "text/html; charset=utf-8", "no-cache", "小店的云端进销存"},
      {"/index.htm", 200, "text/html; charset=utf-8", "no-cache", "免费注册帐号"},
      {"/reg.htm", 200, "text/html; charset=utf-8", "no-store", "name=\"password2\""},
      {"/download.htm", 200, "text/html; charset=utf-8", "no-cache", "id=\"no-package\""},
      {"/shop.htm", 200, "text/html; charset=utf-8", "no-cache", "NXQ商城"},
      {"/support.htm", 200, "text/html; charset=utf-8", "no-cache", "400-000-0000"},
      {"/assets/site.css", 200, "text/css; charset=utf-8", "public, max-age=3600", "--accent"},
      {"/assets/site.js", 200, "text/javascript; charset=utf-8", "public, max-age=3600",
       "reg-form"},
      {"/assets/logo.svg", 200, "image/svg+xml", "public, max-age=3600", "<svg"},
      {"/nothing.htm", 404, "text/html; charset=utf-8", "no-store", "href=\"assets/site.css\""},
      // Below a folder that does not exist the links still reach the site's files.
      {"/a/b/c", 404, "text/html; charset=utf-8", "no-store", "href=\"../../assets/site.css\""},
      {"/assets/missing.css", 404, "text/html; charset=utf-8", "no-store", "找不到这个页面"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.path);
    auto r = get(row.path);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->status, row.status);
    EXPECT_EQ(r->get_header_value("Content-Type"), row.type);
    EXPECT_EQ(r->get_header_value("Cache-Control"), row.cache);
    EXPECT_EQ(r->get_header_value("X-Content-Type-Options"), "nosniff");
    EXPECT_NE(r->body.find(row.contains), std::string::npos);
    EXPECT_EQ(r->body.find("{{"), std::string::npos) << "a template tag was left";
    if (row.type.rfind("text/html", 0) == 0) {
      EXPECT_NE(r->get_header_value("Content-Security-Policy").find("script-src 'self'"),
                std::string::npos);
    }
    // What may be cached is revalidated by its ETag.
    std::string tag = r->get_header_value("ETag");
    if (row.cache != "no-store") {
      ASSERT_FALSE(tag.empty());
      auto again = get(row.path, {{"If-None-Match", tag}});
      ASSERT_TRUE(again);
      EXPECT_EQ(again->status, 304);
      EXPECT_TRUE(again->body.empty());
    } else {
      EXPECT_TRUE(tag.empty());
    }
  }
}

TEST_F(WebTest, ARegisteredUserSignsInWithTheLoginIdThePageShows) {
  start();
  Browser b{url, {}};
  auto r = b.registerAs("  王记杂货  ", "secret 1");
  ASSERT_TRUE(r);
  EXPECT_EQ(r->status, 200);
  const std::string id = loginIdOf(r->body);
  ASSERT_TRUE(std::regex_match(id, std::regex(R"(\d{5})"))) << r->body;
  EXPECT_NE(r->body.find(">王记杂货</span>，欢迎"), std::string::npos)
      << "blanks around the name are dropped";
  EXPECT_EQ(r->get_header_value("Cache-Control"), "no-store");

  EXPECT_FALSE(service->CheckLoginUser(id, "secret", "127.0.0.1"));
  auto session = service->CheckLoginUser(id, "secret 1", "127.0.0.1");
  ASSERT_TRUE(session);
  Packet info = service->GetRegisUserInfo(Caller{id, "127.0.0.1"}, id);
  ASSERT_EQ(info.rows.size(), 1u);
  EXPECT_EQ(info.rows[0][0].toText(), "王记杂货");
  // The same account as the administrator's command makes: the user's own data works at once.
  Caller c{id, "127.0.0.1"};
  EXPECT_EQ(service->CreateUserDB(c, id, id + "_01", "总店", "True"), "0");

  // Through the API as the client signs in.
  httplib::Client api(url);
  auto login =
      api.Post("/api/CheckLoginUser", "{\"UserID\":\"" + id + "\",\"Password\":\"secret 1\"}",
               "application/json");
  ASSERT_TRUE(login);
  EXPECT_NE(login->body.find("\"result\":true"), std::string::npos);
}

TEST_F(WebTest, EachBadFieldIsNamedAndNoAccountIsMade) {
  start();
  struct Row {
    const char* what;
    std::string nick, pw, pw2;
    std::string message;
  };
  const std::vector<Row> rows = {
      {"empty nickname", "", "secret1", "secret1", "请输入昵称。"},
      {"blank nickname", " \t\u3000 ", "secret1", "secret1", "请输入昵称。"},
      {"10,000 characters", std::string(10000, 'x'), "secret1", "secret1",
       "昵称不能超过120个字（现在是10000个字）。"},
      {"121 Chinese characters",
       [] {
         std::string s;
         for (int i = 0; i < 121; ++i)
           s += "店";
         return s;
       }(),
       "secret1", "secret1", "昵称不能超过120个字（现在是121个字）。"},
      {"line break", "王\n记", "secret1", "secret1", "昵称不能包含换行、制表符等控制字符。"},
      {"not UTF-8", "\xff\xfe", "secret1", "secret1", "昵称含有无法识别的字符，请重新输入。"},
      {"overlong UTF-8", "\xc0\xaf", "secret1", "secret1", "昵称含有无法识别的字符，请重新输入。"},
      {"empty password", "小王", "", "", "请输入密码。"},
      {"short password", "小王", "12345", "12345", "密码至少需要6个字符。"},
      {"long password", "小王", std::string(129, 'p'), std::string(129, 'p'),
       "密码不能超过128个字符。"},
      {"control character in password", "小王", "secret\x01", "secret\x01",
       "密码含有无法识别的字符或控制字符，请重新输入。"},
      {"no confirmation", "小王", "secret1", "", "请再次输入密码。"},
      {"mismatch", "小王", "secret1", "secret2", "两次输入的密码不一致。"},
  };
  Browser b{url, {}};
  const long long before = users();
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    auto r = b.post(b.openForm(), row.nick, row.pw, row.pw2);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->status, 422);
    EXPECT_NE(r->body.find(row.message), std::string::npos);
    EXPECT_NE(r->body.find("请按提示修改后再提交。"), std::string::npos);
    // A fresh form comes back, passwords never.
    EXPECT_FALSE(between(r->body, "name=\"token\" value=\"", "\"").empty());
    EXPECT_EQ(r->body.find("value=\"" + row.pw + "\""), std::string::npos);
  }
  // Far past any nickname: not read to the end, refused as a whole.
  auto huge = b.post(b.openForm(), std::string(300000, 'x'), "secret1", "secret1");
  ASSERT_TRUE(huge);
  EXPECT_EQ(huge->status, 413);
  EXPECT_NE(huge->body.find("提交的内容过长"), std::string::npos);
  EXPECT_EQ(users(), before);

  // The limits themselves are allowed: 120 characters, 6-character password.
  std::string longest;
  for (int i = 0; i < 120; ++i)
    longest += "店";
  auto r = b.registerAs(longest, "123456");
  ASSERT_TRUE(r);
  EXPECT_EQ(r->status, 200);
  Packet info = service->GetRegisUserInfo(Caller{"x", ""}, loginIdOf(r->body));
  ASSERT_EQ(info.rows.size(), 1u);
  EXPECT_EQ(info.rows[0][0].toText(), longest);
}

TEST_F(WebTest, UserTextIsEscapedWhereverItIsShown) {
  start();
  const std::string nick = "<script>alert(1)</script>\"'&amp;";
  const std::string escaped = "&lt;script&gt;alert(1)&lt;/script&gt;&quot;&#39;&amp;amp;";
  Browser b{url, {}};
  // Shown back in the form (a refusal) and on the result page.
  auto refused = b.post(b.openForm(), nick, "123", "123");
  ASSERT_TRUE(refused);
  EXPECT_EQ(refused->status, 422);
  EXPECT_NE(refused->body.find("value=\"" + escaped + "\""), std::string::npos);
  EXPECT_EQ(refused->body.find("<script>alert"), std::string::npos);

  auto done = b.registerAs(nick, "secret1");
  ASSERT_TRUE(done);
  EXPECT_EQ(done->status, 200);
  EXPECT_NE(done->body.find(">" + escaped + "</span>"), std::string::npos);
  EXPECT_EQ(done->body.find("<script>alert"), std::string::npos);
  // Stored as typed: escaping belongs to the page, not to the data.
  Packet info = service->GetRegisUserInfo(Caller{"x", ""}, loginIdOf(done->body));
  ASSERT_EQ(info.rows.size(), 1u);
  EXPECT_EQ(info.rows[0][0].toText(), nick);
}

TEST_F(WebTest, PostsThatDoNotComeFromTheSitesOwnFormAreRefused) {
  start();
  struct Row {
    const char* what;
    std::function<void(std::string& token, httplib::Headers& h, std::string& type)> change;
    int status;
  };
  const std::vector<Row> rows = {
      {"from the site itself", [](auto&, auto&, auto&) {}, 200},
      {"Referer of the site without Origin",
       [this](auto&, auto& h, auto&) { h.emplace("Referer", url + "/reg.htm"); }, 200},
      {"another site's Origin",
       [](auto&, auto& h, auto&) { h.emplace("Origin", "http://evil.example"); }, 403},
      {"same host, another port",
       [](auto&, auto& h, auto&) { h.emplace("Origin", "http://127.0.0.1:1"); }, 403},
      {"Origin null (a sandboxed or data: page)",
       [](auto&, auto& h, auto&) { h.emplace("Origin", "null"); }, 403},
      {"another site's Referer",
       [](auto&, auto& h, auto&) { h.emplace("Referer", "http://evil.example/reg.htm"); }, 403},
      {"neither Origin nor Referer", [](auto&, auto& h, auto&) { h.emplace("Origin", ""); }, 403},
      {"no cookie", [](auto&, auto& h, auto&) { h.emplace("Cookie", "other=1"); }, 403},
      {"another browser's cookie",
       [](auto&, auto& h, auto&) { h.emplace("Cookie", "vlt_form=" + std::string(64, 'a')); }, 403},
      {"no token", [](auto& t, auto&, auto&) { t.clear(); }, 403},
      {"token with a changed time",
       [](auto& t, auto&, auto&) {
         std::size_t dot = t.find('.');
         t[dot + 1] = t[dot + 1] == '1' ? '2' : '1';
       },
       403},
      {"token with a changed signature",
       [](auto& t, auto&, auto&) { t.back() = t.back() == '0' ? '1' : '0'; }, 403},
      {"plain-text body", [](auto&, auto&, auto& type) { type = "text/plain"; }, 403},
      {"multipart body", [](auto&, auto&, auto& type) { type = "multipart/form-data; boundary=x"; },
       403},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    Browser b{url, {}};
    std::string token = b.openForm();
    httplib::Headers h;
    std::string type = "application/x-www-form-urlencoded";
    row.change(token, h, type);
    const long long before = users();
    auto r = b.post(token, "小李", "secret1", "secret1", h, type);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->status, row.status);
    EXPECT_EQ(users(), before + (row.status == 200 ? 1 : 0));
    if (row.status == 403) {
      EXPECT_NE(r->body.find("无法确认这次提交"), std::string::npos);
    }
  }
}

TEST_F(WebTest, AFormMakesOneAccountHoweverOftenItIsSent) {
  WebSettings w;
  w.registrationsPerHour = 10;
  start(w);
  Browser b{url, {}};
  const std::string token = b.openForm();
  const long long before = users();
  // Sent twice at once (a double click) and once more later (a reload).
  std::vector<std::string> pages(2);
  std::vector<std::thread> senders;
  for (auto& page : pages)
    senders.emplace_back([&b, &token, &page] {
      auto r = b.post(token, "小张", "secret1", "secret1");
      page = r ? r->body : "";
    });
  for (auto& t : senders)
    t.join();
  auto later = b.post(token, "小张", "secret1", "secret1");
  ASSERT_TRUE(later);
  EXPECT_EQ(users(), before + 1);
  const std::string id = loginIdOf(later->body);
  ASSERT_FALSE(id.empty());
  EXPECT_NE(later->body.find("id=\"repeat-notice\""), std::string::npos);
  for (const auto& page : pages)
    EXPECT_EQ(loginIdOf(page), id);

  // A refused form is used up as well: sent again it asks for a fresh start.
  const std::string refusedToken = b.openForm();
  auto refused = b.post(refusedToken, "", "secret1", "secret1");
  ASSERT_TRUE(refused);
  EXPECT_EQ(refused->status, 422);
  auto again = b.post(refusedToken, "小赵", "secret1", "secret1");
  ASSERT_TRUE(again);
  EXPECT_EQ(again->status, 409);
  EXPECT_NE(again->body.find("这份表单已经提交过了"), std::string::npos);
  EXPECT_EQ(users(), before + 1);
}

TEST_F(WebTest, AnOldFormIsShownAgainWithTheNicknameKept) {
  WebSettings w;
  w.formLifetime = std::chrono::minutes(30);
  start(w);
  Browser b{url, {}};
  const std::string token = b.openForm();
  clockShift = 31 * 60;
  const long long before = users();
  auto r = b.post(token, "老陈", "secret1", "secret1");
  ASSERT_TRUE(r);
  EXPECT_EQ(r->status, 200);
  EXPECT_NE(r->body.find("页面停留时间过长"), std::string::npos);
  EXPECT_NE(r->body.find("value=\"老陈\""), std::string::npos);
  EXPECT_EQ(users(), before);
  // The fresh form it shows works.
  auto fresh =
      b.post(between(r->body, "name=\"token\" value=\"", "\""), "老陈", "secret1", "secret1");
  ASSERT_TRUE(fresh);
  EXPECT_FALSE(loginIdOf(fresh->body).empty());
}

TEST_F(WebTest, OneAddressRegistersOnlyAFewAccountsAnHour) {
  WebSettings w;
  w.registrationsPerHour = 2;
  start(w);
  Browser b{url, {}};
  // Refused forms do not count.
  ASSERT_EQ(b.post(b.openForm(), "", "secret1", "secret1")->status, 422);
  EXPECT_EQ(b.registerAs("一号", "secret1")->status, 200);
  EXPECT_EQ(b.registerAs("二号", "secret1")->status, 200);
  const long long before = users();
  auto third = b.registerAs("三号", "secret1");
  ASSERT_TRUE(third);
  EXPECT_EQ(third->status, 429);
  EXPECT_NE(third->body.find("一小时内最多注册2个帐号"), std::string::npos);
  EXPECT_EQ(users(), before);
  clockShift = 3601;
  EXPECT_EQ(b.registerAs("三号", "secret1")->status, 200);
}

TEST_F(WebTest, SupportShopAndDownloadFollowTheSettings) {
  const fs::path package = fs::temp_directory_path() / ("vlt-setup-" + prefix + ".exe");
  std::ofstream(package, std::ios::binary) << std::string(300000, 'z');
  WebSettings w;
  w.supportUrl = "https://chat.example/vlt";
  w.shopUrl = "https://shop.example/";
  w.clientPackage = package.string();
  start(w);
  for (auto [path, target] : {std::pair<std::string, std::string>{"/support.htm", w.supportUrl},
                              {"/shop.htm", w.shopUrl}}) {
    auto r = get(path);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->status, 302);
    EXPECT_EQ(r->get_header_value("Location"), target);
  }
  auto page = get("/download.htm");
  ASSERT_TRUE(page);
  const std::string name = package.filename().string();
  EXPECT_NE(page->body.find("href=\"download/" + name + "\""), std::string::npos);
  EXPECT_NE(page->body.find("大小 293 KB"), std::string::npos);
  auto file = get("/download/" + name);
  ASSERT_TRUE(file);
  EXPECT_EQ(file->status, 200);
  EXPECT_EQ(file->body, std::string(300000, 'z'));
  EXPECT_EQ(file->get_header_value("Content-Disposition"), "attachment; filename=\"" + name + "\"");
  EXPECT_EQ(get("/download/other.exe")->status, 404);
  fs::remove(package);
  EXPECT_NE(get("/download.htm")->body.find("id=\"no-package\""), std::string::npos);
  EXPECT_EQ(get("/download/" + name)->status, 404);
}

TEST_F(WebTest, TheVersionRowPointsAtThisSitesDownloadPage) {
  DbEndpoint e = test::rootEndpoint();
  e.database = prefix + "_sys";
  auto db = Connection::open(e);
  auto stored = [&] {
    return *db->scalar("SELECT DownLoadURL FROM sys_autoupdateinfo WHERE id = -99");
  };
  struct Row {
    std::string before;
    bool replaceAny;
    std::string after;
  };
  const std::string mine = "http://10.0.0.5:8700/download.htm";
  const std::vector<Row> rows = {
      {"http://localhost:8080/download/", false, mine},  // the schema's placeholder
      {"", false, mine},
      {"http://127.0.0.1:41234/download.htm", false, mine},  // an earlier start on another port
      {"https://files.example/vlt-setup.exe", false, "https://files.example/vlt-setup.exe"},
      {"https://files.example/vlt-setup.exe", true, mine},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.before);
    db->execute("UPDATE sys_autoupdateinfo SET DownLoadURL = '" + row.before + "' WHERE id = -99");
    publishDownloadAddress(test::rootEndpoint(), prefix + "_sys", mine, row.replaceAny);
    EXPECT_EQ(stored(), row.after);
  }
  EXPECT_EQ(defaultPublicUrl("127.0.0.1", 8700, false), "http://127.0.0.1:8700");
  EXPECT_EQ(defaultPublicUrl("::1", 443, true), "https://[::1]:443");
  EXPECT_EQ(defaultPublicUrl("0.0.0.0", 8700, false).find("0.0.0.0"), std::string::npos);
}

}  // namespace
}  // namespace vlt::server
