#pragma once
// Account sets over several database servers: which server holds each set (sys_setplacement of
// the system database), how each server is reached (sys_dbserver, its password in the auth
// database), a connection pool per server, and the copy of a set from one server to another.
// 'home' is the server holding the system database itself.

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "db.h"
#include "pool.h"

namespace vlt::server {

inline constexpr const char* kHomeServer = "home";

struct DbServer {
  std::string name;
  DbEndpoint admin;         // the administrative account; no database
  std::string accountHost;  // host part of the database accounts made there
  bool accepting = true;    // new account sets may go there
};

// A call reached an account set while it is being moved to another server: an operation
// failure with a message the user can act on, never a retry.
class AccountSetMoving : public DbError {
 public:
  explicit AccountSetMoving(const std::string& setId)
      : DbError(0, "HY000", "帐套 " + setId + " 正在迁移到另一台数据库服务器，请稍后再试") {}
};

struct SetPlace {
  std::string server = kHomeServer;
  bool moving = false;
};

class Placement {
 public:
  // `home` is the pool of the server holding `systemDb` and `authDb`, `homeAdmin` its
  // administrative account and `homeAccountHost` the host part of the accounts made there.
  Placement(ConnectionPool& home, DbEndpoint homeAdmin, std::string homeAccountHost,
            std::string systemDb, std::string authDb);

  // Where the set is (home for a set without a placement row).
  SetPlace where(const std::string& setId);
  // Throws vlt::Error for a server that is not registered.
  DbServer server(const std::string& name);
  ConnectionPool& pool(const std::string& server);
  // Records where a new set goes: where the administrator put it beforehand, else the accepting
  // server with the fewest sets. Returns the server.
  std::string place(const std::string& setId);
  // Removes the record of a set whose creation failed.
  void unplace(const std::string& setId);
  // Every server with the number of sets it holds, by name.
  std::vector<std::pair<std::string, int>> census();
  // Registers a server (or changes its address); it answers the administrator before it counts.
  void addServer(const DbServer& s);
  // Reads a set's server and raises its Moving mark; false when it is already moving.
  bool markMoving(const std::string& setId, bool moving);
  void switchTo(const std::string& setId, const std::string& server);
  // An administrative connection to a server, on `database` (none when empty).
  std::unique_ptr<Connection> adminConnection(const std::string& server,
                                              const std::string& database = {});

 private:
  Lease system();
  ConnectionPool& home_;
  DbEndpoint homeAdmin_;
  std::string homeAccountHost_;
  std::string systemDb_;
  std::string authDb_;
  std::mutex mutex_;
  std::map<std::string, DbServer> servers_;
  std::map<std::string, std::unique_ptr<ConnectionPool>> pools_;
};

// The rows of `table` of a set's database on another server as a derived table, to stand for
// that table in a statement run on the home server (the module choice reads the grants of a set
// together with the catalogue there). `alias` is appended when the statement gives none.
std::string rowsAsDerivedTable(Connection& setDatabase, const std::string& table,
                               const std::string& alias, std::size_t maxRows);

// Copies every row of an account set's database from `from` into `to`, a freshly migrated
// database of the same schema on another server: derived rows are copied as they are, so the
// target's triggers are set aside while the rows go in and put back after. Returns the rows
// copied; throws vlt::Error when a table's row count differs afterwards.
std::size_t copyAccountSet(Connection& from, Connection& to);

}  // namespace vlt::server
