#include <gtest/gtest.h>

#include <algorithm>

#include "dataset_fixtures.h"
#include "vlt/errors.h"

namespace vlt {
namespace {

using test::appendRow;
using test::column;

class DataSetTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ds.FieldDefinitions() = FieldDefs{test::stringField("ID", 15), test::stringField("Name", 80),
                                      test::intField("IOKind"), test::decimalField("Qty"),
                                      test::stringField("Flag", 8)};
    ds.CreateDataSet();
  }
  void fill() {
    appendRow(ds, {"1", "白砂糖 1kg", 1, Decimal(250, 1), "True"});
    appendRow(ds, {"2", "Flour 5KG", 2, Decimal(3, 0), "false"});
    appendRow(ds, {"3", "Salt", 1, nullptr, "TRUE"});
  }
  ClientDataSet ds;
};

TEST_F(DataSetTest, CursorFollowsThePlatformRules) {
  EXPECT_TRUE(ds.IsEmpty());
  EXPECT_TRUE(ds.Bof());
  EXPECT_TRUE(ds.Eof());
  EXPECT_EQ(ds.RecNo(), 0);
  fill();
  EXPECT_EQ(ds.RecordCount(), 3);
  EXPECT_EQ(ds.RecNo(), 3);  // the appended row stays current
  ds.First();
  EXPECT_TRUE(ds.Bof());
  EXPECT_FALSE(ds.Eof());
  ds.Prior();
  EXPECT_TRUE(ds.Bof());
  EXPECT_EQ(ds.RecNo(), 1);
  ds.Next();
  ds.Next();
  EXPECT_EQ(ds.RecNo(), 3);
  EXPECT_FALSE(ds.Eof());
  ds.Next();  // past the end: stays on the last row
  EXPECT_TRUE(ds.Eof());
  EXPECT_EQ(ds.FieldByName("id").AsString(), "3");
  ds.MoveBy(-5);
  EXPECT_TRUE(ds.Bof());
  EXPECT_EQ(ds.RecNo(), 1);
  ds.SetRecNo(2);
  EXPECT_EQ(ds.FieldByName("NAME").AsString(), "Flour 5KG");
  EXPECT_THROW(ds.SetRecNo(4), DataSetError);
  EXPECT_EQ(column(ds, "ID"), (std::vector<std::string>{"1", "2", "3"}));
}

TEST_F(DataSetTest, StatesOfAppendInsertEditCancelDelete) {
  fill();
  ds.First();
  ds.Insert();
  EXPECT_EQ(ds.State(), DataSetState::Insert);
  EXPECT_EQ(ds.RecNo(), -1);
  EXPECT_EQ(ds.RecordCount(), 3);
  ds.FieldByName("ID").SetAsString("0");
  ds.Post();
  EXPECT_EQ(ds.RecNo(), 1);  // inserted before the row that was current
  EXPECT_EQ(column(ds, "ID"), (std::vector<std::string>{"0", "1", "2", "3"}));

  ds.MergeChangeLog();
  ds.SetRecNo(2);
  ds.Edit();
  ds.FieldByName("Name").SetAsString("changed");
  EXPECT_EQ(ds.FieldByName("Name").OldValue(), Value("白砂糖 1kg"));
  ds.Cancel();
  EXPECT_EQ(ds.FieldByName("Name").AsString(), "白砂糖 1kg");
  EXPECT_EQ(ds.State(), DataSetState::Browse);

  ds.Append();
  ds.Cancel();
  EXPECT_EQ(ds.RecordCount(), 4);
  EXPECT_EQ(ds.RecNo(), 2);

  ds.Delete();
  EXPECT_EQ(ds.RecordCount(), 3);
  EXPECT_EQ(ds.FieldByName("ID").AsString(), "2");  // the next row becomes current
  ds.Last();
  ds.Delete();
  EXPECT_EQ(ds.FieldByName("ID").AsString(), "2");  // deleting the last row moves back

  // Writing outside edit mode is refused; moving posts a pending edit.
  EXPECT_THROW(ds.FieldByName("Name").SetAsString("x"), DataSetError);
  ds.Edit();
  ds.FieldByName("Name").SetAsString("posted by moving");
  ds.First();
  EXPECT_EQ(ds.State(), DataSetState::Browse);
  ds.Last();
  EXPECT_EQ(ds.FieldByName("Name").AsString(), "posted by moving");
}

