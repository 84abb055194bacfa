// Attacks through client SQL and pooled sessions, run against the real service: what reaches
// the database, and what a tenant can do to the host, to the service or to other tenants.

#include <gtest/gtest.h>

#include <fstream>
#include <functional>

#include "service_fixture.h"
#include "sqlclass.h"
#include "vlt/sqltext.h"

namespace vlt::server {
namespace {

// ---- the statement classes ------------------------------------------------------------------

struct ClassRow {
  const char* sql;
  bool allowed;
};

class StatementClasses : public ::testing::TestWithParam<ClassRow> {};

TEST_P(StatementClasses, OnlyOneRowStatementPasses) {
  const ClassRow& row = GetParam();
  SqlVerdict v = classifyClientSql(row.sql);
  EXPECT_EQ(v.allowed, row.allowed) << row.sql << " -> " << v.reason;
  if (!v.allowed) {
    EXPECT_FALSE(v.reason.empty()) << row.sql;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Rows, StatementClasses,
    ::testing::Values(
        // what the client sends
        ClassRow{"select * from td_goods where Name like 'a''b%' order by Code", true},
        ClassRow{"SELECT * FROM ((select 1 as a) union all (select 2)) as rlt", true},
        ClassRow{"(SELECT 1) UNION (SELECT 2)", true},
        ClassRow{"WITH c AS (SELECT 1 AS x) SELECT x FROM c", true},
        ClassRow{"insert into td_unit (ID, Name) values ('1', '个')", true},
        ClassRow{"INSERT INTO t SELECT * FROM u", true},
        ClassRow{"replace into t values (1)", true},
        ClassRow{"update td_goods set Name='x' where id='1'", true},
        ClassRow{"delete from td_unit where ID='1'", true},
        ClassRow{"INSERT INTO t (a) VALUES (1) ON DUPLICATE KEY UPDATE a = a + 1", true},
        ClassRow{"select 1;", true}, ClassRow{"select 1 -- a comment", true},
        ClassRow{"select '@@datadir', 'set x; load data' # text only", true},
        ClassRow{"select `lock`, `for` from `select` where \"into\" = 'outfile'", true},
        ClassRow{"select * from 10001_01.ts_userpower", true},
        ClassRow{"select /* plain */ 1 /*! + 1 */", true}, ClassRow{"select a--1 from t", true},
        // anything but one row statement
        ClassRow{"LOAD DATA LOCAL INFILE '/etc/passwd' INTO TABLE t", false},
        ClassRow{"load xml local infile '/etc/passwd' into table t", false},
        ClassRow{"set autocommit=0", false}, ClassRow{"SET SESSION sql_mode=''", false},
        ClassRow{"set session wait_timeout=2", false},
        ClassRow{"SET PASSWORD = PASSWORD('x')", false},
        ClassRow{"set statement max_statement_time=0 for select sleep(100)", false},
        ClassRow{"CALL vlt_add_account_balance('A1', 1000000)", false},
        ClassRow{"EXECUTE IMMEDIATE 'SET @vlt_derived_write = 1'", false},
        ClassRow{"PREPARE s FROM 'select 1'", false}, ClassRow{"LOCK TABLES t WRITE", false},
        ClassRow{"UNLOCK TABLES", false}, ClassRow{"HANDLER t OPEN", false},
        ClassRow{"START TRANSACTION", false}, ClassRow{"begin", false}, ClassRow{"commit", false},
        ClassRow{"XA START 'x'", false}, ClassRow{"GRANT ALL ON *.* TO x", false},
        ClassRow{"REVOKE SELECT ON t FROM x", false}, ClassRow{"create table t (x int)", false},
        ClassRow{"drop table td_goods", false}, ClassRow{"TRUNCATE td_goods", false},
        ClassRow{"alter user current_user() identified by 'x'", false},
        ClassRow{"DO SLEEP(100)", false}, ClassRow{"SHOW VARIABLES", false},
        ClassRow{"KILL 1", false}, ClassRow{"use mysql", false}, ClassRow{"VALUES (1)", false},
        ClassRow{"(DELETE FROM t)", false}, ClassRow{"", false}, ClassRow{" ; ", false},
        // hidden in comments, quotes and spellings
        ClassRow{"select 1; set autocommit=0", false},
        ClassRow{"select 1 /*! ; set autocommit=0 */", false},
        ClassRow{"/*!set*/ autocommit=0", false}, ClassRow{"/*M! set */ autocommit=0", false},
        ClassRow{"/*!99999 select */ set autocommit=0", false},
        ClassRow{"/*M!999999 select */ set autocommit=0", false},
        ClassRow{"select 1 /*! + 1", false}, ClassRow{"select 1 /* unterminated", false},
        ClassRow{"select 'unterminated", false},
        ClassRow{"select 'it''s' ; set autocommit=0", false},
        ClassRow{"select 'a\\'; set autocommit=0; -- '", false},
        ClassRow{"select `x``; set autocommit=0", false},
        ClassRow{"select 1 --\tx\n; set autocommit=0", false},
        ClassRow{"select 1 --\x7f; set autocommit=0", true},  // all comment, as the server reads it
        ClassRow{"select 1 #\n; set autocommit=0", false},
        // locking reads, files, variables
        ClassRow{"select * from usercalendar for update", false},
        ClassRow{"select * from t where a in (select a from u for update)", false},
        ClassRow{"select * from t lock in share mode", false},
        ClassRow{"select * from t into outfile '/tmp/x'", false},
        ClassRow{"select * into dumpfile '/tmp/x' from t", false},
        ClassRow{"select a into @a from t", false},
        ClassRow{"insert into t select a into @a from u", false},
        ClassRow{"select load_file('/etc/passwd')", false},
        ClassRow{"select get_lock('x', 100)", false}, ClassRow{"select @vlt_derived_write", false},
        ClassRow{"select @VLT_operator := 0", false}, ClassRow{"select @`vlt_operator`", false},
        ClassRow{"select @'vlt_busy_bill' := 'x'", false}, ClassRow{"select @ vlt_operator", false},
        ClassRow{"select @@datadir", false}, ClassRow{"select @@global.socket", false},
        ClassRow{"select * from information_schema.GLOBAL_VARIABLES", false},
        ClassRow{"select * from information_schema.`session_variables`", false},
        ClassRow{"select * from performance_schema.threads", false},
        ClassRow{"select * from t procedure analyse()", false}));

// Reads that leave nothing in their session let the pool hand the connection on unreset.
TEST(StatementClassesText, OnlyReadsWithoutSessionStateLeaveTheSessionAsItWas) {
  const std::pair<const char*, bool> rows[] = {
      {"select * from td_goods where Name = '@x'", true},
      {"with c as (select 1 as x) select x from c", true},
      {"(select 1) union (select 2)", true},
      {"select @carry := 7", false},
      {"select * from t where a = @a", false},
      {"select last_insert_id(5)", false},
      {"select nextval(s)", false},
      {"select next value for s", false},
      {"select setval(s, 10)", false},
      {"update t set a = 1", false},
      {"insert into t select * from u", false},
  };
  for (const auto& [sql, readsOnly] : rows) {
    SqlVerdict v = classifyClientSql(sql);
    ASSERT_TRUE(v.allowed) << sql;
    EXPECT_EQ(v.readsOnly, readsOnly) << sql;
  }
}

TEST(StatementClassesText, TheStatementRunsWithoutTrailingSemicolonsAndComments) {
  EXPECT_EQ(classifyClientSql("select 1 ; ; -- done").statement, "select 1");
  EXPECT_EQ(classifyClientSql("select 1 /*! + 1 */ # x").statement, "select 1 /*! + 1 */");
  EXPECT_EQ(classifyClientSql("select 1 /*! / */").statement, "select 1 /*! / */");
  EXPECT_TRUE(classifyClientSql("select 1 -- ").allowed);
  EXPECT_FALSE(classifyClientSql("select 1 ---\v").allowed);  // would read "select 1 --" after
  EXPECT_EQ(classifyClientSql("select 1 /*! + 1").statement, "");
  // The server would stop reading at a zero byte, or not: refused either way.
  EXPECT_FALSE(classifyClientSql(std::string_view("select 1\0; set autocommit=0", 27)).allowed);
}

// ---- the service ----------------------------------------------------------------------------

class SecuritySqlTest : public test::ServiceFixture {
 protected:
  std::string set(const Caller& c) { return c.userId + "_01"; }

  void admit(const Caller& owner, const Caller& op) {
    ASSERT_EQ(service->doSysMainDBDataBySql(owner,
                                            "Insert into userdatabaseoperator (UserDBID,UserID) "
                                            "values ('" +
                                                set(owner) + "','" + op.userId + "')"),
              "0");
  }

  std::unique_ptr<Connection> root() { return Connection::open(test::rootEndpoint()); }

  // A service with other settings on the same databases.
  std::unique_ptr<DataService> serviceWith(double maxStatementSeconds,
                                           std::uint64_t maxAnswerBytes) {
    ServiceSettings s;
    s.admin = test::rootEndpoint();
    s.prefix = prefix;
    s.fastHashing = true;
    s.maxStatementSeconds = maxStatementSeconds;
    s.maxAnswerBytes = maxAnswerBytes;
    return std::make_unique<DataService>(s);
  }
};

// Every path that runs client SQL refuses what is not one row statement, before the database.
TEST_F(SecuritySqlTest, EveryClientSqlPathRefusesOtherStatements) {
  Caller owner = userWithSet("owner");
  const std::string s = set(owner);
  const std::string attacks[] = {
      "LOAD DATA LOCAL INFILE '/proc/self/environ' INTO TABLE td_unit",
      "set autocommit=0",
      "EXECUTE IMMEDIATE 'select 1'",
      "select @@datadir",
      "select * from usercalendar for update",
  };
  for (const std::string& sql : attacks) {
    SCOPED_TRACE(sql);
    EXPECT_THROW(service->GetUserDBDataBySql(owner, s, sql), SqlRefused);
    EXPECT_THROW(service->openUserDBDataBySql(owner, s, sql), SqlRefused);
    EXPECT_THROW(service->CheckValueIsExistBySql(owner, s, sql), SqlRefused);
    EXPECT_THROW(service->GetMasterAndDetailData(owner, s, "td_unit", sql, "select 1"), SqlRefused);
    EXPECT_THROW(service->GetMasterAndDetailData(owner, s, "td_unit", "select 1", sql), SqlRefused);
    EXPECT_THROW(service->GetSysMainDBDataBySql(owner, owner.userId, sql), SqlRefused);
    EXPECT_THROW(service->openSysMainDBDataBySql(owner, owner.userId, sql), SqlRefused);
    EXPECT_EQ(service->doUserDBDataBySql(owner, s, sql), classifyClientSql(sql).reason);
    EXPECT_EQ(service->doSysMainDBDataBySql(owner, sql), classifyClientSql(sql).reason);
  }
}

// Even a statement that slipped past the service could not read a file: the service's
// connections do not send local files.
TEST_F(SecuritySqlTest, ConnectionsNeverSendLocalFiles) {
  const std::string path = ::testing::TempDir() + "/vlt_secret.txt";
  std::ofstream(path) << "VLT_DB_PASSWORD=secret\n";
  auto db = root();
  db->execute("CREATE DATABASE " + prefix + "_files");
  db->use(prefix + "_files");
  db->execute("CREATE TABLE t (line TEXT)");
  db->execute("SET GLOBAL local_infile = 1");  // the server's side does not matter
  EXPECT_THROW(db->execute("LOAD DATA LOCAL INFILE " + quotedStr(path) + " INTO TABLE t"), DbError);
  EXPECT_EQ(db->scalar("SELECT COUNT(*) FROM t"), "0");
  db->execute("SET GLOBAL local_infile = 0");
}

// A pooled connection starts every lease from the same clean session, whatever the previous
// lease did to it.
TEST_F(SecuritySqlTest, EveryLeaseStartsFromACleanSession) {
  DbEndpoint e = test::rootEndpoint();
  ConnectionPool pool(e);
  auto admin = root();
  admin->execute("CREATE DATABASE " + prefix + "_pool");
  admin->execute("CREATE TABLE " + prefix + "_pool.t (x INT PRIMARY KEY) ENGINE=InnoDB");
  admin->execute("INSERT INTO " + prefix + "_pool.t VALUES (1)");
  std::string id;
  {
    Lease l = pool.acquire(e.user, e.password, prefix + "_pool", SessionSettings{5});
    id = *l->scalar("SELECT CONNECTION_ID()");
    l->execute("SET SESSION sql_mode = '', autocommit = 0, wait_timeout = 2, time_zone = '+05:00'");
    l->execute("SET @secret = 'left behind'");
    l->execute("SELECT * FROM t WHERE x = 1 FOR UPDATE");
    l->execute("INSERT INTO t VALUES (2)");
  }
  Lease l = pool.acquire(e.user, e.password, prefix + "_pool", SessionSettings{5});
  ASSERT_EQ(*l->scalar("SELECT CONNECTION_ID()"), id);  // the same connection, reused
  EXPECT_NE(l->scalar("SELECT @@sql_mode")->find("NO_BACKSLASH_ESCAPES"), std::string::npos);
  EXPECT_EQ(l->scalar("SELECT @@autocommit"), "1");
  EXPECT_EQ(l->scalar("SELECT @@wait_timeout"), admin->scalar("SELECT @@global.wait_timeout"));
  EXPECT_EQ(l->scalar("SELECT @@time_zone"), admin->scalar("SELECT @@global.time_zone"));
  EXPECT_EQ(std::stod(*l->scalar("SELECT @@max_statement_time")), 5.0);
  EXPECT_FALSE(l->scalar("SELECT @secret"));
  EXPECT_EQ(l->scalar("SELECT COUNT(*) FROM t"), "1");  // the open transaction was rolled back
  // and its row lock released
  EXPECT_EQ(admin->scalar("SELECT COUNT(*) FROM information_schema.INNODB_TRX WHERE "
                          "trx_mysql_thread_id = " +
                          id),
            "0");
}

// A connection that only read is handed on as it is; one whose read set a variable is reset.
TEST_F(SecuritySqlTest, OnlyPlainReadsSkipTheReset) {
  DbEndpoint e = test::rootEndpoint();
  ConnectionPool pool(e);
  std::string id;
  {
    Lease l = pool.acquire(e.user, e.password, {}, SessionSettings{5});
    id = *l->scalar("SELECT CONNECTION_ID()");
    l->query("SELECT 1", 0, SessionUse::ReadsOnly);
  }
  {
    Lease l = pool.acquire(e.user, e.password, {}, SessionSettings{7});
    ASSERT_EQ(*l->scalar("SELECT CONNECTION_ID()"), id);
    // Other settings than last time: applied.
    EXPECT_EQ(std::stod(*l->scalar("SELECT @@max_statement_time")), 7.0);
    l->query("SELECT @carry := 'left behind'");
  }
  Lease l = pool.acquire(e.user, e.password, {}, SessionSettings{7});
  ASSERT_EQ(*l->scalar("SELECT CONNECTION_ID()"), id);
  EXPECT_FALSE(l->scalar("SELECT @carry"));

  // Through the service: what one call's statement sets, the next call does not see.
  Caller owner = userWithSet("owner");
  service->GetUserDBDataBySql(owner, set(owner), "select @carry := 'left behind'");
  EXPECT_TRUE(service->GetUserDBDataBySql(owner, set(owner), "select @carry").rows[0][0].isNull());
}

// Connections the server closed (idle timeout, KILL, restart) are replaced without a failure:
// the service's own administrative ones and the tenants'.
TEST_F(SecuritySqlTest, KilledConnectionsAreReplacedTransparently) {
  Caller owner = userWithSet("owner");
  ASSERT_TRUE(service->CheckLoginUser(owner.userId, "secret owner", "10.1.1.1"));
  EXPECT_EQ(service->GetUserDBDataBySql(owner, set(owner), "select 1").rows.size(), 1u);
  auto admin = root();
  const std::string me = *admin->scalar("SELECT CONNECTION_ID()");
  Packet idle = admin->query("SELECT ID FROM information_schema.PROCESSLIST WHERE ID <> " + me +
                             " AND (USER = 'root' OR USER LIKE " + quotedStr(prefix + "%") +
                             ") AND COMMAND = 'Sleep'");
  ASSERT_FALSE(idle.rows.empty());
  for (const Row& r : idle.rows) {
    try {
      admin->execute("KILL " + r[0].toText());
    } catch (const DbError&) {
      // gone already
    }
  }
  EXPECT_TRUE(service->CheckLoginUser(owner.userId, "secret owner", "10.1.1.1"));
  EXPECT_EQ(service->GetUserDBDataBySql(owner, set(owner), "select 1").rows.size(), 1u);
  EXPECT_EQ(service->GetSysMainDBDataBySql(owner, owner.userId, "select 1").rows.size(), 1u);
}

TEST_F(SecuritySqlTest, ClientStatementsHaveATimeLimit) {
  Caller owner = userWithSet("owner");
  auto limited = serviceWith(0.2, 64u << 20);
  try {
    limited->GetUserDBDataBySql(owner, set(owner), "select sleep(5)");
    ADD_FAILURE() << "the statement ran to its end";
  } catch (const DbError& e) {
    EXPECT_NE(std::string(e.what()).find("max_statement_time"), std::string::npos) << e.what();
  }
  // The next call on the same set runs normally.
  EXPECT_EQ(limited->GetUserDBDataBySql(owner, set(owner), "select 1").rows.size(), 1u);
  EXPECT_TRUE(limited->CheckLoginUser(owner.userId, "secret owner", "10.1.1.1"));
}

// Answers are capped in bytes; an existence check reads one row whatever the statement finds.
TEST_F(SecuritySqlTest, AnswersAreCappedInBytesAndExistenceChecksStopAtOneRow) {
  Caller owner = userWithSet("owner");
  auto capped = serviceWith(30, 100000);
  const std::string s = set(owner);
  const std::string big =
      "with recursive r (n) as (select 1 union all select n + 1 from r where n < 1000) "
      "select n as bid, repeat('x', 1000) as pad from r";
  EXPECT_TRUE(capped->CheckValueIsExistBySql(owner, s, big));
  EXPECT_FALSE(capped->CheckValueIsExistBySql(owner, s, big + " where n > 5000"));
  for (auto read : {
           std::function<void()>([&] { capped->GetUserDBDataBySql(owner, s, big); }),
           std::function<void()>([&] { capped->GetSysMainDBDataBySql(owner, "Main", big); }),
           std::function<void()>([&] {
             capped->GetMasterAndDetailData(owner, s, "tb_pur_purchase", big,
                                            "select :bid as bid, repeat('y', 1000) as pad");
           }),
           std::function<void()>([&] {
             capped->GetMasterAndDetailData(owner, s, "tb_pur_purchase",
                                            "select seq as bid from seq_1_to_100",
                                            "select seq as bid, repeat('y', 1000) as pad from "
                                            "seq_1_to_100 where seq = :bid");
           }),
           std::function<void()>([&] {
             OpenRead r = capped->openUserDBDataBySql(owner, s, big);
             const char* const* cells;
             const unsigned long* lengths;
             while (r.rows.next(cells, lengths)) {
             }
           }),
       }) {
    try {
      read();
      ADD_FAILURE() << "a 1 MB answer passed a 100 kB cap";
    } catch (const DbError& e) {
      EXPECT_NE(std::string(e.what()).find("larger than"), std::string::npos) << e.what();
    }
  }
  // The connection stays usable after a refused answer.
  EXPECT_EQ(capped->GetUserDBDataBySql(owner, s, "select 1").rows.size(), 1u);
  // An existence check never writes.
  EXPECT_THROW(
      capped->CheckValueIsExistBySql(owner, s, "insert into td_unit (ID, Name) values ('9', 'x')"),
      SqlRefused);
}

// Only the owner changes grants; an operator cannot grant himself another module.
TEST_F(SecuritySqlTest, OnlyTheOwnerChangesGrants) {
  Caller owner = userWithSet("owner");
  Caller clerk = userWithSet("clerk");
  admit(owner, clerk);
  const std::string s = set(owner);
  const std::string grant = "insert into ts_userpower (UserID, ModuleID) values (" + clerk.userId;
  EXPECT_EQ(service->doUserDBDataBySql(owner, s, grant + ", 'YW_10001')"), "0");
  const std::string refused = "只有帐套所有者可以修改操作员权限！";
  EXPECT_EQ(service->doUserDBDataBySql(clerk, s, grant + ", 'YW_10002')"), refused);
  EXPECT_EQ(service->doUserDBDataBySql(clerk, s, "update ts_userpower set ModuleID = 'YW_10003'"),
            refused);
  EXPECT_EQ(service->doUserDBDataBySql(clerk, s, "delete from ts_userpower"), refused);
  Delta d;
  for (const char* name : {"UserID", "ModuleID"}) {
    FieldDef f;
    f.name = name;
    f.type = DataType::String;
    d.fields.add(f);
  }
  DeltaRow r;
  r.kind = ChangeKind::Insert;
  r.newValues = {Value(clerk.userId), Value(std::string("YW_10004"))};
  d.rows.push_back(r);
  EXPECT_EQ(service->SaveUserDBDataByDelta(clerk, s, "ts_userpower", "UserID,ModuleID", d),
            refused);
  EXPECT_EQ(service->GetUserDBDataBySql(owner, s, "select * from ts_userpower").rows.size(), 1u);
  // The clerk still works in the set, and the owner still manages grants.
  EXPECT_EQ(
      service->doUserDBDataBySql(clerk, s, "insert into td_unit (ID, Name) values ('1', 'x')"),
      "0");
  EXPECT_EQ(service->doUserDBDataBySql(owner, s, "delete from ts_userpower"), "0");
}

// The triggers' routines run as their definer; the set's account may not call them.
TEST_F(SecuritySqlTest, TenantAccountsCannotRunInternalRoutines) {
  Caller owner = userWithSet("owner");
  const std::string s = set(owner);
  EXPECT_EQ(service->doUserDBDataBySql(owner, s,
                                       "insert into td_account (Id, Name) values "
                                       "('A1', 'cash')"),
            "0");
  DbEndpoint e = test::rootEndpoint();
  e.user = prefix + "_a_" + s;
  e.password = service->auth().databasePassword(e.user);
  e.database = prefix + "_" + s;
  auto tenant = Connection::open(e);
  EXPECT_THROW(tenant->execute("CALL vlt_add_account_balance('A1', 1000000)"), DbError);
  EXPECT_THROW(tenant->query("SELECT vlt_lock_bill('tb_pur_order', 'x')"), DbError);
  EXPECT_THROW(tenant->execute("LOCK TABLES td_account WRITE"), DbError);
  EXPECT_EQ(
      service->GetUserDBDataBySql(owner, s, "select Balance from td_account").rows[0][0].toText(),
      "0");
}

// A withdrawn operator keeps no grant in the database.
TEST_F(SecuritySqlTest, RemovingAnOperatorRevokesHisGrants) {
  Caller owner = userWithSet("owner");
  Caller clerk = userWithSet("clerk");
  admit(owner, clerk);
  const std::string s = set(owner);
  const std::string viaId = "select * from " + s + ".ts_userpower";
  const std::string viaDatabase = "select * from " + prefix + "_" + s + ".ts_userpower";
  EXPECT_NO_THROW(service->GetSysMainDBDataBySql(clerk, clerk.userId, viaId));
  EXPECT_NO_THROW(service->GetSysMainDBDataBySql(clerk, clerk.userId, viaDatabase));
  ASSERT_EQ(service->doSysMainDBDataBySql(
                owner, "delete from userdatabaseoperator where UserID=" + clerk.userId),
            "0");
  EXPECT_THROW(service->GetSysMainDBDataBySql(clerk, clerk.userId, viaId), AccessDenied);
  EXPECT_THROW(service->GetSysMainDBDataBySql(clerk, clerk.userId, viaDatabase), DbError);
  EXPECT_EQ(
      root()->scalar("SELECT COUNT(*) FROM mysql.tables_priv WHERE User = " +
                     quotedStr(prefix + "_u_" + clerk.userId) + " AND Table_name = 'ts_userpower'"),
      "0");
  // Admitted again, he reads again, also by a quoted set id.
  admit(owner, clerk);
  EXPECT_NO_THROW(service->GetSysMainDBDataBySql(clerk, clerk.userId, viaId));
  EXPECT_NO_THROW(service->GetSysMainDBDataBySql(clerk, clerk.userId,
                                                 "select * from `" + s + "`.`ts_userpower`"));
  // A set id inside a text is only text.
  EXPECT_EQ(service->GetSysMainDBDataBySql(clerk, clerk.userId, "select '99999_01.x' as t")
                .rows[0][0]
                .toText(),
            "99999_01.x");
}

// Movement rows made by bills are the database's; opening rows stay the client's.
TEST_F(SecuritySqlTest, BillMovementsRefuseClientWrites) {
  Caller owner = userWithSet("owner");
  const std::string s = set(owner);
  for (const char* sql :
       {"insert into td_trader (Id, Name) values ('V1', 'vendor')",
        "insert into td_account (Id, Name) values ('A1', 'cash')",
        "insert into td_goods (Id, Code, Name) values ('G1', 'g1', 'goods')",
        "insert into tb_pur_purchase (Bid, BDate, BCode, TraderID, AccountID, IsPay, AccAmt) "
        "values ('P1', '2026-12-08', 'PC202612080001', 'V1', 'A1', 'True', 3)",
        "insert into tb_pur_purchase_d (Bid, BNo, GoodsID, Qty, Price, Amount) values ('P1', 1, "
        "'G1', 2, 5, 10)",
        "update ts_traderbalancedetailflow set IOAmount = 100 where TraderID = 'V1' and Bid = "
        "'-99'",
        "update ts_accountdetailflow set IOAmount = 50 where AccountID = 'A1' and Bid = '-99'"})
    ASSERT_EQ(service->doUserDBDataBySql(owner, s, sql), "0") << sql;
  auto balance = [&](const char* table) {
    return service->GetUserDBDataBySql(owner, s, std::string("select Balance from ") + table)
        .rows[0][0]
        .toText();
  };
  ASSERT_EQ(balance("td_trader"), "107");  // 100 opening + 10 bought - 3 paid
  ASSERT_EQ(balance("td_account"), "47");
  const char* attacks[] = {
      "delete from ts_traderbalancedetailflow where Bid = 'P1'",
      "update ts_traderbalancedetailflow set IOAmount = 0 where Bid = 'P1'",
      "update ts_traderbalancedetailflow set Bid = 'X' where Bid = '-99'",
      "update ts_traderbalancedetailflow set TraderID = 'V2' where Bid = '-99'",
      ("insert into ts_traderbalancedetailflow (TraderID, Bid, IOAmount, SrcTable, SrcPart) "
       "values ('V1', 'P9', -107, 'tb_pur_purchase', 1)"),
      "delete from ts_accountdetailflow where Bid = 'P1'",
      "update ts_accountdetailflow set IOAmount = 1000000 where Bid = 'P1'",
      "insert into ts_accountdetailflow (AccountID, Bid, IOAmount) values ('A1', 'X', 1000000)",
  };
  for (const char* sql : attacks)
    EXPECT_NE(service->doUserDBDataBySql(owner, s, sql).find("由单据生成"), std::string::npos)
        << sql;
  EXPECT_EQ(balance("td_trader"), "107");
  EXPECT_EQ(balance("td_account"), "47");
  EXPECT_NE(service->doUserDBDataBySql(owner, s, "delete from td_trader where Id = 'V1'"), "0");
  // The bill itself still moves its movements.
  EXPECT_EQ(service->doUserDBDataBySql(owner, s, "delete from tb_pur_purchase where Bid = 'P1'"),
            "0");
  EXPECT_EQ(balance("td_trader"), "100");
  EXPECT_EQ(balance("td_account"), "50");
}

TEST_F(SecuritySqlTest, ServerPathsAndOtherUsersStayHidden) {
  Caller owner = userWithSet("owner");
  Caller clerk = userWithSet("clerk");
  Caller stranger = userWithSet("stranger");
  admit(owner, clerk);
  // Names only of those one shares a set with; a new operator is found by his login ID.
  auto names = [&](const Caller& who, const std::string& where) {
    std::string out;
    for (const Row& r : service
                            ->GetSysMainDBDataBySql(who, who.userId,
                                                    "select UserID, NickName from "
                                                    "sys_mainuserbaseinfo where " +
                                                        where + " order by UserID")
                            .rows)
      out.append(out.empty() ? "" : ",").append(r[1].isNull() ? r[0].toText() : r[1].toText());
    return out;
  };
  EXPECT_EQ(names(owner, "NickName like '%'"), "owner,clerk");
  EXPECT_EQ(names(clerk, "NickName like '%'"), "owner,clerk");
  EXPECT_EQ(names(stranger, "NickName like '%'"), "stranger");
  EXPECT_EQ(names(stranger, "UserID like '%" + owner.userId + "%'"), owner.userId);

  for (const char* sql : {"select @@datadir", "select @@socket", "select @@global.datadir",
                          "select VARIABLE_VALUE from information_schema.GLOBAL_VARIABLES where "
                          "VARIABLE_NAME = 'DATADIR'",
                          "select GLOBAL_VALUE from information_schema.SYSTEM_VARIABLES where "
                          "VARIABLE_NAME = 'SOCKET'"}) {
    EXPECT_THROW(service->GetUserDBDataBySql(owner, set(owner), sql), SqlRefused) << sql;
    EXPECT_THROW(service->GetSysMainDBDataBySql(owner, "Main", sql), SqlRefused) << sql;
  }
}

// ---- transactions ---------------------------------------------------------------------------

TEST(TransactionTest, RollsBackWhenLeftUncommittedAndStartsWithCleanTriggerState) {
  test::ScratchDatabase scratch;
  auto db = scratch.connect();
  db->execute("CREATE TABLE t (x INT PRIMARY KEY) ENGINE=InnoDB");
  db->execute("SET @vlt_derived_write = 3");
  EXPECT_THROW(inTransaction(*db,
                             [&] {
                               EXPECT_FALSE(db->scalar("SELECT @vlt_derived_write"));
                               db->execute("INSERT INTO t VALUES (1)");
                               throw Error("refused");
                             }),
               Error);
  EXPECT_EQ(db->scalar("SELECT COUNT(*) FROM t"), "0");
  {
    Transaction t(*db);
    db->execute("INSERT INTO t VALUES (2)");
  }
  EXPECT_EQ(db->scalar("SELECT COUNT(*) FROM t"), "0");
  int attempts = 0;
  inTransaction(*db, [&] {
    db->execute("INSERT INTO t VALUES (3)");
    if (++attempts < 3) throw DbError(1213, "40001", "Deadlock found");
  });
  EXPECT_EQ(attempts, 3);
  EXPECT_EQ(db->scalar("SELECT GROUP_CONCAT(x) FROM t"), "3");
}

}  // namespace
}  // namespace vlt::server
