// The fault run's judgement of what reached the database (tests/cluster/rig.h, verify): each row
// stores a state a failover could leave behind, and the verdict must name exactly that fault.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "rig.h"
#include "service_fixture.h"

namespace vlt::server::test {
namespace {

using cluster::SavedRow;
using cluster::SaveKind;

constexpr const char* kBill = "800000000000001";
constexpr const char* kBillCode = "PC0000000001";

std::string purchase() {
  return std::string(
             "INSERT INTO tb_pur_purchase (Bid, BDate, BCode, BKind, BState, TraderID, "
             "IsPay, StoreId, IsStoreIO) VALUES ('") +
         kBill + "', '2026-12-08', '" + kBillCode +
         "', 3100, 1, '100000000200001', 'False', '100000000000001', 'True')";
}

std::string line(int no) {
  return std::string(
             "INSERT INTO tb_pur_purchase_d (Bid, BNo, GoodsID, Qty, Price, Amount) "
             "VALUES ('") +
         kBill + "', " + std::to_string(no) + ", '100000000100001', 2, 1.50, 3.00)";
}

std::string trader(const std::string& id, const std::string& code) {
  return "INSERT INTO td_trader (Id, Name, IsClient) VALUES ('" + id + "', '客户" + code +
         "', 'True')";
}

struct Case {
  const char* name;
  std::vector<std::string> stored;  // what the database holds after the run
  std::vector<SavedRow> told;       // what the clients were told was saved
  int lost, halfSaved;
  bool derivedBroken;
};

const SavedRow kToldBill{SaveKind::Purchase, kBill, kBillCode, 3, false};
const SavedRow kToldTrader{SaveKind::Trader, "700000000000001", "KH0000000001", 0, true};

const Case kCases[] = {
    {"a whole bill and a trader, as told",
     {purchase(), line(1), line(2), line(3), trader("700000000000001", "KH0000000001")},
     {kToldBill, kToldTrader},
     0,
     0,
     false},
    {"a bill told saved that is not there", {}, {kToldBill}, 1, 0, false},
    {"a bill with one of its three lines", {purchase(), line(1)}, {kToldBill}, 0, 1, false},
    {"a bill without lines no client was told of", {purchase()}, {}, 0, 1, false},
    {"a balance apart from its movements",
     {purchase(), line(1), line(2), line(3), "SET @vlt_derived_write = 1",
      "UPDATE td_trader SET Balance = Balance + 1 WHERE Id = '100000000200001'"},
     {kToldBill},
     0,
     0,
     true},
};

class VerdictTest : public ServiceFixture, public ::testing::WithParamInterface<Case> {};

TEST_P(VerdictTest, NamesWhatTheRunLeftBehind) {
  const Case& c = GetParam();
  const Caller owner = userWithSet("店主");
  DbEndpoint e = rootEndpoint();
  e.database = prefix + "_" + owner.userId + "_01";
  auto db = Connection::open(e);
  db->execute(
      "INSERT INTO td_trader (Id, Name, IsClient) VALUES ('100000000200001', '供应商', 'False')");
  db->execute("INSERT INTO td_goods (Id, Code, Name) VALUES ('100000000100001', 'G1', '货品')");
  for (const std::string& sql : c.stored)
    db->execute(sql);
  std::vector<cluster::ClientLog> logs(1);
  logs[0].saved = c.told;
  const cluster::Verdict v = cluster::verify(*db, logs);
  EXPECT_EQ(v.lost, static_cast<std::uint64_t>(c.lost));
  EXPECT_EQ(v.duplicated, 0u);  // the set's keys and unique codes refuse a second copy
  EXPECT_EQ(v.halfSaved, static_cast<std::uint64_t>(c.halfSaved));
  bool derived = false;
  for (const std::string& p : v.problems)
    derived = derived || p.rfind("derived data:", 0) == 0;
  EXPECT_EQ(derived, c.derivedBroken) << ::testing::PrintToString(v.problems);
  EXPECT_EQ(v.ok(), c.lost + c.halfSaved == 0 && !c.derivedBroken);
}

INSTANTIATE_TEST_SUITE_P(States, VerdictTest, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<Case>& i) {
                           return "case" + std::to_string(i.index);
                         });

}  // namespace
}  // namespace vlt::server::test