// What a grid reads: every display row's values without moving the cursor, the edit buffer for
// the row being edited, and the row being inserted at its place.
TEST_F(DataSetTest, DisplayRowsShowTheEditBufferAndTheInsertedRowInPlace) {
  auto names = [&] {
    std::vector<std::string> out;
    for (int r = 0; r < ds.DisplayRowCount(); ++r)
      out.push_back(ds.DisplayValue(r, 1).toText());
    return out;
  };
  using Names = std::vector<std::string>;
  EXPECT_EQ(ds.DisplayRow(), -1);
  EXPECT_TRUE(ds.DisplayValue(0, 1).isNull());
  fill();
  ds.SetRecNo(2);
  ds.Edit();
  ds.FieldByName("Name").SetAsString("Rye");
  EXPECT_EQ(names(), (Names{"白砂糖 1kg", "Rye", "Salt"}));
  EXPECT_EQ(ds.DisplayRow(), 1);
  EXPECT_EQ(ds.RecNo(), 2);  // reading moved nothing
  ds.Cancel();
  ds.Insert();  // before the current row
  ds.FieldByName("Name").SetAsString("New");
  EXPECT_EQ(ds.DisplayRowCount(), 4);
  EXPECT_EQ(ds.DisplayRow(), 1);
  EXPECT_EQ(names(), (Names{"白砂糖 1kg", "New", "Flour 5KG", "Salt"}));
  ds.Cancel();
  ds.Append();
  EXPECT_EQ(ds.DisplayRow(), 3);
  EXPECT_EQ(names(), (Names{"白砂糖 1kg", "Flour 5KG", "Salt", ""}));
  ds.Cancel();
  ds.SetFilter("IOKind=1");
  ds.SetFiltered(true);
  EXPECT_EQ(names(), (Names{"白砂糖 1kg", "Salt"}));
  EXPECT_TRUE(ds.DisplayValue(2, 1).isNull());
  EXPECT_TRUE(ds.DisplayValue(0, 99).isNull());
}

TEST(DataSetLifetime, ObserversHearTheDestruction) {
  struct Probe : DataSetObserver {
    int destroyed = 0;
    void dataSetDestroying(ClientDataSet&) override { ++destroyed; }
  } a, b;
  {
    ClientDataSet ds;
    ds.AddObserver(&a);
    ds.AddObserver(&b);
    ds.RemoveObserver(&b);
  }
  EXPECT_EQ(a.destroyed, 1);
  EXPECT_EQ(b.destroyed, 0);
}

// A filter text that is switched off need not fit a packet with other fields; switching it on
// then refuses it and leaves the filter off.
TEST(DataSetFilter, AFilterThatIsOffIsBoundWhenSwitchedOn) {
  ClientDataSet ds;
  ds.SetFilter("groupid=1");
  Packet p;
  FieldDef f;
  f.name = "Name";
  p.fields.add(f);
  p.rows.push_back({Value(std::string("x"))});
  EXPECT_NO_THROW(ds.LoadFromPacket(p));
  EXPECT_THROW(ds.SetFiltered(true), ParseError);
  EXPECT_FALSE(ds.Filtered());
  EXPECT_EQ(ds.RecordCount(), 1);
  ds.SetFilter("Name='y'");
  ds.SetFiltered(true);
  EXPECT_EQ(ds.RecordCount(), 0);
}

TEST_F(DataSetTest, EditOnAnEmptyDataSetStartsAnInsert) {
  ds.Edit();
  EXPECT_EQ(ds.State(), DataSetState::Insert);
  ds.FieldByName("ID").SetAsString("9");
  ds.Post();
  EXPECT_EQ(ds.RecordCount(), 1);
  ds.Delete();
  EXPECT_TRUE(ds.IsEmpty());
  EXPECT_THROW(ds.Delete(), DataSetError);
}

struct ReadCase {
  const char* field;
  Value stored;
  const char* asString;
  std::int64_t asInteger;
  double asFloat;
  bool asBoolean;
};

