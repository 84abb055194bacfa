// The cost of replication: the same clients (each saving a purchase, a sale, a receipt or a
// trader in turn, each save followed by a list and one bill opened) against two instances on a
// three-node Galera cluster behind haproxy, and against one instance on one private MariaDB,
// on the same machine. Prints calls per second of both and their ratio, and checks what both
// runs stored.
//
//   vlt-bench-scale --dataservice PATH [--haproxy PATH] [--clients=32] [--duration=20]
//                   [--folder DIR]

#include <unistd.h>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <string>

#include "rig.h"

namespace fs = std::filesystem;
using namespace vlt;
using namespace vlt::cluster;

namespace {

struct Options {
  fs::path dataservice, haproxy = "/usr/sbin/haproxy";
  fs::path folder = fs::path("/tmp") / ("vlt-bench-scale-" + std::to_string(::getpid()));
  int clients = 32;
  int seconds = 20;
};

// Calls per second of the clients on `nodes` nodes (0: one private server) and `instances`.
double measure(const Options& o, const char* what, int nodes, int instances, bool& ok) {
  std::printf("\n%s: starting ...\n", what);
  std::fflush(stdout);
  Deployment d(o.dataservice, o.haproxy, o.folder / (nodes ? "cluster" : "single"), nodes,
               instances);
  const Workplace w = prepareWorkplace(d.db, o.clients);
  WorkloadOptions wo;
  wo.url = d.url;
  wo.clients = o.clients;
  wo.duration = std::chrono::seconds(o.seconds);
  const auto start = std::chrono::steady_clock::now();
  const std::vector<ClientLog> logs = runClients(wo, w);
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  printRun(logs, seconds);
  server::DbEndpoint e = d.db;
  e.database = "vlt_" + w.set;
  auto db = server::Connection::open(
      e, server::SessionSettings{.maxStatementSeconds = 0, .causalReads = nodes > 0});
  const Verdict v = verify(*db, logs);
  for (const std::string& p : v.problems)
    std::printf("FAIL: %s\n", p.c_str());
  ok = ok && v.ok();
  std::uint64_t calls = 0;
  for (const ClientLog& l : logs)
    calls += l.calls;
  return static_cast<double>(calls) / seconds;
}

bool takeInt(const std::string& arg, const char* name, int& out) {
  const std::string prefix = std::string("--") + name + "=";
  if (arg.rfind(prefix, 0) != 0) return false;
  out = std::max(1, std::atoi(arg.c_str() + prefix.size()));
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  Options o;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (takeInt(a, "clients", o.clients) || takeInt(a, "duration", o.seconds)) continue;
    if ((a == "--dataservice" || a == "--haproxy" || a == "--folder") && i + 1 < argc) {
      (a == "--dataservice" ? o.dataservice : a == "--haproxy" ? o.haproxy : o.folder) = argv[++i];
      continue;
    }
    std::fprintf(stderr, "vlt-bench-scale: unknown option %s\n", a.c_str());
    return 2;
  }
  if (o.dataservice.empty()) {
    std::fprintf(stderr,
                 "usage: vlt-bench-scale --dataservice PATH [--haproxy PATH] "
                 "[--clients=32] [--duration=20] [--folder DIR]\n");
    return 2;
  }
  bool ok = true;
  try {
    const double single = measure(o, "1 instance on 1 private MariaDB", 0, 1, ok);
    const double cluster = measure(o, "2 instances on 3 Galera nodes behind haproxy", 3, 2, ok);
    std::printf(
        "\n%d clients, %d s each: %.1f calls/s on one server, %.1f on the cluster; "
        "cluster / one server = %.2f\n",
        o.clients, o.seconds, single, cluster, cluster / single);
    fs::remove_all(o.folder);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "vlt-bench-scale: %s\n", e.what());
    return 1;
  }
  return ok ? 0 : 1;
}
