#pragma once
// Open connections kept for reuse, per database account and database. A lease returns its
// connection when it ends. Every lease starts from a fresh session: whatever the previous call
// left on the connection (variables, settings, an open transaction, locks) is reset, and a
// connection the server closed meanwhile is replaced by a new one.

#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "db.h"

namespace vlt::server {

class ConnectionPool;

class Lease {
 public:
  Lease(ConnectionPool* pool, std::string key, std::unique_ptr<Connection> c)
      : pool_(pool), key_(std::move(key)), conn_(std::move(c)) {}
  Lease(Lease&&) = default;
  Lease& operator=(Lease&&) = delete;
  ~Lease();
  Connection& operator*() { return *conn_; }
  Connection* operator->() { return conn_.get(); }
  // The connection is not returned to the pool (it broke, or its session state is unknown).
  void discard() { conn_.reset(); }

 private:
  ConnectionPool* pool_;
  std::string key_;
  std::unique_ptr<Connection> conn_;
};

class ConnectionPool {
 public:
  // `server` gives where the server is; each lease names the account and the database.
  // At most `maxIdlePerKey` idle connections per account and database, `maxIdle` in all (each
  // user has an account of their own, so keys are many).
  explicit ConnectionPool(DbEndpoint server, std::size_t maxIdlePerKey = 64,
                          std::size_t maxIdle = 256)
      : server_(std::move(server)), maxIdle_(maxIdlePerKey), maxIdleTotal_(maxIdle) {}

  Lease acquire(const std::string& user, const std::string& password, const std::string& database,
                const SessionSettings& session = {});
  // Every session from now on reads causally (the server is a Galera node; see SessionSettings).
  void setCausalReads(bool on) { causalReads_ = on; }
  // Closes idle connections of a database (after it was dropped) or of every database.
  void forget(const std::string& database = {});
  const DbEndpoint& server() const { return server_; }

 private:
  friend class Lease;
  void release(const std::string& key, std::unique_ptr<Connection> c);

  DbEndpoint server_;
  std::size_t maxIdle_;
  std::size_t maxIdleTotal_;
  std::size_t idleCount_ = 0;
  std::atomic<bool> causalReads_{false};
  std::mutex mutex_;
  std::map<std::string, std::vector<std::unique_ptr<Connection>>> idle_;
};

}  // namespace vlt::server
