#pragma once
// A connection to MariaDB (Connector/C): statements, queries into data packets, transactions.
// Sessions use utf8mb4 and NO_BACKSLASH_ESCAPES, one statement per call.

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "vlt/errors.h"
#include "vlt/packet.h"

typedef struct st_mysql MYSQL;
typedef struct st_mysql_res MYSQL_RES;
typedef struct st_mysql_field MYSQL_FIELD;

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
  // No connection could be made, or the one made was lost: worth trying again later.
  bool unreachable() const { return connectionLost() || code_ == 2002 || code_ == 2003; }

 private:
  unsigned code_;
  std::string sqlState_;
};

// The statement ran, but a column or a value of its answer cannot travel in a packet: a value
// wider than the client's decimal, a time outside one day, binary data that is not text. The
// message names the column and what does not fit. An operation failure, not a malformed request.
class ResultError : public Error {
 public:
  using Error::Error;
};

struct DbEndpoint {
  std::string socket;  // used when not empty
  std::string host = "127.0.0.1";
  unsigned port = 3306;
  std::string user = "root";
  std::string password;
  std::string database;
};

class Connection;

// A query's result while its rows are still being read, as the text protocol gives them, so
// that they can be passed on without typed values in between (a streamed answer). It belongs to
// its connection: nothing else may run there while it lives. Ending it reads and drops what is
// left, so the connection stays usable.
class OpenResult {
 public:
  OpenResult(OpenResult&& other) noexcept;
  OpenResult& operator=(OpenResult&&) = delete;
  OpenResult(const OpenResult&) = delete;
  ~OpenResult();

  // The result's fields (none for a statement without a result).
  const FieldDefs& fields() const { return fields_; }
  // The next row: cells[i] holds lengths[i] bytes of field i's text, or is null for a null, in
  // the form the packet carries (bit values as digits, the zero date as null). False at the end.
  // Throws DbError for a failure of the database and for a row past the limit, ResultError for
  // a value its field cannot carry.
  bool next(const char* const*& cells, const unsigned long*& lengths);
  std::size_t count() const { return count_; }

 private:
  friend class Connection;
  OpenResult(Connection* owner, MYSQL* mysql, MYSQL_RES* res, std::size_t maxRows)
      : owner_(owner), mysql_(mysql), res_(res), maxRows_(maxRows) {}
  void addField(const MYSQL_FIELD& field);
  void checkCells(char** row, const unsigned long* lengths);
  Connection* owner_;
  MYSQL* mysql_;
  MYSQL_RES* res_;
  FieldDefs fields_;
  std::size_t maxRows_;
  std::size_t count_ = 0;
  // How each field's cells are checked or rewritten; empty when none needs it.
  std::vector<unsigned char> checks_;
  std::vector<const char*> cells_;
  std::vector<unsigned long> lengths_;
  std::vector<std::string> texts_;  // rewritten cells
};

// How a call's session starts: utf8mb4, the strict sql_mode with NO_BACKSLASH_ESCAPES (quoting
// relies on it), autocommit, the server's time zone, and a time limit for every statement.
struct SessionSettings {
  double maxStatementSeconds = 0;  // 0: no limit
  // On a Galera node: a read first waits until the node has applied everything the cluster
  // committed before it, so a read after a write sees it whichever node took the write.
  bool causalReads = false;
  bool operator==(const SessionSettings&) const = default;
};

// What a statement may leave behind in its session. A read that names no variables leaves
// nothing; the pool hands on a connection that ran only such reads since its last reset without
// resetting it again (two round trips saved on every call).
enum class SessionUse { Changes, ReadsOnly };

class Connection {
 public:
  // Throws DbError when the server cannot be reached or refuses the account. The connection
  // never sends local files to the server (LOAD DATA LOCAL is off).
  static std::unique_ptr<Connection> open(const DbEndpoint& endpoint,
                                          const SessionSettings& session = {});
  ~Connection();
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  // Runs one statement; returns the rows it changed (found rows for UPDATE).
  std::uint64_t execute(std::string_view sql);
  // Runs a query and returns its rows as a packet (field types from the result's metadata).
  // Throws DbError; also when the result exceeds `maxRows` (0: no limit).
  Packet query(std::string_view sql, std::size_t maxRows = 0, SessionUse use = SessionUse::Changes);
  // Runs a query and leaves its result open, to be read row by row: at most `maxRows` rows,
  // then the DbError for a longer result. Throws DbError when the query fails.
  OpenResult open(std::string_view sql, std::size_t maxRows = 0,
                  SessionUse use = SessionUse::Changes);
  // The first column of the first row, or nothing for no row or null.
  std::optional<std::string> scalar(std::string_view sql);
  bool exists(std::string_view sql, SessionUse use = SessionUse::Changes);

