// The grid link's table model: row counts announced correctly through every data set change,
// what cells show, and writing edited cells into the data set.
#include <gtest/gtest.h>

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <functional>

#include "components_fixtures.h"

using namespace vlt;
using vlt::components::DataSetTableModel;
using vlt::components::TColumnDef;

namespace {

// Every cell of the model against the data set's display rows, and the current row.
void expectShows(const DataSetTableModel& model, ClientDataSet& ds) {
  ASSERT_EQ(model.rowCount(), ds.DisplayRowCount());
  ASSERT_EQ(model.CurrentRow(), ds.DisplayRow());
  for (int c = 0; c < model.columnCount(); ++c) {
    int field = ds.Fields().indexOf(host::ss(model.Columns()[static_cast<std::size_t>(c)].member));
    for (int r = 0; r < model.rowCount(); ++r) {
      QString expected =
          field < 0 ? QString()
                    : host::qs(ds.DisplayValue(r, static_cast<std::size_t>(field)).toText());
      ASSERT_EQ(model.data(model.index(r, c)).toString(), expected) << "row " << r << " col " << c;
    }
  }
}

struct Step {
  const char* what;
  std::function<void(ClientDataSet&)> run;
};

void setText(ClientDataSet& ds, const char* field, const std::string& text) {
  ds.FieldByName(field).SetAsString(text);
}

}  // namespace

TEST(DataSetTableModel, AnnouncesCorrectRowsThroughEveryKindOfChange) {
  test::QtWarnings warnings;
  ClientDataSet ds;
  DataSetTableModel model;
  model.Bind(&ds, test::goodsColumns());
  QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Warning);
  const std::vector<Step> steps = {
      {"load", [](ClientDataSet& d) { d.LoadFromPacket(test::goodsPacket(6)); }},
      {"append", [](ClientDataSet& d) { d.Append(); }},
      {"type into the new row", [](ClientDataSet& d) { setText(d, "Name", "new"); }},
      {"post the new row", [](ClientDataSet& d) { d.Post(); }},
      {"insert in the middle",
       [](ClientDataSet& d) {
         d.SetRecNo(3);
         d.Insert();
         setText(d, "Name", "inserted");
       }},
      {"cancel the insert", [](ClientDataSet& d) { d.Cancel(); }},
      {"insert and post",
       [](ClientDataSet& d) {
         d.Insert();
         setText(d, "Code", "X");
         d.Post();
       }},
      {"edit and post",
       [](ClientDataSet& d) {
         d.SetRecNo(2);
         d.Edit();
         setText(d, "Name", "edited");
         d.Post();
       }},
      {"edit and cancel",
       [](ClientDataSet& d) {
         d.Edit();
         setText(d, "Name", "dropped");
         d.Cancel();
       }},
      {"delete", [](ClientDataSet& d) { d.Delete(); }},
      {"append then delete",
       [](ClientDataSet& d) {
         d.Append();
         d.Delete();
       }},
      {"filter",
       [](ClientDataSet& d) {
         d.SetFilter("Qty>2");
         d.SetFiltered(true);
       }},
      {"narrower filter", [](ClientDataSet& d) { d.SetFilter("Qty>4"); }},
      {"post a row the filter hides",
       [](ClientDataSet& d) {
         d.Append();
         setText(d, "Qty", "1");
         d.Post();
       }},
      {"unfilter",
       [](ClientDataSet& d) {
         d.SetFiltered(false);
         d.SetFilter("");
       }},
      {"index", [](ClientDataSet& d) { d.SetIndexFieldNames("Name"); }},
      {"insert that the index moves",
       [](ClientDataSet& d) {
         d.Last();
         d.Insert();
         setText(d, "Name", "AAA");
         d.Post();
       }},
      {"natural order", [](ClientDataSet& d) { d.SetIndexFieldNames(""); }},
      {"cursor moves",
       [](ClientDataSet& d) {
         d.Last();
         d.Prior();
         d.First();
         d.Locate("Code", Value("C4"));
       }},
      {"bulk appends with controls off",
       [](ClientDataSet& d) {
         d.DisableControls();
         for (int i = 0; i < 3; ++i) {
           d.Append();
           setText(d, "Code", std::string("B").append(std::to_string(i)));
           d.Post();
         }
         d.EnableControls();
       }},
      {"append with controls off",
       [](ClientDataSet& d) {
         d.DisableControls();
         d.Append();
         d.EnableControls();
       }},
      {"post it with controls on", [](ClientDataSet& d) { d.Post(); }},
      {"merge", [](ClientDataSet& d) { d.MergeChangeLog(); }},
      {"cancel updates",
       [](ClientDataSet& d) {
         d.Edit();
         setText(d, "Name", "undone");
         d.Post();
         d.Append();
         d.Post();
         d.CancelUpdates();
       }},
      {"empty", [](ClientDataSet& d) { d.EmptyDataSet(); }},
      {"append to the empty set", [](ClientDataSet& d) { d.Append(); }},
      {"post to the empty set", [](ClientDataSet& d) { d.Post(); }},
      {"edit on an empty set starts a row",
       [](ClientDataSet& d) {
         d.EmptyDataSet();
         d.Edit();
       }},
      {"other fields",
       [](ClientDataSet& d) {
         Packet p;
         p.fields = FieldDefs{test::stringField("name"), test::stringField("Extra")};
         p.rows = {{Value("a"), Value("b")}, {Value("c"), Value("d")}};
         d.LoadFromPacket(p);
       }},
      {"close while inserting",
       [](ClientDataSet& d) {
         d.Append();
         d.Close();
       }},
      {"create again",
       [](ClientDataSet& d) {
         d.FieldDefinitions() = test::goodsFields();
         d.CreateDataSet();
         d.Append();
         d.Post();
       }},
  };
  expectShows(model, ds);
  for (const Step& step : steps) {
    SCOPED_TRACE(step.what);
    step.run(ds);
    expectShows(model, ds);
    EXPECT_EQ(warnings.take(), QStringList());
  }
}

