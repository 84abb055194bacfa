// The service on a three-node Galera cluster (the test run's cluster, see vlt-galera): instances
// starting together migrate once, every table replicates (it has a primary key), a read on one
// node sees what another node just committed, and saves that collide on two nodes are retried
// until the derived data still equals a plain recomputation.

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "account_check.h"
#include "galera.h"
#include "migrations.h"
#include "service.h"
#include "vlt/dataset.h"
#include "vlt/sqltext.h"

namespace vlt::server {
namespace {

class GaleraTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* folder = std::getenv("VLT_TEST_GALERA_FOLDER");
    if (!folder || !std::filesystem::exists(std::filesystem::path(folder) / "cluster"))
      GTEST_SKIP() << "no Galera cluster in this run (galera-4 not installed)";
    cluster_ = std::make_unique<GaleraCluster>(GaleraCluster::attach(folder));
    for (int i = 0; i < cluster_->size(); ++i)
      ASSERT_TRUE(cluster_->synced(i)) << "node " << i;
    std::random_device rd;
    prefix_ = "g" + std::to_string(rd() % 100000000);
  }

  void TearDown() override {
    instances_.clear();
    if (!cluster_) return;
    auto root = Connection::open(cluster_->endpoint(0));
    for (const Row& r : root->query("SELECT SCHEMA_NAME FROM information_schema.SCHEMATA WHERE "
                                    "SCHEMA_NAME LIKE '" +
                                    prefix_ + "\\_%'")
                            .rows)
      root->execute("DROP DATABASE " + quoteIdentifier(r[0].toText()));
    for (const Row& r :
         root->query("SELECT User, Host FROM mysql.user WHERE User LIKE '" + prefix_ + "\\_%'")
             .rows)
      root->execute("DROP USER " + quotedStr(r[0].toText()) + "@" + quotedStr(r[1].toText()));
  }

  // An instance of the service writing through node `node`, not yet prepared.
  DataService& instance(int node) {
    ServiceSettings s;
    s.admin = cluster_->endpoint(node);
    s.prefix = prefix_;
    s.accountHost = "%";
    s.fastHashing = true;
    instances_.push_back(std::make_unique<DataService>(s));
    return *instances_.back();
  }

  // Two prepared instances writing through nodes `a` and `b`, and an owner with a set "_01"
  // made through the first.
  struct Pair {
    DataService& a;
    DataService& b;
    Caller owner;
    std::string set;
  };
  Pair pairOn(int a, int b) {
    DataService& first = instance(a);
    first.prepare();
    DataService& second = instance(b);
    second.prepare();
    Caller owner{first.CreateUser("店主", "secret 1"), "127.0.0.1"};
    const std::string set = owner.userId + "_01";
    EXPECT_EQ(first.CreateUserDB(owner, owner.userId, set, "帐套", "False"), "0");
    return Pair{first, second, owner, set};
  }

  // Reads causally, like the service's sessions: what another node committed is seen.
  std::unique_ptr<Connection> adminOn(int node, const std::string& database) {
    DbEndpoint e = cluster_->endpoint(node);
    e.database = database;
    return Connection::open(e, SessionSettings{.maxStatementSeconds = 0, .causalReads = true});
  }

  std::unique_ptr<GaleraCluster> cluster_;
  std::string prefix_;
  std::vector<std::unique_ptr<DataService>> instances_;
};

std::string saveReceipt(DataService& s, const Caller& c, const std::string& set,
                        const std::string& bid, const std::string& trader,
                        const std::string& amount) {
  ClientDataSet ds;
  ds.LoadFromPacket(s.GetUserDBDataBySql(c, set, "select * from tb_bal_gathering where 1=0"));
  ds.Append();
  auto put = [&](const char* f, const std::string& v) { ds.FieldByName(f).SetAsString(v); };
  put("Bid", bid);
  put("BDate", "2026-12-08");
  put("BCode", "BG" + bid);
  put("BKind", "4000");
  put("BState", "1");
  put("TraderID", trader);
  put("AccountId", "A1");
  put("AccAmt", amount);
  put("CreateOp", c.userId);
  ds.Post();
  return s.SaveUserDBDataByDelta(c, set, "tb_bal_gathering", "bid", ds.GetDelta());
}

TEST_F(GaleraTest, InstancesStartingTogetherOnDifferentNodesMigrateEachDatabaseOnce) {
  std::vector<DataService*> all;
  for (int node = 0; node < cluster_->size(); ++node)
    all.push_back(&instance(node));
  std::vector<std::thread> threads;
  std::atomic<int> failures{0};
  std::vector<std::string> errors(all.size());
  for (std::size_t i = 0; i < all.size(); ++i)
    threads.emplace_back([&, i] {
      try {
        all[i]->prepare();
      } catch (const std::exception& e) {
        errors[i] = e.what();
        ++failures;
      }
    });
  for (auto& t : threads)
    t.join();
  ASSERT_EQ(failures, 0) << errors[0] << errors[1] << errors[2];
  for (const char* schema : {"system", "auth"}) {
    const std::string db = prefix_ + (std::string(schema) == "system" ? "_sys" : "_auth");
    for (int node = 0; node < cluster_->size(); ++node) {
      auto c = adminOn(node, db);
      EXPECT_EQ(c->scalar("SELECT COUNT(*) FROM vlt_schema_version"),
                std::to_string(schemaMigrations(schema).size()))
          << db << " on node " << node;
      EXPECT_EQ(c->scalar("SELECT COUNT(*) FROM vlt_schema_lock"), "0") << db;
    }
  }
}

