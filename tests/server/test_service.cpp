#include <gtest/gtest.h>

#include <filesystem>
#include <thread>

#include "service_fixture.h"
#include "vlt/dataset.h"

namespace vlt::server {
namespace {

class ServiceTest : public test::ServiceFixture {};

TEST_F(ServiceTest, SignInChecksPasswordsAndThrottlesGuessing) {
  std::string id = service->CreateUser("张三", "right");
  EXPECT_GE(std::stoi(id), 10001);
  auto s = service->CheckLoginUser(id, "right", "10.0.0.1");
  ASSERT_TRUE(s);
  EXPECT_EQ(s->token.size(), 64u);
  EXPECT_EQ(service->auth().session(s->token)->userId, id);
  EXPECT_FALSE(service->CheckLoginUser(id, "wrong", "10.0.0.1"));
  EXPECT_FALSE(service->CheckLoginUser("99998", "right", "10.0.0.1"));  // unknown: same answer
  EXPECT_FALSE(service->CheckLoginUser("x' or '1'='1", "right", "10.0.0.1"));
  for (int i = 0; i < 4; ++i)
    service->CheckLoginUser(id, "wrong", "10.0.0.2");
  // Failures from other addresses do not stop the owner (the rules: test_security_http).
  EXPECT_TRUE(service->CheckLoginUser(id, "right", "10.0.0.3"));
  service->auth().logout(s->token);
  EXPECT_FALSE(service->auth().session(s->token));
  EXPECT_FALSE(service->auth().session("not a token"));
  EXPECT_FALSE(service->auth().session(std::string(64, 'a')));
}

TEST_F(ServiceTest, AccountSetsBelongToTheirOwnerAndAdmittedOperators) {
  Caller owner = userWithSet("owner");
  Caller stranger = userWithSet("stranger");
  const std::string set = owner.userId + "_01";
  adminExecute(set, "CREATE TABLE t_unit (ID VARCHAR(15) PRIMARY KEY, Name VARCHAR(40) UNIQUE)");

  EXPECT_EQ(service->doUserDBDataBySql(owner, set, "INSERT INTO t_unit VALUES ('1','个')"), "0");
  EXPECT_EQ(service->GetUserDBDataBySql(owner, set, "select * from T_UNIT").rows.size(), 1u);
  EXPECT_NE(service->doUserDBDataBySql(owner, set, "INSERT INTO t_unit VALUES ('2','个')")
                .find("Duplicate entry"),
            std::string::npos);

  EXPECT_THROW(service->GetUserDBDataBySql(stranger, set, "select * from t_unit"), AccessDenied);
  EXPECT_THROW(service->doUserDBDataBySql(stranger, set, "delete from t_unit"), AccessDenied);
  EXPECT_THROW(service->CheckValueIsExistBySql(stranger, set, "select 1"), AccessDenied);
  EXPECT_EQ(service->doSysMainDBDataBySql(owner,
                                          "Insert into userdatabaseoperator "
                                          "(UserDBID,UserID) values ('" +
                                              set + "','" + stranger.userId + "')"),
            "0");
  EXPECT_TRUE(service->CheckValueIsExistBySql(stranger, set, "select * from t_unit"));
  service->doSysMainDBDataBySql(owner,
                                "delete from userdatabaseoperator where UserID=" + stranger.userId);
  EXPECT_THROW(service->GetUserDBDataBySql(stranger, set, "select 1"), AccessDenied);

  // Creating sets: only one's own, only in the agreed form, each once.
  EXPECT_THROW(service->CreateUserDB(stranger, owner.userId, owner.userId + "_02", "x", "False"),
               AccessDenied);
  for (const char* suffix : {"_1", "_00", "_100", "x01", "_0a"})
    EXPECT_THROW(service->CreateUserDB(owner, owner.userId, owner.userId + suffix, "x", "False"),
                 BadRequest)
        << suffix;
  EXPECT_NE(service->CreateUserDB(owner, owner.userId, set, "again", "False").find("Duplicate"),
            std::string::npos);
}

TEST_F(ServiceTest, ClientSqlCannotLeaveItsDatabase) {
  Caller owner = userWithSet("owner");
  Caller other = userWithSet("other");
  const std::string set = owner.userId + "_01";
  adminExecute(other.userId + "_01", "CREATE TABLE secret (x INT)");
  const std::string outside[] = {
      "select * from " + prefix + "_auth.auth_user",
      "select * from " + prefix + "_" + other.userId + "_01.secret",
      "select * from mysql.user",
  };
  for (const std::string& sql : outside) {
    EXPECT_THROW(service->GetUserDBDataBySql(owner, set, sql), DbError) << sql;
    EXPECT_THROW(service->GetSysMainDBDataBySql(owner, owner.userId, sql), DbError) << sql;
  }
  EXPECT_NE(service->doUserDBDataBySql(owner, set, "create table t (x int)"), "0");
  EXPECT_NE(service->doUserDBDataBySql(owner, set, "drop database " + prefix + "_" + set), "0");
  EXPECT_NE(service->doSysMainDBDataBySql(owner, "drop table userdatabase"), "0");
  EXPECT_THROW(service->GetSysMainDBDataBySql(owner, other.userId, "select 1"), AccessDenied);
  EXPECT_EQ(service->GetSysMainDBDataBySql(owner, "Main", "select 1").rows.size(), 1u);
}

TEST_F(ServiceTest, BillsPageWithTheirLinesAndSaveAsOneDelta) {
  Caller c = userWithSet("shop");
  const std::string set = c.userId + "_01";
  adminExecute(set, "CREATE TABLE tb_x (Bid VARCHAR(15) PRIMARY KEY, BCode VARCHAR(20))");
  adminExecute(set,
               "CREATE TABLE tb_x_d (Bid VARCHAR(15), BNo INT, Qty DECIMAL(13,4), "
               "PRIMARY KEY (Bid, BNo))");
  service->doUserDBDataBySql(c, set, "insert into tb_x values ('1','A1'),('2','A2'),('3','A3')");
  service->doUserDBDataBySql(c, set, "insert into tb_x_d values ('1',1,5),('1',2,6),('3',1,7)");

  // ":bid" inside quotes is text, not the parameter.
  for (const char* detail : {"select * from tb_x_d D where Bid=:Bid order by BNo",
                             "select * from tb_x_d where bid = :bid and :bid <> ''",
                             "select * from tb_x_d D where D.Bid = :bid and ':bid' = ':' 'bid'",
                             "select *, ':bid' as t from tb_x_d where `Bid`=:BID"}) {
    SCOPED_TRACE(detail);
    auto page = service->GetMasterAndDetailData(
        c, set, "tb_x", "select * from tb_x ORDER BY BCode DESC LIMIT 20", detail);
    ASSERT_TRUE(page);
    ClientDataSet master, lines;
    master.LoadFromPacket(*page);
    lines.SetDataSetField(master, "tb_x_d");
    EXPECT_EQ(master.RecordCount(), 3);
    EXPECT_EQ(lines.RecordCount(), 1);  // A3 first
    master.Last();
    EXPECT_EQ(lines.RecordCount(), 2);
    master.Prior();
    EXPECT_TRUE(lines.IsEmpty());
  }
  EXPECT_FALSE(service->GetMasterAndDetailData(c, set, "tb_x", "select * from tb_x where 1=0",
                                               "select * from tb_x_d where Bid=:Bid"));

  auto page = service->GetMasterAndDetailData(c, set, "tb_x", "select * from tb_x where Bid='1'",
                                              "select * from tb_x_d where Bid=:Bid");
  ClientDataSet master, lines;
  master.LoadFromPacket(*page);
  lines.SetDataSetField(master, "tb_x_d");
  lines.First();
  lines.Delete();
  lines.Edit();
  lines.FieldByName("Qty").SetAsString("60");
  lines.Post();
  master.Post();
  EXPECT_EQ(service->SaveMasterAndDetailData(c, set, "tb_x", master.GetDelta()), "0");
  master.MergeChangeLog();
  EXPECT_EQ(service
                ->GetUserDBDataBySql(c, set,
                                     "select group_concat(Qty) from tb_x_d where "
                                     "Bid='1'")
                .rows[0][0]
                .toText(),
            "60.0000");
  // Someone else renumbered the bill meanwhile: this change is refused, nothing is applied.
  master.Edit();
  master.FieldByName("BCode").SetAsString("mine");
  master.Post();
  lines.Append();
  lines.FieldByName("Bid").SetAsString("1");
  lines.FieldByName("BNo").SetAsInteger(3);
  lines.Post();
  master.Post();
  service->doUserDBDataBySql(c, set, "update tb_x set BCode='changed' where Bid='1'");
  std::string refused = service->SaveMasterAndDetailData(c, set, "tb_x", master.GetDelta());
  EXPECT_NE(refused.find("其他用户"), std::string::npos) << refused;
  EXPECT_EQ(service->GetUserDBDataBySql(c, set, "select count(*) from tb_x_d").rows[0][0].toText(),
            "2");
}

TEST_F(ServiceTest, BillCodesCountPerPrefixTableAndDay) {
  Caller c = userWithSet("codes");
  const std::string set = c.userId + "_01";
  adminExecute(set, "CREATE TABLE tb_x (Bid VARCHAR(15) PRIMARY KEY, BCode VARCHAR(20))");
  EXPECT_EQ(service->GetBill_MaxBcode(c, set, "PO", "tb_x", "2026-12-08"), "PO202612080001");
  service->doUserDBDataBySql(c, set,
                             "insert into tb_x values ('1','PO202612080009'),"
                             "('2','PO202612090001'),('3','XX202612080050')");
  EXPECT_EQ(service->GetBill_MaxBcode(c, set, "PO", "tb_x", "2026-12-08 10:00:00"),
            "PO202612080010");
  EXPECT_EQ(service->GetBill_MaxBcode(c, set, "PO", "tb_x", "2026-12-07"), "PO202612070001");
  EXPECT_THROW(service->GetBill_MaxBcode(c, set, "P'O", "tb_x", "2026-12-08"), BadRequest);
  EXPECT_THROW(service->GetBill_MaxBcode(c, set, "PO", "tb_x", "2026-02-30"), BadRequest);
}

TEST_F(ServiceTest, IdBlocksAreDisjointFifteenDigitRanges) {
  Caller c{service->CreateUser("ids", "pw"), ""};
  IdBlockInfo a = service->ReserveIds(c);
  IdBlockInfo b = service->ReserveIds(c);
  EXPECT_EQ(a.first.size(), 15u);
  EXPECT_GE(std::stoll(b.first), std::stoll(a.first) + a.count);
  EXPECT_GT(std::stoll(a.first), 100000000000001LL);
  Packet info = service->GetRegisUserInfo(c, c.userId);
  ASSERT_EQ(info.rows.size(), 1u);
  EXPECT_EQ(info.rows[0][0].toText(), "ids");
}

}  // namespace
}  // namespace vlt::server

