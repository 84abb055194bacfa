#include <gtest/gtest.h>

#include "resolver.h"
#include "testdb.h"
#include "vlt/dataset.h"

namespace vlt::server {
namespace {

class ResolverTest : public ::testing::Test {
 protected:
  void SetUp() override {
    db->execute(
        "CREATE TABLE td_unit (ID VARCHAR(15) PRIMARY KEY, Name VARCHAR(40) NOT NULL UNIQUE, "
        "Remark VARCHAR(80), IsStop VARCHAR(8) NOT NULL DEFAULT 'False')");
    db->execute("INSERT INTO td_unit (ID, Name, Remark) VALUES ('1','个',NULL), ('2','箱','x')");
    db->execute(
        "CREATE TABLE tb_bill (Bid VARCHAR(15) PRIMARY KEY, BCode VARCHAR(20), Remark "
        "VARCHAR(80))");
    db->execute(
        "CREATE TABLE tb_bill_d (Bid VARCHAR(15), BNo INT, GoodsID VARCHAR(15), Qty "
        "DECIMAL(13,4), PRIMARY KEY (Bid, BNo))");
  }

  // Loads a table (joined with a column the table does not have) into a data set.
  void load(ClientDataSet& ds, const std::string& sql) { ds.LoadFromPacket(db->query(sql)); }

  void save(const Delta& d, const std::string& table, const std::string& keys) {
    const TableInfo& t = cache.table(*db, table);
    inTransaction(*db, [&] { applyDelta(*db, d, DeltaTarget{&t, splitKeyFields(keys), {}}); });
  }

  std::string names() {
    Packet p = db->query("SELECT GROUP_CONCAT(Name ORDER BY ID) FROM td_unit");
    return p.rows[0][0].toText();
  }

