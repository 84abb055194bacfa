#include "placement.h"

#include <regex>

#include "galera.h"
#include "vlt/sqltext.h"

namespace vlt::server {

Placement::Placement(ConnectionPool& home, DbEndpoint homeAdmin, std::string homeAccountHost,
                     std::string systemDb, std::string authDb)
    : home_(home),
      homeAdmin_(std::move(homeAdmin)),
      homeAccountHost_(std::move(homeAccountHost)),
      systemDb_(std::move(systemDb)),
      authDb_(std::move(authDb)) {
  homeAdmin_.database.clear();
}

Lease Placement::system() {
  return home_.acquire(homeAdmin_.user, homeAdmin_.password, systemDb_);
}

SetPlace Placement::where(const std::string& setId) {
  Lease db = system();
  Packet p =
      db->query("SELECT Server, Moving FROM sys_setplacement WHERE UserDBID = " + quotedStr(setId));
  SetPlace out;
  if (!p.rows.empty()) {
    out.server = p.rows[0][0].toText();
    out.moving = p.rows[0][1].toText() != "0";
  }
  return out;
}

DbServer Placement::server(const std::string& name) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = servers_.find(name);
    if (it != servers_.end()) return it->second;
  }
  DbServer s;
  s.name = name;
  if (name == kHomeServer) {
    s.admin = homeAdmin_;
    s.accountHost = homeAccountHost_;
  } else {
    // A server added by the administrator: its address here, its password in the auth store.
    Lease db = system();
    Packet p = db->query(
        "SELECT s.Socket, s.Host, s.Port, s.AdminUser, s.Accepting, a.Password FROM sys_dbserver s "
        "LEFT JOIN " +
        quoteIdentifier(authDb_) +
        ".auth_dbserver a ON a.Name = s.Name WHERE s.Name = " + quotedStr(name));
    if (p.rows.empty()) throw Error("没有名为 " + name + " 的数据库服务器");
    const Row& r = p.rows[0];
    s.admin.socket = r[0].toText();
    s.admin.host = r[1].toText();
    s.admin.port = static_cast<unsigned>(r[2].toInt64());
    s.admin.user = r[3].toText();
    s.admin.password = r[5].isNull() ? std::string() : r[5].toText();
    s.accepting = r[4].toText() != "0";
    s.accountHost = s.admin.socket.empty() ? "%" : "localhost";
  }
  std::lock_guard<std::mutex> lock(mutex_);
  return servers_.emplace(name, s).first->second;
}

ConnectionPool& Placement::pool(const std::string& name) {
  if (name == kHomeServer) return home_;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = pools_.find(name);
    if (it != pools_.end()) return *it->second;
  }
  const DbServer s = server(name);
  auto made = std::make_unique<ConnectionPool>(s.admin);
  // A cluster behind the address reads causally, as the home server's pool does.
  made->setCausalReads(isGaleraNode(*Connection::open(s.admin)));
  std::lock_guard<std::mutex> lock(mutex_);
  return *pools_.emplace(name, std::move(made)).first->second;
}

std::unique_ptr<Connection> Placement::adminConnection(const std::string& name,
                                                       const std::string& database) {
  DbEndpoint e = server(name).admin;
  e.database = database;
  return Connection::open(e);
}

std::string Placement::place(const std::string& setId) {
  Lease db = system();
  // Placed beforehand by the administrator, or the accepting server holding the fewest sets.
  if (auto given =
          db->scalar("SELECT Server FROM sys_setplacement WHERE UserDBID = " + quotedStr(setId)))
    return *given;
  auto chosen = db->scalar(
      "SELECT s.Name FROM sys_dbserver s LEFT JOIN sys_setplacement p ON p.Server = s.Name "
      "WHERE s.Accepting = 1 GROUP BY s.Name ORDER BY COUNT(p.UserDBID), s.Name = 'home' DESC, "
      "s.Name LIMIT 1");
  const std::string name = chosen ? *chosen : std::string(kHomeServer);
  db->execute("INSERT INTO sys_setplacement (UserDBID, Server) VALUES (" + quotedStr(setId) + ", " +
              quotedStr(name) + ")");
  return name;
}

void Placement::unplace(const std::string& setId) {
  Lease db = system();
  db->execute("DELETE FROM sys_setplacement WHERE UserDBID = " + quotedStr(setId));
}

