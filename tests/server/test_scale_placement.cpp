// Account sets over two database servers: the test run's server ('home') and a second private
// server of this test's own. New sets go to the server holding the fewest, every operation on a
// set reaches its server, and a set moves with its rows and derived data intact.

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "account_check.h"
#include "service_fixture.h"
#include "vlt/sqltext.h"

namespace vlt::server {
namespace {

class PlacementTest : public test::ServiceFixture {
 protected:
  void SetUp() override {
    ServiceFixture::SetUp();
    folder_ = std::filesystem::path("/tmp") / ("vlt-second-" + std::to_string(::getpid()));
    second_ = std::make_unique<PrivateMariaDb>(
        PrivateDbOptions{.folder = folder_, .tcpPort = 0, .extraArgs = "", .stopWithParent = true});
    second_->start();
    DbServer s;
    s.name = "second";
    s.admin.socket = second_->socketPath();
    s.admin.user = "root";
    s.admin.password = second_->adminPassword();
    service->placement().addServer(s);
  }

  void TearDown() override {
    ServiceFixture::TearDown();
    second_->stop();
    std::error_code ec;
    std::filesystem::remove_all(folder_, ec);
  }

  std::unique_ptr<Connection> adminOn(const std::string& server, const std::string& database = {}) {
    return service->placement().adminConnection(server, database);
  }

  bool databaseOn(const std::string& server, const std::string& setId) {
    return adminOn(server)->exists(
        "SELECT 1 FROM information_schema.SCHEMATA WHERE SCHEMA_NAME = " +
        quotedStr(prefix + "_" + setId));
  }

  std::string ownerOf(const std::string& nick, Caller& c) {
    c = Caller{service->CreateUser(nick, "secret " + nick), "127.0.0.1"};
    const std::string set = c.userId + "_01";
    EXPECT_EQ(service->CreateUserDB(c, c.userId, set, nick, "False"), "0");
    return set;
  }