TEST_F(GaleraTest, EveryTableOfEverySchemaHasAPrimaryKeyAndSequencesHandOutDistinctValues) {
  auto [a, b, owner, set] = pairOn(0, 1);
  // Replication carries rows by their key: a table without one would drift apart.
  auto root = adminOn(2, "");
  Packet keyless = root->query(
      "SELECT CONCAT(t.TABLE_SCHEMA, '.', t.TABLE_NAME) FROM information_schema.TABLES t WHERE "
      "t.TABLE_SCHEMA LIKE '" +
      prefix_ +
      "\\_%' AND t.TABLE_TYPE = 'BASE TABLE' AND NOT EXISTS (SELECT 1 FROM "
      "information_schema.TABLE_CONSTRAINTS k WHERE k.TABLE_SCHEMA = t.TABLE_SCHEMA AND "
      "k.TABLE_NAME = t.TABLE_NAME AND k.CONSTRAINT_TYPE = 'PRIMARY KEY')");
  std::vector<std::string> names;
  for (const Row& r : keyless.rows)
    names.push_back(r[0].toText());
  EXPECT_TRUE(names.empty()) << ::testing::PrintToString(names);
  // Login IDs and id blocks from instances on two nodes never repeat.
  // Each NEXTVAL commits after returning its row, so one that loses to the other node's last
  // write learns it at the end of its rows: it is sent again, never reported.
  std::set<std::string> ids, blocks;
  for (int i = 0; i < 6; ++i) {
    DataService& s = i % 2 ? b : a;
    ids.insert(s.CreateUser("用户" + std::to_string(i), "secret"));
  }
  for (int i = 0; i < 60; ++i)
    blocks.insert((i % 2 ? b : a).ReserveIds(owner).first);
  EXPECT_EQ(ids.size(), 6u);
  EXPECT_EQ(blocks.size(), 60u);
}

// A session reset with COM_RESET_CONNECTION on this server no longer waits for the cluster
// before a read, whatever wsrep_sync_wait says (about one run in three missed a row): on a
// cluster node the pool opens a new session instead.
TEST_F(GaleraTest, AReadOnOneNodeSeesWhatAnotherNodeJustCommitted) {
  auto [writer, reader, owner, set] = pairOn(0, 2);
  EXPECT_EQ(reader.adminConnection(reader.systemDatabase())->scalar("SELECT @@wsrep_sync_wait"),
            "1");
  for (int i = 0; i < 40; ++i) {
    const std::string id = "U" + std::to_string(i);
    ASSERT_EQ(writer.doUserDBDataBySql(
                  owner, set, "insert into td_unit (Id, Name) values ('" + id + "', '" + id + "')"),
              "0");
    Packet p =
        reader.GetUserDBDataBySql(owner, set, "select Id from td_unit where Id = '" + id + "'");
    ASSERT_EQ(p.rows.size(), 1u) << "row " << id << " not yet seen on the other node";
  }
}

TEST_F(GaleraTest, SavesCollidingOnTwoNodesAreRetriedAndDerivedDataHolds) {
  auto [a, b, owner, set] = pairOn(0, 1);
  for (const char* sql : {"Insert into td_Account (Id,Name) value ('A1','现金')",
                          "Insert into td_trader (Id,Name,Address,LinkMen,Tel,IsClient) value "
                          "('C1','客户甲','','','','True')"})
    ASSERT_EQ(a.doUserDBDataBySql(owner, set, sql), "0") << sql;
  // Every receipt moves the same trader's and account's balance rows: two nodes certify
  // against each other, and the loser is told of a deadlock.
  constexpr int kThreads = 4, kEach = 12;
  std::vector<std::string> statuses(kThreads * kEach);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t)
    threads.emplace_back([&, t] {
      DataService& s = t % 2 ? b : a;
      for (int i = 0; i < kEach; ++i) {
        char bid[16];
        std::snprintf(bid, sizeof bid, "%015d", 300000000 + t * 1000 + i);
        statuses[static_cast<std::size_t>(t * kEach + i)] =
            saveReceipt(s, owner, set, bid, "C1", std::to_string(t + 1) + ".25");
      }
    });
  for (auto& t : threads)
    t.join();
  for (const std::string& s : statuses)
    EXPECT_EQ(s, "0");
  auto check = adminOn(2, prefix_ + "_" + set);
  EXPECT_EQ(check->scalar("SELECT COUNT(*) FROM tb_bal_gathering"),
            std::to_string(kThreads * kEach));
  // 12 receipts of 1.25, 2.25, 3.25 and 4.25 each.
  EXPECT_EQ(check->scalar("SELECT Balance = 132 FROM td_account WHERE Id = 'A1'"), "1");
  EXPECT_EQ(test::brokenInvariants(*check), std::vector<std::string>{});
}

}  // namespace
}  // namespace vlt::server
