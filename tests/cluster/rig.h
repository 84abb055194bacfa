#pragma once
// What the fault run and the scale benchmark share: service instances and a balancer as child
// processes on loopback, the account set they work on, and clients that save bills, receipts
// and base data the way the desktop client does (retrying a failed call without saving twice),
// with the check of what reached the database afterwards.

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include <memory>

#include "db.h"
#include "galera.h"
#include "privatedb.h"

namespace vlt::cluster {

// A program run as a child, killed (SIGKILL) with this object and with this process.
class Child {
 public:
  Child() = default;
  Child(const std::vector<std::string>& argv, const std::vector<std::string>& env,
        const std::filesystem::path& log);
  ~Child() { kill(); }
  Child(Child&& o) noexcept : pid_(o.pid_) { o.pid_ = 0; }
  Child& operator=(Child&& o) noexcept;
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;
  // Sends `signal` and waits for the end.
  void kill(int signal = 9);
  bool running();

 private:
  pid_t pid_ = 0;
};

// A loopback port nobody listens on now.
int freePort();
// Waits until GET http://127.0.0.1:port/health answers 200; throws after `timeout`.
void waitHealthy(int port, std::chrono::seconds timeout);

// A service instance on `port` using the databases behind `db` (TCP), as deployed behind a
// balancer at `publicPort`.
std::vector<std::string> instanceArgs(const std::filesystem::path& program, int port,
                                      const server::DbEndpoint& db, int publicPort);
std::vector<std::string> instanceEnv(const server::DbEndpoint& db);

// haproxy: `sqlPort` in front of the database nodes (the first healthy one, kept) when there
// are any, `httpPort` in front of the instances (least connections, /health checked).
std::string balancerConfig(int sqlPort, const std::vector<int>& nodePorts, int httpPort,
                           const std::vector<int>& instancePorts);

// The service on loopback: with `nodes` > 0, that many Galera nodes and `instances` instances,
// haproxy in front of both; with 0, one private MariaDB and the instances straight on it (the
// clients then use the first). Everything ends with this object.
struct Deployment {
  Deployment(const std::filesystem::path& dataservice, const std::filesystem::path& haproxy,
             const std::filesystem::path& folder, int nodes, int instances,
             int writeSetCacheMegabytes = server::GaleraOptions{}.writeSetCacheMegabytes);
  void startInstance(std::size_t i);

  std::filesystem::path dataservice, folder;
  std::unique_ptr<server::GaleraCluster> cluster;
  std::unique_ptr<server::PrivateMariaDb> single;
  server::DbEndpoint db;  // what the instances use (the balancer for a cluster)
  Child balancer;
  std::vector<Child> instances;
  std::vector<int> instancePorts;
  int httpPort = 0;
  std::string url;  // where the clients go
};

// The account set the clients work on, made with the service's own code through `admin`.
struct Workplace {
  std::string owner, password, set;
  std::vector<std::string> clerks;  // operators of the set, one per client (password as owner)
  std::vector<std::string> goods, vendors, customers;
  std::string account;
};
Workplace prepareWorkplace(const server::DbEndpoint& admin, int clerks);

enum class SaveKind { Purchase, Sale, Receipt, Trader };

struct SavedRow {
  SaveKind kind;
  std::string id;  // Bid, or the trader's Id
  std::string code;
  int lines = 0;
  bool confirmedByCheck = false;  // the answer was lost; asking found it saved
};

struct ClientLog {
  std::vector<SavedRow> saved;      // every save the client believes done
  std::uint64_t calls = 0;          // calls that succeeded (saves, reads, checks)
  std::uint64_t failures = 0;       // calls that failed
  std::uint64_t gaveUp = 0;         // saves still failing after a minute and a half
  std::uint64_t halfSeen = 0;       // a bill read back without its lines
  double longestGap = 0;            // seconds from a first failure to the next success
  double longestGapFrom = 0;        // when it began, in seconds since WorkloadOptions::origin
  std::vector<std::string> errors;  // the first few failure texts
};

struct WorkloadOptions {
  std::string url;
  int clients = 16;
  std::chrono::seconds duration{120};
  std::chrono::steady_clock::time_point origin = std::chrono::steady_clock::now();
};

// Every client signs in as a clerk of its own and, until the time is up, saves a purchase, a sale,
// a receipt or a trader in turn, each followed by a list of recent purchases and one of them
// opened. Client i's rows have ids of its own, so a retry names the same row.
std::vector<ClientLog> runClients(const WorkloadOptions& options, const Workplace& w);

// What reached the database against what the clients were told.
struct Verdict {
  std::uint64_t saved = 0, confirmedByCheck = 0;
  std::uint64_t lost = 0, duplicated = 0, halfSaved = 0;
  std::vector<std::string> problems;  // one line per fault found
  bool ok() const { return problems.empty(); }
};
// `setDb`: an administrative connection to the set's database; the derived data is checked
// against a plain recomputation (tests/schema/check_account.sql) too.
Verdict verify(server::Connection& setDb, const std::vector<ClientLog>& logs);

// The figures of a run, printed.
void printRun(const std::vector<ClientLog>& logs, double seconds);

}  // namespace vlt::cluster