  std::filesystem::path folder_;
  std::unique_ptr<PrivateMariaDb> second_;
};

TEST_F(PlacementTest, NewSetsGoToTheServerHoldingTheFewestAndEveryOperationReachesIt) {
  // Both empty: home first, then whichever holds fewer.
  const std::vector<std::string> expected = {"home", "second", "home"};
  for (std::size_t i = 0; i < expected.size(); ++i) {
    Caller c;
    const std::string set = ownerOf("用户" + std::to_string(i), c);
    const std::string other = expected[i] == "home" ? "second" : "home";
    EXPECT_EQ(service->placement().where(set).server, expected[i]) << set;
    EXPECT_TRUE(databaseOn(expected[i], set)) << set;
    EXPECT_FALSE(databaseOn(other, set)) << set;
    ASSERT_EQ(
        service->doUserDBDataBySql(c, set, "insert into td_unit (Id, Name) values ('U1', '个')"),
        "0");
    EXPECT_EQ(service->GetUserDBDataBySql(c, set, "select Name from td_unit where Id = 'U1'")
                  .rows.at(0)[0]
                  .toText(),
              "个");
    EXPECT_TRUE(
        adminOn(expected[i], prefix + "_" + set)->exists("SELECT 1 FROM td_unit WHERE Id = 'U1'"));
  }
  const auto census = service->placement().census();
  EXPECT_EQ(census, (std::vector<std::pair<std::string, int>>{{"home", 2}, {"second", 1}}));
  // Told otherwise: a set placed before it is made goes where it was placed.
  Caller d{service->CreateUser("丁", "secret 丁"), "127.0.0.1"};
  service->MoveAccountSet(d.userId + "_01", "home");
  ASSERT_EQ(service->CreateUserDB(d, d.userId, d.userId + "_01", "丁", "False"), "0");
  EXPECT_TRUE(databaseOn("home", d.userId + "_01"));
  EXPECT_FALSE(databaseOn("second", d.userId + "_01"));
}

TEST_F(PlacementTest, ASetOnTheSecondServerReachesNoOtherSetThere) {
  Caller a, b;
  const std::string home = ownerOf("甲", a);  // home
  const std::string mine = ownerOf("乙", b);  // second
  Caller c;
  const std::string neighbour = ownerOf("丙", c);  // home again; moved next to mine below
  service->MoveAccountSet(neighbour, "second");
  ASSERT_EQ(service->placement().where(neighbour).server, "second");
  // The set's account is granted its own database only, on its own server too.
  const std::string status = service->doUserDBDataBySql(
      b, mine, "insert into " + prefix + "_" + neighbour + ".td_unit (Id, Name) values ('X', 'x')");
  EXPECT_NE(status, "0");
  EXPECT_FALSE(
      adminOn("second", prefix + "_" + neighbour)->exists("SELECT 1 FROM td_unit WHERE Id = 'X'"));
  (void)home;
}

TEST_F(PlacementTest, AMoveCopiesTheSetSwitchesItAndRemovesTheOldCopyButNotWhileItIsInUse) {
  Caller owner;
  const std::string set = ownerOf("店主", owner);
  ASSERT_EQ(service->placement().where(set).server, "home");
  for (const char* sql :
       {"Insert into td_Account (Id,Name) value ('A1','现金')",
        "Insert into td_trader (Id,Name,Address,LinkMen,Tel,IsClient) value "
        "('C1','客户''甲','','','','True')",
        "UPDATE ts_traderbalancedetailflow SET IOAmount = 50.25 WHERE TraderID = 'C1' AND Bid = "
        "'-99'",
        "UPDATE ts_accountdetailflow SET IOAmount = 1000 WHERE AccountID = 'A1' AND Bid = '-99'",
        "insert into td_unit (Id, Name) values ('U\\1', '反斜杠\\n')"})
    ASSERT_EQ(service->doUserDBDataBySql(owner, set, sql), "0") << sql;
  const std::string read =
      "select Id, Name, Balance from td_trader union all select Id, Name, Balance from td_account "
      "union all select Id, Name, NULL from td_unit order by 1";
  const Packet before = service->GetUserDBDataBySql(owner, set, read);

  // Signed in: refused, and the set stays where it was, usable.
  auto session = service->CheckLoginUser(owner.userId, "secret 店主", "127.0.0.1");
  ASSERT_TRUE(session);
  try {
    service->MoveAccountSet(set, "second");
    FAIL() << "moved while its owner is signed in";
  } catch (const Error& e) {
    EXPECT_NE(std::string(e.what()).find("正在使用中"), std::string::npos) << e.what();
  }
  EXPECT_EQ(service->placement().where(set).server, "home");
  EXPECT_FALSE(service->placement().where(set).moving);
  EXPECT_EQ(service->GetUserDBDataBySql(owner, set, read).rows.size(), before.rows.size());

  service->auth().logout(session->token);
  const std::string done = service->MoveAccountSet(set, "second");
  EXPECT_NE(done.find("home"), std::string::npos) << done;
  EXPECT_EQ(service->placement().where(set).server, "second");
  EXPECT_FALSE(databaseOn("home", set));
  EXPECT_TRUE(databaseOn("second", set));

  // The same rows, quotes and backslashes included, and derived data still derived there.
  const Packet after = service->GetUserDBDataBySql(owner, set, read);
  ASSERT_EQ(after.rows.size(), before.rows.size());
  for (std::size_t r = 0; r < after.rows.size(); ++r)
    for (std::size_t f = 0; f < after.rows[r].size(); ++f)
      EXPECT_EQ(after.rows[r][f].toText(), before.rows[r][f].toText()) << r << "," << f;
  ASSERT_EQ(service->doUserDBDataBySql(
                owner, set,
                "UPDATE ts_traderbalancedetailflow SET IOAmount = 70 WHERE TraderID = 'C1' AND Bid "
                "= '-99'"),
            "0");
  EXPECT_EQ(service->GetUserDBDataBySql(owner, set, "select Balance = 70 from td_trader")
                .rows.at(0)[0]
                .toText(),
            "1");
  EXPECT_EQ(test::brokenInvariants(*adminOn("second", prefix + "_" + set)),
            std::vector<std::string>{});

  // The module choice reads the set's grants together with the catalogue of the home server.
  const Packet modules = service->GetSysMainDBDataBySql(
      owner, owner.userId,
      "select ID from UserdatabasePowerModule where not id in (select ModuleID from " + set +
          ".ts_userpower where UserID=" + owner.userId + ") order by id");
  EXPECT_FALSE(modules.rows.empty());

  // Moving again to where it is, or to a server nobody registered, is refused.
  EXPECT_THROW(service->MoveAccountSet(set, "second"), Error);
  EXPECT_THROW(service->MoveAccountSet(set, "nowhere"), Error);
}

}  // namespace
}  // namespace vlt::server
