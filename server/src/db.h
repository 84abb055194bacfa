#pragma once
// A connection to MariaDB (Connector/C): statements, queries into data packets, transactions.
// Sessions use utf8mb4 and NO_BACKSLASH_ESCAPES, one statement per call.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "vlt/errors.h"
#include "vlt/packet.h"

typedef struct st_mysql MYSQL;

namespace vlt::server {

// An error reported by the database; what() is the server's own text ("Duplicate entry ...").
class DbError : public Error {
 public:
  DbError(unsigned code, std::string sqlState, const std::string& message)
      : Error(message), code_(code), sqlState_(std::move(sqlState)) {}
  unsigned code() const { return code_; }
  const std::string& sqlState() const { return sqlState_; }
  // Worth running the whole transaction again: deadlock, lock wait, snapshot conflict.
  bool retryable() const { return code_ == 1213 || code_ == 1205 || code_ == 1020; }
  // The connection itself is gone.
  bool connectionLost() const { return code_ == 2006 || code_ == 2013 || code_ == 2055; }

 private:
  unsigned code_;
  std::string sqlState_;
};

struct DbEndpoint {
  std::string socket;  // used when not empty
  std::string host = "127.0.0.1";
  unsigned port = 3306;
  std::string user = "root";
  std::string password;
  std::string database;
};

class Connection {
 public:
  // Throws DbError when the server cannot be reached or refuses the account.
  static std::unique_ptr<Connection> open(const DbEndpoint& endpoint);
  ~Connection();
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  // Runs one statement; returns the rows it changed (found rows for UPDATE).
  std::uint64_t execute(std::string_view sql);
  // Runs a query and returns its rows as a packet (field types from the result's metadata).
  // Throws DbError; also when the result exceeds `maxRows` (0: no limit).
  Packet query(std::string_view sql, std::size_t maxRows = 0);
  // The first column of the first row, or nothing for no row or null.
  std::optional<std::string> scalar(std::string_view sql);
  bool exists(std::string_view sql);

  void begin();
  void commit();
  void rollback() noexcept;
  std::uint64_t lastInsertId() const;
  const std::string& database() const { return endpoint_.database; }
  // Switches the default database (USE).
  void use(const std::string& database);
  // Checks the connection; false when it is gone.
  bool alive();

 private:
  explicit Connection(DbEndpoint endpoint) : endpoint_(std::move(endpoint)) {}
  [[noreturn]] void fail();
  DbEndpoint endpoint_;
  MYSQL* mysql_ = nullptr;
};

// A name as a quoted identifier (`name`), backticks doubled.
std::string quoteIdentifier(std::string_view name);

}  // namespace vlt::server
