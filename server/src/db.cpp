#include "db.h"

#include <mysql.h>

#include <charconv>

#include "vlt/sqltext.h"

namespace vlt::server {

namespace {

constexpr const char* kSessionSettings =
    "SET NAMES utf8mb4, SESSION sql_mode='STRICT_TRANS_TABLES,ERROR_FOR_DIVISION_BY_ZERO,"
    "NO_ENGINE_SUBSTITUTION,NO_BACKSLASH_ESCAPES', SESSION autocommit=1, "
    "SESSION time_zone=DEFAULT, SESSION max_statement_time=";

bool isBinary(const MYSQL_FIELD& f) {
  return f.charsetnr == 63;
}

FieldDef fieldOf(const MYSQL_FIELD& f) {
  FieldDef d;
  d.name.assign(f.name, f.name_length);
  switch (f.type) {
    case MYSQL_TYPE_TINY:
    case MYSQL_TYPE_SHORT:
    case MYSQL_TYPE_YEAR:
      d.type = DataType::Int16;
      break;
    case MYSQL_TYPE_LONG:
    case MYSQL_TYPE_INT24:
      d.type = (f.flags & UNSIGNED_FLAG) && f.type == MYSQL_TYPE_LONG ? DataType::Int64
                                                                      : DataType::Int32;
      break;
    case MYSQL_TYPE_LONGLONG:
    case MYSQL_TYPE_BIT:
      d.type = DataType::Int64;
      break;
    case MYSQL_TYPE_FLOAT:
    case MYSQL_TYPE_DOUBLE:
      d.type = DataType::Float;
      break;
    case MYSQL_TYPE_DECIMAL:
    case MYSQL_TYPE_NEWDECIMAL: {
      d.type = DataType::Decimal;
      d.scale = static_cast<int>(f.decimals);
      int digits =
          static_cast<int>(f.length) - (d.scale > 0 ? 1 : 0) - ((f.flags & UNSIGNED_FLAG) ? 0 : 1);
      d.precision = std::max(digits, d.scale > 0 ? d.scale : 1);
      break;
    }
    case MYSQL_TYPE_DATE:
    case MYSQL_TYPE_NEWDATE:
      d.type = DataType::Date;
      break;
    case MYSQL_TYPE_DATETIME:
    case MYSQL_TYPE_TIMESTAMP:
      d.type = DataType::DateTime;
      break;
    case MYSQL_TYPE_TIME:
      d.type = DataType::Time;
      break;
    default:
      d.type = DataType::String;
      // Lengths are in bytes of the connection's character set (4 per utf8mb4 character).
      if (!isBinary(f) && f.length > 0 && f.length < 4u * 65536u)
        d.size = static_cast<int>(f.length / 4);
      break;
  }
  return d;
}

// One cell of the text protocol as a typed value. Zero dates and unreadable temporal texts
// become null rather than failing a whole report.
Value cellOf(const FieldDef& d, const char* data, unsigned long length) {
  std::string_view text(data, length);
  switch (d.type) {
    case DataType::Int16:
    case DataType::Int32:
    case DataType::Int64: {
      std::int64_t v = 0;
      auto r = std::from_chars(text.data(), text.data() + text.size(), v);
      if (r.ec != std::errc()) return Value(std::string(text));
      if (d.type == DataType::Int16) return Value(static_cast<std::int16_t>(v));
      if (d.type == DataType::Int32) return Value(static_cast<std::int32_t>(v));
      return Value(v);
    }
    case DataType::Float: {
      double v = 0;
      std::from_chars(text.data(), text.data() + text.size(), v);
      return Value(v);
    }
    case DataType::Decimal: {
      Decimal v;
      if (Decimal::tryParse(text, v)) return Value(v);
      return Value();
    }
    case DataType::Date: {
      Date v;
      return Date::tryParse(text, v) ? Value(v) : Value();
    }
    case DataType::DateTime: {
      DateTime v;
      return DateTime::tryParse(text, v) ? Value(v) : Value();
    }
    case DataType::Time: {
      Time v;
      return Time::tryParse(text, v) ? Value(v) : Value();
    }
    default:
      return Value(std::string(text));
  }
}

}  // namespace

std::string quoteIdentifier(std::string_view name) {
  std::string out = "`";
  for (char c : name) {
    if (c == '`') out += '`';
    out += c;
  }
  out += '`';
  return out;
}

std::unique_ptr<Connection> Connection::open(const DbEndpoint& endpoint,
                                             const SessionSettings& session) {
  std::unique_ptr<Connection> c(new Connection(endpoint));
  c->mysql_ = mysql_init(nullptr);
  if (!c->mysql_) throw DbError(2008, "HY000", "Out of memory opening a database connection");
  unsigned timeout = 10;
  mysql_optionsv(c->mysql_, MYSQL_OPT_CONNECT_TIMEOUT, &timeout);
  mysql_optionsv(c->mysql_, MYSQL_SET_CHARSET_NAME, "utf8mb4");
  // A server may ask the client for any file the client can read (LOAD DATA LOCAL INFILE).
  unsigned localInfile = 0;
  mysql_optionsv(c->mysql_, MYSQL_OPT_LOCAL_INFILE, &localInfile);
  const bool useSocket = !endpoint.socket.empty();
  if (!mysql_real_connect(c->mysql_, useSocket ? nullptr : endpoint.host.c_str(),
                          endpoint.user.c_str(), endpoint.password.c_str(),
                          endpoint.database.empty() ? nullptr : endpoint.database.c_str(),
                          useSocket ? 0 : endpoint.port,
                          useSocket ? endpoint.socket.c_str() : nullptr, CLIENT_FOUND_ROWS))
    c->fail();
  c->applySession(session);
  return c;
}

void Connection::applySession(const SessionSettings& session) {
  char limit[32];
  std::snprintf(limit, sizeof limit, "%.3f", session.maxStatementSeconds);
  execute(std::string(kSessionSettings) + limit);
  answerLimit_ = 0;
  answerBytes_ = 0;
}

void Connection::reset(const SessionSettings& session) {
  if (mysql_reset_connection(mysql_) != 0) fail();
  applySession(session);
}

void Connection::resetTriggerState() {
  execute("SET @vlt_derived_write = NULL, @vlt_busy_bill = NULL");
}

void Connection::countAnswer(const unsigned long* lengths, unsigned fields) {
  if (!answerLimit_) return;
  for (unsigned i = 0; i < fields; ++i)
    answerBytes_ += lengths[i];
  if (answerBytes_ > answerLimit_) {
    const bool mib = answerLimit_ >= (1u << 20);
    throw DbError(0, "HY000",
                  "The result is larger than " +
                      std::to_string(mib ? answerLimit_ >> 20 : (answerLimit_ + 1023) >> 10) +
                      (mib ? " MiB" : " KiB") + "; narrow the query");
  }
}

Connection::~Connection() {
  if (mysql_) mysql_close(mysql_);
}

void Connection::fail() {
  throw DbError(mysql_errno(mysql_), mysql_sqlstate(mysql_), mysql_error(mysql_));
}

std::uint64_t Connection::execute(std::string_view sql) {
  if (mysql_real_query(mysql_, sql.data(), sql.size()) != 0) fail();
  // A statement that returns rows here is drained so that the connection stays usable.
  if (MYSQL_RES* res = mysql_store_result(mysql_)) {
    mysql_free_result(res);
    return 0;
  }
  if (mysql_field_count(mysql_) != 0) fail();
  return mysql_affected_rows(mysql_);
}

Packet Connection::query(std::string_view sql, std::size_t maxRows) {
  if (mysql_real_query(mysql_, sql.data(), sql.size()) != 0) fail();
  MYSQL_RES* res = mysql_use_result(mysql_);
  Packet p;
  if (!res) {
    if (mysql_field_count(mysql_) != 0) fail();
    return p;  // a statement without a result: an empty packet
  }
  unsigned n = mysql_num_fields(res);
  MYSQL_FIELD* fields = mysql_fetch_fields(res);
  for (unsigned i = 0; i < n; ++i)
    p.fields.add(fieldOf(fields[i]));
  bool tooMany = false;
  while (MYSQL_ROW row = mysql_fetch_row(res)) {
    if (maxRows && p.rows.size() >= maxRows) {
      tooMany = true;
      continue;  // drain the rest so the connection stays usable
    }
    unsigned long* lengths = mysql_fetch_lengths(res);
    try {
      countAnswer(lengths, n);
    } catch (...) {
      mysql_free_result(res);  // drains the rest, so the connection stays usable
      throw;
    }
    Row r;
    r.reserve(n);
    for (unsigned i = 0; i < n; ++i)
      r.push_back(row[i] ? cellOf(p.fields[i], row[i], lengths[i]) : Value());
    p.rows.push_back(std::move(r));
  }
  bool failed = mysql_errno(mysql_) != 0;
  mysql_free_result(res);
  if (failed) fail();
  if (tooMany)
    throw DbError(
        0, "HY000",
        "The result has more than " + std::to_string(maxRows) + " rows; narrow the query");
  return p;
}

OpenResult::OpenResult(OpenResult&& other) noexcept
    : owner_(other.owner_),
      mysql_(other.mysql_),
      res_(other.res_),
      fields_(std::move(other.fields_)),
      maxRows_(other.maxRows_),
      count_(other.count_) {
  other.res_ = nullptr;
}

OpenResult::~OpenResult() {
  if (!res_) return;
  while (mysql_fetch_row(res_)) {
  }
  mysql_free_result(res_);
}

bool OpenResult::next(const char* const*& cells, const unsigned long*& lengths) {
  if (!res_) return false;
  MYSQL_ROW row = mysql_fetch_row(res_);
  if (!row) {
    bool failed = mysql_errno(mysql_) != 0;
    DbError error(mysql_errno(mysql_), mysql_sqlstate(mysql_), mysql_error(mysql_));
    mysql_free_result(res_);
    res_ = nullptr;
    if (failed) throw error;
    return false;
  }
  if (maxRows_ && count_ >= maxRows_)
    throw DbError(
        0, "HY000",
        "The result has more than " + std::to_string(maxRows_) + " rows; narrow the query");
  ++count_;
  cells = row;
  lengths = mysql_fetch_lengths(res_);
  owner_->countAnswer(lengths, mysql_num_fields(res_));
  return true;
}

OpenResult Connection::open(std::string_view sql, std::size_t maxRows) {
  if (mysql_real_query(mysql_, sql.data(), sql.size()) != 0) fail();
  MYSQL_RES* res = mysql_use_result(mysql_);
  if (!res && mysql_field_count(mysql_) != 0) fail();
  OpenResult result(this, mysql_, res, maxRows);  // no result: a statement without rows
  if (res) {
    unsigned n = mysql_num_fields(res);
    MYSQL_FIELD* fields = mysql_fetch_fields(res);
    for (unsigned i = 0; i < n; ++i)
      result.fields_.add(fieldOf(fields[i]));
  }
  return result;
}

std::optional<std::string> Connection::scalar(std::string_view sql) {
  Packet p = query(sql);
  if (p.rows.empty() || p.rows[0].empty() || p.rows[0][0].isNull()) return std::nullopt;
  return p.rows[0][0].toText();
}

bool Connection::exists(std::string_view sql) {
  // Only whether there is a row: the server stops at the first one.
  auto found = scalar("SELECT EXISTS(" + std::string(sql) + ")");
  return found && *found == "1";
}

Transaction::Transaction(Connection& db) : db_(db) {
  db_.resetTriggerState();
  db_.begin();
}

Transaction::~Transaction() {
  if (open_) db_.rollback();
}

void Transaction::commit() {
  db_.commit();
  open_ = false;
}

void Connection::begin() {
  execute("START TRANSACTION");
}
void Connection::commit() {
  execute("COMMIT");
}
void Connection::rollback() noexcept {
  mysql_real_query(mysql_, "ROLLBACK", 8);
}
std::uint64_t Connection::lastInsertId() const {
  return mysql_insert_id(mysql_);
}

void Connection::use(const std::string& database) {
  if (mysql_select_db(mysql_, database.c_str()) != 0) fail();
  endpoint_.database = database;
}

bool Connection::alive() {
  return mysql_ping(mysql_) == 0;
}

}  // namespace vlt::server
