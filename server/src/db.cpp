#include "db.h"

#include <mysql.h>
#include <poll.h>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <thread>

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

struct Column {
  FieldDef def;
  CellCheck check = CellCheck::Plain;
};

[[noreturn]] void refuse(const FieldDef& f, std::size_t row, const std::string& problem) {
  std::string where = "结果列 " + f.name;
  if (row > 0) where += " 第 " + std::to_string(row) + " 行";
  throw ResultError(where + problem);
}

Column columnOf(const MYSQL_FIELD& f) {
  Column c;
  FieldDef& d = c.def;
  d.name.assign(f.name, f.name_length);
  const bool isUnsigned = (f.flags & UNSIGNED_FLAG) != 0;
  switch (f.type) {
    case MYSQL_TYPE_TINY:
    case MYSQL_TYPE_YEAR:
      d.type = DataType::Int16;
      break;
    case MYSQL_TYPE_SHORT:
      d.type = isUnsigned ? DataType::Int32 : DataType::Int16;  // unsigned: up to 65535
      break;
    case MYSQL_TYPE_INT24:
      d.type = DataType::Int32;
      break;
    case MYSQL_TYPE_LONG:
      d.type = isUnsigned ? DataType::Int64 : DataType::Int32;
      break;
    case MYSQL_TYPE_LONGLONG:
      d.type = DataType::Int64;
      if (isUnsigned) c.check = CellCheck::UnsignedBig;
      break;
    case MYSQL_TYPE_BIT:
      d.type = DataType::Int64;
      c.check = CellCheck::Bits;
      break;
    case MYSQL_TYPE_FLOAT:
    case MYSQL_TYPE_DOUBLE:
      d.type = DataType::Float;
      c.check = CellCheck::Float;
      break;
    case MYSQL_TYPE_DECIMAL:
    case MYSQL_TYPE_NEWDECIMAL: {
      d.type = DataType::Decimal;
      c.check = CellCheck::Decimal;
      d.scale = static_cast<int>(f.decimals);
      if (d.scale > Decimal::kMaxDigits)
        refuse(d, 0,
               " 的小数位数 " + std::to_string(d.scale) + " 超出了可传送的 " +
                   std::to_string(Decimal::kMaxDigits) + " 位");
      const int digits = static_cast<int>(f.length) - (d.scale > 0 ? 1 : 0) - (isUnsigned ? 0 : 1);
      // Sums and products are declared up to 65 digits wide although their values are rarely
      // near that: the field says what the client's decimal holds, the scale stays, and each
      // value is checked against it.
      d.precision = std::clamp(digits, std::max(d.scale, 1), Decimal::kMaxDigits);
      break;
    }
    case MYSQL_TYPE_DATE:
    case MYSQL_TYPE_NEWDATE:
      d.type = DataType::Date;
      c.check = CellCheck::Date;
      break;
    case MYSQL_TYPE_DATETIME:
    case MYSQL_TYPE_TIMESTAMP:
      d.type = DataType::DateTime;
      c.check = CellCheck::DateTime;
      break;
    case MYSQL_TYPE_TIME:
      d.type = DataType::Time;
      c.check = CellCheck::Time;
      break;
    case MYSQL_TYPE_GEOMETRY:
      refuse(d, 0, " 是几何数据，无法传送；请用 ST_AsText(" + d.name + ") 取出它的文本");
    default:
      d.type = DataType::String;
      if (isBinary(f)) {
        c.check = CellCheck::Binary;
      } else if (f.length > 0 && f.length < 4u * 65536u) {
        // Lengths are in bytes of the connection's character set (4 per utf8mb4 character).
        d.size = static_cast<int>(f.length / 4);
      }
      break;
  }
  return c;
}