TEST(FieldReading, ConvertsLikeThePlatform) {
  const ReadCase cases[] = {
      {"Text", "True", "True", 0, 0, true},
      {"Text", "false", "false", 0, 0, false},
      {"Text", "TRUE", "TRUE", 0, 0, true},
      {"Text", "42", "42", 42, 42, false},
      {"Number", Decimal(234000, 4), "23.4", 23, 23.4, true},
      {"Number", Decimal(-5, 1), "-0.5", 0, -0.5, true},
      {"Int", std::int32_t{-1}, "-1", -1, -1, true},
      {"Int", nullptr, "", 0, 0, false},
      {"Day", Date::fromYmd(2026, 2, 28), "2026-02-28", 0, 0, false},
      {"Flag", true, "True", 1, 1, true},
  };
  for (const ReadCase& c : cases) {
    SCOPED_TRACE(std::string(c.field) + " = " + c.stored.toText());
    ClientDataSet ds;
    ds.FieldDefinitions() = FieldDefs{
        test::stringField("Text"), test::decimalField("Number"), test::intField("Int"),
        test::typedField("Day", DataType::Date), test::typedField("Flag", DataType::Boolean)};
    ds.CreateDataSet();
    ds.Append();
    ds.FieldByName(c.field).SetValue(c.stored);
    ds.Post();
    Field& f = ds.FieldByName(c.field);
    EXPECT_EQ(f.AsString(), c.asString);
    EXPECT_EQ(f.IsNull(), c.stored.isNull());
    if (std::string(c.field) != "Day") {
      if (std::string(c.field) != "Text" || c.asInteger != 0) {
        EXPECT_EQ(f.AsLargeInt(), c.asInteger);
        EXPECT_DOUBLE_EQ(f.AsFloat(), c.asFloat);
      }
      if (std::string(c.field) != "Text" || std::string(c.asString) != "42") {
        EXPECT_EQ(f.AsBoolean(), c.asBoolean);
      } else {
        EXPECT_THROW(f.AsBoolean(), ConversionError);
      }
    }
  }
}

struct BadWrite {
  const char* field;
  const char* text;
};

TEST(FieldWriting, RefusesValuesThatDoNotConvertAndKeepsTheRow) {
  const BadWrite cases[] = {
      {"Number", "abc"},   {"Number", "1.2.3"},        {"Int", "12.5"},
      {"Int", "x1"},       {"Day", "2026-02-30"},      {"Day", "2025-02-29"},
      {"Day", "tomorrow"}, {"Number", "123456789012"},  // more digits than precision 13, scale 4
                                                        // allow
  };
  for (const BadWrite& c : cases) {
    SCOPED_TRACE(std::string(c.field) + " <- " + c.text);
    ClientDataSet ds;
    ds.FieldDefinitions() = FieldDefs{test::decimalField("Number"), test::intField("Int"),
                                      test::typedField("Day", DataType::Date)};
    ds.CreateDataSet();
    ds.Append();
    ds.FieldByName("Number").SetAsString("1.5");
    ds.FieldByName("Int").SetAsInteger(7);
    ds.FieldByName("Day").SetAsString("2024-02-29");
    try {
      ds.FieldByName(c.field).SetAsString(c.text);
      ADD_FAILURE() << "accepted";
    } catch (const ConversionError& e) {
      EXPECT_NE(std::string(e.what()).find(c.field), std::string::npos) << e.what();
    }
    EXPECT_EQ(ds.FieldByName("Number").AsString(), "1.5");
    EXPECT_EQ(ds.FieldByName("Int").AsInteger(), 7);
    EXPECT_EQ(ds.FieldByName("Day").AsString(), "2024-02-29");
  }
}

TEST(FieldWriting, StoresDoublesWithTheFieldScaleAndEmptyTextAsNull) {
  ClientDataSet ds;
  ds.FieldDefinitions() = FieldDefs{test::decimalField("Amount", 20, 2), test::intField("N")};
  ds.CreateDataSet();
  ds.Append();
  ds.FieldByName("Amount").SetAsFloat(2 * 10 * (17.0 / 100 + 1));
  EXPECT_EQ(ds.FieldByName("Amount").AsString(), "23.4");
  EXPECT_EQ(ds.FieldByName("Amount").AsValue().decimal().toString(), "23.40");
  ds.FieldByName("Amount").SetAsFloat(0.1 + 0.2);
  EXPECT_EQ(ds.FieldByName("Amount").AsString(), "0.3");
  ds.FieldByName("N").SetAsString("");
  EXPECT_TRUE(ds.FieldByName("N").IsNull());
  EXPECT_THROW(ds.FieldByName("Missing"), DataSetError);
  EXPECT_EQ(ds.FindField("missing"), nullptr);
}

TEST(FieldWriting, RequiredFieldsRefusePostAndKeepTheEdit) {
  ClientDataSet ds;
  FieldDef id = test::stringField("ID");
  id.required = true;
  ds.FieldDefinitions() = FieldDefs{id, test::stringField("Name")};
  ds.CreateDataSet();
  ds.Append();
  ds.FieldByName("Name").SetAsString("x");
  EXPECT_THROW(ds.Post(), DataSetError);
  EXPECT_EQ(ds.State(), DataSetState::Insert);
  ds.FieldByName("ID").SetAsString("1");
  ds.Post();
  EXPECT_EQ(ds.RecordCount(), 1);
}

