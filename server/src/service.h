#pragma once
// The remote operations of the data service, independent of HTTP: each checks that the caller
// may reach the user or account set it names, runs against the right database under the right
// database account, and answers with a packet, a status text or a value.

#include <chrono>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>

#include "auth.h"
#include "placement.h"
#include "pool.h"
#include "request.h"
#include "resolver.h"
#include "sqlclass.h"

namespace vlt::server {

struct ServiceSettings {
  DbEndpoint admin;  // an account allowed to create databases, users and grants
  // The system database is <prefix>_sys (its rows seen by clients through the views of
  // <prefix>_sysview), the auth store <prefix>_auth, account sets <prefix>_<set id>.
  std::string prefix = "vlt";
  std::string accountHost = "localhost";  // host part of the database accounts the service makes
  bool fastHashing = false;
  std::size_t maxResultRows = 200000;
  // Client SQL: the longest a statement may run, and the most bytes of rows one answer holds.
  double maxStatementSeconds = 30;
  std::uint64_t maxAnswerBytes = 128u << 20;
  // A caller's granted access to an account set is trusted this long without asking the system
  // database again: a withdrawal through this service takes effect at once, on another instance
  // within this time. A move waits longer than this before it copies.
  std::chrono::milliseconds accessCacheTime{1000};
  // How long the start keeps trying to reach a database that does not answer yet (starting, or
  // a node too busy to greet within the connect timeout).
  std::chrono::seconds startWait{60};
};

// The caller may not reach what it named (another user's account set, another user's id).
class AccessDenied : public Error {
 public:
  using Error::Error;
};

// Client SQL of a kind the service does not run (see sqlclass.h); a status operation answers
// with the reason as its status.
class SqlRefused : public BadRequest {
 public:
  using BadRequest::BadRequest;
};

struct IdBlockInfo {
  std::string first;  // 15-digit text
  int count = 0;
};

// A read whose rows are still coming: its result and the connection it holds until it ends.
struct OpenRead {
  Lease db;
  OpenResult rows;  // declared after db: ends (drained) before the connection goes back
};

struct Caller {
  std::string userId;
  std::string address;
};

class DataService {
 public:
  explicit DataService(ServiceSettings settings);

  // Creates or upgrades the system and auth databases and every account set (migrations).
  void prepare();

  const std::string& systemDatabase() const { return systemDb_; }
  const std::string& authDatabase() const { return authDb_; }
  AuthStore& auth() { return *auth_; }
  // Which database server holds each account set.
  Placement& placement() { return *placement_; }
  // Moves an account set to another registered server: copies it there, switches its placement
  // and removes the old copy. Refused (vlt::Error with the reason) while its owner or one of its
  // operators is signed in, or while it is already moving. A set not made yet is placed there
  // for when it is. Returns what was done.
  std::string MoveAccountSet(const std::string& setId, const std::string& server);
  // The administrator's connection to one of the service's own databases (the web site's shared
  // records, the health check).
  Lease adminConnection(const std::string& database);

  // ---- sign-in and users ------------------------------------------------------------------
  std::optional<SessionInfo> CheckLoginUser(const std::string& userId, const std::string& password,
                                            const std::string& address);
  // Creates a user with a new numeric login ID and returns it.
  std::string CreateUser(const std::string& nickName, const std::string& password);
  Packet GetRegisUserInfo(const Caller& c, const std::string& userId);

  // ---- the system database ----------------------------------------------------------------
  Packet GetSysMainDBDataBySql(const Caller& c, const std::string& userId, const std::string& sql);
  // The same read with its result left open, so that an answer can carry the rows as they come.
  OpenRead openSysMainDBDataBySql(const Caller& c, const std::string& userId,
                                  const std::string& sql);
  std::string doSysMainDBDataBySql(const Caller& c, const std::string& sql);
  std::string SaveSysMainDataBySql(const Caller& c, const std::string& userId,
                                   const std::string& select, const Delta& delta);