// Offset of the first byte that is not part of well-formed UTF-8, or npos.
std::size_t invalidUtf8(std::string_view s) {
  std::size_t i = 0;
  while (i < s.size()) {
    const auto c = static_cast<unsigned char>(s[i]);
    if (c < 0x80) {
      ++i;
      continue;
    }
    std::size_t n = 0;  // continuation bytes
    unsigned char lo = 0x80, hi = 0xBF;
    if (c >= 0xC2 && c <= 0xDF) {
      n = 1;
    } else if (c >= 0xE0 && c <= 0xEF) {
      n = 2;
      if (c == 0xE0) lo = 0xA0;  // overlong
      if (c == 0xED) hi = 0x9F;  // surrogates
    } else if (c >= 0xF0 && c <= 0xF4) {
      n = 3;
      if (c == 0xF0) lo = 0x90;  // overlong
      if (c == 0xF4) hi = 0x8F;  // past U+10FFFF
    } else {
      return i;
    }
    if (s.size() - i <= n) return i;
    const auto first = static_cast<unsigned char>(s[i + 1]);
    if (first < lo || first > hi) return i;
    for (std::size_t k = 2; k <= n; ++k)
      if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return i;
    i += n + 1;
  }
  return std::string_view::npos;
}

bool allZeros(std::string_view t) {
  return std::all_of(t.begin(), t.end(), [](char ch) { return ch == '0'; });
}

// The database's "no date": the zero date-time, with or without a fraction of zeros.
bool zeroDateTime(std::string_view t) {
  return t.substr(0, 19) == "0000-00-00 00:00:00" &&
         (t.size() == 19 || (t[19] == '.' && allZeros(t.substr(20))));
}

// The length of a temporal text without its fraction of a second, which the client's values do
// not hold: a fraction of zeros is dropped, any other refused.
std::size_t wholeSeconds(const FieldDef& f, std::size_t row, std::string_view t) {
  const std::size_t dot = t.find('.');
  if (dot == std::string_view::npos) return t.size();
  if (!allZeros(t.substr(dot + 1)))
    refuse(f, row,
           " 的值 " + std::string(t) + " 带有几分之一秒，客户端的时间只精确到秒；请用 CAST(" +
               f.name + " AS " + (f.type == DataType::Time ? "TIME" : "DATETIME") + ") 去掉它");
  return dot;
}

}  // namespace

// Checks one cell and, where the database's text is not the packet's, rewrites it: `cell` and
// `length` then point into `text` (or the cell becomes null for the zero date).
void checkCell(const FieldDef& f, CellCheck check, std::size_t row, const char*& cell,
               unsigned long& length, std::string& text) {
  const std::string_view t(cell, length);
  switch (check) {
    case CellCheck::Plain:
      return;
    case CellCheck::UnsignedBig: {
      std::int64_t v = 0;
      const auto r = std::from_chars(t.data(), t.data() + t.size(), v);
      if (r.ec != std::errc() || r.ptr != t.data() + t.size())
        refuse(f, row,
               " 的值 " + std::string(t) + " 超出了 64 位整数的范围；请用 CAST(" + f.name +
                   " AS DECIMAL(20,0)) 取出");
      return;
    }
    case CellCheck::Bits: {
      std::uint64_t v = 0;
      for (char ch : t)
        v = (v << 8) | static_cast<unsigned char>(ch);
      text = std::to_string(v);
      if (length > 8 || v > static_cast<std::uint64_t>(INT64_MAX))
        refuse(f, row,
               " 的值 " + text + " 超出了 64 位整数的范围；请用 CAST(" + f.name +
                   " AS DECIMAL(20,0)) 取出");
      cell = text.data();
      length = text.size();
      return;
    }
    case CellCheck::Float: {
      double v = 0;
      const auto r = std::from_chars(t.data(), t.data() + t.size(), v);
      if (r.ec != std::errc() || r.ptr != t.data() + t.size() || !std::isfinite(v))
        refuse(f, row, " 的值 " + std::string(t) + " 不是可传送的浮点数");
      return;
    }
    case CellCheck::Decimal: {
      // [-]digits[.digits], and the digits the value needs at the field's scale; leading zeros
      // do not count.
      std::size_t i = t.empty() || t[0] != '-' ? 0 : 1;
      const std::size_t digitsStart = i;
      while (i < t.size() && t[i] == '0')
        ++i;
      const std::size_t intStart = i;
      while (i < t.size() && t[i] >= '0' && t[i] <= '9')
        ++i;
      const std::size_t intDigits = i - intStart;
      std::size_t fracDigits = 0;
      if (i < t.size() && t[i] == '.') {
        const std::size_t fracStart = ++i;
        while (i < t.size() && t[i] >= '0' && t[i] <= '9')
          ++i;
        fracDigits = i - fracStart;
        if (fracDigits == 0) i = 0;
      }
      if (i == digitsStart || i != t.size() || fracDigits > static_cast<std::size_t>(f.scale))
        refuse(
            f, row,
            " 的值 " + std::string(t) + " 不是 " + std::to_string(f.scale) + " 位小数的十进制数");
      const std::size_t room = static_cast<std::size_t>(f.precision - f.scale);
      if (intDigits > room)
        refuse(f, row,
               " 的值 " + std::string(t) + " 的整数部分有 " + std::to_string(intDigits) +
                   " 位，超出了可传送的 decimal(" + std::to_string(f.precision) + "," +
                   std::to_string(f.scale) + ") 所容的 " + std::to_string(room) + " 位");
      return;
    }
    case CellCheck::Date:
      if (t == "0000-00-00") {
        cell = nullptr;  // the database's "no date"
        return;
      }
      if (Date d; t.size() != 10 || !Date::tryParse(t, d))
        refuse(f, row, " 的值 " + std::string(t) + " 不是有效的日期（年、月、日不能为零）");
      return;
    case CellCheck::DateTime: {
      if (zeroDateTime(t)) {
        cell = nullptr;
        return;
      }
      const std::size_t whole = wholeSeconds(f, row, t);
      if (DateTime d; whole != 19 || !DateTime::tryParse(t.substr(0, whole), d))
        refuse(f, row, " 的值 " + std::string(t) + " 不是有效的日期时间（年、月、日不能为零）");
      length = whole;
      return;
    }
    case CellCheck::Time: {
      const std::size_t whole = wholeSeconds(f, row, t);
      if (Time v; whole != 8 || !Time::tryParse(t.substr(0, whole), v))
        refuse(f, row,
               " 的值 " + std::string(t) +
                   " 不在 00:00:00 到 23:59:59 之间；时长请用 TIME_TO_SEC(" + f.name + ") 取秒数");
      length = whole;
      return;
    }
    case CellCheck::Binary: {
      const std::size_t bad = invalidUtf8(t);
      if (bad != std::string_view::npos)
        refuse(f, row,
               " 是二进制数据（" + std::to_string(length) + " 字节，第 " + std::to_string(bad + 1) +
                   " 字节起不是 UTF-8 文本），无法作为文本传送；请用 HEX(" + f.name +
                   ") 或 TO_BASE64(" + f.name + ") 取出");
      return;
    }
  }
}