TEST_F(DataSetTest, ChangeLogRecordsNetChangesInOrder) {
  Packet p;
  p.fields = ds.Fields();
  p.rows = {{"1", "a", 1, nullptr, "True"},
            {"2", "b", 1, nullptr, "True"},
            {"3", "c", 1, nullptr, "True"}};
  ds.LoadFromPacket(p);
  EXPECT_EQ(ds.ChangeCount(), 0);

  ds.First();
  ds.Edit();
  ds.FieldByName("Name").SetAsString("a2");
  ds.Post();
  ds.Edit();
  ds.FieldByName("Name").SetAsString("a3");  // a second edit keeps the first original
  ds.Post();
  EXPECT_EQ(ds.RecordUpdateStatus(), UpdateStatus::Modified);
  EXPECT_EQ(ds.FieldByName("Name").OldValue(), Value("a"));
  ds.Next();
  ds.Delete();  // "2"
  appendRow(ds, {"4", "d", 2, nullptr, "False"});
  appendRow(ds, {"5", "e", 2, nullptr, "False"});
  ds.Delete();  // "5": inserted then deleted leaves no trace
  ds.Locate("ID", Value("3"));
  ds.Edit();
  ds.Post();  // nothing changed: no entry
  EXPECT_EQ(ds.ChangeCount(), 3);

  Delta d = ds.GetDelta();
  ASSERT_EQ(d.rows.size(), 3u);
  EXPECT_EQ(d.rows[0].kind, ChangeKind::Delete);
  EXPECT_EQ(d.rows[0].oldValues[0], Value("2"));
  EXPECT_TRUE(d.rows[0].newValues.empty());
  EXPECT_EQ(d.rows[1].kind, ChangeKind::Modify);
  EXPECT_EQ(d.rows[1].oldValues[1], Value("a"));
  EXPECT_EQ(d.rows[1].newValues[1], Value("a3"));
  EXPECT_EQ(d.rows[2].kind, ChangeKind::Insert);
  EXPECT_EQ(d.rows[2].newValues[0], Value("4"));
  EXPECT_NO_THROW(d.validate());

  ds.MergeChangeLog();
  EXPECT_EQ(ds.ChangeCount(), 0);
  EXPECT_EQ(column(ds, "ID"), (std::vector<std::string>{"1", "3", "4"}));
  ds.First();
  EXPECT_EQ(ds.FieldByName("Name").OldValue(), Value("a3"));
}

TEST_F(DataSetTest, CancelUpdatesRestoresTheLoadedRows) {
  Packet p;
  p.fields = ds.Fields();
  p.rows = {{"1", "a", 1, nullptr, "True"}, {"2", "b", 1, nullptr, "True"}};
  ds.LoadFromPacket(p);
  ds.First();
  ds.Edit();
  ds.FieldByName("Name").SetAsString("changed");
  ds.Post();
  ds.Next();
  ds.Delete();
  appendRow(ds, {"3", "c", 1, nullptr, "True"});
  ds.Edit();
  ds.FieldByName("Name").SetAsString("pending");
  ds.CancelUpdates();
  EXPECT_EQ(ds.ChangeCount(), 0);
  EXPECT_EQ(ds.State(), DataSetState::Browse);
  EXPECT_EQ(ds.Data(), p);
}

TEST_F(DataSetTest, LoadingAPacketReplacesContentsAndChecksItsFields) {
  fill();
  Packet p;
  p.fields = FieldDefs{test::stringField("id"),
                       test::stringField("name"),
                       test::typedField("iokind", DataType::Int64),
                       test::stringField("Qty"),
                       test::stringField("Flag"),
                       test::stringField("Extra")};
  p.rows = {{"7", "x", std::int64_t{2}, "1.25", "True", "ignored"}};
  ds.LoadFromPacket(p);  // persistent fields: matched by name, converted, extras ignored
  EXPECT_EQ(ds.RecordCount(), 1);
  EXPECT_EQ(ds.ChangeCount(), 0);
  EXPECT_EQ(ds.FieldByName("Qty").AsValue(), Value(Decimal(12500, 4)));
  EXPECT_EQ(ds.FieldByName("IOKind").AsValue(), Value(std::int32_t{2}));
  EXPECT_EQ(ds.FieldCount(), 5u);

  Packet missing;
  missing.fields = FieldDefs{test::stringField("id")};
  missing.rows = {{"8"}};
  EXPECT_THROW(ds.LoadFromPacket(missing), DataSetError);
  Packet bad = p;
  bad.rows.push_back({"8", "y", std::int64_t{1}, "abc", "True", nullptr});
  try {
    ds.LoadFromPacket(bad);
    ADD_FAILURE() << "accepted";
  } catch (const DataSetError& e) {
    EXPECT_NE(std::string(e.what()).find("row 2, field 'Qty'"), std::string::npos) << e.what();
  }
  EXPECT_EQ(ds.RecordCount(), 1);  // unchanged after both refusals
  EXPECT_EQ(ds.FieldByName("ID").AsString(), "7");
}

