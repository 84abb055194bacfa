#include "galera.h"

#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "vlt/errors.h"
#include "vlt/sqltext.h"

namespace vlt::server {

namespace fs = std::filesystem;

bool isGaleraNode(Connection& db) {
  try {
    auto on = db.scalar("SELECT @@wsrep_on");
    return on && *on == "1";
  } catch (const DbError&) {
    return false;  // a server built without replication
  }
}

std::string galeraLibrary() {
  for (const char* p : {"/usr/lib/galera/libgalera_smm.so", "/usr/lib/libgalera_smm.so",
                        "/usr/lib64/galera-4/libgalera_smm.so"})
    if (::access(p, R_OK) == 0) return p;
  return {};
}

namespace {

// The state transfer of the loopback cluster: nodes share the machine and are only ever behind
// by what the others still hold in their write-set cache, so the transfer proper is always the
// incremental one the replication library does itself. The server still runs a transfer method:
// this one hands the position from donor to joiner through a file and refuses a full copy.
constexpr const char* kTransferScript = R"(#!/bin/sh
role=; address=; gtid=; bypass=; datadir=
while [ $# -gt 0 ]; do
  case "$1" in
    --role) role=$2; shift ;;
    --address) address=$2; shift ;;
    --gtid) gtid=$2; shift ;;
    --datadir) datadir=$2; shift ;;
    --bypass) bypass=1 ;;
  esac
  shift
done
if [ "$role" = joiner ]; then
  handoff="${datadir%/}/vlt_sst_position"
  rm -f "$handoff"
  echo "ready 127.0.0.1:4444/$handoff"
  # A node restarted after a crash knows its own position (read from its tables before the
  # start): it needs only the write sets after it, and nothing from the donor.
  recovered="${datadir%/}/vlt_sst_recovered"
  if [ -s "$recovered" ]; then
    cat "$recovered"
    rm -f "$recovered"
    exit 0
  fi
  i=0
  while [ ! -s "$handoff" ]; do
    sleep 0.2
    i=$((i + 1))
    [ $i -gt 1500 ] && exit 1
  done
  cat "$handoff"
  rm -f "$handoff"
  exit 0
fi
if [ -z "$bypass" ]; then
  echo "vltlocal: a full state transfer is not supported; the node is too far behind" >&2
  exit 1
fi
printf '%s\n' "$gtid" > "/${address#*/}.tmp" && mv "/${address#*/}.tmp" "/${address#*/}"
echo "done $gtid"
)";

bool portFree(int port) {
  int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  if (fd < 0) return false;
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  a.sin_port = htons(static_cast<std::uint16_t>(port));
  const bool ok = ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
  ::close(fd);
  return ok;
}

// A run of free ports for every node, below the range the kernel hands out on its own.
int freePorts(int count) {
  const int start = 20000 + static_cast<int>(::getpid() % 500) * 20;
  for (int base = start; base < 32000; base += count + 7) {
    bool all = true;
    for (int p = base; all && p < base + count; ++p)
      all = portFree(p);
    if (all) return base;
  }
  throw Error("No free ports for the Galera nodes");
}

}  // namespace

GaleraCluster GaleraCluster::attach(const fs::path& folder) {
  std::ifstream in(fs::absolute(folder) / "cluster");
  GaleraOptions o;
  o.folder = folder;
  if (!(in >> o.nodes >> o.firstPort)) throw Error("No Galera cluster in " + folder.string());
  in >> o.writeSetCacheMegabytes;  // absent in folders of older runs: the default stays
  o.stopWithParent = false;
  GaleraCluster c(o);
  c.attached_ = true;
  return c;
}

GaleraCluster::GaleraCluster(GaleraOptions options)
    : options_(std::move(options)), pids_(static_cast<std::size_t>(options_.nodes), 0) {
  options_.folder = fs::absolute(options_.folder);
}

GaleraCluster::~GaleraCluster() {
  if (attached_) return;
  try {
    stop();
  } catch (const std::exception&) {
    // Nodes left running stop with this process (they were started to).
  }
}

fs::path GaleraCluster::folderOf(int i) const {
  return options_.folder / ("node" + std::to_string(i));
}

fs::path GaleraCluster::errorLog(int i) const {
  return folderOf(i) / "error.log";
}

