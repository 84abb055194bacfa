// Random edits of a bill set with lines: the delta, applied to the rows of the last merge, must
// give exactly the current rows, and cancelling must give back the rows of the last merge.

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>

#include "dataset_fixtures.h"
#include "vlt/json.h"

namespace vlt {
namespace {

using Rows = std::map<std::string, Row>;  // by key text

std::string keyOf(const Row& r, const std::vector<std::size_t>& keys) {
  std::string k;
  for (std::size_t i : keys)
    k += r[i].toText() + "|";
  return k;
}

// What the service does with a delta, written the plain way over rows held in maps.
struct Model {
  Rows bills;
  std::map<std::string, Rows> lines;  // by bill key

  static Model of(const Packet& p) {
    Model m;
    for (const Row& r : p.rows) {
      Row copy = r;
      copy[3] = Value();
      m.bills[r[0].toText()] = copy;
      Rows& l = m.lines[r[0].toText()];
      if (!r[3].isNull())
        for (const Row& line : *r[3].nested())
          l[keyOf(line, {0, 1})] = line;
    }
    return m;
  }

  void apply(const Delta& d) {
    for (const DeltaRow& r : d.rows) {
      const Row& key = r.kind == ChangeKind::Insert ? r.newValues : r.oldValues;
      std::string bid = key[0].toText();
      if (r.kind == ChangeKind::Delete) {
        ASSERT_TRUE(bills.count(bid)) << "delete of a missing bill " << bid;
        bills.erase(bid);
        lines.erase(bid);
        continue;
      }
      if (r.kind == ChangeKind::Insert) {
        ASSERT_FALSE(bills.count(bid)) << "insert of an existing bill " << bid;
      } else {
        ASSERT_TRUE(bills.count(bid));
        EXPECT_EQ(bills[bid], r.oldValues) << "stale original values of " << bid;
      }
      if (r.kind != ChangeKind::Unmodified)
        bills[bid] = r.newValues.empty() ? r.oldValues : r.newValues;
      for (const DetailDelta& dd : r.details) {
        Rows& l = lines[bid];
        for (const DeltaRow& lr : dd.rows) {
          const Row& lk = lr.kind == ChangeKind::Insert ? lr.newValues : lr.oldValues;
          std::string k = keyOf(lk, {0, 1});
          if (lr.kind == ChangeKind::Delete) {
            ASSERT_TRUE(l.count(k)) << "delete of a missing line " << k;
            l.erase(k);
          } else if (lr.kind == ChangeKind::Insert) {
            ASSERT_FALSE(l.count(k)) << "insert of an existing line " << k;
            l[k] = lr.newValues;
          } else {
            ASSERT_TRUE(l.count(k));
            EXPECT_EQ(l[k], lr.oldValues) << "stale original values of line " << k;
            l[k] = lr.newValues;
          }
        }
      }
    }
  }

  friend bool operator==(const Model& a, const Model& b) {
    if (a.bills != b.bills) return false;
    for (const auto& [bid, rows] : a.bills) {
      (void)rows;
      auto x = a.lines.find(bid), y = b.lines.find(bid);
      bool ex = x != a.lines.end() && !x->second.empty();
      bool ey = y != b.lines.end() && !y->second.empty();
      if (ex != ey || (ex && x->second != y->second)) return false;
    }
    return true;
  }
};

class ChangeLogWalk : public ::testing::TestWithParam<unsigned> {};

TEST_P(ChangeLogWalk, DeltaReproducesTheRowsAndCancellingRestoresThem) {
  std::mt19937 rng(GetParam());
  auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
  ClientDataSet master, lines;
  test::defineBill(master, lines);
  master.CreateDataSet();
  int nextBill = 1;
  Model base = Model::of(master.Data());

  for (int step = 0; step < 400; ++step) {
    SCOPED_TRACE("step " + std::to_string(step));
    switch (pick(10)) {
      case 0:  // a new bill with lines
        master.Append();
        master.FieldByName("Bid").SetAsString("B" + std::to_string(nextBill++));
        master.FieldByName("bcode").SetAsString("C" + std::to_string(pick(1000)));
        for (int i = pick(3); i > 0; --i) {
          lines.Append();
          lines.FieldByName("bid").SetValue(master.FieldByName("Bid").AsValue());
          lines.FieldByName("bno").SetAsInteger(lines.RecordCount() + 1);
          lines.FieldByName("qty").SetAsInteger(pick(9));
          lines.Post();
        }
        if (pick(5) == 0)
          master.Cancel();
        else
          master.Post();
        break;
      case 1:  // edit a bill's own values
        if (master.IsEmpty()) break;
        master.SetRecNo(1 + pick(master.RecordCount()));
        master.Edit();
        master.FieldByName("bcode").SetAsString("E" + std::to_string(pick(1000)));
        if (pick(4) == 0)
          master.Cancel();
        else
          master.Post();
        break;
      case 2:  // edit, add or delete a line of a bill
      case 3:
        if (master.IsEmpty()) break;
        master.SetRecNo(1 + pick(master.RecordCount()));
        if (!lines.IsEmpty() && pick(3) > 0) {
          lines.SetRecNo(1 + pick(lines.RecordCount()));
          if (pick(2) == 0) {
            lines.Delete();
          } else {
            lines.Edit();
            lines.FieldByName("qty").SetAsInteger(pick(99));
            lines.Post();
          }
        } else {
          lines.Append();
          lines.FieldByName("bid").SetValue(master.FieldByName("Bid").AsValue());
          lines.FieldByName("bno").SetAsInteger(100 + step);
          lines.Post();
        }
        if (pick(6) == 0)
          master.Cancel();
        else
          master.Post();
        break;
      case 4:  // delete a bill
        if (master.IsEmpty()) break;
        master.SetRecNo(1 + pick(master.RecordCount()));
        master.Delete();
        break;
      case 5: {  // the delta must take the merged rows to the current ones
        Model m = base;
        Delta d = master.GetDelta();
        EXPECT_EQ(decodeDelta(encodeDelta(d)), d);
        m.apply(d);
        ASSERT_TRUE(m == Model::of(master.Data()));
        if (pick(2) == 0) {
          master.MergeChangeLog();
          EXPECT_EQ(master.ChangeCount(), 0);
          base = Model::of(master.Data());
        }
        break;
      }
      case 6:  // cancelling gives back the merged rows
        if (pick(3) == 0) {
          master.CancelUpdates();
          ASSERT_TRUE(base == Model::of(master.Data()));
          EXPECT_EQ(master.ChangeCount(), 0);
        }
        break;
      case 7:  // a filter or an index must not change what is saved
        master.SetFilter("bcode like '%1%'");
        master.SetFiltered(pick(2) == 0);
        master.SetIndexFieldNames(pick(2) == 0 ? "bcode" : "");
        break;
      default: {  // bookmarks survive moves
        if (master.IsEmpty()) break;
        master.SetRecNo(1 + pick(master.RecordCount()));
        Bookmark b = master.GetBookmark();
        std::string bid = master.FieldByName("Bid").AsString();
        master.First();
        master.GotoBookmark(b);
        EXPECT_EQ(master.FieldByName("Bid").AsString(), bid);
        break;
      }
    }
  }
  master.SetFiltered(false);
  Model m = base;
  m.apply(master.GetDelta());
  EXPECT_TRUE(m == Model::of(master.Data()));
}

INSTANTIATE_TEST_SUITE_P(Seeds, ChangeLogWalk, ::testing::Values(1u, 2u, 3u, 20261208u, 99u));

}  // namespace
}  // namespace vlt