Value cellValue(const FieldDef& d, const char* data, unsigned long length) {
  std::string_view text(data, length);
  switch (d.type) {
    case DataType::Int16:
    case DataType::Int32:
    case DataType::Int64: {
      std::int64_t v = 0;
      std::from_chars(text.data(), text.data() + text.size(), v);
      if (d.type == DataType::Int16) return Value(static_cast<std::int16_t>(v));
      if (d.type == DataType::Int32) return Value(static_cast<std::int32_t>(v));
      return Value(v);
    }
    case DataType::Float: {
      double v = 0;
      std::from_chars(text.data(), text.data() + text.size(), v);
      return Value(v);
    }
    case DataType::Decimal:
      return Value(Decimal::parse(text));
    case DataType::Date:
      return Value(Date::parse(text));
    case DataType::DateTime:
      return Value(DateTime::parse(text));
    case DataType::Time:
      return Value(Time::parse(text));
    default:
      return Value(std::string(text));
  }
}

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
  c->connect();
  c->applySession(session);
  return c;
}

void Connection::connect() {
  if (mysql_) mysql_close(mysql_);
  mysql_ = mysql_init(nullptr);
  if (!mysql_) throw DbError(2008, "HY000", "Out of memory opening a database connection");
  unsigned timeout = 10;
  mysql_optionsv(mysql_, MYSQL_OPT_CONNECT_TIMEOUT, &timeout);
  mysql_optionsv(mysql_, MYSQL_SET_CHARSET_NAME, "utf8mb4");
  // A server may ask the client for any file the client can read (LOAD DATA LOCAL INFILE).
  unsigned localInfile = 0;
  mysql_optionsv(mysql_, MYSQL_OPT_LOCAL_INFILE, &localInfile);
  const DbEndpoint& e = endpoint_;
  const bool useSocket = !e.socket.empty();
  if (!mysql_real_connect(mysql_, useSocket ? nullptr : e.host.c_str(), e.user.c_str(),
                          e.password.c_str(), e.database.empty() ? nullptr : e.database.c_str(),
                          useSocket ? 0 : e.port, useSocket ? e.socket.c_str() : nullptr,
                          CLIENT_FOUND_ROWS))
    fail();
}