TEST(DataSetTableModel, FollowsADetailThroughItsMaster) {
  test::QtWarnings warnings;
  ClientDataSet master, lines;
  test::defineBill(master, lines);
  master.CreateDataSet();
  DataSetTableModel model;
  model.Bind(&lines, {TColumnDef{"bno"}, TColumnDef{"goodsid"}, TColumnDef{"TotalQty"}});
  QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Warning);
  auto addLine = [&](int bno) {
    lines.Append();
    lines.FieldByName("bno").SetAsInteger(bno);
    lines.FieldByName("qty").SetAsInteger(bno);
    lines.Post();
  };
  const std::vector<Step> steps = {
      {"first bill with two lines",
       [&](ClientDataSet&) {
         master.Append();
         master.FieldByName("Bid").SetAsString("B1");
         addLine(1);
         addLine(2);
         master.Post();
       }},
      {"second bill with one line",
       [&](ClientDataSet&) {
         master.Append();
         master.FieldByName("Bid").SetAsString("B2");
         addLine(1);
         master.Post();
       }},
      {"back to the first bill", [&](ClientDataSet&) { master.First(); }},
      {"a line being inserted", [&](ClientDataSet&) { lines.Insert(); }},
      {"the master cancels it", [&](ClientDataSet&) { master.Cancel(); }},
      {"a line being appended",
       [&](ClientDataSet&) {
         lines.Append();
         lines.FieldByName("bno").SetAsInteger(9);
       }},
      {"the master moves on (posting it)", [&](ClientDataSet&) { master.Next(); }},
      {"the master deletes its bill", [&](ClientDataSet&) { master.Delete(); }},
      {"the master closes", [&](ClientDataSet&) { master.Close(); }},
  };
  for (const Step& step : steps) {
    SCOPED_TRACE(step.what);
    step.run(lines);
    expectShows(model, lines);
    EXPECT_EQ(warnings.take(), QStringList());
  }
}