namespace vlt::server {
namespace {

class SystemRowsTest : public test::ServiceFixture {};

TEST_F(SystemRowsTest, EachUserSeesAndChangesOnlyTheirOwnRows) {
  Caller owner = userWithSet("owner");
  Caller other = userWithSet("other");
  const std::string mine = owner.userId, theirs = other.userId;
  const std::string insert =
      "INSERT INTO usercalendar (UserID,Title,Date,Remark,Level,Finished,IsAlarm,AlarmTime,"
      "RepeatMode,RepeatValue) VALUES ('%s','task','2026-12-08','','0,0','False','0',null,'1','')";
  auto calendarInsert = [&](const std::string& who) {
    std::string sql = insert;
    return sql.replace(sql.find("%s"), 2, who);
  };
  EXPECT_EQ(service->doSysMainDBDataBySql(owner, calendarInsert(mine)), "0");
  EXPECT_EQ(service->doSysMainDBDataBySql(other, calendarInsert(theirs)), "0");
  // Writing a row in someone else's name is refused by the database.
  EXPECT_NE(service->doSysMainDBDataBySql(owner, calendarInsert(theirs)), "0");
  EXPECT_EQ(service->GetSysMainDBDataBySql(owner, mine, "select * from usercalendar").rows.size(),
            1u);
  EXPECT_EQ(service->doSysMainDBDataBySql(owner, "delete from usercalendar"), "0");
  EXPECT_EQ(service->GetSysMainDBDataBySql(other, theirs, "select * from usercalendar").rows.size(),
            1u);  // the other user's task survived
  EXPECT_EQ(service->doSysMainDBDataBySql(owner, "update usercalendar set UserID=" + theirs), "0");

  // Account sets: a user sees their own and those they operate; only owners admit operators.
  const std::string set = mine + "_01";
  EXPECT_NE(service->doSysMainDBDataBySql(other,
                                          "Insert into userdatabaseoperator (UserDBID,UserID) "
                                          "values ('" +
                                              set + "','" + theirs + "')"),
            "0");
  EXPECT_THROW(service->GetUserDBDataBySql(other, set, "select 1"), AccessDenied);
  const std::string list =
      "select * from (SELECT UserID,UserDBID,UserDBName,IsDefault from userdatabase UNION ALL "
      "SELECT UO.UserID,UO.UserDBID,UD.UserDBName,'False' as IsDefault from userdatabaseoperator "
      "UO "
      "LEFT JOIN userdatabase UD ON UO.UserDBID=UD.UserDBID) as dlt where UserID=";
  EXPECT_EQ(service->GetSysMainDBDataBySql(other, theirs, list + "'" + theirs + "'").rows.size(),
            1u);
  EXPECT_EQ(service->doSysMainDBDataBySql(owner,
                                          "Insert into userdatabaseoperator (UserDBID,UserID) "
                                          "values ('" +
                                              set + "','" + theirs + "')"),
            "0");
  Packet sets = service->GetSysMainDBDataBySql(other, theirs, list + "'" + theirs + "'");
  ASSERT_EQ(sets.rows.size(), 2u);
  EXPECT_EQ(service->GetSysMainDBDataBySql(other, theirs, "select * from userdatabase").rows.size(),
            2u);
  service->doSysMainDBDataBySql(
      other, "update UserDataBase set UserDBName='taken' where UserDBID='" + set + "'");
  EXPECT_EQ(service
                ->GetSysMainDBDataBySql(owner, mine,
                                        "select UserDBName from userdatabase where "
                                        "UserDBID='" +
                                            set + "'")
                .rows[0][0]
                .toText(),
            "owner的帐套");
  // Nothing outside the views: not the sequence, not the base tables.
  EXPECT_THROW(
      service->GetSysMainDBDataBySql(owner, mine, "select nextval(" + prefix + "_sys.sys_idseq)"),
      DbError);
  EXPECT_THROW(
      service->GetSysMainDBDataBySql(owner, mine, "select * from " + prefix + "_sys.usercalendar"),
      DbError);
  // The module list of the powers window names the set's database by the set id.
  const std::string modules =
      "select ID,ModuleCnName,groupID from UserdatabasePowerModule where not id in (select "
      "ModuleID from " +
      set + ".ts_userpower where UserID=" + theirs + ") order by groupid,id";
  Packet m = service->GetSysMainDBDataBySql(owner, mine, modules);
  EXPECT_GT(m.rows.size(), 30u);
  Caller stranger = userWithSet("stranger");
  EXPECT_THROW(service->GetSysMainDBDataBySql(stranger, stranger.userId, modules), AccessDenied);
}

}  // namespace
}  // namespace vlt::server

