#include "privatedb.h"

#include <fcntl.h>
#include <mysql.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

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

// Runs a program with arguments, output to `log`; returns its exit status. A detached program
// with `stopWithParent` gets SIGTERM when this process ends, however it ends.
int run(const std::vector<std::string>& args, const fs::path& log, bool detach, pid_t* pidOut,
        bool stopWithParent = false) {
  const pid_t parent = ::getpid();
  pid_t pid = ::fork();
  if (pid < 0) throw Error("fork failed");
  if (pid == 0) {
    if (detach) ::setsid();
    if (stopWithParent) {
      ::prctl(PR_SET_PDEATHSIG, SIGTERM);
      if (::getppid() != parent) ::_exit(1);  // it died before the line above
    }
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

// 32 random bytes as hex, from the kernel.
std::string randomPassword() {
  unsigned char bytes[32];
  std::ifstream in("/dev/urandom", std::ios::binary);
  if (!in.read(reinterpret_cast<char*>(bytes), sizeof bytes))
    throw Error("No random numbers for the database password");
  static const char digits[] = "0123456789abcdef";
  std::string out;
  for (unsigned char b : bytes) {
    out += digits[b >> 4];
    out += digits[b & 15];
  }
  return out;
}

// Writes a file only the owner may read, replacing what was there.
void writePrivateFile(const fs::path& file, const std::string& text) {
  ::unlink(file.c_str());
  int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) throw Error("Cannot write " + file.string() + ": " + std::strerror(errno));
  const char* p = text.data();
  std::size_t left = text.size();
  while (left > 0) {
    ssize_t n = ::write(fd, p, left);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      ::close(fd);
      throw Error("Cannot write " + file.string());
    }
    p += n;
    left -= static_cast<std::size_t>(n);
  }
  ::close(fd);
}

// A folder of this user's that nobody else may enter (the runtime folder the session gives).
bool privateFolder(const fs::path& dir) {
  struct stat st {};
  return ::lstat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::geteuid() &&
         (st.st_mode & 077) == 0;
}

}  // namespace

fs::path ownTmpDir(const fs::path& folder) {
  fs::path dir = folder / "tmp";
  fs::create_directories(dir);
  return dir;
}

const char* requiredServerOptions() {
  return "--character-set-server=utf8mb4 --collation-server=utf8mb4_general_ci "
         "--lower-case-table-names=1 "
         "--sql-mode=STRICT_TRANS_TABLES,ERROR_FOR_DIVISION_BY_ZERO,NO_ENGINE_SUBSTITUTION,"
         "NO_BACKSLASH_ESCAPES "
         "--innodb-snapshot-isolation=ON --log-bin-trust-function-creators=1 "
         "--max-connections=500 --local-infile=0";
}

PrivateMariaDb::PrivateMariaDb(PrivateDbOptions options) : options_(std::move(options)) {
  // The server resolves relative paths against its own base folder, not ours.
  options_.folder = fs::absolute(options_.folder);
}

std::string PrivateMariaDb::socketPath() const {
  // A unix socket path must stay under about 100 bytes; deep folders use a short folder of
  // their own in the session's runtime folder, or else in /tmp (made private before use).
  fs::path p = options_.folder / "mysqld.sock";
  if (p.string().size() < 100) return p.string();
  const std::string h =
      std::to_string(std::hash<std::string>{}(options_.folder.string()) % 1000000007);
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (runtime && *runtime == '/' && privateFolder(runtime)) {
    fs::path r = fs::path(runtime) / ("vlt-" + h) / "mysqld.sock";
    if (r.string().size() < 100) return r.string();
  }
  return "/tmp/vlt-" + std::to_string(::geteuid()) + "-" + h + "/mysqld.sock";
}

void PrivateMariaDb::secureSocketFolder() const {
  // The data folder itself is made private by initialise().
  fs::path dir = fs::path(socketPath()).parent_path();
  if (dir == options_.folder) return;
  if (::mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST)
    throw Error("Cannot make the socket folder " + dir.string() + ": " + std::strerror(errno));
  struct stat st {};
  if (::lstat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::geteuid())
    ::chmod(dir.c_str(), 0700);
  if (!privateFolder(dir))
    throw Error("The socket folder " + dir.string() +
                " is not a folder of this user's that only this user may enter");
}

std::string PrivateMariaDb::adminPassword() const {
  std::ifstream in(passwordFile());
  std::string pw;
  in >> pw;
  return pw;
}

// Run by the server before it takes its first connection: one root account, reachable with
// the password or by the machine's root through the socket, and no anonymous one.
void PrivateMariaDb::writeStartScript(const fs::path& file) const {
  const std::string pw = adminPassword();
  if (pw.empty()) throw Error("No administrative password in " + passwordFile().string());
  const std::string others = "User = '' OR (User = 'root' AND Host <> 'localhost')";
  writePrivateFile(file, "DELETE FROM mysql.global_priv WHERE " + others +
                             ";\nDELETE FROM mysql.proxies_priv WHERE " + others +
                             ";\nDELETE FROM mysql.db WHERE User = '';\n"
                             "FLUSH PRIVILEGES;\n"
                             "ALTER USER 'root'@'localhost' IDENTIFIED VIA unix_socket OR "
                             "mysql_native_password USING PASSWORD('" +
                             pw + "');\n");
}

bool PrivateMariaDb::initialised() const {
  return fs::exists(dataDir() / "mysql");
}

void PrivateMariaDb::initialise() {
  fs::create_directories(options_.folder);
  // Earlier versions left the folder as the umask made it.
  fs::permissions(options_.folder, fs::perms::owner_all, fs::perm_options::replace);
  if (adminPassword().empty()) writePrivateFile(passwordFile(), randomPassword() + "\n");
  if (initialised()) return;
  std::vector<std::string> args{findProgram("mariadb-install-db"),
                                "--no-defaults",
                                "--datadir=" + dataDir().string(),
                                "--tmpdir=" + ownTmpDir(options_.folder).string(),
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
  const std::string pw = adminPassword();
  bool ok = mysql_real_connect(m, nullptr, "root", pw.c_str(), nullptr, 0, socketPath().c_str(), 0);
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
  secureSocketFolder();
  if (answering()) return;
  initialise();
  const fs::path script = options_.folder / "start.sql";
  writeStartScript(script);
  std::vector<std::string> args{findProgram("mariadbd"),
                                "--no-defaults",
                                "--datadir=" + dataDir().string(),
                                "--tmpdir=" + ownTmpDir(options_.folder).string(),
                                "--socket=" + socketPath(),
                                "--pid-file=" + (options_.folder / "mysqld.pid").string(),
                                "--log-error=" + errorLog().string(),
                                "--init-file=" + script.string()};
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
  run(args, options_.folder / "server.out", true, &pid, options_.stopWithParent);
  auto deadline = std::chrono::steady_clock::now() + timeout;
  while (std::chrono::steady_clock::now() < deadline) {
    if (answering()) {
      fs::remove(script);  // read once; the password file stays the one copy
      return;
    }
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
