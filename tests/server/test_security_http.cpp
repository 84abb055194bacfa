// Attacks on the service's HTTP side, sign-in and private database, each run against the real
// thing: oversized and compressed bodies, deep nesting, invalid text, slow senders, slow calls
// crowding out sign-in, password guessing, and other users of the machine.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <nlohmann/json.hpp>
#include <string>
#include <thread>
#include <vector>

#include "http.h"
#include "privatedb.h"
#include "service_fixture.h"

namespace vlt::server {
namespace {

namespace fs = std::filesystem;

struct Answer {
  int status = 0;  // 0: no answer
  std::string body;
};

// A connection to the service from a loopback address of the test's choice (the service tells
// clients apart by address).
int connectFrom(int port, const std::string& from) {
  int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in local{};
  local.sin_family = AF_INET;
  ::inet_pton(AF_INET, from.c_str(), &local.sin_addr);
  if (::bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) ADD_FAILURE() << from;
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(static_cast<std::uint16_t>(port));
  ::inet_pton(AF_INET, "127.0.0.1", &to.sin_addr);
  if (::connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) != 0) ADD_FAILURE() << "connect";
  timeval tv{60, 0};  // only so that a service that never answers fails the test
  ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
  return fd;
}

void sendAll(int fd, const std::string& text) {
  std::size_t done = 0;
  while (done < text.size()) {
    ssize_t n = ::send(fd, text.data() + done, text.size() - done, MSG_NOSIGNAL);
    if (n <= 0) return;
    done += static_cast<std::size_t>(n);
  }
}

// Reads an answer up to the end of its body (Content-Length) or of the connection.
Answer readAnswer(int fd) {
  std::string in;
  char buf[65536];
  Answer a;
  for (;;) {
    ssize_t n = ::recv(fd, buf, sizeof buf, 0);
    if (n <= 0) break;
    in.append(buf, static_cast<std::size_t>(n));
    auto end = in.find("\r\n\r\n");
    if (end == std::string::npos) continue;
    auto len = in.find("Content-Length: ");
    if (len != std::string::npos && len < end &&
        in.size() >= end + 4 + std::stoul(in.substr(len + 16)))
      break;
  }
  if (in.rfind("HTTP/1.1 ", 0) == 0) a.status = std::stoi(in.substr(9, 3));
  auto end = in.find("\r\n\r\n");
  if (end != std::string::npos) a.body = in.substr(end + 4);
  return a;
}

Answer post(int port, const std::string& path, const std::string& body,
            const std::string& headers = {}, const std::string& from = "127.0.0.1") {
  int fd = connectFrom(port, from);
  sendAll(fd, "POST " + path + " HTTP/1.1\r\nHost: t\r\nConnection: close\r\n" +
                  "Content-Type: application/json\r\nContent-Length: " +
                  std::to_string(body.size()) + "\r\n" + headers + "\r\n" + body);
  Answer a = readAnswer(fd);
  ::close(fd);
  return a;
}

std::string signInBody(const std::string& id, const std::string& password) {
  return nlohmann::json{{"UserID", id}, {"Password", password}}.dump();
}

// The service on a free loopback port, served as the program serves it.
class SecurityHttpTest : public test::ServiceFixture {
 protected:
  void SetUp() override {
    ServiceFixture::SetUp();
    HttpSettings h;
    h.maxRequestBytes = 1024 * 1024;
    h.maxCallsPerUser = 4;
    h.maxBusyCalls = 12;
    mountApi(server, *service, h);
    server.Get("/", [](const httplib::Request&, httplib::Response& res) {
      res.set_content("ok", "text/plain");
    });
    port = bindServer(server, "127.0.0.1", 0);
    thread = std::thread([this] { server.listen_after_bind(); });
    while (!server.is_running())
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  void TearDown() override {
    server.stop();
    thread.join();
    ServiceFixture::TearDown();
  }

  std::string tokenOf(const std::string& id, const std::string& password,
                      const std::string& from = "127.0.0.1") {
    Answer a = post(port, "/api/CheckLoginUser", signInBody(id, password), {}, from);
    EXPECT_EQ(a.status, 200) << a.body;
    return "Authorization: Bearer " + nlohmann::json::parse(a.body).value("token", "") + "\r\n";
  }

  HttpServer server{16, std::chrono::seconds(2)};
  std::thread thread;
  int port = 0;
};

// Bodies that would take memory or stack without end are refused before they are parsed, and
// every refusal says why.
TEST_F(SecurityHttpTest, BodiesAreRefusedByTheirDecodedSizeDepthAndText) {
  Caller owner = userWithSet("owner");
  const std::string auth = tokenOf(owner.userId, "secret owner");
  const std::string set = owner.userId + "_01";
  std::string deep = "{\"UserDBID\":\"" + set + "\",\"Table\":\"t\",\"Delta\":";
  deep += std::string(100000, '[') + std::string(100000, ']') + "}";
  struct Row {
    const char* what;
    std::string path, body, headers;
    int status;
  };
  const std::vector<Row> rows = {
      {"a delta nested 100,000 deep", "/api/SaveUserDBDataByDelta", deep, auth, 400},
      {"invalid UTF-8", "/api/GetUserDBDataBySql",
       "{\"UserDBID\":\"" + set + "\",\"SQL\":\"select '\xff\xfe'\"}", auth, 400},
      {"a deflated body", "/api/CheckLoginUser", "x\x9c\x03\x00", "Content-Encoding: deflate\r\n",
       415},
      {"a length past the limit",
       "/api/CheckLoginUser",
       std::string(1024 * 1024 + 1, ' '),
       {},
       413},
  };
  for (const Row& r : rows) {
    Answer a = post(port, r.path, r.body, r.headers);
    EXPECT_EQ(a.status, r.status) << r.what;
    auto message = nlohmann::json::parse(a.body, nullptr, false);
    EXPECT_TRUE(message.is_object() && !message.value("error", "").empty())
        << r.what << ": " << a.body.substr(0, 200);
  }

  // A gzip body 20,000 times smaller than what it inflates to.
  httplib::Client gz("127.0.0.1", port);
  gz.set_compress(true);
  auto r = gz.Post("/api/CheckLoginUser", std::string(20 * 1024 * 1024, ' '), "application/json");
  ASSERT_TRUE(r);
  EXPECT_EQ(r->status, 415);

  // A chunked body that never ends is cut off at the limit and answered.
  int fd = connectFrom(port, "127.0.0.1");
  sendAll(fd,
          "POST /api/CheckLoginUser HTTP/1.1\r\nHost: t\r\nContent-Type: application/json\r\n"
          "Transfer-Encoding: chunked\r\n\r\n");
  std::atomic<bool> stop{false};
  std::thread writer([&] {
    const std::string chunk = "10000\r\n" + std::string(0x10000, ' ') + "\r\n";
    for (int i = 0; i < 1024 && !stop; ++i)  // 64 MiB at most, then the end
      sendAll(fd, chunk);
    if (!stop) sendAll(fd, "0\r\n\r\n");
  });
  Answer chunked = readAnswer(fd);
  stop = true;
  ::shutdown(fd, SHUT_RDWR);
  writer.join();
  ::close(fd);
  EXPECT_EQ(chunked.status, 413) << chunked.body;

  // Chunked bodies elsewhere, which the library would read whole, are not taken at all.
  int get = connectFrom(port, "127.0.0.1");
  sendAll(get, "GET / HTTP/1.1\r\nHost: t\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nhello\r\n");
  EXPECT_EQ(readAnswer(get).status, 411);
  ::close(get);

  // Still serving.
  EXPECT_EQ(post(port, "/api/CheckLoginUser", signInBody(owner.userId, "secret owner")).status,
            200);
}

// Connections that send their header or body a byte at a time hold no worker: the pages are
// served while they dribble, and they are cut off when their request has not arrived in time.
TEST_F(SecurityHttpTest, SlowSendersHoldNoWorkerAndAreCutOff) {
  std::vector<int> slow;
  for (int i = 0; i < 40; ++i) {  // more than the 16 workers
    slow.push_back(connectFrom(port, "127.0.0.1"));
    // Half send their header slowly, half a short body.
    sendAll(slow.back(), i % 2 ? "GET / HTTP/1.1\r\nHost: t\r\n"
                               : "POST /api/CheckLoginUser HTTP/1.1\r\nHost: t\r\n"
                                 "Content-Length: 1000\r\n\r\n{");
  }
  std::atomic<bool> stop{false};
  std::atomic<int> cutOff{0};
  std::thread dribbler([&] {
    std::vector<bool> open(slow.size(), true);
    for (int round = 0; round < 60 && !stop && cutOff < static_cast<int>(slow.size()); ++round) {
      for (std::size_t i = 0; i < slow.size(); ++i)
        if (open[i] && ::send(slow[i], "X", 1, MSG_NOSIGNAL) < 0) {
          open[i] = false;
          ++cutOff;
        }
      std::this_thread::sleep_for(std::chrono::milliseconds(500));
    }
  });
  httplib::Client client("127.0.0.1", port);
  auto page = client.Get("/");
  const int cutBeforePage = cutOff;
  ASSERT_TRUE(page);
  EXPECT_EQ(page->body, "ok");
  EXPECT_LT(cutBeforePage, 40) << "the page was served only after the slow connections ended";
  dribbler.join();  // ends when every slow connection was cut off (or after 30 s)
  EXPECT_EQ(cutOff, 40);
  for (int fd : slow)
    ::close(fd);
}

// The same over HTTPS: handshakes that stall hold no worker and are cut off.
TEST_F(SecurityHttpTest, StalledHandshakesHoldNoWorkerAndAreCutOff) {
  char dir[] = "/tmp/vlt-tls-XXXXXX";
  ASSERT_TRUE(::mkdtemp(dir));
  const std::string cert = std::string(dir) + "/cert.pem", key = std::string(dir) + "/key.pem";
  ASSERT_EQ(std::system(("openssl req -x509 -newkey rsa:2048 -nodes -subj /CN=localhost -days 1 "
                         "-keyout " +
                         key + " -out " + cert + " 2>/dev/null")
                            .c_str()),
            0);
  HttpServer tls(4, std::chrono::seconds(2), cert, key);
  mountApi(tls, *service);
  const int tlsPort = bindServer(tls, "127.0.0.1", 0);
  std::thread serving([&] { tls.listen_after_bind(); });
  while (!tls.is_running())
    std::this_thread::sleep_for(std::chrono::milliseconds(1));

  std::vector<int> stalled;
  for (int i = 0; i < 12; ++i) {  // three times the workers
    stalled.push_back(connectFrom(tlsPort, "127.0.0.1"));
    sendAll(stalled.back(), "\x16\x03\x01");  // the start of a handshake record
  }
  std::string id = service->CreateUser("tls", "pw");
  httplib::SSLClient client("127.0.0.1", tlsPort);
  client.enable_server_certificate_verification(false);
  auto signIn = client.Post("/api/CheckLoginUser", signInBody(id, "pw"), "application/json");
  ASSERT_TRUE(signIn);
  EXPECT_EQ(signIn->status, 200);
  EXPECT_NE(signIn->body.find("\"token\""), std::string::npos) << signIn->body;
  for (int fd : stalled) {
    char byte;
    EXPECT_LE(::recv(fd, &byte, 1, 0), 0) << "a stalled handshake was kept";
    ::close(fd);
  }
  tls.stop();
  serving.join();
  fs::remove_all(dir);
}

// Slow calls of one user are limited, and another user signs in while they run.
TEST_F(SecurityHttpTest, SignInIsServedWhileSlowCallsRun) {
  Caller owner = userWithSet("owner");
  std::string other = service->CreateUser("other", "pw");
  const std::string auth = tokenOf(owner.userId, "secret owner");
  const std::string body =
      nlohmann::json{{"UserDBID", owner.userId + "_01"}, {"SQL", "select sleep(4)"}}.dump();
  std::mutex m;
  std::vector<std::string> finished;  // in order
  int refused = 0;
  std::vector<std::thread> calls;
  for (int i = 0; i < 24; ++i)
    calls.emplace_back([&] {
      Answer a = post(port, "/api/doUserDBDataBySql", body, auth);
      std::lock_guard<std::mutex> lock(m);
      if (a.status == 429)
        ++refused;
      else
        finished.push_back("slow " + std::to_string(a.status));
    });
  // Once some run in the database, another user signs in.
  auto root = Connection::open(test::rootEndpoint());
  for (int i = 0; i < 600; ++i) {
    auto n = root->scalar(
        "SELECT COUNT(*) FROM information_schema.PROCESSLIST WHERE INFO = 'select sleep(4)'");
    if (n && std::stoi(*n) >= 4) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  Answer signIn = post(port, "/api/CheckLoginUser", signInBody(other, "pw"));
  {
    std::lock_guard<std::mutex> lock(m);
    finished.push_back("sign-in " + std::to_string(signIn.status));
  }
  for (auto& t : calls)
    t.join();
  ASSERT_FALSE(finished.empty());
  EXPECT_EQ(finished.front(), "sign-in 200") << "a slow call ended before the sign-in";
  EXPECT_GT(refused, 0);
  EXPECT_LE(finished.size(), 1u + 4u);  // the user's own limit
}

// Guessing a login ID's password cannot lock its owner out, and guesses sent at once are
// counted one by one.
TEST_F(SecurityHttpTest, GuessingDoesNotLockTheOwnerOutAndCountsEveryAttempt) {
  std::string victim = service->CreateUser("victim", "right");
  tokenOf(victim, "right", "127.0.0.3");  // the owner's usual place
  struct Attempt {
    const char* from;
    const char* password;
    int status;
    bool signedIn;
  };
  std::vector<Attempt> attempts;
  for (int i = 0; i < 25; ++i)
    attempts.push_back({"127.0.0.2", "wrong", i < 5 ? 200 : 429, false});
  attempts.push_back({"127.0.0.2", "right", 429, false});  // the guesser's own pair is stopped
  attempts.push_back({"127.0.0.3", "right", 200, true});   // the owner is not
  // A place that never signed in to the ID meets the ID's own limit.
  attempts.push_back({"127.0.0.6", "right", 429, false});
  for (const Attempt& a : attempts) {
    Answer r = post(port, "/api/CheckLoginUser", signInBody(victim, a.password), {}, a.from);
    ASSERT_EQ(r.status, a.status) << a.from << " " << a.password << ": " << r.body;
    if (r.status == 200) {
      EXPECT_EQ(nlohmann::json::parse(r.body).value("result", false), a.signedIn);
    }
  }

  std::string target = service->CreateUser("target", "right");
  std::atomic<int> checked{0};
  std::atomic<int> throttled{0};
  std::vector<std::thread> burst;
  for (int i = 0; i < 20; ++i)
    burst.emplace_back([&] {
      Answer r = post(port, "/api/CheckLoginUser", signInBody(target, "wrong"), {}, "127.0.0.5");
      (r.status == 429 ? throttled : checked)++;
    });
  for (auto& t : burst)
    t.join();
  EXPECT_EQ(checked, 5);
  EXPECT_EQ(throttled, 15);
}

// ---- the private database and other users of the machine ----

int freePort() {
  int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
  socklen_t len = sizeof a;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
  ::close(fd);
  return ntohs(a.sin_port);
}

// Runs the command-line client as the OS user nobody; true when it got in.
bool nobodyGetsIn(const std::string& where) {
  std::string cmd =
      "setpriv --reuid=nobody --regid=nogroup --clear-groups mariadb --no-defaults "
      "--connect-timeout=5 -uroot " +
      where + " -e 'select 1' >/dev/null 2>&1";
  return std::system(cmd.c_str()) == 0;
}

bool running(pid_t pid) {
  return pid > 0 && ::kill(pid, 0) == 0;
}

pid_t pidOf(const PrivateMariaDb& db) {
  std::ifstream in(db.folder() / "mysqld.pid");
  long pid = 0;
  in >> pid;
  return static_cast<pid_t>(pid);
}

TEST(PrivateDatabaseTest, OtherUsersGetNoRootAndTheServerEndsWithTheService) {
  if (::geteuid() != 0 || std::system("command -v setpriv >/dev/null") != 0)
    GTEST_SKIP() << "needs root and setpriv to act as a second user";
  // A folder deeper than a socket path may be, so that the socket lives elsewhere.
  char tmpl[] = "/tmp/vlt-privdb-XXXXXX";
  ASSERT_TRUE(::mkdtemp(tmpl));
  const fs::path base = tmpl;
  const fs::path folder = base / std::string(90, 'd') / "db";
  const int port = freePort();
  PrivateDbOptions options{folder, port, "", true};
  PrivateMariaDb db(options);

  // The service: a process that starts the server and is then killed outright.
  pid_t service = ::fork();
  if (service == 0) {
    try {
      PrivateMariaDb mine(options);
      mine.start();
    } catch (...) {
      ::_exit(1);
    }
    for (;;)
      ::pause();
  }
  for (int i = 0; i < 1200 && !db.answering(); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  ASSERT_TRUE(db.answering());

  const std::string socket = db.socketPath();
  struct stat st {};
  ASSERT_EQ(::stat(fs::path(socket).parent_path().c_str(), &st), 0);
  EXPECT_NE(fs::path(socket).parent_path(), folder);
  EXPECT_EQ(st.st_mode & 077, 0u) << "the socket's folder is open to others";
  const std::string tcp = "--protocol=TCP -h127.0.0.1 -P" + std::to_string(port);
  EXPECT_FALSE(nobodyGetsIn("-S" + socket));
  EXPECT_FALSE(nobodyGetsIn(tcp));
  ::chmod(fs::path(socket).parent_path().c_str(), 0755);  // even with the folder open
  EXPECT_FALSE(nobodyGetsIn("-S" + socket));
  EXPECT_TRUE(nobodyGetsIn(tcp + " -p" + db.adminPassword()));  // the server does answer

  DbEndpoint admin;
  admin.socket = socket;
  admin.password = db.adminPassword();
  auto root = Connection::open(admin);
  EXPECT_EQ(*root->scalar("SELECT @@local_infile"), "0");
  // Its temporary files stay in its folder: a server starting clears its temporary folder, and
  // a shared one (/tmp) would lose the files of the servers running beside it.
  EXPECT_EQ(fs::path(*root->scalar("SELECT @@tmpdir")), folder / "tmp");
  EXPECT_EQ(*root->scalar("SELECT GROUP_CONCAT(CONCAT(User, '@', Host) ORDER BY User) FROM "
                          "mysql.user WHERE User IN ('root', '')"),
            "root@localhost");
  // What earlier versions left: root without a password from everywhere, an anonymous account.
  root->execute("CREATE USER 'root'@'127.0.0.1'");
  root->execute("GRANT ALL ON *.* TO 'root'@'127.0.0.1'");
  root->execute("CREATE USER ''@'localhost'");
  root->execute("ALTER USER 'root'@'localhost' IDENTIFIED VIA mysql_native_password USING ''");
  root.reset();
  EXPECT_TRUE(nobodyGetsIn(tcp));
  const pid_t server = pidOf(db);

  ::kill(service, SIGKILL);
  ::waitpid(service, nullptr, 0);
  for (int i = 0; i < 600 && running(server); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_FALSE(running(server)) << "the server outlived the service";

  // Started again by this version, which upgrades the folder.
  fs::remove(db.passwordFile());
  PrivateMariaDb again(PrivateDbOptions{folder, port, "", false});
  again.start();
  EXPECT_FALSE(nobodyGetsIn(tcp));
  admin.password = again.adminPassword();
  EXPECT_EQ(*Connection::open(admin)->scalar("SELECT GROUP_CONCAT(CONCAT(User, '@', Host)) FROM "
                                             "mysql.user WHERE User IN ('root', '')"),
            "root@localhost");
  again.stop();
  fs::remove_all(base);
}

}  // namespace
}  // namespace vlt::server