#include <filesystem>
#include <fstream>
#include <sstream>

#include "demo.h"
#include "migrations.h"

namespace vlt::server {
namespace {

class DemoTest : public test::ServiceFixture {};

TEST_F(DemoTest, TheDemoShopIsConsistent) {
  Caller c = userWithSet("演示");
  const std::string set = c.userId + "_01";
  ASSERT_EQ(seedDemoData(*service, c, set), "0");
  EXPECT_EQ(
      service->GetUserDBDataBySql(c, set, "select count(*) from td_goods").rows[0][0].toText(),
      "3");
  // The vendor was paid 500 of 560 at once; the client owes 144 - 100.
  EXPECT_EQ(service
                ->GetUserDBDataBySql(c, set,
                                     "select group_concat(Balance order by IsClient) "
                                     "from td_trader")
                .rows[0][0]
                .toText(),
            "60.0000,44.0000");
  std::ifstream in(std::filesystem::path(VLT_SOURCE_DIR) / "tests/schema/check_account.sql");
  ASSERT_TRUE(in) << "no checks to run";
  std::stringstream text;
  text << in.rdbuf();
  // The checks share temporary tables, which client SQL may not make: one admin connection.
  DbEndpoint e = test::rootEndpoint();
  e.database = prefix + "_" + set;
  auto checker = Connection::open(e);
  for (const std::string& check : splitSqlScript(text.str())) {
    Packet fails = checker->query(check);
    for (const Row& r : fails.rows)
      ADD_FAILURE() << r[0].toText();
  }
}

}  // namespace
}  // namespace vlt::server

