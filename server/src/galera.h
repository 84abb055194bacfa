#pragma once
// A MariaDB Galera cluster of private servers on loopback, for tests, benchmarks and the fault
// run: every node is a private server (see privatedb.h) with the replication options, in a
// folder of its own under one cluster folder, all sharing one administrative password.
//
// The nodes start from copies of one initialised data folder, so joining needs no state
// transfer tool: a node that was away catches up from the others' write-set cache (IST).

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "db.h"
#include "privatedb.h"

namespace vlt::server {

struct GaleraOptions {
  std::filesystem::path folder;  // node<i>/ below it
  int nodes = 3;
  // Node i serves SQL on firstPort + 3i, replicates on + 3i + 1, receives catch-up on + 3i + 2.
  // 0: free ports are found at start and kept in the folder (see attach).
  int firstPort = 0;
  std::string extraArgs;  // for every node, e.g. a smaller buffer pool
  // Each node's write-set cache. A node that was away can only catch up while the others
  // still hold every write set since it left; beyond that it would need a full transfer,
  // which this cluster refuses (see galera.cpp). Size it to the writes of the longest outage.
  int writeSetCacheMegabytes = 64;
  // Nodes end with the process that started them; off for a cluster a test run shares.
  bool stopWithParent = true;
};

// True when the connection's server is a node of a running Galera cluster.
bool isGaleraNode(Connection& db);

// Where the replication library is, or empty when it is not installed.
std::string galeraLibrary();

class GaleraCluster {
 public:
  explicit GaleraCluster(GaleraOptions options);
  // The cluster another process started in `folder` (its ports and size are kept there).
  static GaleraCluster attach(const std::filesystem::path& folder);
  ~GaleraCluster();
  GaleraCluster(GaleraCluster&&) = default;
  GaleraCluster(const GaleraCluster&) = delete;
  GaleraCluster& operator=(const GaleraCluster&) = delete;

  // Makes the folder afresh and starts every node: the first opens a new cluster, the others
  // join it. Throws vlt::Error
  // with the end of a node's log when one does not come up.
  void start(std::chrono::seconds timeout = std::chrono::seconds(120));
  // Kills node i at once (SIGKILL), as a crash would.
  void kill(int node);
  // Starts node i again; it joins the running nodes and catches up before it answers. A node
  // that was killed first gets its last applied position back from its own tables.
  void restart(int node, std::chrono::seconds timeout = std::chrono::seconds(120));
  // This object's end leaves the nodes running (for another process to use and stop).
  void leaveRunning() { attached_ = true; }
  // Stops every node cleanly (also those another process started).
  void stop();

  int size() const { return options_.nodes; }
  int sqlPort(int node) const { return options_.firstPort + 3 * node; }
  // The administrative account of node i over TCP.
  DbEndpoint endpoint(int node) const;
  // A status variable of node i (WSREP_REPLICATED, ...); nothing when the node does not answer.
  std::optional<std::string> status(int node, const std::string& variable) const;
  // True when node i answers and is a synced member of the cluster.
  bool synced(int node) const;
  std::filesystem::path errorLog(int node) const;

 private:
  std::string nodeArgs(int i, bool bootstrap) const;  // the replication options of node i
  PrivateMariaDb node(int i, bool bootstrap) const;
  std::filesystem::path folderOf(int i) const;
  void waitSynced(int i, std::chrono::seconds timeout);
  // After a crash the saved state lacks the position (seqno -1), and a node without one asks
  // for a full transfer; InnoDB still knows what it applied (--wsrep-recover reads it out).
  void recoverPosition(int i) const;
  GaleraOptions options_;
  std::vector<pid_t> pids_;  // nodes this object started
  bool attached_ = false;
};

}  // namespace vlt::server
