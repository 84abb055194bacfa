// Moving an account set to another database server (an administrator's command).
#include <algorithm>
#include <regex>
#include <set>
#include <thread>

#include "service.h"
#include "vlt/sqltext.h"

namespace vlt::server {

std::size_t DataService::remoteSetTable(const std::vector<SqlToken>& tokens, std::size_t at,
                                        const std::string& server, std::string& out) {
  const std::string& setId = tokens[at].text;
  // Only the grants table is shared with the system statements (as on the home server, where
  // the user's account may read nothing else of a set).
  if (at + 2 >= tokens.size() ||
      !(tokens[at + 2].kind == SqlTokenKind::Word ||
        tokens[at + 2].kind == SqlTokenKind::QuotedName) ||
      !equalsIgnoreCase(tokens[at + 2].text, "ts_userpower"))
    throw AccessDenied("您没有访问帐套 " + setId + " 中这张表的权限");
  // A derived table needs a name: the table's own unless the statement gives one.
  static const std::set<std::string> clauses = {
      "WHERE",  "JOIN",      "INNER",     "LEFT",   "RIGHT",     "CROSS",  "NATURAL",       "ON",
      "USING",  "GROUP",     "ORDER",     "LIMIT",  "UNION",     "HAVING", "WINDOW",        "FOR",
      "LOCK",   "INTO",      "SET",       "EXCEPT", "INTERSECT", "USE",    "STRAIGHT_JOIN", "FORCE",
      "IGNORE", "PARTITION", "RETURNING", "VALUES", "SELECT"};
  const bool named =
      at + 3 < tokens.size() &&
      ((tokens[at + 3].kind == SqlTokenKind::Word && !clauses.count(tokens[at + 3].text)) ||
       tokens[at + 3].kind == SqlTokenKind::QuotedName);
  auto db = placement_->adminConnection(server, accountDatabase(setId));
  out +=
      rowsAsDerivedTable(*db, "ts_userpower", named ? "" : "ts_userpower", settings_.maxResultRows);
  return tokens[at + 2].offset + tokens[at + 2].length;
}

std::string DataService::MoveAccountSet(const std::string& setId, const std::string& target) {
  placement_->server(target);  // throws for an unknown server
  {
    Lease sys = adminConnection(systemDb_);
    if (!sys->exists("SELECT 1 FROM userdatabase WHERE UserDBID = " + quotedStr(setId))) {
      // Not made yet: it will be made there.
      static const std::regex form(R"(^\d+_(0[1-9]|[1-9][0-9])$)");
      if (!std::regex_match(setId, form)) throw Error("帐套编号无效：" + setId);
      sys->execute("INSERT INTO sys_setplacement (UserDBID, Server) VALUES (" + quotedStr(setId) +
                   ", " + quotedStr(target) + ") ON DUPLICATE KEY UPDATE Server = VALUES(Server)");
      return "帐套 " + setId + " 将在服务器 " + target + " 上创建";
    }
  }
  const std::string source = placement_->where(setId).server;
  if (source == target) throw Error("帐套 " + setId + " 已经在服务器 " + target + " 上");
  // Marked first, so that no call starts on it once the check below has passed.
  if (!placement_->markMoving(setId, true)) throw Error("帐套 " + setId + " 正在迁移中");
  struct Unmark {
    Placement& p;
    const std::string& set;
    bool done = false;
    ~Unmark() {
      if (done) return;
      try {
        p.markMoving(set, false);
      } catch (const std::exception&) {
        // The database went away; the administrator sees the move's own failure.
      }
    }
  } unmark{*placement_, setId};
  {
    Lease sys = adminConnection(systemDb_);
    auto user = sys->scalar(
        "SELECT s.LoginID FROM " + quoteIdentifier(authDb_) +
        ".auth_session s WHERE s.ExpiresAt > UTC_TIMESTAMP() AND s.LoginID IN (SELECT UserID "
        "FROM userdatabase WHERE UserDBID = " +
        quotedStr(setId) + " UNION SELECT UserID FROM userdatabaseoperator WHERE UserDBID = " +
        quotedStr(setId) + ") LIMIT 1");
    if (user)
      throw Error("帐套 " + setId + " 正在使用中：用户 " + *user + " 仍在登录，请其退出后再迁移");
  }
  // A sign-out and the mark reach every instance within a second (their session and access
  // caches); calls that started before them have ended by then.
  std::this_thread::sleep_for(std::max(std::chrono::milliseconds(1500),
                                       settings_.accessCacheTime + std::chrono::milliseconds(500)));

  const std::string dbName = accountDatabase(setId);
  // A copy left on the target by a move that failed is not the set's: it goes first.
  placement_->adminConnection(target)->execute("DROP DATABASE IF EXISTS " +
                                               quoteIdentifier(dbName));
  std::size_t rows = 0;
  try {
    provisionAccountSet(setId, target);
    auto from = placement_->adminConnection(source, dbName);
    auto to = placement_->adminConnection(target, dbName);
    rows = copyAccountSet(*from, *to);
  } catch (...) {
    placement_->adminConnection(target)->execute("DROP DATABASE IF EXISTS " +
                                                 quoteIdentifier(dbName));
    throw;
  }
  placement_->switchTo(setId, target);
  unmark.done = true;
  forgetAccess();

  // The old copy, its account and the grants others had on it go.
  auto old = placement_->adminConnection(source);
  old->execute("DROP DATABASE IF EXISTS " + quoteIdentifier(dbName));
  const DbServer was = placement_->server(source);
  old->execute("DROP USER IF EXISTS " + quotedStr(accountUser(setId)) + "@" +
               quotedStr(was.accountHost));
  Packet grants =
      old->query("SELECT User, Host FROM mysql.tables_priv WHERE Db = " + quotedStr(dbName) +
                 " AND Table_name = 'ts_userpower'");
  for (const Row& r : grants.rows)
    old->execute("REVOKE SELECT ON " + quoteIdentifier(dbName) + ".`ts_userpower` FROM " +
                 quotedStr(r[0].toText()) + "@" + quotedStr(r[1].toText()));
  placement_->pool(source).forget(dbName);
  {
    std::lock_guard<std::mutex> lock(accountsMutex_);
    for (auto it = powerGrants_.begin(); it != powerGrants_.end();)
      it = it->size() > setId.size() && it->substr(it->size() - setId.size() - 1) == "|" + setId
               ? powerGrants_.erase(it)
               : std::next(it);
  }
  return "帐套 " + setId + " 已从 " + source + " 迁移到 " + target + "（" + std::to_string(rows) +
         " 行）";
}

}  // namespace vlt::server