std::string GaleraCluster::nodeArgs(int i, bool bootstrap) const {
  std::string members;
  for (int n = 0; n < options_.nodes; ++n)
    members += (n ? "," : "") + std::string("127.0.0.1:") + std::to_string(sqlPort(n) + 1);
  const int port = sqlPort(i);
  std::ostringstream args;
  // Row events, interleaved auto-increment locks and InnoDB only: what replication needs.
  // Short failure timeouts: on loopback a silent node is a dead one.
  args << "--wsrep-on=ON --wsrep-provider=" << galeraLibrary()
       << " --wsrep-cluster-name=vlt --wsrep-node-name=node" << i
       << " --wsrep-cluster-address=gcomm://" << (bootstrap ? "" : members)
       << " --wsrep-node-address=127.0.0.1 --wsrep-sst-method=vltlocal"
       << " --wsrep-provider-options=gmcast.listen_addr=tcp://127.0.0.1:" << port + 1
       << ";ist.recv_addr=127.0.0.1:" << port + 2
       << ";gcache.size=" << options_.writeSetCacheMegabytes
       << "M;evs.keepalive_period=PT1S;evs.suspect_timeout=PT3S"
          ";evs.inactive_timeout=PT6S;evs.install_timeout=PT6S;pc.wait_prim_timeout=PT30S"
       << " --binlog-format=ROW --innodb-autoinc-lock-mode=2 --default-storage-engine=InnoDB"
       << " --innodb-flush-log-at-trx-commit=0 --performance-schema=OFF " << options_.extraArgs;
  return args.str();
}

PrivateMariaDb GaleraCluster::node(int i, bool bootstrap) const {
  return PrivateMariaDb(PrivateDbOptions{.folder = folderOf(i),
                                         .tcpPort = sqlPort(i),
                                         .extraArgs = nodeArgs(i, bootstrap),
                                         .stopWithParent = options_.stopWithParent});
}

DbEndpoint GaleraCluster::endpoint(int i) const {
  DbEndpoint e;
  e.host = "127.0.0.1";
  e.port = static_cast<unsigned>(sqlPort(i));
  e.user = "root";
  e.password =
      PrivateMariaDb(PrivateDbOptions{.folder = folderOf(0), .tcpPort = 0, .extraArgs = {}})
          .adminPassword();
  return e;
}

std::optional<std::string> GaleraCluster::status(int i, const std::string& variable) const {
  try {
    auto c = Connection::open(endpoint(i));
    return c->scalar(
        "SELECT VARIABLE_VALUE FROM information_schema.GLOBAL_STATUS WHERE VARIABLE_NAME = " +
        quotedStr(variable));
  } catch (const DbError&) {
    return std::nullopt;
  }
}

bool GaleraCluster::synced(int i) const {
  return status(i, "WSREP_LOCAL_STATE") == "4";
}

void GaleraCluster::waitSynced(int i, std::chrono::seconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!synced(i)) {
    if (std::chrono::steady_clock::now() > deadline)
      throw Error("Galera node " + std::to_string(i) + " did not join in time");
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
  }
}

void GaleraCluster::start(std::chrono::seconds timeout) {
  if (galeraLibrary().empty()) throw Error("The Galera library (galera-4) is not installed");
  fs::remove_all(options_.folder);
  fs::create_directories(options_.folder);
  if (options_.firstPort <= 0) options_.firstPort = freePorts(3 * options_.nodes);
  // The servers find their transfer method on the PATH.
  const fs::path bin = options_.folder / "bin";
  fs::create_directories(bin);
  std::ofstream(bin / "wsrep_sst_vltlocal") << kTransferScript;
  fs::permissions(bin / "wsrep_sst_vltlocal", fs::perms::owner_all, fs::perm_options::replace);
  const char* path = std::getenv("PATH");
  ::setenv("PATH", (bin.string() + ":" + (path ? path : "/usr/bin:/bin")).c_str(), 1);
  std::ofstream(options_.folder / "cluster") << options_.nodes << " " << options_.firstPort << " "
                                             << options_.writeSetCacheMegabytes << "\n";
  // One folder copied to every node, after the first node opened a cluster in it and stopped:
  // every node starts at the cluster's position, with the same administrative password, and
  // none needs a state transfer to join.
  PrivateMariaDb first = node(0, true);
  first.start(timeout);
  waitSynced(0, timeout);
  first.stop();
  for (int i = 1; i < options_.nodes; ++i) {
    fs::create_directories(folderOf(i));
    fs::permissions(folderOf(i), fs::perms::owner_all, fs::perm_options::replace);
    // Each node makes its own write-set cache; copying the first one's would only cost time.
    fs::create_directories(node(i, false).dataDir());
    for (const fs::directory_entry& e : fs::directory_iterator(first.dataDir()))
      if (e.path().filename() != "galera.cache")
        fs::copy(e.path(), node(i, false).dataDir() / e.path().filename(),
                 fs::copy_options::recursive);
    fs::copy_file(first.passwordFile(), node(i, false).passwordFile());
  }
  for (int i = 0; i < options_.nodes; ++i) {
    PrivateMariaDb n = node(i, i == 0);
    n.start(timeout);
    std::ifstream pid(folderOf(i) / "mysqld.pid");
    pid >> pids_[static_cast<std::size_t>(i)];
    waitSynced(i, timeout);
  }
}

