#include "service.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <regex>
#include <thread>

#include "billcode.h"
#include "galera.h"
#include "migrations.h"
#include "sqlclass.h"
#include "vlt/json.h"
#include "vlt/sqltext.h"

namespace vlt::server {

namespace {

bool plainName(const std::string& s, std::size_t max = 64) {
  if (s.empty() || s.size() > max) return false;
  return std::all_of(s.begin(), s.end(), [](char ch) {
    return std::isalnum(static_cast<unsigned char>(ch)) || ch == '_';
  });
}

// In GRANT, `_` and `%` of a database name are wildcards; escaped they match only themselves.
std::string grantDatabase(const std::string& db) {
  std::string out = "`";
  for (char ch : db) {
    if (ch == '_' || ch == '%') out += '\\';
    if (ch == '`') out += '`';
    out += ch;
  }
  return out + "`";
}

std::string accountLiteral(const std::string& user, const std::string& host) {
  return quotedStr(user) + "@" + quotedStr(host);
}

}  // namespace

DataService::DataService(ServiceSettings settings)
    : settings_(std::move(settings)),
      systemDb_(settings_.prefix + "_sys"),
      authDb_(settings_.prefix + "_auth"),
      viewDb_(settings_.prefix + "_sysview"),
      pool_(settings_.admin) {
  AuthSettings a;
  a.database = authDb_;
  a.admin = settings_.admin;
  a.fastHashing = settings_.fastHashing;
  auth_ = std::make_unique<AuthStore>(pool_, a);
  placement_ = std::make_unique<Placement>(pool_, settings_.admin, settings_.accountHost, systemDb_,
                                           authDb_);
}

void DataService::prepare() {
  // Every step is safe to run again, so a start that lost its database runs them all again.
  const auto deadline = std::chrono::steady_clock::now() + settings_.startWait;
  for (auto pause = std::chrono::milliseconds(250);;
       pause = std::min(pause * 2, std::chrono::milliseconds(4000))) {
    try {
      prepareOnce();
      return;
    } catch (const DbError& e) {
      if (!e.unreachable() || std::chrono::steady_clock::now() + pause > deadline) throw;
      std::this_thread::sleep_for(pause);
    }
  }
}

void DataService::prepareOnce() {
  DbEndpoint admin = settings_.admin;
  admin.database.clear();
  auto root = Connection::open(admin);
  const bool cluster = isGaleraNode(*root);
  pool_.setCausalReads(cluster);
  // Whether a migration is still to do is read after taking the lock: on a cluster node the
  // read must wait for what the previous holder did on another node.
  if (cluster) root = Connection::open(admin, SessionSettings{0, true});
  for (const std::string& db : {authDb_, systemDb_}) {
    executeAgainOnCollision(*root, "CREATE DATABASE IF NOT EXISTS " + quoteIdentifier(db) +
                                       " CHARACTER SET utf8mb4 COLLATE utf8mb4_general_ci");
  }
  root->use(authDb_);
  applyMigrations(*root, schemaMigrations("auth"));
  root->use(systemDb_);
  applyMigrations(*root, schemaMigrations("system"));

  {
    // Instances starting together take turns replacing the views.
    SchemaLock lock(*root);
    createSystemViews(*root);
  }
  root->use(systemDb_);
  Packet sets = root->query("SELECT UserDBID FROM userdatabase");
  for (const Row& r : sets.rows)
    provisionAccountSet(r[0].toText());
}

std::string DataService::accountUser(const std::string& setId) const {
  return settings_.prefix + "_a_" + setId;
}

std::string DataService::accountDatabase(const std::string& setId) const {
  return settings_.prefix + "_" + setId;
}

void DataService::provisionAccountSet(const std::string& setId, const std::string& server) {
  const DbServer where =
      placement_->server(server.empty() ? placement_->where(setId).server : server);
  DbEndpoint admin = where.admin;
  admin.database.clear();
  auto root = Connection::open(admin);
  const std::string dbName = accountDatabase(setId);
  root->execute("CREATE DATABASE IF NOT EXISTS " + quoteIdentifier(dbName) +
                " CHARACTER SET utf8mb4 COLLATE utf8mb4_general_ci");
  root->use(dbName);
  applyMigrations(*root, schemaMigrations("account"));
  std::string user = accountUser(setId);
  std::string pw = auth_->databasePassword(user);
  std::string acct = accountLiteral(user, where.accountHost);
  root->execute("CREATE USER IF NOT EXISTS " + acct + " IDENTIFIED BY " + quotedStr(pw));
  root->execute("ALTER USER " + acct + " IDENTIFIED BY " + quotedStr(pw));
  // Rows only: no DDL, no other database, no locks that outlive a statement. The routines are
  // the triggers' (which run as their definer): called directly they would set balances at will.
  root->execute("GRANT SELECT, INSERT, UPDATE, DELETE, SHOW VIEW ON " + grantDatabase(dbName) +
                ".* TO " + acct);
  root->execute("REVOKE EXECUTE, CREATE TEMPORARY TABLES, LOCK TABLES ON " + grantDatabase(dbName) +
                ".* FROM " + acct);
}

void DataService::createSystemViews(Connection& root) {
  root.execute("CREATE DATABASE IF NOT EXISTS " + quoteIdentifier(viewDb_) +
               " CHARACTER SET utf8mb4 COLLATE utf8mb4_general_ci");
  const std::string S = quoteIdentifier(systemDb_) + ".";
  const std::string me = S + "vlt_login()";
  // Each user's statements see the shared tables through these views: their own rows only.
  // The views run as the service's account; the user's account may use nothing else.
  const std::pair<std::string, std::string> views[] = {
      {"sys_autoupdateinfo", "SELECT * FROM " + S + "sys_autoupdateinfo"},
      {"userdatabasepowermodule", "SELECT * FROM " + S + "userdatabasepowermodule"},
      // Login IDs are numbered in sequence, so listing them tells nothing; names and pictures
      // are shown for oneself and the users one shares a set with (the operator dialog finds a
      // new operator by his ID).
      {"sys_mainuserbaseinfo",
       "SELECT UserID, IF(related, NickName, NULL) AS NickName, "
       "IF(related, HeadImgName, NULL) AS HeadImgName FROM (SELECT u.*, u.UserID = " +
           me + " OR u.UserID IN (SELECT o.UserID FROM " + S + "userdatabaseoperator o JOIN " + S +
           "userdatabase d ON d.UserDBID = o.UserDBID WHERE d.UserID = " + me +
           " UNION SELECT d.UserID FROM " + S + "userdatabaseoperator o JOIN " + S +
           "userdatabase d ON d.UserDBID = o.UserDBID WHERE o.UserID = " + me +
           ") AS related FROM " + S + "sys_mainuserbaseinfo u) x"},
      {"userdatabase", "SELECT * FROM " + S + "userdatabase WHERE UserID = " + me +
                           " OR UserDBID IN (SELECT o.UserDBID FROM " + S +
                           "userdatabaseoperator o WHERE o.UserID = " + me + ")"},
      {"userdatabaseoperator", "SELECT * FROM " + S + "userdatabaseoperator WHERE UserID = " + me +
                                   " OR UserDBID IN (SELECT d.UserDBID FROM " + S +
                                   "userdatabase d WHERE d.UserID = " + me + ")"},
      {"usercalendar",
       "SELECT * FROM " + S + "usercalendar WHERE UserID = " + me + " WITH CASCADED CHECK OPTION"},
      {"usercalendar_ex", "SELECT * FROM " + S + "usercalendar_ex WHERE UserID = " + me +
                              " WITH CASCADED CHECK OPTION"},
      {"userpersincard", "SELECT * FROM " + S + "userpersincard WHERE UserID = " + me +
                             " WITH CASCADED CHECK OPTION"},
      {"userpersioniotype", "SELECT * FROM " + S + "userpersioniotype WHERE UserID = " + me +
                                " WITH CASCADED CHECK OPTION"},
  };
  for (const auto& [name, select] : views)
    root.execute("CREATE OR REPLACE SQL SECURITY DEFINER VIEW " + quoteIdentifier(viewDb_) + "." +
                 quoteIdentifier(name) + " AS " + select);
}

void DataService::ensureUserAccount(const std::string& userId) {
  {
    std::lock_guard<std::mutex> lock(accountsMutex_);
    if (userAccounts_.count(userId)) return;
  }
  const std::string user = settings_.prefix + "_u_" + userId;
  const std::string acct = accountLiteral(user, settings_.accountHost);
  const std::string pw = auth_->databasePassword(user);
  Lease root = adminConnection(systemDb_);
  root->execute("CREATE USER IF NOT EXISTS " + acct + " IDENTIFIED BY " + quotedStr(pw));
  root->execute("ALTER USER " + acct + " IDENTIFIED BY " + quotedStr(pw));
  const std::string v = quoteIdentifier(viewDb_) + ".";
  const std::pair<const char*, const char*> grants[] = {
      {"SELECT", "sys_autoupdateinfo"},
      {"SELECT", "userdatabasepowermodule"},
      {"SELECT", "sys_mainuserbaseinfo"},
      {"SELECT, UPDATE (UserDBName)", "userdatabase"},
      {"SELECT, INSERT, DELETE", "userdatabaseoperator"},
      {"SELECT, INSERT, UPDATE, DELETE", "usercalendar"},
      {"SELECT, INSERT, UPDATE, DELETE", "usercalendar_ex"},
      {"SELECT, INSERT, UPDATE, DELETE", "userpersincard"},
      {"SELECT, INSERT, UPDATE, DELETE", "userpersioniotype"},
  };
  for (const auto& [what, table] : grants)
    root->execute(std::string("GRANT ") + what + " ON " + v + table + " TO " + acct);
  // Without it the views' columns are hidden from the account's information_schema, which the
  // saving of deltas reads; the function only tells the account its own login ID.
  root->execute("GRANT EXECUTE ON FUNCTION " + quoteIdentifier(systemDb_) + ".vlt_login TO " +
                acct);
  std::lock_guard<std::mutex> lock(accountsMutex_);
  userAccounts_.insert(userId);
}

Lease DataService::adminConnection(const std::string& database) {
  return pool_.acquire(settings_.admin.user, settings_.admin.password, database);
}

Lease DataService::systemConnection(const Caller& c) {
  ensureUserAccount(c.userId);
  const std::string user = settings_.prefix + "_u_" + c.userId;
  Lease db = pool_.acquire(user, auth_->databasePassword(user), viewDb_,
                           SessionSettings{settings_.maxStatementSeconds});
  db->limitAnswer(settings_.maxAnswerBytes);
  return db;
}

Lease DataService::accountConnection(const std::string& setId, const SetAccess& access) {
  if (access.moving) throw AccountSetMoving(setId);
  std::string user = accountUser(setId);
  Lease db = placement_->pool(access.server)
                 .acquire(user, auth_->databasePassword(user), accountDatabase(setId),
                          SessionSettings{settings_.maxStatementSeconds});
  // The set's triggers refuse an operator's change of the grants (client SQL cannot name
  // @vlt_ variables, and the next lease starts from a fresh session).
  if (!access.owner) db->execute("SET @vlt_operator = 1");
  db->limitAnswer(settings_.maxAnswerBytes);
  return db;
}

void DataService::checkUser(const Caller& c, const std::string& userId) const {
  if (userId != c.userId) throw AccessDenied("无权访问其他用户的数据");
}

DataService::SetAccess DataService::checkAccountSet(const Caller& c, const std::string& setId) {
  if (!plainName(setId)) throw BadRequest("帐套编号无效：" + setId);
  const std::string key = c.userId + "|" + setId;
  const auto now = std::chrono::steady_clock::now();
  {
    std::lock_guard<std::mutex> lock(accountsMutex_);
    auto it = accessCache_.find(key);
    if (it != accessCache_.end() && now - it->second.checkedAt < settings_.accessCacheTime)
      return it->second.access;
  }
  Lease db = adminConnection(systemDb_);
  std::string q = quotedStr(setId);
  std::string u = quotedStr(c.userId);
  // Owners reach their own sets, operators the sets they were admitted to; nobody else. The
  // set's placement comes along, so that a call costs one statement before the set's own.
  Packet p = db->query(
      "SELECT s.owner, p.Server, p.Moving FROM (SELECT MAX(owner) AS owner FROM (SELECT 1 AS "
      "owner FROM userdatabase WHERE UserDBID = " +
          q + " AND UserID = " + u +
          " UNION ALL SELECT 0 FROM userdatabaseoperator WHERE UserDBID = " + q +
          " AND UserID = " + u + ") AS o) AS s LEFT JOIN sys_setplacement p ON p.UserDBID = " + q,
      0, SessionUse::ReadsOnly);
  if (p.rows.empty() || p.rows[0][0].isNull())
    throw AccessDenied("您没有访问帐套 " + setId + " 的权限");
  const Row& r = p.rows[0];
  SetAccess access;
  access.owner = r[0].toText() == "1";
  if (!r[1].isNull()) {
    access.server = r[1].toText();
    access.moving = r[2].toText() != "0";
  }
  if (!access.moving) {
    std::lock_guard<std::mutex> lock(accountsMutex_);
    if (accessCache_.size() > 100000) accessCache_.clear();  // bounded: a miss costs one query
    accessCache_[key] = CachedAccess{access, now};
  }
  return access;
}

void DataService::forgetAccess(const std::string& userId) {
  std::lock_guard<std::mutex> lock(accountsMutex_);
  if (userId.empty()) {
    accessCache_.clear();
    return;
  }
  const std::string prefix = userId + "|";
  for (auto it = accessCache_.lower_bound(prefix);
       it != accessCache_.end() && it->first.compare(0, prefix.size(), prefix) == 0;)
    it = accessCache_.erase(it);
}

template <typename F>
auto DataService::withCurrentGrants(const Caller& c, F&& body) {
  try {
    return body();
  } catch (const DbError& e) {
    // 1142: a grant this instance remembers was taken back elsewhere (a move, a withdrawal
    // through another instance). Forgotten, checked and given again if still due; once.
    if (e.code() != 1142) throw;
    std::lock_guard<std::mutex> lock(accountsMutex_);
    const std::string prefix = c.userId + "|";
    bool forgot = false;
    for (auto it = powerGrants_.lower_bound(prefix);
         it != powerGrants_.end() && it->compare(0, prefix.size(), prefix) == 0;) {
      it = powerGrants_.erase(it);
      forgot = true;
    }
    if (!forgot) throw;
  }
  return body();
}

void DataService::revokeWithdrawnGrants() {
  forgetAccess();  // a set or an operator may have gone
  Lease db = adminConnection(systemDb_);
  const std::string user = quotedStr(settings_.prefix + "_u_");
  const std::string database = quotedStr(settings_.prefix + "_");
  auto same = [](const std::string& granted, const std::string& made) {
    return "CONVERT(" + granted + " USING utf8mb4) COLLATE utf8mb4_bin = " + made +
           " COLLATE utf8mb4_bin";
  };
  // Grants on a set's ts_userpower held by users who neither own nor operate the set.
  Packet withdrawn = db->query(
      "SELECT tp.User, tp.Db FROM mysql.tables_priv tp WHERE tp.Table_name = 'ts_userpower' "
      "AND tp.Host = " +
      quotedStr(settings_.accountHost) + " AND NOT EXISTS (SELECT 1 FROM userdatabase d WHERE " +
      same("tp.User", "CONCAT(" + user + ", d.UserID)") + " AND " +
      same("tp.Db", "CONCAT(" + database + ", d.UserDBID)") +
      ") AND NOT EXISTS (SELECT 1 FROM userdatabaseoperator o WHERE " +
      same("tp.User", "CONCAT(" + user + ", o.UserID)") + " AND " +
      same("tp.Db", "CONCAT(" + database + ", o.UserDBID)") + ") AND " +
      same("LEFT(tp.User, " + std::to_string(settings_.prefix.size() + 3) + ")", user));
  for (const Row& r : withdrawn.rows) {
    const std::string account = r[0].toText();
    const std::string dbName = r[1].toText();
    db->execute("REVOKE SELECT ON " + quoteIdentifier(dbName) + ".`ts_userpower` FROM " +
                accountLiteral(account, settings_.accountHost));
    std::lock_guard<std::mutex> lock(accountsMutex_);
    powerGrants_.erase(account.substr(settings_.prefix.size() + 3) + "|" +
                       dbName.substr(std::min(dbName.size(), settings_.prefix.size() + 1)));
  }
}

std::optional<SessionInfo> DataService::CheckLoginUser(const std::string& userId,
                                                       const std::string& password,
                                                       const std::string& address) {
  return auth_->login(userId, password, address);
}

std::string DataService::CreateUser(const std::string& nickName, const std::string& password) {
  if (password.empty()) throw BadRequest("密码不能为空");
  std::string id = auth_->newLoginId();
  Lease db = adminConnection(systemDb_);
  db->execute("INSERT INTO sys_mainuserbaseinfo (UserID, NickName) VALUES (" + id + ", " +
              quotedStr(nickName) + ")");
  auth_->setPassword(id, password);
  ensureUserAccount(id);
  return id;
}

Packet DataService::GetRegisUserInfo(const Caller& c, const std::string& userId) {
  (void)c;  // nicknames are shown to owners choosing operators: any signed-in user may ask
  Lease db = adminConnection(systemDb_);
  return db->query("SELECT NickName, HeadImgName FROM sys_mainuserbaseinfo WHERE UserID = " +
                   quotedStr(userId));
}

void DataService::grantUserPowers(const Caller& c, const std::string& setId) {
  ensureUserAccount(c.userId);
  const std::string key = c.userId + "|" + setId;
  {
    std::lock_guard<std::mutex> lock(accountsMutex_);
    if (powerGrants_.count(key)) return;
  }
  // A grant outlives the call: it is given only on the system database's word of now, never on
  // a remembered one.
  forgetAccess(c.userId);
  checkAccountSet(c, setId);
  Lease root = adminConnection(systemDb_);
  root->execute("GRANT SELECT ON " + quoteIdentifier(accountDatabase(setId)) +
                ".`ts_userpower` TO " +
                accountLiteral(settings_.prefix + "_u_" + c.userId, settings_.accountHost));
  std::lock_guard<std::mutex> lock(accountsMutex_);
  powerGrants_.insert(key);
}

SqlVerdict DataService::systemSql(const Caller& c, const std::string& text) {
  SqlVerdict verdict = clientStatement(text);
  const std::string& sql = verdict.statement;
  // A statement may name an account set's database by its id ("10001_01.ts_userpower"): it is
  // checked like any other access to that set and mapped to the set's real database. Only names
  // count: the same text inside a quoted string is left alone.
  static const std::regex setId(R"(\d+_\d{2})");
  const std::vector<SqlToken> tokens = tokenizeSql(sql).tokens;
  std::string out;
  std::size_t last = 0;
  for (std::size_t i = 0; i + 1 < tokens.size(); ++i) {
    const SqlToken& name = tokens[i];
    const SqlToken& dot = tokens[i + 1];
    if ((name.kind != SqlTokenKind::Word && name.kind != SqlTokenKind::QuotedName) ||
        dot.kind != SqlTokenKind::Symbol || dot.text != "." || !std::regex_match(name.text, setId))
      continue;
    const SetAccess access = checkAccountSet(c, name.text);
    if (access.moving) throw AccountSetMoving(name.text);
    out += sql.substr(last, name.offset - last);
    if (access.server != kHomeServer) {
      last = remoteSetTable(tokens, i, access.server, out);
      continue;
    }
    grantUserPowers(c, name.text);
    out += quoteIdentifier(accountDatabase(name.text)) + ".";
    last = dot.offset + dot.length;
  }
  out += sql.substr(last);
  verdict.statement = std::move(out);
  return verdict;
}

static SessionUse sessionUse(const SqlVerdict& v) {
  return v.readsOnly ? SessionUse::ReadsOnly : SessionUse::Changes;
}

Packet DataService::GetSysMainDBDataBySql(const Caller& c, const std::string& userId,
                                          const std::string& sql) {
  if (userId != "Main") checkUser(c, userId);
  return withCurrentGrants(c, [&] {
    const SqlVerdict mapped = systemSql(c, sql);
    Lease db = systemConnection(c);
    return db->query(mapped.statement, settings_.maxResultRows, sessionUse(mapped));
  });
}

OpenRead DataService::openSysMainDBDataBySql(const Caller& c, const std::string& userId,
                                             const std::string& sql) {
  if (userId != "Main") checkUser(c, userId);
  return withCurrentGrants(c, [&] {
    const SqlVerdict mapped = systemSql(c, sql);
    Lease db = systemConnection(c);
    OpenResult rows = db->open(mapped.statement, settings_.maxResultRows, sessionUse(mapped));
    return OpenRead{std::move(db), std::move(rows)};
  });
}

template <typename F>
std::string DataService::saving(const char* what, F&& body) {
  try {
    body();
    return "0";
  } catch (const SaveRefused& e) {
    return e.what();
  } catch (const SqlRefused& e) {
    return e.what();
  } catch (const DbError& e) {
    return e.what();
  } catch (const DataSetError& e) {
    return std::string(what) + "：" + e.what();
  }
}

std::string DataService::doSysMainDBDataBySql(const Caller& c, const std::string& sql) {
  std::string status = saving("执行失败", [&] {
    const std::string mapped = systemSql(c, sql).statement;
    Lease db = systemConnection(c);
    db->execute(mapped);
  });
  // Removing an operator (a row of userdatabaseoperator) takes the grants that came with it.
  if (status == "0") revokeWithdrawnGrants();
  return status;
}

std::string DataService::SaveSysMainDataBySql(const Caller& c, const std::string& userId,
                                              const std::string& select, const Delta& delta) {
  checkUser(c, userId);
  static const std::regex fromTable(R"(\bfrom\s+`?([A-Za-z0-9_]+)`?)", std::regex::icase);
  std::smatch m;
  if (!std::regex_search(select, m, fromTable)) throw BadRequest("查询语句没有指明表名");
  std::string table = m[1];
  std::string status = saving("保存失败", [&] {
    Lease db = systemConnection(c);
    const TableInfo& t = schema_.table(*db, table);
    // The primary key identifies rows when the delta carries it; otherwise every column does.
    std::vector<std::string> keys;
    for (const std::string& k : t.primaryKey)
      if (delta.fields.indexOf(k) >= 0) keys.push_back(k);
    if (keys.size() != t.primaryKey.size()) keys.clear();
    inTransaction(*db, [&] { applyDelta(*db, delta, DeltaTarget{&t, keys, {}}); });
  });
  if (status == "0") revokeWithdrawnGrants();
  return status;
}

std::string DataService::CreateUserDB(const Caller& c, const std::string& userId,
                                      const std::string& setId, const std::string& setName,
                                      const std::string& isDefault) {
  checkUser(c, userId);
  static const std::regex form(R"(^(\d+)_(0[1-9]|[1-9][0-9])$)");
  std::smatch m;
  if (!std::regex_match(setId, m, form) || m[1] != userId)
    throw BadRequest("帐套编号必须是登录ID加“_”和两位数字：" + setId);
  return saving("创建帐套失败", [&] {
    Lease sys = adminConnection(systemDb_);
    // The row first: a second creation of the same id fails here with "Duplicate entry".
    sys->execute("INSERT INTO userdatabase (UserID, UserDBID, UserDBName, IsDefault) VALUES (" +
                 quotedStr(userId) + ", " + quotedStr(setId) + ", " + quotedStr(setName) + ", " +
                 quotedStr(isDefault.empty() ? "False" : isDefault) + ")");
    try {
      provisionAccountSet(setId, placement_->place(setId));
    } catch (...) {
      placement_->unplace(setId);
      sys->execute("DELETE FROM userdatabase WHERE UserDBID = " + quotedStr(setId));
      throw;
    }
  });
}

SqlVerdict DataService::clientStatement(const std::string& sql, bool query) const {
  SqlVerdict v = classifyClientSql(sql);
  if (!v.allowed) throw SqlRefused(v.reason);
  if (query && v.kind != SqlKind::Select) throw SqlRefused("这里只能执行 SELECT 查询语句");
  return v;
}

Packet DataService::GetUserDBDataBySql(const Caller& c, const std::string& setId,
                                       const std::string& sql) {
  const SetAccess access = checkAccountSet(c, setId);
  const SqlVerdict statement = clientStatement(sql);
  Lease db = accountConnection(setId, access);
  return db->query(statement.statement, settings_.maxResultRows, sessionUse(statement));
}

OpenRead DataService::openUserDBDataBySql(const Caller& c, const std::string& setId,
                                          const std::string& sql) {
  const SetAccess access = checkAccountSet(c, setId);
  const SqlVerdict statement = clientStatement(sql);
  Lease db = accountConnection(setId, access);
  OpenResult rows = db->open(statement.statement, settings_.maxResultRows, sessionUse(statement));
  return OpenRead{std::move(db), std::move(rows)};
}

std::string DataService::doUserDBDataBySql(const Caller& c, const std::string& setId,
                                           const std::string& sql) {
  const SetAccess access = checkAccountSet(c, setId);
  return saving("执行失败", [&] {
    const std::string statement = clientStatement(sql).statement;
    Lease db = accountConnection(setId, access);
    db->execute(statement);
  });
}

std::string DataService::SaveUserDBDataByDelta(const Caller& c, const std::string& setId,
                                               const std::string& table,
                                               const std::string& keyFields, const Delta& delta) {
  const SetAccess access = checkAccountSet(c, setId);
  return saving("保存失败", [&] {
    Lease db = accountConnection(setId, access);
    const TableInfo& t = schema_.table(*db, table);
    std::vector<std::string> keys = splitKeyFields(keyFields);
    if (keys.empty()) keys = t.primaryKey;
    inTransaction(*db, [&] {
      applyDelta(*db, delta, DeltaTarget{&t, keys, derivedColumnsOf(table)});
    });
  });
}

bool DataService::CheckValueIsExistBySql(const Caller& c, const std::string& setId,
                                         const std::string& sql) {
  const SetAccess access = checkAccountSet(c, setId);
  const SqlVerdict statement = clientStatement(sql, true);
  Lease db = accountConnection(setId, access);
  return db->exists(statement.statement, sessionUse(statement));
}

std::optional<Packet> DataService::GetMasterAndDetailData(const Caller& c, const std::string& setId,
                                                          const std::string& masterTable,
                                                          const std::string& masterSql,
                                                          const std::string& detailSql) {
  std::optional<std::string> text =
      GetMasterAndDetailText(c, setId, masterTable, masterSql, detailSql);
  if (!text) return std::nullopt;
  return decodePacket(*text);
}

namespace {

// A row's cells kept as text while the lines are read on the same connection.
struct HeldRow {
  std::vector<std::string> texts;
  std::vector<bool> nulls;