TEST(DataSetPacket, AdoptsThePacketFieldsAndRefusesMistypedRows) {
  ClientDataSet ds;
  Packet p;
  p.fields = FieldDefs{test::stringField("a"), test::intField("b")};
  p.rows = {{"x", 1}, {"y", nullptr}};
  ds.LoadFromPacket(p);
  EXPECT_EQ(ds.Data(), p);
  Packet other;
  other.fields = FieldDefs{test::stringField("c")};
  other.rows = {{"z"}};
  ds.LoadFromPacket(other);  // fields that came from a packet are replaced by the next one
  EXPECT_EQ(ds.FieldCount(), 1u);
  EXPECT_EQ(ds.FieldByName("c").AsString(), "z");

  Packet wrong = p;
  wrong.rows.push_back({std::int32_t{5}, "text"});
  EXPECT_THROW(ds.LoadFromPacket(wrong), DataSetError);
  Packet narrow = p;
  narrow.rows.push_back({"only one"});
  EXPECT_THROW(ds.LoadFromPacket(narrow), DataSetError);
  EXPECT_EQ(ds.FieldByName("c").AsString(), "z");
}

TEST_F(DataSetTest, ALoadFedRowByRowChangesNothingUntilCommitted) {
  fill();
  const FieldDefs packetFields{test::stringField("Flag"), test::stringField("Qty"),
                               test::stringField("Name"), test::intField("IOKind"),
                               test::stringField("ID")};
  {
    ClientDataSet::PacketLoad missing(ds);
    EXPECT_THROW(missing.fields(FieldDefs{test::stringField("ID")}), DataSetError);
  }
  {
    // Abandoned after a refused row, as when the answer breaks off: the rows stay as they were.
    ClientDataSet::PacketLoad load(ds);
    load.fields(packetFields);
    load.row({"True", "1.5", "a", 1, "7"});
    EXPECT_THROW(load.row({"True", "x", "b", 1, "8"}), DataSetError);
  }
  EXPECT_EQ(ds.RecordCount(), 3);
  ClientDataSet::PacketLoad load(ds);
  load.fields(packetFields);
  load.row({"True", "1.5", "a", 1, "7"});
  load.row({"False", nullptr, "b", 2, "8"});
  EXPECT_EQ(ds.RecordCount(), 3);
  load.Commit();
  ASSERT_EQ(ds.RecordCount(), 2);
  EXPECT_EQ(ds.ChangeCount(), 0);
  ds.First();
  EXPECT_EQ(ds.FieldByName("ID").AsString(), "7");
  EXPECT_EQ(ds.FieldByName("Qty").AsValue(), Value(Decimal(15000, 4)));
  ds.Next();
  EXPECT_EQ(ds.FieldByName("Name").AsString(), "b");
  EXPECT_TRUE(ds.FieldByName("Qty").IsNull());
}

struct FilterCase {
  const char* filter;
  std::vector<std::string> ids;
};