// Whether a statement that failed with `code` on its `attempt`-th sending goes again, after the
// pause: only a lone one (outside a transaction) that lost a deadlock or a cluster's
// certification, which was rolled back whole. The pauses grow (about 1.4 s in all).
static bool pausedToSendAgain(bool alone, unsigned code, int attempt) {
  if (!alone || code != 1213 || attempt >= 8) return false;
  std::this_thread::sleep_for(std::chrono::milliseconds(10 * attempt * attempt));
  return true;
}

void Connection::send(std::string_view sql, SessionUse use) {
  const bool unverified = unverified_;
  unverified_ = false;
  // A statement outside a transaction that lost a deadlock, or a cluster's certification, was
  // rolled back whole: sent again after a pause. The pauses grow (about 1.4 s in all), since a
  // loaded node may still be applying the writes it lost to.
  const bool alone = (mysql_->server_status & SERVER_STATUS_IN_TRANS) == 0;
  for (int attempt = 1;; ++attempt) {
    if (mysql_real_query(mysql_, sql.data(), sql.size()) == 0) return;
    if (!pausedToSendAgain(alone, mysql_errno(mysql_), attempt)) break;
  }
  // 2006: the statement was not sent; 2013: it may have run before the connection broke.
  const unsigned code = mysql_errno(mysql_);
  const bool retry = unverified && (code == 2006 || (code == 2013 && use == SessionUse::ReadsOnly));
  if (!retry) fail();
  const std::uint64_t limit = answerLimit_;
  connect();
  applySession(applied_);
  answerLimit_ = limit;
  if (use != SessionUse::ReadsOnly) untouched_ = false;
  if (mysql_real_query(mysql_, sql.data(), sql.size()) != 0) fail();
}

void Connection::applySession(const SessionSettings& session) {
  char limit[32];
  std::snprintf(limit, sizeof limit, "%.3f", session.maxStatementSeconds);
  execute(std::string(kSessionSettings) + limit +
          (session.causalReads ? ", SESSION wsrep_sync_wait=1" : ""));
  answerLimit_ = 0;
  answerBytes_ = 0;
  applied_ = session;
  untouched_ = true;
}

bool Connection::closedByServer() const {
  // An idle connection has nothing to read: anything readable is the server's end of it (closed
  // on a timeout, a restart or a kill), seen without a round trip.
  pollfd p{static_cast<int>(mysql_get_socket(mysql_)), POLLIN, 0};
  return ::poll(&p, 1, 0) != 0;
}

void Connection::reset(const SessionSettings& session) {
  if (untouched_ && session == applied_ && !closedByServer()) {
    answerLimit_ = 0;
    answerBytes_ = 0;
    unverified_ = true;
    return;
  }
  untouched_ = false;
  if (session.causalReads) {
    // On a cluster node a reset session no longer waits for the cluster before its reads,
    // whatever wsrep_sync_wait says: a new session does.
    connect();
  } else if (mysql_reset_connection(mysql_) != 0) {
    fail();
  }
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
  untouched_ = false;
  throw DbError(mysql_errno(mysql_), mysql_sqlstate(mysql_), mysql_error(mysql_));
}

std::uint64_t Connection::execute(std::string_view sql) {
  untouched_ = false;
  send(sql, SessionUse::Changes);
  // A statement that returns rows here is drained so that the connection stays usable.
  if (MYSQL_RES* res = mysql_store_result(mysql_)) {
    mysql_free_result(res);
    return 0;
  }
  if (mysql_field_count(mysql_) != 0) fail();
  return mysql_affected_rows(mysql_);
}

Packet Connection::query(std::string_view sql, std::size_t maxRows, SessionUse use) {
  // A statement that writes and returns rows (SELECT NEXTVAL) commits after sending them, so a
  // lost deadlock or certification comes at the end of its rows. Outside a transaction it was
  // rolled back whole and nothing was handed out yet: sent again, as send() does.
  const bool alone = (mysql_->server_status & SERVER_STATUS_IN_TRANS) == 0;
  for (int attempt = 1;; ++attempt) {
    try {
      return readAll(sql, maxRows, use);
    } catch (const DbError& e) {
      if (!pausedToSendAgain(alone, e.code(), attempt)) throw;
    }
  }
}