TEST(DataSetTableModel, ShowsValuesAsTextAndNumbersToTheRight) {
  ClientDataSet ds;
  ds.FieldDefinitions() = FieldDefs{test::stringField("Name"),
                                    test::decimalField("Price", 11, 2),
                                    test::intField("Qty"),
                                    test::stringField("IsStop"),
                                    test::typedField("Day", DataType::Date),
                                    test::typedField("Rate", DataType::Float)};
  ds.CreateDataSet();
  test::appendRow(ds, {Value("白砂糖"), Value(Decimal(1250, 2)), Value(std::int32_t{42}),
                       Value("True"), Value(Date::fromYmd(2024, 5, 1)), Value(0.5)});
  test::appendRow(ds, {});
  struct Case {
    const char* member;
    const char* first;  // the filled row
    bool right;
  };
  const Case cases[] = {{"Name", "白砂糖", false},    {"PRICE", "12.5", true},
                        {"Qty", "42", true},          {"IsStop", "True", false},
                        {"Day", "2024-05-01", false}, {"Rate", "0.5", true},
                        {"Missing", "", false}};
  std::vector<TColumnDef> columns;
  for (const Case& c : cases)
    columns.push_back(TColumnDef{c.member, QString(), 80, true, false});
  DataSetTableModel model;
  model.Bind(&ds, columns);
  for (int i = 0; i < static_cast<int>(std::size(cases)); ++i) {
    SCOPED_TRACE(cases[i].member);
    EXPECT_EQ(model.data(model.index(0, i)).toString(), QString::fromUtf8(cases[i].first));
    EXPECT_EQ(model.data(model.index(1, i)).toString(), QString());  // nulls show empty
    const int align = model.data(model.index(0, i), Qt::TextAlignmentRole).toInt();
    EXPECT_EQ((align & Qt::AlignRight) != 0, cases[i].right);
    EXPECT_EQ(model.headerData(i, Qt::Horizontal).toString(), QString(cases[i].member));
  }
  // A member that is no field is never editable.
  EXPECT_FALSE(model.flags(model.index(0, 6)) & Qt::ItemIsEditable);
}

class ModelEditing : public ::testing::Test {
 protected:
  void SetUp() override {
    ds.LoadFromPacket(test::goodsPacket(5));
    model.Bind(&ds, test::goodsColumns());
  }
  int columnOf(const char* member) {
    for (std::size_t i = 0; i < model.Columns().size(); ++i)
      if (model.Columns()[i].member == QLatin1String(member)) return static_cast<int>(i);
    return -1;
  }
  test::CaughtExceptions caught;
  ClientDataSet ds;
  DataSetTableModel model;
};