  void begin();
  void commit();
  void rollback() noexcept;
  std::uint64_t lastInsertId() const;
  const std::string& database() const { return endpoint_.database; }
  // Switches the default database (USE).
  void use(const std::string& database);
  // Checks the connection; false when it is gone.
  bool alive();

  // Brings a used connection back to a fresh session (what the previous call left, variables,
  // transaction, locks, temporary tables and settings, is gone) with these settings. Throws
  // DbError when the connection is gone. A session that only read since its settings were
  // applied, with the same settings, is fresh already and stays as it is, unless the server
  // closed the connection meanwhile.
  void reset(const SessionSettings& session);
  // Caps the bytes of the rows read from now until the next reset (0: no cap); a longer answer
  // fails with a DbError instead of filling the memory.
  void limitAnswer(std::uint64_t maxBytes) {
    answerLimit_ = maxBytes;
    answerBytes_ = 0;
  }
  // Clears the session variables through which the account-set triggers coordinate.
  void resetTriggerState();

 private:
  friend class OpenResult;
  explicit Connection(DbEndpoint endpoint) : endpoint_(std::move(endpoint)) {}
  [[noreturn]] void fail();
  Packet readAll(std::string_view sql, std::size_t maxRows, SessionUse use);
  void applySession(const SessionSettings& session);
  void countAnswer(const unsigned long* lengths, unsigned fields);
  bool closedByServer() const;
  // Sends a statement; on a connection handed on without a reset whose server closed it in the
  // meantime, connects again and sends it once more when that cannot run it twice.
  void send(std::string_view sql, SessionUse use);
  void connect();
  DbEndpoint endpoint_;
  MYSQL* mysql_ = nullptr;
  // Only reads since the session settings `applied_` were set (see SessionUse).
  bool untouched_ = false;
  // Handed on without a reset, and no statement has reached the server since.
  bool unverified_ = false;
  SessionSettings applied_;
  std::uint64_t answerLimit_ = 0;
  std::uint64_t answerBytes_ = 0;
};

// How the cells of a result field are checked before they travel: most pass as the database
// sends them; the others are checked so that a value the client cannot hold is refused by name
// (ResultError) instead of arriving as null, cut or wrapped around.
enum class CellCheck : unsigned char {
  Plain,        // text, integers within their field's type, years
  UnsignedBig,  // BIGINT UNSIGNED: the upper half does not fit a signed 64-bit integer
  Bits,         // BIT(n): the text protocol sends raw bytes, most significant first
  Float,
  Decimal,   // at most the field's precision and scale
  Date,      // the zero date is null, other dates with zero parts are refused
  DateTime,  // likewise, and a fraction of a second other than zero is refused
  Time,      // within one day, whole seconds
  Binary,    // binary strings: carried when they are UTF-8 text
};

// Checks one non-null cell of field `f` (`row` counted from 1, for the message) and, where the
// database's text is not the packet's, rewrites it: `cell` and `length` then point into `text`,
// or the cell becomes null for the zero date. Throws ResultError naming the column.
void checkCell(const FieldDef& f, CellCheck check, std::size_t row, const char*& cell,
               unsigned long& length, std::string& text);
// A checked cell as the typed value a whole (not streamed) answer carries.
Value cellValue(const FieldDef& f, const char* data, unsigned long length);

// One transaction: begun when made, rolled back when it ends uncommitted (an exception on the
// way). Each starts from clean trigger bookkeeping: a statement that ended in a deadlock or
// lock wait skips the triggers' cleanup, and later saves on the connection would skip derived
// data.
class Transaction {
 public:
  explicit Transaction(Connection& db);
  ~Transaction();
  Transaction(const Transaction&) = delete;
  Transaction& operator=(const Transaction&) = delete;
  void commit();

 private:
  Connection& db_;
  bool open_ = true;
};

// Runs `body` in a transaction; again, after a short pause, when it failed on a deadlock, a lock
// wait or a snapshot conflict (at most `attempts` times in all). The pauses grow and differ
// between threads, so that savers colliding on one trader do not collide again in step.
template <typename F>
void inTransaction(Connection& db, F&& body, int attempts = 6) {
  for (int attempt = 1;; ++attempt) {
    try {
      Transaction t(db);
      body();
      t.commit();
      return;
    } catch (const DbError& e) {
      if (!e.retryable() || attempt >= attempts) throw;
    }
    const int jitter =
        static_cast<int>(std::hash<std::thread::id>{}(std::this_thread::get_id()) % 20);
    std::this_thread::sleep_for(std::chrono::milliseconds(20 * attempt * attempt + jitter));
  }
}

// A name as a quoted identifier (`name`), backticks doubled.
std::string quoteIdentifier(std::string_view name);

}  // namespace vlt::server