  HeldRow(const char* const* cells, const unsigned long* lengths, std::size_t n)
      : texts(n), nulls(n) {
    for (std::size_t i = 0; i < n; ++i) {
      nulls[i] = cells[i] == nullptr;
      if (cells[i]) texts[i].assign(cells[i], lengths[i]);
    }
  }
  std::string text(std::size_t i) const { return nulls[i] ? std::string() : texts[i]; }
};

}  // namespace

std::optional<std::string> DataService::GetMasterAndDetailText(const Caller& c,
                                                               const std::string& setId,
                                                               const std::string& masterTable,
                                                               const std::string& masterSql,
                                                               const std::string& detailSql) {
  const SetAccess access = checkAccountSet(c, setId);
  if (!plainName(masterTable)) throw BadRequest("表名无效：" + masterTable);
  const SqlVerdict masterVerdict = clientStatement(masterSql, true);
  const SqlVerdict detailVerdict = clientStatement(detailSql, true);
  const std::string& detailStatement = detailVerdict.statement;
  const SessionUse use = masterVerdict.readsOnly && detailVerdict.readsOnly ? SessionUse::ReadsOnly
                                                                            : SessionUse::Changes;
  Lease db = accountConnection(setId, access);
  const char* const* cells = nullptr;
  const unsigned long* lengths = nullptr;

  FieldDefs masterFields;
  std::vector<HeldRow> masters;
  {
    OpenResult r = db->open(masterVerdict.statement, settings_.maxResultRows, use);
    masterFields = r.fields();
    while (r.next(cells, lengths))
      masters.emplace_back(cells, lengths, masterFields.size());
  }
  if (masters.empty()) return std::nullopt;
  int bidField = masterFields.indexOf("bid");
  if (bidField < 0) throw BadRequest("主表查询缺少 Bid 字段");
  const std::size_t b = static_cast<std::size_t>(bidField);

  // Where ":bid" stands in the detail statement, outside quotes and comments.
  const std::vector<SqlToken> tokens = tokenizeSql(detailStatement).tokens;
  std::vector<std::size_t> params;
  for (std::size_t i = 0; i + 1 < tokens.size(); ++i)
    if (tokens[i].kind == SqlTokenKind::Symbol && tokens[i].text == ":" &&
        tokens[i + 1].kind == SqlTokenKind::Word && tokens[i + 1].text == "BID" &&
        tokens[i + 1].offset == tokens[i].offset + 1)
      params.push_back(i);
  auto paramEnd = [&](std::size_t i) { return tokens[i + 1].offset + tokens[i + 1].length; };
  FieldDefs lineFields;
  std::unique_ptr<NestedRowsWriter> lines;
  const std::size_t at = params.size() == 1 ? params[0] : 0;
  if (params.size() == 1 && at >= 2 && tokens[at - 1].kind == SqlTokenKind::Symbol &&
      tokens[at - 1].text == "=" &&
      (tokens[at - 2].kind == SqlTokenKind::Word ||
       tokens[at - 2].kind == SqlTokenKind::QuotedName)) {
    // One query for the whole page: "x=:bid" becomes "x IN (...)", rows grouped by bid after.
    std::string list;
    std::map<std::string, std::size_t, std::less<>> rowOf;
    for (std::size_t i = 0; i < masters.size(); ++i) {
      const std::string bid = masters[i].text(b);
      if (!list.empty()) list += ",";
      list += quotedStr(bid);
      rowOf[bid] = i;
    }
    const std::string sql = detailStatement.substr(0, tokens[at - 1].offset) + " IN (" + list +
                            ")" + detailStatement.substr(paramEnd(at));
    OpenResult d = db->open(sql, settings_.maxResultRows, use);
    lineFields = d.fields();
    int lineBid = lineFields.indexOf("bid");
    if (lineBid < 0) throw BadRequest("明细查询缺少 Bid 字段");
    const auto lb = static_cast<std::size_t>(lineBid);
    lines = std::make_unique<NestedRowsWriter>(lineFields, masters.size());
    while (d.next(cells, lengths)) {
      const std::string_view bid =
          cells[lb] ? std::string_view(cells[lb], lengths[lb]) : std::string_view();
      auto it = rowOf.find(bid);
      if (it != rowOf.end()) lines->row(it->second, cells, lengths);
    }
  } else {
    for (std::size_t i = 0; i < masters.size(); ++i) {
      const std::string bid = quotedStr(masters[i].text(b));
      std::string sql;
      std::size_t last = 0;
      for (std::size_t p : params) {
        sql += detailStatement.substr(last, tokens[p].offset - last) + bid;
        last = paramEnd(p);
      }
      sql += detailStatement.substr(last);
      OpenResult d = db->open(sql, settings_.maxResultRows, use);
      if (!lines) {
        lineFields = d.fields();
        lines = std::make_unique<NestedRowsWriter>(lineFields, masters.size());
      }
      while (d.next(cells, lengths))
        lines->row(i, cells, lengths);
    }
  }
  FieldDef nested;
  nested.name = masterTable + "_d";
  nested.type = DataType::DataSet;
  nested.children = lineFields.list();
  FieldDefs fields = masterFields;
  fields.add(nested);
  PacketWriter out(fields, PacketWriter::NestedLast{});
  std::vector<const char*> rowCells(masterFields.size());
  std::vector<unsigned long> rowLengths(masterFields.size());
  for (std::size_t i = 0; i < masters.size(); ++i) {
    for (std::size_t f = 0; f < masterFields.size(); ++f) {
      rowCells[f] = masters[i].nulls[f] ? nullptr : masters[i].texts[f].data();
      rowLengths[f] = static_cast<unsigned long>(masters[i].texts[f].size());
    }
    out.row(rowCells.data(), rowLengths.data(), lines->take(i));
  }
  out.finish();
  return out.take();
}

std::string DataService::SaveMasterAndDetailData(const Caller& c, const std::string& setId,
                                                 const std::string& masterTable,
                                                 const Delta& delta) {
  const SetAccess access = checkAccountSet(c, setId);
  return saving("保存失败", [&] {
    Lease db = accountConnection(setId, access);
    const TableInfo& m = schema_.table(*db, masterTable);
    const TableInfo& d = schema_.table(*db, masterTable + "_d");
    DeltaTarget lines{&d, {"Bid", "BNo"}, derivedColumnsOf(masterTable + "_d")};
    DeltaTarget bill{&m, {"Bid"}, derivedColumnsOf(masterTable)};
    inTransaction(*db, [&] { applyDelta(*db, delta, bill, &lines); });
  });
}

std::string DataService::GetBill_MaxBcode(const Caller& c, const std::string& setId,
                                          const std::string& prefix, const std::string& table,
                                          const std::string& billDate) {
  const SetAccess access = checkAccountSet(c, setId);
  if (prefix.empty() || prefix.size() > 4 || !plainName(prefix))
    throw BadRequest("单据编号前缀无效：" + prefix);
  if (!plainName(table)) throw BadRequest("表名无效：" + table);
  DateTime when;
  if (!DateTime::tryParse(billDate.substr(0, std::min<std::size_t>(billDate.size(), 19)), when))
    throw BadRequest("单据日期无效：" + billDate);
  Ymd ymd = when.date().ymd();
  char day[16];
  std::snprintf(day, sizeof day, "%04d%02d%02d", ymd.year, ymd.month, ymd.day);
  Lease db = accountConnection(setId, access);
  try {
    return nextBillCode(*db, table, prefix + day);
  } catch (const SaveRefused& e) {
    throw BadRequest(e.what());
  }
}

IdBlockInfo DataService::ReserveIds(const Caller& c) {
  (void)c;
  Lease db = adminConnection(systemDb_);
  auto first = db->scalar("SELECT NEXTVAL(sys_idseq)");
  if (!first) throw Error("No id block left");
  return IdBlockInfo{*first, 1000};
}

}  // namespace vlt::server