namespace vlt::server {
namespace {

class RestartTest : public test::ServiceFixture {};

// A service started again over the same databases finds every account set (bringing each to the
// newest schema); nothing is applied twice, and users, sessions and sets keep working.
TEST_F(RestartTest, StartingAgainUpgradesEveryAccountSetOnce) {
  Caller c = userWithSet("restart");
  const std::string set = c.userId + "_01";
  ASSERT_EQ(service->doUserDBDataBySql(c, set, "insert into td_unit (Id,Name) values ('U1','个')"),
            "0");
  const auto applied = [&] {
    DbEndpoint e = test::rootEndpoint();
    e.database = prefix + "_" + set;
    return Connection::open(e)->scalar("SELECT COUNT(*) FROM vlt_schema_version");
  };
  const auto before = applied();
  EXPECT_EQ(std::stoul(*before), schemaMigrations("account").size());
  ServiceSettings s;
  s.admin = test::rootEndpoint();
  s.prefix = prefix;
  s.fastHashing = true;
  DataService again(s);
  again.prepare();
  EXPECT_EQ(applied(), before);
  auto s2 = again.CheckLoginUser(c.userId, "secret restart", "127.0.0.1");
  ASSERT_TRUE(s2);
  EXPECT_EQ(again.GetUserDBDataBySql(c, set, "select Name from td_unit").rows.size(), 1u);
}

// A start whose database does not answer yet keeps trying for a while (a cluster node too busy to
// greet, a server still starting); one that was given no time fails at once.
TEST_F(RestartTest, AStartWaitsForADatabaseThatAnswersLate) {
  const std::filesystem::path late =
      std::filesystem::temp_directory_path() / ("vlt-late-" + prefix + ".sock");
  std::filesystem::remove(late);
  ServiceSettings s;
  s.admin = test::rootEndpoint();
  const std::string real = s.admin.socket;
  s.admin.socket = late.string();
  s.prefix = prefix;
  s.fastHashing = true;
  s.startWait = std::chrono::seconds(0);
  EXPECT_THROW(DataService(s).prepare(), DbError);

  s.startWait = std::chrono::seconds(30);
  std::thread arrives([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(600));
    std::filesystem::create_symlink(real, late);
  });
  DataService waiting(s);
  EXPECT_NO_THROW(waiting.prepare());
  arrives.join();
  EXPECT_FALSE(waiting.CheckLoginUser("nobody", "x", "127.0.0.1"));
  std::filesystem::remove(late);
}

}  // namespace
}  // namespace vlt::server