TEST(DataSetFilter, ShowsOnlyMatchingRows) {
  const FilterCase cases[] = {
      {"IOKind=1", {"1", "3", "5"}},
      {"IoDirect=-1", {"2", "4"}},
      {"Name like '%kg%'", {"1", "2"}},
      {"levelcode like 'abc%'", {"1", "4"}},
      {"UserID='10001' and groupid=2", {"3"}},
      {"UserID='10001' or groupid=3", {"3", "4", "5"}},
      {"not (IOKind=1)", {"2", "4"}},
      {"Name is null", {"5"}},
      {"levelcode like 'abc___'", {"4"}},
      {"(IOKind=1 or IOKind=2) and IoDirect<>-1", {"1", "3", "5"}},
  };
  for (const FilterCase& c : cases) {
    SCOPED_TRACE(c.filter);
    ClientDataSet ds;
    Packet p;
    p.fields = FieldDefs{test::stringField("ID"),        test::stringField("Name"),
                         test::intField("IOKind"),       test::intField("IoDirect"),
                         test::stringField("levelcode"), test::stringField("UserID"),
                         test::intField("groupid")};
    p.rows = {{"1", "白砂糖 1kg", 1, 1, "abc", "10002", 1},
              {"2", "Flour 5KG", 2, -1, "abd001", "10002", 2},
              {"3", "Salt", 1, 1, "xyz", "10001", 2},
              {"4", "Oil", 2, -1, "abc001", "10001", 3},
              {"5", nullptr, 1, 1, "q", "10003", 3}};
    ds.LoadFromPacket(p);
    ds.SetFilter(c.filter);
    EXPECT_EQ(ds.RecordCount(), 5);  // not in force until switched on
    ds.SetFiltered(true);
    EXPECT_EQ(column(ds, "ID"), c.ids);
    ds.SetFiltered(false);
    EXPECT_EQ(ds.RecordCount(), 5);
  }
}

TEST_F(DataSetTest, FilterRefusesBadExpressionsAndFollowsEdits) {
  fill();
  ds.SetFilter("IOKind=1");
  ds.SetFiltered(true);
  EXPECT_EQ(ds.RecordCount(), 2);
  EXPECT_THROW(ds.SetFilter("IOKind=="), ParseError);
  EXPECT_THROW(ds.SetFilter("Nmae like 'x'"), ParseError);
  EXPECT_EQ(ds.Filter(), "IOKind=1");
  EXPECT_EQ(ds.RecordCount(), 2);

  ds.First();
  ds.Edit();
  ds.FieldByName("IOKind").SetAsInteger(2);  // leaves the filter on post
  ds.Post();
  EXPECT_EQ(column(ds, "ID"), (std::vector<std::string>{"3"}));
  appendRow(ds, {"9", "new", 2, nullptr, nullptr});  // posted but hidden
  EXPECT_EQ(ds.RecordCount(), 1);
  appendRow(ds, {"8", "new", 1, nullptr, nullptr});
  EXPECT_EQ(ds.RecordCount(), 2);
  EXPECT_EQ(ds.FieldByName("ID").AsString(), "8");
  ds.SetFilter("");
  EXPECT_EQ(ds.RecordCount(), 5);  // an empty expression filters nothing
}

TEST_F(DataSetTest, IndexSortsAndKeepsNewRowsInPlace) {
  appendRow(ds, {"3", "b", 2, nullptr, nullptr});
  appendRow(ds, {"1", "a", 2, nullptr, nullptr});
  appendRow(ds, {"2", "c", 1, nullptr, nullptr});
  ds.SetIndexFieldNames("ID");
  EXPECT_EQ(column(ds, "ID"), (std::vector<std::string>{"1", "2", "3"}));
  ds.SetIndexFieldNames("IOKind;Name");
  EXPECT_EQ(column(ds, "ID"), (std::vector<std::string>{"2", "1", "3"}));
  appendRow(ds, {"0", "B", 2, nullptr, nullptr});  // text ignores case: after the equal "b"
  EXPECT_EQ(column(ds, "ID"), (std::vector<std::string>{"2", "1", "3", "0"}));
  EXPECT_THROW(ds.SetIndexFieldNames("Nope"), DataSetError);
  ds.SetIndexFieldNames("");
  EXPECT_EQ(column(ds, "ID"), (std::vector<std::string>{"3", "1", "2", "0"}));
}

TEST(DataSetLocate, FindsByOneOrSeveralKeys) {
  ClientDataSet ds;
  Packet p;
  p.fields = FieldDefs{test::stringField("UserID"), test::stringField("ModuleID"),
                       test::intField("groupid")};
  p.rows = {{"10001", "DB_00001", 1}, {"10001", "YW_10002", 2}, {"10002", "YW_10002", 2}};
  ds.LoadFromPacket(p);
  EXPECT_TRUE(ds.Locate("UserID;ModuleID", {"10002", "YW_10002"}));
  EXPECT_EQ(ds.RecNo(), 3);
  EXPECT_FALSE(ds.Locate("UserID;ModuleID", {"10002", "DB_00001"}));
  EXPECT_EQ(ds.RecNo(), 3);                       // a failed locate does not move
  EXPECT_TRUE(ds.Locate("groupid", Value("2")));  // text key against an integer field
  EXPECT_EQ(ds.RecNo(), 2);
  EXPECT_FALSE(ds.Locate("ModuleID", Value("yw_10002")));
  EXPECT_TRUE(ds.Locate("ModuleID", Value("yw_10002"), {.caseInsensitive = true}));
  EXPECT_TRUE(ds.Locate("ModuleID", Value("DB_"), {.partialKey = true}));
  EXPECT_EQ(ds.RecNo(), 1);
  EXPECT_THROW(ds.Locate("UserID;ModuleID", std::vector<Value>{"10001"}), DataSetError);
  EXPECT_THROW(ds.Locate("Nope", Value("1")), DataSetError);
}