void GaleraCluster::kill(int i) {
  pid_t& pid = pids_.at(static_cast<std::size_t>(i));
  if (pid > 0) {
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
    pid = 0;
    return;
  }
  // A node another process started: gone once the signal is delivered.
  std::ifstream in(folderOf(i) / "mysqld.pid");
  pid_t other = 0;
  if (!(in >> other) || other <= 0) return;
  ::kill(other, SIGKILL);
  while (::kill(other, 0) == 0)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
}

void GaleraCluster::recoverPosition(int i) const {
  const fs::path state = folderOf(i) / "data" / "grastate.dat";
  std::stringstream text;
  text << std::ifstream(state).rdbuf();
  std::string saved = text.str();
  static const std::regex unknown(R"(seqno:\s*-1)");
  if (!std::regex_search(saved, unknown)) return;
  const fs::path log = folderOf(i) / "recover.log";
  fs::remove(log);
  std::vector<std::string> args{
      ::access("/usr/sbin/mariadbd", X_OK) == 0 ? "/usr/sbin/mariadbd" : "mariadbd",
      "--no-defaults",
      "--datadir=" + (folderOf(i) / "data").string(),
      "--tmpdir=" + ownTmpDir(folderOf(i)).string(),
      "--wsrep-recover",
      "--skip-networking",
      "--socket=" + (folderOf(i) / "recover.sock").string(),
      "--log-error=" + log.string()};
  std::istringstream options(std::string(requiredServerOptions()) + " " + nodeArgs(i, false));
  for (std::string o; options >> o;)
    args.push_back(o);
  if (::geteuid() == 0) args.emplace_back("--user=root");
  std::vector<char*> argv;
  for (std::string& a : args)
    argv.push_back(a.data());
  argv.push_back(nullptr);
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::execvp(argv[0], argv.data());
    ::_exit(127);
  }
  int status = 0;
  if (pid < 0 || ::waitpid(pid, &status, 0) != pid || !WIFEXITED(status) ||
      WEXITSTATUS(status) != 0)
    throw Error("Galera node " + std::to_string(i) + ": reading its position failed (see " +
                log.string() + ")");
  std::stringstream found;
  found << std::ifstream(log).rdbuf();
  static const std::regex position(R"(Recovered position:\s*([0-9a-f-]{36}):(\d+))");
  std::smatch m;
  const std::string logText = found.str();
  if (!std::regex_search(logText, m, position)) return;  // nothing applied yet: a full join
  static const std::regex uuidLine(R"(uuid:\s*\S+)");
  saved = std::regex_replace(saved, uuidLine, "uuid:    " + m[1].str());
  saved = std::regex_replace(saved, unknown, "seqno:   " + m[2].str());
  std::ofstream(state) << saved;
  std::ofstream(folderOf(i) / "data" / "vlt_sst_recovered")
      << m[1].str() << ":" << m[2].str() << "\n";
}

void GaleraCluster::restart(int i, std::chrono::seconds timeout) {
  recoverPosition(i);
  const std::string bin = (options_.folder / "bin").string();
  const char* path = std::getenv("PATH");
  if (!path || std::string(path).find(bin) == std::string::npos)
    ::setenv("PATH", (bin + ":" + (path ? path : "/usr/bin:/bin")).c_str(), 1);
  PrivateMariaDb n = node(i, false);
  try {
    n.start(timeout);
  } catch (const Error& e) {
    // The usual cause: it was away longer than the others' caches reach back.
    for (int d = 0; d < options_.nodes; ++d) {
      std::stringstream log;
      log << std::ifstream(errorLog(d)).rdbuf();
      if (d != i && log.str().find("not found from cache") != std::string::npos)
        throw Error("Galera node " + std::to_string(i) +
                    " could not catch up: the write sets since it left are no longer in node " +
                    std::to_string(d) + "'s cache of " +
                    std::to_string(options_.writeSetCacheMegabytes) + " MB. " + e.what());
    }
    throw;
  }
  std::ifstream pid(folderOf(i) / "mysqld.pid");
  pid >> pids_.at(static_cast<std::size_t>(i));
  waitSynced(i, timeout);
}

void GaleraCluster::stop() {
  // The last node to stop is the one a later cluster would start from.
  for (int i = options_.nodes - 1; i >= 0; --i) {
    node(i, false).stop(std::chrono::seconds(30));
    pid_t& pid = pids_[static_cast<std::size_t>(i)];
    if (pid > 0) ::waitpid(pid, nullptr, WNOHANG);
    pid = 0;
  }
}

}  // namespace vlt::server
