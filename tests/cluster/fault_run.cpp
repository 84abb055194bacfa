// The fault run: three Galera nodes, two service instances and haproxy in front of both, all on
// loopback; clients save bills, receipts and base data while one node and one instance are
// killed (SIGKILL) and later brought back. Afterwards every save a client was told of must be
// stored once and whole, the three nodes must hold the same rows, and the derived data must equal
// a plain recomputation. Exit status 0 only then.
//
//   vlt-cluster-fault --dataservice PATH --haproxy PATH --folder DIR [--seconds N] [--clients N]

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "galera.h"
#include "rig.h"
#include "vlt/sqltext.h"

namespace fs = std::filesystem;
using namespace vlt;
using namespace vlt::cluster;
using Clock = std::chrono::steady_clock;

namespace {

struct Options {
  fs::path dataservice, haproxy = "/usr/sbin/haproxy", folder;
  int seconds = 120;
  int clients = 16;
};

void say(const std::string& what, Clock::time_point start) {
  std::printf("[%6.1f s] %s\n", std::chrono::duration<double>(Clock::now() - start).count(),
              what.c_str());
  std::fflush(stdout);
}

// Rows per table of the clients' work, the same on every node once they are synced.
std::string census(const server::DbEndpoint& node, const std::string& database) {
  server::DbEndpoint e = node;
  e.database = database;
  auto db = server::Connection::open(
      e, server::SessionSettings{.maxStatementSeconds = 0, .causalReads = true});
  std::string out;
  for (const char* t : {"tb_pur_purchase", "tb_pur_purchase_d", "tb_sal_sale", "tb_sal_sale_d",
                        "tb_bal_gathering", "td_trader", "ts_traderbalancedetailflow"})
    out += std::string(t) + "=" +
           db->scalar(std::string("SELECT COUNT(*) FROM ") + t).value_or("?") + " ";
  return out;
}

int run(const Options& o) {
  const auto t0 = Clock::now();
  // The killed node is away for 35 % of the run and catches up from the others' write-set
  // caches. Here the clients write about 300 write sets of ~7 KB a second; 3 MB per second of
  // the run holds four times that.
  const int cacheMegabytes = std::max(64, 3 * o.seconds);
  Deployment d(o.dataservice, o.haproxy, o.folder, 3, 2, cacheMegabytes);
  server::GaleraCluster& cluster = *d.cluster;
  say("3 Galera nodes synced, 2 instances healthy behind haproxy", t0);
  const Workplace w = prepareWorkplace(d.db, o.clients);
  say("account set " + w.set + " prepared through the balancer", t0);

  // The faults, at fixed shares of the run: the node every instance writes through, then an
  // instance; both come back before the clients stop.
  const auto runStart = Clock::now();
  const auto at = [&](double share) {
    return runStart + std::chrono::milliseconds(static_cast<long long>(o.seconds * 1000 * share));
  };
  WorkloadOptions wo;
  wo.url = d.url;
  wo.clients = o.clients;
  wo.duration = std::chrono::seconds(o.seconds);
  wo.origin = t0;  // the gaps on the same clock as the faults
  say(std::to_string(o.clients) + " clients for " + std::to_string(o.seconds) + " s", t0);
  std::vector<ClientLog> logs;
  std::thread clients([&] { logs = runClients(wo, w); });
  // The faults run on this thread: a child is told to end when the thread that started it
  // ends (PR_SET_PDEATHSIG), so what comes back must be started by one that stays.
  std::string faultError;
  try {
    std::this_thread::sleep_until(at(0.2));
    cluster.kill(0);
    say("SIGKILL Galera node 1 (the one written through)", t0);
    std::this_thread::sleep_until(at(0.35));
    d.instances[0].kill();
    say("SIGKILL instance 1", t0);
    std::this_thread::sleep_until(at(0.55));
    cluster.restart(0);
    say("Galera node 1 back and synced", t0);
    std::this_thread::sleep_until(at(0.65));
    d.startInstance(0);
    say("instance 1 back and healthy", t0);
  } catch (const std::exception& e) {
    faultError = e.what();
  }
  clients.join();
  const double seconds = std::chrono::duration<double>(Clock::now() - runStart).count();
  say("clients done", t0);
  printRun(logs, seconds);
  if (!faultError.empty()) {
    std::printf("FAIL: bringing the faults about: %s\n", faultError.c_str());
    return 1;
  }

  const std::string database = "vlt_" + w.set;
  for (int i = 0; i < cluster.size(); ++i)
    if (!cluster.synced(i)) {
      std::printf("FAIL: node %d not synced after the run\n", i + 1);
      return 1;
    }
  bool ok = true;
  // The balancer keeps every instance on the node it failed over to: the node that came back
  // must not have been written through (two nodes written at once certify against each other).
  const std::string sent = cluster.status(0, "WSREP_REPLICATED").value_or("?");
  if (sent != "0") {
    std::printf("FAIL: node 1 took writes after it came back (%s write sets)\n", sent.c_str());
    ok = false;
  }
  const std::string first = census(cluster.endpoint(0), database);
  std::printf("node 1: %s\n", first.c_str());
  for (int i = 1; i < cluster.size(); ++i) {
    const std::string other = census(cluster.endpoint(i), database);
    if (other != first) {
      std::printf("FAIL: node %d holds other rows: %s\n", i + 1, other.c_str());
      ok = false;
    }
  }
  server::DbEndpoint e = cluster.endpoint(2);
  e.database = database;
  auto db = server::Connection::open(
      e, server::SessionSettings{.maxStatementSeconds = 0, .causalReads = true});
  const Verdict v = verify(*db, logs);
  std::printf(
      "saves told done: %llu (%llu of them found by asking after a lost answer); lost: %llu, "
      "duplicated: %llu, half-saved: %llu\n",
      static_cast<unsigned long long>(v.saved), static_cast<unsigned long long>(v.confirmedByCheck),
      static_cast<unsigned long long>(v.lost), static_cast<unsigned long long>(v.duplicated),
      static_cast<unsigned long long>(v.halfSaved));
  for (std::size_t i = 0; i < v.problems.size() && i < 40; ++i)
    std::printf("FAIL: %s\n", v.problems[i].c_str());
  std::uint64_t gaveUp = 0, halfSeen = 0;
  for (const ClientLog& l : logs) {
    gaveUp += l.gaveUp;
    halfSeen += l.halfSeen;
  }
  if (gaveUp)
    std::printf("FAIL: %llu saves never got through\n", static_cast<unsigned long long>(gaveUp));
  if (halfSeen)
    std::printf("FAIL: %llu bills read without their lines\n",
                static_cast<unsigned long long>(halfSeen));
  ok = ok && v.ok() && gaveUp == 0 && halfSeen == 0 && v.saved > 0;
  std::printf("%s\n", ok ? "fault run PASSED" : "fault run FAILED");
  return ok ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  Options o;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string a = argv[i], v = argv[i + 1];
    if (a == "--dataservice")
      o.dataservice = v;
    else if (a == "--haproxy")
      o.haproxy = v;
    else if (a == "--folder")
      o.folder = v;
    else if (a == "--seconds")
      o.seconds = std::max(5, std::stoi(v));
    else if (a == "--clients")
      o.clients = std::max(1, std::stoi(v));
    else {
      std::fprintf(stderr, "vlt-cluster-fault: unknown option %s\n", a.c_str());
      return 2;
    }
  }
  if (o.dataservice.empty() || o.folder.empty()) {
    std::fprintf(stderr,
                 "usage: vlt-cluster-fault --dataservice PATH --folder DIR [--haproxy PATH] "
                 "[--seconds N] [--clients N]\n");
    return 2;
  }
  try {
    return run(o);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "vlt-cluster-fault: %s\n", e.what());
    return 1;
  }
}