  test::ScratchDatabase scratch;
  std::unique_ptr<Connection> db = scratch.connect();
  SchemaCache cache;
};

TEST_F(ResolverTest, AppliesInsertsUpdatesAndDeletesSkippingJoinedNames) {
  ClientDataSet ds;
  load(ds, "SELECT u.*, 'joined' AS TraderName FROM td_unit u ORDER BY ID");
  ds.First();
  ds.Edit();
  ds.FieldByName("Name").SetAsString("只");
  ds.FieldByName("TraderName").SetAsString("ignored");
  ds.Post();
  ds.Next();
  ds.Delete();
  ds.Append();
  ds.FieldByName("ID").SetAsString("3");
  ds.FieldByName("Name").SetAsString("it's\\");
  ds.Post();
  save(ds.GetDelta(), "TD_UNIT", "ID");
  EXPECT_EQ(names(), "只,it's\\");
  // The default of a column the client left null applies.
  EXPECT_EQ(db->scalar("SELECT IsStop FROM td_unit WHERE ID='3'"), "False");
}

TEST_F(ResolverTest, RefusesARowChangedSinceItWasReadAndAppliesNothing) {
  ClientDataSet ds;
  load(ds, "SELECT * FROM td_unit ORDER BY ID");
  ds.Append();
  ds.FieldByName("ID").SetAsString("9");
  ds.FieldByName("Name").SetAsString("新");
  ds.Post();
  ds.First();
  ds.Edit();
  ds.FieldByName("Name").SetAsString("mine");
  ds.Post();
  db->execute("UPDATE td_unit SET Name='theirs' WHERE ID='1'");
  try {
    save(ds.GetDelta(), "td_unit", "ID");
    ADD_FAILURE() << "stale update accepted";
  } catch (const SaveRefused& e) {
    EXPECT_NE(std::string(e.what()).find("其他用户"), std::string::npos) << e.what();
  }
  EXPECT_EQ(names(), "theirs,箱");  // the insert of the same call was rolled back too

  // A change to another column of the same row is not a conflict; a null original matches.
  ClientDataSet again;
  load(again, "SELECT * FROM td_unit ORDER BY ID");
  db->execute("UPDATE td_unit SET IsStop='True' WHERE ID='1'");
  again.First();
  again.Edit();
  again.FieldByName("Remark").SetAsString("note");
  again.Post();
  save(again.GetDelta(), "td_unit", "ID");
  EXPECT_EQ(db->scalar("SELECT CONCAT(Remark, IsStop) FROM td_unit WHERE ID='1'"), "noteTrue");

  ClientDataSet gone;
  load(gone, "SELECT * FROM td_unit ORDER BY ID");
  db->execute("DELETE FROM td_unit WHERE ID='2'");
  gone.Last();
  gone.Delete();
  EXPECT_THROW(save(gone.GetDelta(), "td_unit", "ID"), SaveRefused);
}

TEST_F(ResolverTest, DuplicateKeysKeepTheServerText) {
  ClientDataSet ds;
  load(ds, "SELECT * FROM td_unit");
  ds.Append();
  ds.FieldByName("ID").SetAsString("5");
  ds.FieldByName("Name").SetAsString("箱");
  ds.Post();
  try {
    save(ds.GetDelta(), "td_unit", "ID");
    ADD_FAILURE() << "duplicate accepted";
  } catch (const DbError& e) {
    EXPECT_NE(std::string(e.what()).find("Duplicate entry"), std::string::npos);
  }
}

TEST_F(ResolverTest, WithoutKeysEveryColumnIdentifiesTheRow) {
  db->execute("INSERT INTO td_unit (ID, Name) VALUES ('7', '7a')");
  ClientDataSet ds;
  load(ds, "SELECT Name, Remark FROM td_unit WHERE 1=0");
  ds.LoadFromPacket(db->query("SELECT Name, Remark FROM td_unit WHERE ID='7'"));
  ds.Delete();
  save(ds.GetDelta(), "td_unit", "");
  EXPECT_EQ(names(), "个,箱");
}

TEST_F(ResolverTest, RefusesBadTablesAndMissingKeys) {
  const char* bad[] = {"no_such_table", "td_unit;drop", "`td_unit`", ""};
  for (const char* t : bad)
    EXPECT_THROW(cache.table(*db, t), SaveRefused) << t;
  ClientDataSet ds;
  load(ds, "SELECT Name FROM td_unit");
  ds.First();
  ds.Delete();
  EXPECT_THROW(save(ds.GetDelta(), "td_unit", "ID"), SaveRefused);
}

TEST_F(ResolverTest, ABillSavesWithItsLinesAndADeletedBillTakesAllItsLines) {
  FieldDefs lineFields;
  lineFields.add("Bid", DataType::String, 15);
  lineFields.add("BNo", DataType::Int32);
  lineFields.addDecimal("Qty", 13, 4);
  FieldDef lines;
  lines.name = "Lines";
  lines.type = DataType::DataSet;
  lines.children = lineFields.list();
  ClientDataSet master, detail;
  master.FieldDefinitions().add("Bid", DataType::String, 15);
  master.FieldDefinitions().add("BCode", DataType::String, 20);
  master.FieldDefinitions().add("TraderName", DataType::String, 20);
  master.FieldDefinitions().add(lines);
  detail.SetDataSetField(master, "Lines");
  master.CreateDataSet();
  master.Append();
  master.FieldByName("Bid").SetAsString("B1");
  master.FieldByName("BCode").SetAsString("PO202612080001");
  for (int i = 1; i <= 3; ++i) {
    detail.Append();
    detail.FieldByName("Bid").SetAsString("B1");
    detail.FieldByName("BNo").SetAsInteger(i);
    detail.FieldByName("Qty").SetAsFloat(i * 1.5);
    detail.Post();
  }
  master.Post();

  const TableInfo& m = cache.table(*db, "tb_bill");
  const TableInfo& d = cache.table(*db, "tb_bill_d");
  DeltaTarget lineTarget{&d, {"Bid", "BNo"}, {}};
  auto saveBill = [&] {
    Transaction t(*db);
    applyDelta(*db, master.GetDelta(), DeltaTarget{&m, {"Bid"}, {}}, &lineTarget);
    t.commit();
    master.MergeChangeLog();
  };
  saveBill();
  EXPECT_EQ(db->scalar("SELECT SUM(Qty) FROM tb_bill_d WHERE Bid='B1'"), "9");

  detail.First();
  detail.Delete();
  detail.First();
  detail.Edit();
  detail.FieldByName("Qty").SetAsString("10");
  detail.Post();
  master.Post();
  saveBill();
  EXPECT_EQ(db->scalar("SELECT GROUP_CONCAT(CONCAT(BNo,':',Qty) ORDER BY BNo) FROM tb_bill_d"),
            "2:10.0000,3:4.5000");

  db->execute("INSERT INTO tb_bill_d VALUES ('B1', 9, 'other', 1)");  // a line the client never saw
  master.Delete();
  saveBill();
  EXPECT_EQ(db->scalar("SELECT COUNT(*) FROM tb_bill_d"), "0");
  EXPECT_EQ(db->scalar("SELECT COUNT(*) FROM tb_bill"), "0");
}

}  // namespace
}  // namespace vlt::server