  // ---- account sets -----------------------------------------------------------------------
  std::string CreateUserDB(const Caller& c, const std::string& userId, const std::string& setId,
                           const std::string& setName, const std::string& isDefault);
  Packet GetUserDBDataBySql(const Caller& c, const std::string& setId, const std::string& sql);
  OpenRead openUserDBDataBySql(const Caller& c, const std::string& setId, const std::string& sql);
  std::string doUserDBDataBySql(const Caller& c, const std::string& setId, const std::string& sql);
  std::string SaveUserDBDataByDelta(const Caller& c, const std::string& setId,
                                    const std::string& table, const std::string& keyFields,
                                    const Delta& delta);
  bool CheckValueIsExistBySql(const Caller& c, const std::string& setId, const std::string& sql);
  // The master rows with their lines nested in the field `<masterTable>_d`; nothing when the
  // master statement finds no row.
  std::optional<Packet> GetMasterAndDetailData(const Caller& c, const std::string& setId,
                                               const std::string& masterTable,
                                               const std::string& masterSql,
                                               const std::string& detailSql);
  // The same packet as its text, written straight from the database's cells.
  std::optional<std::string> GetMasterAndDetailText(const Caller& c, const std::string& setId,
                                                    const std::string& masterTable,
                                                    const std::string& masterSql,
                                                    const std::string& detailSql);
  std::string SaveMasterAndDetailData(const Caller& c, const std::string& setId,
                                      const std::string& masterTable, const Delta& delta);
  // prefix + yyyyMMdd + a 4-digit sequence: the next free code of that prefix, table and date.
  std::string GetBill_MaxBcode(const Caller& c, const std::string& setId, const std::string& prefix,
                               const std::string& table, const std::string& billDate);

  // ---- ids --------------------------------------------------------------------------------
  // Reserves a block of 15-digit ids; returns its first id and size.
  IdBlockInfo ReserveIds(const Caller& c);

 private:
  void prepareOnce();
  // Client SQL on the system database: the user's own database account, against the views.
  Lease systemConnection(const Caller& c);
  void createSystemViews(Connection& root);
  void ensureUserAccount(const std::string& userId);
  void grantUserPowers(const Caller& c, const std::string& setId);
  // Client SQL on an account set: the set's account, with the caller's standing in the session
  // (an operator may not change grants).
  // The caller's standing on a set and where the set lives, read in one statement.
  struct SetAccess {
    bool owner = false;
    std::string server = kHomeServer;  // also for a set without a placement row
    bool moving = false;
  };
  Lease accountConnection(const std::string& setId, const SetAccess& access);
  void checkUser(const Caller& c, const std::string& userId) const;
  // A client statement on the system views, account-set names mapped to their databases.
  SqlVerdict systemSql(const Caller& c, const std::string& sql);
  // `<set id>.ts_userpower` at tokens[at] of a system statement, for a set on another server:
  // appends its rows as a derived table to `out` and returns where the statement goes on.
  std::size_t remoteSetTable(const std::vector<SqlToken>& tokens, std::size_t at,
                             const std::string& server, std::string& out);
  // The statement a client may run (see sqlclass.h); throws SqlRefused with the reason.
  SqlVerdict clientStatement(const std::string& sql, bool query = false) const;
  // Throws AccessDenied unless the caller owns or operates the set; says whether the caller owns
  // it, and where it is placed.
  SetAccess checkAccountSet(const Caller& c, const std::string& setId);
  // Takes back the grants of users who no longer operate a set.
  void revokeWithdrawnGrants();
  std::string accountUser(const std::string& setId) const;
  // Account sets live in <prefix>_<set id>, so that several services can share a server and
  // no set id can name a database of the server's own.
  std::string accountDatabase(const std::string& setId) const;
  // Creates or upgrades the set's database and account on `server` (empty: where it is placed).
  void provisionAccountSet(const std::string& setId, const std::string& server = {});
  template <typename F>
  std::string saving(const char* what, F&& body);

  ServiceSettings settings_;
  std::string systemDb_;
  std::string authDb_;
  std::string viewDb_;
  ConnectionPool pool_;
  std::unique_ptr<AuthStore> auth_;
  std::unique_ptr<Placement> placement_;
  SchemaCache schema_;
  std::mutex accountsMutex_;
  std::set<std::string> userAccounts_;  // login IDs whose database account is in place
  std::set<std::string> powerGrants_;   // "login|set" whose grants table the account may read
  struct CachedAccess {
    SetAccess access;
    std::chrono::steady_clock::time_point checkedAt;
  };
  std::map<std::string, CachedAccess> accessCache_;  // by "login|set", granted ones only
  // Forgets the remembered access of one user (all users when empty).
  void forgetAccess(const std::string& userId = {});
  // Runs a system read; once more after forgetting the user's remembered grants when the
  // database refused one of them.
  template <typename F>
  auto withCurrentGrants(const Caller& c, F&& body);
};

}  // namespace vlt::server