std::vector<std::pair<std::string, int>> Placement::census() {
  Lease db = system();
  Packet p = db->query(
      "SELECT s.Name, COUNT(p.UserDBID) FROM sys_dbserver s LEFT JOIN sys_setplacement p ON "
      "p.Server = s.Name GROUP BY s.Name ORDER BY s.Name");
  std::vector<std::pair<std::string, int>> out;
  for (const Row& r : p.rows)
    out.emplace_back(r[0].toText(), static_cast<int>(r[1].toInt64()));
  return out;
}

void Placement::addServer(const DbServer& s) {
  static const std::regex name("[a-z0-9_]{1,40}");
  if (!std::regex_match(s.name, name) || s.name == kHomeServer)
    throw Error("服务器名只能由小写字母、数字和下划线组成（且不能是 home）：" + s.name);
  Connection::open(s.admin)->execute("SELECT 1");  // reachable with that account, or throws
  Lease db = system();
  db->execute("INSERT INTO sys_dbserver (Name, Socket, Host, Port, AdminUser, Accepting) VALUES (" +
              quotedStr(s.name) + ", " + quotedStr(s.admin.socket) + ", " +
              quotedStr(s.admin.host) + ", " + std::to_string(s.admin.port) + ", " +
              quotedStr(s.admin.user) + ", " + (s.accepting ? "1" : "0") +
              ") ON DUPLICATE KEY UPDATE Socket = VALUES(Socket), Host = VALUES(Host), Port = "
              "VALUES(Port), AdminUser = VALUES(AdminUser), Accepting = VALUES(Accepting)");
  db->execute("INSERT INTO " + quoteIdentifier(authDb_) +
              ".auth_dbserver (Name, Password) VALUES (" + quotedStr(s.name) + ", " +
              quotedStr(s.admin.password) +
              ") ON DUPLICATE KEY UPDATE Password = VALUES(Password)");
  std::lock_guard<std::mutex> lock(mutex_);
  servers_.erase(s.name);
  pools_.erase(s.name);
}

bool Placement::markMoving(const std::string& setId, bool moving) {
  Lease db = system();
  // A set made before placement rows existed gets its row now.
  db->execute("INSERT IGNORE INTO sys_setplacement (UserDBID, Server) VALUES (" + quotedStr(setId) +
              ", 'home')");
  return db->execute("UPDATE sys_setplacement SET Moving = " + std::string(moving ? "1" : "0") +
                     " WHERE UserDBID = " + quotedStr(setId) +
                     " AND Moving = " + (moving ? "0" : "1")) == 1;
}

void Placement::switchTo(const std::string& setId, const std::string& name) {
  Lease db = system();
  db->execute("UPDATE sys_setplacement SET Server = " + quotedStr(name) +
              ", Moving = 0 WHERE UserDBID = " + quotedStr(setId));
}

namespace {

struct TriggerText {
  std::string sqlMode;
  std::string statement;
};

std::vector<std::string> columnOf(Connection& db, const std::string& sql) {
  std::vector<std::string> out;
  for (const Row& r : db.query(sql).rows)
    out.push_back(r[0].toText());
  return out;
}

}  // namespace

std::string rowsAsDerivedTable(Connection& setDatabase, const std::string& table,
                               const std::string& alias, std::size_t maxRows) {
  Packet p = setDatabase.query("SELECT * FROM " + quoteIdentifier(table), maxRows);
  auto literal = [](const Value& v) {
    return v.isNull() ? std::string("NULL") : quotedStr(v.toText());
  };
  std::string out = "(";
  if (p.rows.empty()) {
    // No rows, the columns still named.
    out += "SELECT ";
    for (std::size_t i = 0; i < p.fields.size(); ++i)
      out += (i ? ", NULL AS " : "NULL AS ") + quoteIdentifier(p.fields[i].name);
    out += " FROM DUAL WHERE 0";
  }
  for (std::size_t r = 0; r < p.rows.size(); ++r) {
    out += r ? " UNION ALL SELECT " : "SELECT ";
    for (std::size_t i = 0; i < p.fields.size(); ++i) {
      out += (i ? ", " : "") + literal(p.rows[r][i]);
      if (r == 0) out += " AS " + quoteIdentifier(p.fields[i].name);
    }
  }
  out += ")";
  if (!alias.empty()) out += " AS " + quoteIdentifier(alias);
  return out;
}

