#include <gtest/gtest.h>

#include "dataset_fixtures.h"
#include "vlt/errors.h"
#include "vlt/json.h"

namespace vlt {
namespace {

using test::column;

class NestedTest : public ::testing::Test {
 protected:
  void SetUp() override {
    test::defineBill(master, lines);
    Packet p;
    p.fields = FieldDefs{test::stringField("Bid", 15), test::stringField("bcode", 20),
                         test::stringField("isStoreIO", 8), master.Fields()[3]};
    p.fields[3].children.pop_back();  // the aggregate is the client's own
    auto lines1 = std::make_shared<NestedRows>(NestedRows{
        {"B1", 1, "G1", Decimal(2, 0), Decimal(0, 0)}, {"B1", 2, "G2", Decimal(3, 0), nullptr}});
    auto lines2 = std::make_shared<NestedRows>(NestedRows{{"B2", 1, "G3", Decimal(7, 0), nullptr}});
    p.rows = {{"B1", "PO-1", "False", std::shared_ptr<const NestedRows>(lines1)},
              {"B2", "PO-2", "True", std::shared_ptr<const NestedRows>(lines2)}};
    loaded = p;
    master.LoadFromPacket(p);
  }
  ClientDataSet master;
  ClientDataSet lines;
  Packet loaded;
};

TEST_F(NestedTest, DetailFollowsTheMasterRow) {
  EXPECT_TRUE(lines.Active());
  EXPECT_EQ(column(lines, "goodsid"), (std::vector<std::string>{"G1", "G2"}));
  EXPECT_EQ(lines.FieldByName("TotalQty").AsString(), "5");
  master.Next();
  EXPECT_EQ(column(lines, "goodsid"), (std::vector<std::string>{"G3"}));
  EXPECT_EQ(lines.FieldByName("TotalQty").AsString(), "7");
  EXPECT_EQ(master.Data(), loaded);
  EXPECT_THROW(lines.LoadFromPacket(loaded), DataSetError);
}

TEST_F(NestedTest, ANewBillTravelsAsOneInsertWithItsLines) {
  master.Append();
  master.FieldByName("Bid").SetAsString("B3");
  EXPECT_TRUE(lines.IsEmpty());
  for (int i = 1; i <= 2; ++i) {
    lines.Append();
    lines.FieldByName("bid").SetAsString("B3");
    lines.FieldByName("bno").SetAsInteger(i);
    lines.FieldByName("qty").SetAsInteger(i * 10);
    lines.Post();
  }
  EXPECT_EQ(master.State(), DataSetState::Insert);
  EXPECT_EQ(lines.FieldByName("TotalQty").AsString(), "30");
  EXPECT_EQ(master.ChangeCount(), 0);  // nothing is logged before the master posts
  master.Post();
  EXPECT_EQ(master.ChangeCount(), 3);
  Delta d = master.GetDelta();
  ASSERT_EQ(d.rows.size(), 1u);
  EXPECT_EQ(d.rows[0].kind, ChangeKind::Insert);
  ASSERT_EQ(d.rows[0].details.size(), 1u);
  EXPECT_EQ(d.rows[0].details[0].field, 3u);
  ASSERT_EQ(d.rows[0].details[0].rows.size(), 2u);
  EXPECT_EQ(d.rows[0].details[0].rows[1].newValues[3], Value(Decimal(200000, 4)));
  EXPECT_TRUE(d.rows[0].newValues[3].isNull());
  EXPECT_NO_THROW(d.validate());
  EXPECT_EQ(decodeDelta(encodeDelta(d)), d);
  EXPECT_EQ(column(lines, "bno"), (std::vector<std::string>{"1", "2"}));
}

TEST_F(NestedTest, EditingALinePutsTheMasterInEditAndTravelsInItsDelta) {
  lines.Last();
  lines.Edit();
  EXPECT_EQ(master.State(), DataSetState::Edit);
  lines.FieldByName("qty").SetAsString("4");
  lines.Post();
  lines.First();
  lines.Delete();
  EXPECT_EQ(column(lines, "goodsid"), (std::vector<std::string>{"G2"}));
  master.Post();
  Delta d = master.GetDelta();
  ASSERT_EQ(d.rows.size(), 1u);
  EXPECT_EQ(d.rows[0].kind, ChangeKind::Modify);
  ASSERT_EQ(d.rows[0].details.size(), 1u);
  const auto& sub = d.rows[0].details[0].rows;
  ASSERT_EQ(sub.size(), 2u);
  EXPECT_EQ(sub[0].kind, ChangeKind::Delete);  // deletions first
  EXPECT_EQ(sub[0].oldValues[2], Value("G1"));
  EXPECT_EQ(sub[1].kind, ChangeKind::Modify);
  EXPECT_EQ(sub[1].oldValues[3], Value(Decimal(30000, 4)));
  EXPECT_EQ(sub[1].newValues[3], Value(Decimal(40000, 4)));
  EXPECT_EQ(decodeDelta(encodeDelta(d)), d);

  master.MergeChangeLog();
  EXPECT_EQ(master.ChangeCount(), 0);
  EXPECT_EQ(column(lines, "qty"), (std::vector<std::string>{"4"}));
}

TEST_F(NestedTest, CancellingTheMasterDropsLineChanges) {
  lines.First();
  lines.Edit();
  lines.FieldByName("qty").SetAsString("99");
  lines.Post();
  lines.Append();
  lines.FieldByName("bno").SetAsInteger(3);
  master.Cancel();  // also cancels the pending line
  EXPECT_EQ(lines.State(), DataSetState::Browse);
  EXPECT_EQ(column(lines, "qty"), (std::vector<std::string>{"2", "3"}));
  EXPECT_EQ(master.ChangeCount(), 0);

  lines.First();
  lines.Delete();
  master.Post();
  master.Next();
  lines.First();
  lines.Edit();
  lines.FieldByName("qty").SetAsString("1");
  master.First();                      // moving the master posts it and its line
  EXPECT_EQ(master.ChangeCount(), 4);  // both bills and one line of each
  master.CancelUpdates();
  EXPECT_EQ(master.ChangeCount(), 0);
  EXPECT_EQ(master.Data(), loaded);
  EXPECT_EQ(column(lines, "goodsid"), (std::vector<std::string>{"G1", "G2"}));
}

TEST_F(NestedTest, DeletingAMasterRowDeletesItsLines) {
  master.Delete();
  EXPECT_EQ(master.RecordCount(), 1);
  EXPECT_EQ(column(lines, "goodsid"), (std::vector<std::string>{"G3"}));
  Delta d = master.GetDelta();
  ASSERT_EQ(d.rows.size(), 1u);
  EXPECT_EQ(d.rows[0].kind, ChangeKind::Delete);
  ASSERT_EQ(d.rows[0].details.size(), 1u);
  ASSERT_EQ(d.rows[0].details[0].rows.size(), 2u);
  for (const DeltaRow& r : d.rows[0].details[0].rows)
    EXPECT_EQ(r.kind, ChangeKind::Delete);
  EXPECT_EQ(d.changeCount(), 3u);
  EXPECT_EQ(decodeDelta(encodeDelta(d)), d);
}

// The stock rule of automatically stocked bills: every line's done quantity becomes its
// quantity, walking the lines with the display frozen and returning to the line the user was on.
TEST_F(NestedTest, WalkingLinesWithABookmarkUnderDisabledControls) {
  lines.Last();
  Bookmark b = lines.GetBookmark();
  lines.DisableControls();
  lines.First();
  while (!lines.Eof()) {
    if (lines.FieldByName("qty").AsFloat() != lines.FieldByName("doneqty").AsFloat()) {
      lines.Edit();
      lines.FieldByName("doneqty").SetValue(lines.FieldByName("qty").AsValue());
      lines.Post();
    }
    lines.Next();
  }
  lines.GotoBookmark(b);
  lines.EnableControls();
  EXPECT_EQ(lines.FieldByName("bno").AsInteger(), 2);
  EXPECT_EQ(column(lines, "doneqty"), (std::vector<std::string>{"2", "3"}));
  master.Post();
  EXPECT_EQ(master.ChangeCount(), 3);
}

TEST(NestedSetup, CalculatedFieldsOfTheDetailJoinTheNestedField) {
  ClientDataSet master, lines;
  FieldDef nested;
  nested.name = "Lines";
  nested.type = DataType::DataSet;
  nested.children = {test::decimalField("QTY"), test::decimalField("DONEQTY")};
  master.FieldDefinitions() = FieldDefs{test::stringField("bid"), nested};
  lines.FieldDefinitions() = FieldDefs{test::calcField("UnFinishedQty", DataType::Float),
                                       test::calcField("SelectMark", DataType::String, 24)};
  lines.OnCalcFields = [](ClientDataSet& d) {
    d.FieldByName("UnFinishedQty")
        .SetAsFloat(d.FieldByName("QTY").AsFloat() - d.FieldByName("DONEQTY").AsFloat());
  };
  lines.SetDataSetField(master, "lines");
  Packet p;
  p.fields = FieldDefs{test::stringField("bid"), nested};
  p.rows = {{"B1", std::shared_ptr<const NestedRows>(std::make_shared<NestedRows>(
                       NestedRows{{Decimal(5, 0), nullptr}, {Decimal(5, 0), Decimal(5, 0)}}))}};
  master.LoadFromPacket(p);
  EXPECT_EQ(column(lines, "UnFinishedQty"), (std::vector<std::string>{"5", "0"}));
  lines.First();
  lines.Edit();
  lines.FieldByName("SelectMark").SetAsString("√");
  lines.Post();
  EXPECT_EQ(lines.FieldByName("SelectMark").AsString(), "√");
  EXPECT_EQ(master.Data(), p);  // calculated fields never travel
  lines.SetFilter("UnFinishedQty>0");
  lines.SetFiltered(true);
  EXPECT_EQ(lines.RecordCount(), 1);
}

TEST(NestedSetup, ADetailWithoutAMasterRowStartsOne) {
  ClientDataSet master, lines;
  test::defineBill(master, lines);
  int newBills = 0;
  master.OnNewRecord = [&](ClientDataSet& d) {
    d.FieldByName("Bid").SetAsString("N" + std::to_string(++newBills));
  };
  master.CreateDataSet();
  lines.Append();  // an empty master starts a new bill for the line
  EXPECT_EQ(master.State(), DataSetState::Insert);
  EXPECT_EQ(newBills, 1);
  lines.FieldByName("bno").SetAsInteger(1);
  lines.Post();
  master.Post();
  EXPECT_EQ(master.RecordCount(), 1);
  EXPECT_EQ(lines.RecordCount(), 1);
}

TEST(NestedSetup, PacketsRoundTripThroughJsonWithTheirLines) {
  ClientDataSet master, lines;
  test::defineBill(master, lines);
  master.CreateDataSet();
  master.Append();
  master.FieldByName("Bid").SetAsString("B1");
  lines.Append();
  lines.FieldByName("goodsid").SetAsString("苹果 \"红\"");
  lines.Post();
  master.Post();
  Packet data = master.Data();
  EXPECT_EQ(decodePacket(encodePacket(data)), data);
  ClientDataSet again, againLines;
  test::defineBill(again, againLines);
  again.LoadFromPacket(decodePacket(encodePacket(data)));
  EXPECT_EQ(againLines.FieldByName("goodsid").AsString(), "苹果 \"红\"");
}

}  // namespace
}  // namespace vlt