Packet Connection::readAll(std::string_view sql, std::size_t maxRows, SessionUse use) {
  OpenResult result = open(sql, maxRows, use);
  Packet p;
  p.fields = result.fields();
  const std::size_t n = p.fields.size();
  const char* const* cells = nullptr;
  const unsigned long* lengths = nullptr;
  while (result.next(cells, lengths)) {
    Row r;
    r.reserve(n);
    for (std::size_t i = 0; i < n; ++i)
      r.push_back(cells[i] ? cellValue(p.fields[i], cells[i], lengths[i]) : Value());
    p.rows.push_back(std::move(r));
  }
  return p;
}

OpenResult::OpenResult(OpenResult&& other) noexcept
    : owner_(other.owner_),
      mysql_(other.mysql_),
      res_(other.res_),
      fields_(std::move(other.fields_)),
      maxRows_(other.maxRows_),
      count_(other.count_),
      checks_(std::move(other.checks_)),
      cells_(std::move(other.cells_)),
      lengths_(std::move(other.lengths_)),
      texts_(std::move(other.texts_)) {
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
    if (failed) owner_->untouched_ = false;
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
  if (!checks_.empty()) {
    checkCells(row, lengths);
    cells = cells_.data();
    lengths = lengths_.data();
  }
  return true;
}

void OpenResult::addField(const MYSQL_FIELD& field) {
  Column c = columnOf(field);
  fields_.add(std::move(c.def));
  checks_.push_back(static_cast<unsigned char>(c.check));
}

void OpenResult::checkCells(char** row, const unsigned long* lengths) {
  const std::size_t n = checks_.size();
  cells_.assign(row, row + n);
  lengths_.assign(lengths, lengths + n);
  texts_.resize(n);
  for (std::size_t i = 0; i < n; ++i)
    if (checks_[i] != static_cast<unsigned char>(CellCheck::Plain) && cells_[i])
      checkCell(fields_[i], static_cast<CellCheck>(checks_[i]), count_, cells_[i], lengths_[i],
                texts_[i]);
}

OpenResult Connection::open(std::string_view sql, std::size_t maxRows, SessionUse use) {
  if (use != SessionUse::ReadsOnly) untouched_ = false;
  send(sql, use);
  MYSQL_RES* res = mysql_use_result(mysql_);
  if (!res && mysql_field_count(mysql_) != 0) fail();
  OpenResult result(this, mysql_, res, maxRows);  // no result: a statement without rows
  if (res) {
    unsigned n = mysql_num_fields(res);
    MYSQL_FIELD* fields = mysql_fetch_fields(res);
    for (unsigned i = 0; i < n; ++i)
      result.addField(fields[i]);
    // Rows of text, integers and strings only pass as they come.
    if (std::all_of(result.checks_.begin(), result.checks_.end(), [](unsigned char c) {
          return c == static_cast<unsigned char>(CellCheck::Plain);
        }))
      result.checks_.clear();
  }
  return result;
}

std::optional<std::string> Connection::scalar(std::string_view sql) {
  Packet p = query(sql);
  if (p.rows.empty() || p.rows[0].empty() || p.rows[0][0].isNull()) return std::nullopt;
  return p.rows[0][0].toText();
}

bool Connection::exists(std::string_view sql, SessionUse use) {
  // Only whether there is a row: the server stops at the first one.
  Packet p = query("SELECT EXISTS(" + std::string(sql) + ")", 0, use);
  return !p.rows.empty() && !p.rows[0].empty() && p.rows[0][0].toText() == "1";
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
  untouched_ = false;
  mysql_real_query(mysql_, "ROLLBACK", 8);
}
std::uint64_t Connection::lastInsertId() const {
  return mysql_insert_id(mysql_);
}

void Connection::use(const std::string& database) {
  untouched_ = false;
  if (mysql_select_db(mysql_, database.c_str()) != 0) fail();
  endpoint_.database = database;
}

bool Connection::alive() {
  return mysql_ping(mysql_) == 0;
}

}  // namespace vlt::server