std::size_t copyAccountSet(Connection& from, Connection& to) {
  const std::string source = quotedStr(from.database());
  const std::string target = quotedStr(to.database());
  // The target's own triggers (same migrations, its own administrator as definer), in the
  // order they fire, to be put back once the rows are in.
  std::vector<TriggerText> triggers;
  Packet defs = to.query(
      "SELECT TRIGGER_NAME, ACTION_TIMING, EVENT_MANIPULATION, EVENT_OBJECT_TABLE, "
      "ACTION_STATEMENT, SQL_MODE FROM information_schema.TRIGGERS WHERE TRIGGER_SCHEMA = " +
      target + " ORDER BY EVENT_OBJECT_TABLE, EVENT_MANIPULATION, ACTION_TIMING, ACTION_ORDER");
  for (const Row& r : defs.rows) {
    const std::string name = quoteIdentifier(r[0].toText());
    triggers.push_back(TriggerText{r[5].toText(), "CREATE TRIGGER " + name + " " + r[1].toText() +
                                                      " " + r[2].toText() + " ON " +
                                                      quoteIdentifier(r[3].toText()) +
                                                      " FOR EACH ROW " + r[4].toText()});
    to.execute("DROP TRIGGER " + name);
  }
  // QUOTE() writes literals with backslash escapes: the target reads them that way.
  to.execute(
      "SET SESSION sql_mode = 'STRICT_TRANS_TABLES,NO_ENGINE_SUBSTITUTION', "
      "SESSION foreign_key_checks = 0, SESSION unique_checks = 0");
  std::size_t copied = 0;
  const std::vector<std::string> tables = columnOf(
      from,
      "SELECT TABLE_NAME FROM information_schema.TABLES WHERE TABLE_SCHEMA = " + source +
          " AND TABLE_TYPE = 'BASE TABLE' AND TABLE_NAME NOT LIKE 'vlt\\_schema\\_%' ORDER BY "
          "TABLE_NAME");
  for (const std::string& table : tables) {
    const std::vector<std::string> columns = columnOf(
        from, "SELECT COLUMN_NAME FROM information_schema.COLUMNS WHERE TABLE_SCHEMA = " + source +
                  " AND TABLE_NAME = " + quotedStr(table) +
                  " AND EXTRA NOT LIKE '%GENERATED%' ORDER BY ORDINAL_POSITION");
    std::string names, quoted;
    for (const std::string& c : columns) {
      names += (names.empty() ? "" : ", ") + quoteIdentifier(c);
      quoted += (quoted.empty() ? "" : ", ") + ("QUOTE(" + quoteIdentifier(c) + ")");
    }
    const std::string t = quoteIdentifier(table);
    // The migrations' fixed rows are replaced by the source's own.
    to.execute("DELETE FROM " + t);
    const std::string head = "INSERT INTO " + t + " (" + names + ") VALUES ";
    std::string batch;
    std::size_t rows = 0;
    {
      OpenResult result = from.open("SELECT CONCAT_WS(',', " + quoted + ") FROM " + t);
      const char* const* cells = nullptr;
      const unsigned long* lengths = nullptr;
      while (result.next(cells, lengths)) {
        batch += batch.empty() ? head : std::string(",");
        batch += '(';
        batch.append(cells[0], lengths[0]);
        batch += ')';
        ++rows;
        if (batch.size() > (1u << 20)) {
          to.execute(batch);
          batch.clear();
        }
      }
    }
    if (!batch.empty()) to.execute(batch);
    const auto there = to.scalar("SELECT COUNT(*) FROM " + t);
    if (!there || std::stoull(*there) != rows)
      throw Error("复制表 " + table + " 后行数不一致：源 " + std::to_string(rows) + " 行，目标 " +
                  (there ? *there : std::string("?")) + " 行");
    copied += rows;
  }
  for (const TriggerText& tr : triggers) {
    to.execute("SET SESSION sql_mode = " + quotedStr(tr.sqlMode));
    to.execute(tr.statement);
  }
  return copied;
}

}  // namespace vlt::server