TEST_F(DataSetTest, BookmarksReturnToTheirRow) {
  fill();
  ds.SetRecNo(2);
  Bookmark b = ds.GetBookmark();
  EXPECT_TRUE(ds.BookmarkValid(b));
  ds.Last();
  ds.GotoBookmark(b);
  EXPECT_EQ(ds.FieldByName("ID").AsString(), "2");
  ds.SetIndexFieldNames("Name");  // the row moves, the bookmark follows it
  ds.GotoBookmark(b);
  EXPECT_EQ(ds.FieldByName("ID").AsString(), "2");
  ds.Delete();
  EXPECT_FALSE(ds.BookmarkValid(b));
  EXPECT_THROW(ds.GotoBookmark(b), DataSetError);
  ds.FreeBookmark(b);
  EXPECT_FALSE(b.valid());
}

TEST(DataSetAggregate, IsALiveSumOfVisibleRows) {
  ClientDataSet ds;
  ds.FieldDefinitions() = FieldDefs{test::stringField("ID"), test::decimalField("qty"),
                                    test::aggregateField("TotalQty", "sum(qty)")};
  ds.CreateDataSet();
  Field& total = ds.FieldByName("TotalQty");
  EXPECT_TRUE(total.IsNull());
  appendRow(ds, {"1", Decimal(15, 1)});
  appendRow(ds, {"2", Decimal(25, 1)});
  appendRow(ds, {"3", nullptr});
  EXPECT_EQ(total.AsString(), "4");
  ds.First();
  ds.Edit();
  ds.FieldByName("qty").SetAsString("10");
  EXPECT_EQ(total.AsString(), "12.5");  // the row being edited counts with its new value
  ds.Post();
  ds.Delete();
  EXPECT_EQ(total.AsString(), "2.5");
  ds.SetFilter("ID='3'");
  ds.SetFiltered(true);
  EXPECT_TRUE(total.IsNull());
  EXPECT_THROW(total.SetAsString("1"), DataSetError);
}

struct Recorder : DataSetObserver {
  int data = 0, record = 0, moved = 0, state = 0, layout = 0;
  void dataSetChanged(ClientDataSet&) override { ++data; }
  void recordChanged(ClientDataSet&, int) override { ++record; }
  void recordMoved(ClientDataSet&) override { ++moved; }
  void stateChanged(ClientDataSet&) override { ++state; }
  void layoutChanged(ClientDataSet&) override { ++layout; }
};

TEST_F(DataSetTest, ObserversHearChangesUnlessControlsAreDisabled) {
  fill();
  Recorder r;
  ds.AddObserver(&r);
  ds.First();
  ds.Next();
  EXPECT_EQ(r.moved, 2);
  ds.Edit();
  ds.FieldByName("Name").SetAsString("x");
  EXPECT_EQ(r.record, 1);
  EXPECT_EQ(r.state, 1);
  ds.Post();
  EXPECT_EQ(r.state, 2);

  r = Recorder{};
  ds.DisableControls();
  ds.DisableControls();
  ds.First();
  while (!ds.Eof()) {
    ds.Edit();
    ds.FieldByName("IOKind").SetAsInteger(9);
    ds.Next();
  }
  ds.EnableControls();
  EXPECT_TRUE(ds.ControlsDisabled());
  EXPECT_EQ(r.data + r.record + r.moved + r.state, 0);
  ds.EnableControls();
  EXPECT_EQ(r.data, 1);  // one refresh for the whole batch
  EXPECT_EQ(r.moved + r.record, 0);
  ds.RemoveObserver(&r);
  ds.First();
  EXPECT_EQ(r.moved, 0);
}

