#include "privatedb.h"

#include <fcntl.h>
#include <mysql.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <thread>
#include <vector>

#include "vlt/errors.h"

namespace vlt::server {

namespace fs = std::filesystem;

namespace {

std::string findProgram(const char* name) {
  for (const char* dir : {"/usr/sbin", "/usr/bin", "/usr/local/sbin", "/usr/local/bin"}) {
    fs::path p = fs::path(dir) / name;
    if (::access(p.c_str(), X_OK) == 0) return p.string();
  }
  return name;  // left to PATH
}

std::string tail(const fs::path& file, std::size_t bytes = 2000) {
  std::ifstream in(file);
  std::stringstream ss;
  ss << in.rdbuf();
  std::string s = ss.str();
  return s.size() > bytes ? s.substr(s.size() - bytes) : s;
}

// Runs a program with arguments, output to `log`; returns its exit status.
int run(const std::vector<std::string>& args, const fs::path& log, bool detach, pid_t* pidOut) {
  pid_t pid = ::fork();
  if (pid < 0) throw Error("fork failed");
  if (pid == 0) {
    if (detach) ::setsid();
    int fd = ::open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
    if (fd >= 0) {
      ::dup2(fd, 1);
      ::dup2(fd, 2);
      ::close(fd);
    }
    int devnull = ::open("/dev/null", O_RDONLY);
    if (devnull >= 0) ::dup2(devnull, 0);
    std::vector<char*> argv;
    for (const auto& a : args)
      argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }
  if (pidOut) *pidOut = pid;
  if (detach) return 0;
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool isRoot() {
  return ::geteuid() == 0;
}

}  // namespace

const char* requiredServerOptions() {
  return "--character-set-server=utf8mb4 --collation-server=utf8mb4_general_ci "
         "--lower-case-table-names=1 "
         "--sql-mode=STRICT_TRANS_TABLES,ERROR_FOR_DIVISION_BY_ZERO,NO_ENGINE_SUBSTITUTION,"
         "NO_BACKSLASH_ESCAPES "
         "--innodb-snapshot-isolation=ON --log-bin-trust-function-creators=1 "
         "--max-connections=500";
}

PrivateMariaDb::PrivateMariaDb(PrivateDbOptions options) : options_(std::move(options)) {}

std::string PrivateMariaDb::socketPath() const {
  // A unix socket path must stay under about 100 bytes; deep folders use a short name in /tmp.
  fs::path p = options_.folder / "mysqld.sock";
  if (p.string().size() < 100) return p.string();
  std::size_t h = std::hash<std::string>{}(options_.folder.string());
  return "/tmp/vlt-" + std::to_string(::geteuid()) + "-" + std::to_string(h % 1000000007) + ".sock";
}

bool PrivateMariaDb::initialised() const {
  return fs::exists(dataDir() / "mysql");
}

void PrivateMariaDb::initialise() {
  if (initialised()) return;
  fs::create_directories(options_.folder);
  fs::permissions(options_.folder, fs::perms::owner_all, fs::perm_options::replace);
  std::vector<std::string> args{findProgram("mariadb-install-db"),
                                "--no-defaults",
                                "--datadir=" + dataDir().string(),
                                "--auth-root-authentication-method=normal",
                                "--skip-test-db",
                                "--lower-case-table-names=1",
                                "--character-set-server=utf8mb4"};
  if (isRoot()) args.push_back("--user=root");
  fs::path log = options_.folder / "install.log";
  int rc = run(args, log, false, nullptr);
  if (rc != 0 || !initialised())
    throw Error("Initialising the private database failed (exit " + std::to_string(rc) +
                "): " + tail(log));
}

bool PrivateMariaDb::answering() const {
  MYSQL* m = mysql_init(nullptr);
  if (!m) return false;
  unsigned timeout = 2;
  mysql_optionsv(m, MYSQL_OPT_CONNECT_TIMEOUT, &timeout);
  bool ok = mysql_real_connect(m, nullptr, "root", "", nullptr, 0, socketPath().c_str(), 0);
  mysql_close(m);
  return ok;
}

pid_t PrivateMariaDb::readPid() const {
  std::ifstream in(options_.folder / "mysqld.pid");
  long pid = 0;
  in >> pid;
  return static_cast<pid_t>(pid);
}

void PrivateMariaDb::start(std::chrono::seconds timeout) {
  if (answering()) return;
  initialise();
  std::vector<std::string> args{findProgram("mariadbd"),
                                "--no-defaults",
                                "--datadir=" + dataDir().string(),
                                "--socket=" + socketPath(),
                                "--pid-file=" + (options_.folder / "mysqld.pid").string(),
                                "--log-error=" + errorLog().string()};
  std::istringstream opts(std::string(requiredServerOptions()) + " " + options_.extraArgs);
  for (std::string o; opts >> o;)
    args.push_back(o);
  if (options_.tcpPort > 0) {
    args.push_back("--port=" + std::to_string(options_.tcpPort));
    args.push_back("--bind-address=127.0.0.1");
  } else {
    args.push_back("--skip-networking");
  }
  // Root may run the server only when it says so.
  if (isRoot()) args.push_back("--user=root");
  pid_t pid = 0;
  run(args, options_.folder / "server.out", true, &pid);
  auto deadline = std::chrono::steady_clock::now() + timeout;
  while (std::chrono::steady_clock::now() < deadline) {
    if (answering()) return;
    int status = 0;
    if (::waitpid(pid, &status, WNOHANG) == pid)
      throw Error("The private database server stopped while starting: " + tail(errorLog()));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  throw Error("The private database server did not answer in time: " + tail(errorLog()));
}

void PrivateMariaDb::stop(std::chrono::seconds timeout) {
  pid_t pid = readPid();
  if (pid <= 0 || ::kill(pid, 0) != 0) return;
  ::kill(pid, SIGTERM);  // the server shuts down cleanly on SIGTERM
  auto deadline = std::chrono::steady_clock::now() + timeout;
  while (std::chrono::steady_clock::now() < deadline) {
    ::waitpid(pid, nullptr, WNOHANG);  // reap it when it is our child
    if (::kill(pid, 0) != 0) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  ::kill(pid, SIGKILL);
}

}  // namespace vlt::server