TEST_F(ModelEditing, WritesTheTextIntoTheRowOrRefusesIt) {
  struct Case {
    const char* what;
    const char* member;
    const char* field;
    const char* text;
    bool accepted;
    const char* stored;
    DataSetState state;
    int errors;
  };
  const Case cases[] = {
      {"text", "name", "Name", "Sugar", true, "Sugar", DataSetState::Edit, 0},
      {"decimal", "Price", "Price", "7.25", true, "7.25", DataSetState::Edit, 0},
      {"not a number", "Price", "Price", "abc", false, "6.25", DataSetState::Browse, 1},
      {"not an integer", "Qty", "Qty", "1x", false, "5", DataSetState::Browse, 1},
      {"same text", "name", "Name", "Goods 5", true, "Goods 5", DataSetState::Browse, 0},
      {"read-only column", "Code", "Code", "Z", false, "C5", DataSetState::Browse, 0},
      {"no such field", "NoSuchField", "Name", "Z", false, "Goods 5", DataSetState::Browse, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ds.Cancel();
    ds.Last();
    caught.messages.clear();
    QSignalSpy written(&model, &DataSetTableModel::cellWritten);
    const bool ok = model.setData(model.index(4, columnOf(c.member)), QString::fromUtf8(c.text));
    EXPECT_EQ(ok, c.accepted);
    EXPECT_EQ(ds.FieldByName(c.field).AsString(), c.stored);
    EXPECT_EQ(ds.State(), c.state);
    EXPECT_EQ(caught.messages.size(), c.errors);
    EXPECT_EQ(written.count(), c.state == DataSetState::Edit ? 1 : 0);
    if (ds.Fields().indexOf(c.member) >= 0) {  // the grid shows what the row holds
      EXPECT_EQ(model.data(model.index(4, columnOf(c.member))).toString(),
                QString::fromUtf8(c.stored));
    }
  }
}

TEST_F(ModelEditing, AnotherRowIsMadeCurrentFirstAndAPendingInsertIsPosted) {
  ds.SetIndexFieldNames("Name");
  ds.First();
  ds.Insert();  // shown at row 0; the index will place it last ("Zucker" > "Goods ...")
  ds.FieldByName("Name").SetAsString("Zucker");
  ASSERT_EQ(model.rowCount(), 6);
  ASSERT_EQ(model.data(model.index(2, columnOf("Code"))).toString(), "C2");
  ASSERT_TRUE(model.setData(model.index(2, columnOf("Qty")), "77"));
  EXPECT_EQ(ds.RecordCount(), 6);
  EXPECT_EQ(ds.FieldByName("Code").AsString(), "C2");  // the row that was shown, not its place
  EXPECT_EQ(ds.FieldByName("Qty").AsString(), "77");
  EXPECT_EQ(ds.State(), DataSetState::Edit);
}

TEST_F(ModelEditing, WithTheLinkOffTheModelShowsNothingAndHearsNothing) {
  QSignalSpy resets(&model, &QAbstractItemModel::modelReset);
  QSignalSpy changes(&model, &QAbstractItemModel::dataChanged);
  QSignalSpy inserts(&model, &QAbstractItemModel::rowsInserted);
  model.SetActive(false);
  EXPECT_EQ(model.rowCount(), 0);
  EXPECT_EQ(model.CurrentRow(), -1);
  resets.clear();
  for (int i = 0; i < 10; ++i)
    test::appendRow(ds, {Value(std::string("N").append(std::to_string(i)))});
  ds.First();
  EXPECT_EQ(resets.count() + changes.count() + inserts.count(), 0);
  EXPECT_FALSE(model.setData(model.index(0, columnOf("name")), "x"));
  model.SetActive(true);
  EXPECT_EQ(resets.count(), 1);
  expectShows(model, ds);
}

TEST(DataSetTableModel, BindsAHundredThousandRowsWithoutReadingThem) {
  ClientDataSet ds;
  ds.LoadFromPacket(test::goodsPacket(100000));
  DataSetTableModel model;
  QSignalSpy resets(&model, &QAbstractItemModel::modelReset);
  model.Bind(&ds, test::goodsColumns());
  EXPECT_EQ(resets.count(), 1);
  EXPECT_EQ(model.rowCount(), 100000);
  EXPECT_EQ(model.data(model.index(99999, 0)).toString(), "C100000");
  // Moving across the rows only reports the current row.
  QSignalSpy moved(&model, &DataSetTableModel::currentRowChanged);
  QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
  ds.Last();
  ds.Prior();
  EXPECT_EQ(moved.count(), 2);
  EXPECT_EQ(moved.last().at(0).toInt(), 99998);
  EXPECT_EQ(changed.count(), 0);
  EXPECT_EQ(resets.count(), 1);
  // Editing a value repaints its row, not the list.
  ds.Edit();
  ds.FieldByName("Name").SetAsString("x");
  ASSERT_EQ(changed.count(), 1);
  EXPECT_EQ(changed.at(0).at(0).value<QModelIndex>().row(), 99998);
  EXPECT_EQ(changed.at(0).at(1).value<QModelIndex>().row(), 99998);
}