TEST(DataSetEvents, NewRecordCalcFieldsAndPostHooks) {
  ClientDataSet ds;
  ds.FieldDefinitions() =
      FieldDefs{test::stringField("bid"), test::decimalField("QTY"), test::decimalField("DONEQTY"),
                test::calcField("UnFinishedQty", DataType::Float),
                test::calcField("SelectMark", DataType::String, 24)};
  int counter = 0;
  ds.OnNewRecord = [&](ClientDataSet& d) {
    std::string id = "B";  // (appending, not "B" + ...: GCC 12 at -O3 warns falsely on that)
    id += std::to_string(++counter);
    d.FieldByName("bid").SetAsString(id);
  };
  ds.OnCalcFields = [](ClientDataSet& d) {
    d.FieldByName("UnFinishedQty")
        .SetAsFloat(d.FieldByName("QTY").AsFloat() - d.FieldByName("DONEQTY").AsFloat());
  };
  Packet p;
  p.fields =
      FieldDefs{test::stringField("bid"), test::decimalField("QTY"), test::decimalField("DONEQTY")};
  p.rows = {{"A1", Decimal(5, 0), nullptr}, {"A2", Decimal(5, 0), Decimal(2, 0)}};
  ds.LoadFromPacket(p);
  EXPECT_EQ(column(ds, "UnFinishedQty"), (std::vector<std::string>{"5", "3"}));

  ds.First();
  ds.Edit();
  ds.FieldByName("SelectMark").SetAsString("√");
  ds.Post();
  EXPECT_EQ(ds.FieldByName("SelectMark").AsString(), "√");
  EXPECT_EQ(ds.Data(), p);  // client-only fields never travel

  bool refuse = true;
  ds.BeforePost = [&](ClientDataSet&) {
    if (refuse) throw std::runtime_error("checked");
  };
  int after = 0;
  ds.AfterPost = [&](ClientDataSet&) { ++after; };
  ds.Append();
  EXPECT_EQ(ds.FieldByName("bid").AsString(), "B1");
  ds.FieldByName("QTY").SetAsString("4");
  EXPECT_THROW(ds.Post(), std::runtime_error);
  EXPECT_EQ(ds.State(), DataSetState::Insert);
  refuse = false;
  ds.Post();
  EXPECT_EQ(after, 1);
  EXPECT_EQ(ds.FieldByName("UnFinishedQty").AsFloat(), 4);
}

// A row is rearranged in place into the defined order: every order of the packet's columns,
// with a column the data set does not define at each place, and a client-only field among
// the defined ones, must put each value under its own name.
TEST(DataSetPacket, ColumnsInAnyOrderLandUnderTheirNames) {
  const std::vector<std::string> names = {"a", "b", "c", "d"};
  std::vector<std::size_t> order = {0, 1, 2, 3};
  int cases = 0;
  do {
    for (std::size_t extraAt = 0; extraAt <= names.size(); ++extraAt) {
      Packet p;
      Row row;
      std::vector<FieldDef> cols;
      for (std::size_t i = 0; i <= names.size(); ++i) {
        if (i == extraAt) {
          cols.push_back(test::stringField("unused"));
          row.emplace_back("x");
        }
        if (i == names.size()) break;
        cols.push_back(test::stringField(names[order[i]]));
        row.emplace_back("v" + names[order[i]]);
      }
      cols.push_back(test::typedField("n", DataType::Int64));
      row.emplace_back(std::int64_t{7});
      p.fields = FieldDefs(cols);
      p.rows = {row, row};

      ClientDataSet ds;
      FieldDef calc = test::stringField("calc");
      calc.kind = FieldKind::InternalCalc;
      ds.FieldDefinitions() = FieldDefs{test::stringField("d"),
                                        calc,
                                        test::stringField("b"),
                                        test::stringField("a"),
                                        test::typedField("n", DataType::Int32),
                                        test::stringField("c")};
      ds.LoadFromPacket(std::move(p));
      ASSERT_EQ(ds.RecordCount(), 2);
      for (ds.First(); !ds.Eof(); ds.Next()) {
        for (const std::string& n : names)
          EXPECT_EQ(ds.FieldByName(n).AsString(), "v" + n) << "order case " << cases;
        EXPECT_TRUE(ds.FieldByName("calc").IsNull());
        EXPECT_EQ(ds.FieldByName("n").AsValue(), Value(std::int32_t{7}));
      }
      ++cases;
    }
  } while (std::next_permutation(order.begin(), order.end()));
  EXPECT_EQ(cases, 120);
}

}  // namespace
}  // namespace vlt
