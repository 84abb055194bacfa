// The master-detail bill template through a small purchase-like bill: defaults, line arithmetic,
// totals, the save sequence, done quantities of auto-stocked bills, paging over stored bills,
// deleting, and filling lines from goods and from source lines.

#include <gtest/gtest.h>

#include <QDate>
#include <QLabel>
#include <QLineEdit>
#include <QTest>
#include <algorithm>

#include "fakehost.h"
#include "uBaseBill_MasterAndDetail.h"
#include "vlt/host.h"

namespace {

using namespace vlt;
using namespace vlt::test;

constexpr const char* kDb = "10001_01";

class TTestBill : public TfrmBaseBill_MasterAndDetail {
 public:
  TTestBill() {
    for (const char* f : {"Bid", "BCode", "TraderID", "IsStoreIO", "StoreId", "ReMark"})
      MasterFields.add(f, DataType::String, 64);
    MasterFields.add("BDate", DataType::Date);
    MasterFields.add("TaxRate", DataType::Int16);
    MasterFields.add("CreateOp", DataType::Int64);
    MasterFields.add("UpdateOP", DataType::Int64);
    MasterFields.add("CreateTime", DataType::DateTime);
    MasterFields.add("UpdateTime", DataType::DateTime);
    for (const char* f : {"Bid", "GoodsID", "UnitID", "DetailRemark", "Pause", "RelationBid",
                          "GoodsCode", "GoodsName", "GoodsSpec"})
      DetailFields.add(f, DataType::String, 64);
    DetailFields.add("BNo", DataType::Int32);
    DetailFields.add("RelationBNo", DataType::Int32);
    DetailFields.add("RelationKind", DataType::Int16);
    DetailFields.add("TaxRate", DataType::Int16);
    DetailFields.addDecimal("Qty", 13, 4);
    DetailFields.addDecimal("Price", 11, 2);
    DetailFields.addDecimal("Amount", 20, 2);
    DetailFields.addDecimal("doneQty", 13, 4);
  }
  void FormCreate() override {
    setWindowTitle("采购收货单");
    MasterTableName = "tb_pur_purchase";
    DetailTableName = "tb_pur_purchase_d";
    prefix = "PC";
    MasterDataSql = "select M.* from tb_pur_purchase M";
    DetailDataSql = "select D.* from tb_pur_purchase_d D";
    TfrmBaseBill_MasterAndDetail::FormCreate();
    GrdDetail->Bind(&cdsDetail, {{"GoodsCode", "货品编码"}, {"Qty", "数量"}, {"Price", "单价"}});
  }
  int checks = 0;
  int afterSaves = 0;

 protected:
  void actCheckDataExecute() override { ++checks; }
  void doAfterSave() override { ++afterSaves; }
};

std::string code(int n) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "PC20261101%04d", n);
  return buf;
}

// A page of stored bills (codes of `numbers`, in that order), each with `lines` lines numbered
// from `firstBno`.
Packet page(TTestBill& w, const std::vector<int>& numbers, int lines = 1, int firstBno = 1) {
  Packet p;
  p.fields = w.cdsMaster.Fields();
  const FieldDefs lineFields(p.fields[p.fields.size() - 1].children);
  for (int n : numbers) {
    Row r(p.fields.size());
    r[static_cast<std::size_t>(p.fields.indexOf("Bid"))] = Value("B" + std::to_string(n));
    r[static_cast<std::size_t>(p.fields.indexOf("BCode"))] = Value(code(n));
    r[static_cast<std::size_t>(p.fields.indexOf("BDate"))] = Value("2026-11-01");
    r[static_cast<std::size_t>(p.fields.indexOf("IsStoreIO"))] = Value("True");
    NestedRows rows;
    for (int i = 0; i < lines; ++i) {
      Row l(lineFields.size());
      l[static_cast<std::size_t>(lineFields.indexOf("Bid"))] = Value("B" + std::to_string(n));
      l[static_cast<std::size_t>(lineFields.indexOf("BNo"))] = Value(firstBno + i);
      l[static_cast<std::size_t>(lineFields.indexOf("GoodsID"))] = Value("G1");
      l[static_cast<std::size_t>(lineFields.indexOf("Qty"))] = Value(Decimal(2, 0));
      l[static_cast<std::size_t>(lineFields.indexOf("doneQty"))] = Value(Decimal(2, 0));
      rows.push_back(std::move(l));
    }
    r.back() = Value(std::shared_ptr<const NestedRows>(std::make_shared<NestedRows>(rows)));
    p.rows.push_back(std::move(r));
  }
  return p;
}

// Answers the page statements the way the database would, over bills 1..count: the page before
// a code, the page just after it (nearest first, then turned newest first) and the newest page.
void storeBills(TTestBill& w, FakeServerMethods& proxy, int count) {
  for (int c = 1; c <= count; ++c) {
    std::vector<int> before, after;
    for (int n = c - 1; n >= 1 && before.size() < 20; --n)
      before.push_back(n);
    for (int n = c + 1; n <= count && after.size() < 20; ++n)
      after.push_back(n);
    std::reverse(after.begin(), after.end());
    proxy.answer("bcode<'" + code(c) + "' ORDER BY BCode DESC LIMIT 20", page(w, before));
    proxy.answer("bcode>'" + code(c) + "' ORDER BY BCode LIMIT 20", page(w, after));
  }
  std::vector<int> newest;
  for (int n = count; n >= 1 && newest.size() < 20; --n)
    newest.push_back(n);
  proxy.answer("ORDER BY BCode DESC LIMIT 20", page(w, newest));
}

struct BillTest : ::testing::Test {
  void SetUp() override {
    host::CurUserInfo().UserDBID = kDb;
    host::CurUserInfo().UserID = "10001";
    w = std::make_unique<TTestBill>();
    w->FormCreate();
    showSettled(*w);
  }
  void TearDown() override { w.reset(); }
  std::string shown() { return w->edtBcode->text().toStdString(); }
  void addLine(const char* goods, const char* qty, const char* price) {
    w->cdsDetail.Append();
    w->cdsDetail.FieldByName("GoodsID").SetAsString(goods);
    w->cdsDetail.FieldByName("Qty").SetAsString(qty);
    w->cdsDetail.FieldByName("Price").SetAsString(price);
    w->CalcAmount(w->cdsDetail);
    w->cdsDetail.Post();
  }
  std::vector<std::string> column(const char* field) {
    std::vector<std::string> out;
    for (w->cdsDetail.First(); !w->cdsDetail.Eof(); w->cdsDetail.Next())
      out.push_back(w->cdsDetail.FieldByName(field).AsString());
    return out;
  }
  HostFixture host;
  std::unique_ptr<TTestBill> w;
};

TEST_F(BillTest, NewBillAndNewLineDefaults) {
  const std::string today = QDate::currentDate().toString(Qt::ISODate).toStdString();
  EXPECT_EQ(w->OperateState(), "Append");
  EXPECT_EQ(w->cdsMaster.FieldByName("Bid").AsString().size(), 15u);
  EXPECT_EQ(w->cdsMaster.FieldByName("BDate").AsString(), today);
  EXPECT_EQ(shown(), "PC" + QDate::currentDate().toString("yyyyMMdd").toStdString() + "0001");
  EXPECT_EQ(w->edtCreateOp->text(), "10001");
  EXPECT_EQ(w->lblBillName->text(), "采购收货单");
  w->cdsMaster.FieldByName("TaxRate").SetAsInteger(13);
  addLine("G1", "1", "1");
  addLine("G2", "1", "1");
  EXPECT_EQ(column("BNo"), (std::vector<std::string>{"1", "2"}));
  EXPECT_EQ(column("Pause"), (std::vector<std::string>{"False", "False"}));
  EXPECT_EQ(column("TaxRate"), (std::vector<std::string>{"13", "13"}));
  EXPECT_EQ(column("Bid"), std::vector<std::string>(2, w->cdsMaster.FieldByName("Bid").AsString()));
}

TEST_F(BillTest, LineAmountIsExactAndRoundedToCents) {
  struct Case {
    const char* qty;
    const char* price;
    const char* rate;  // empty: null
    const char* amount;
  };
  const Case cases[] = {
      {"2", "10", "17", "23.40"},    {"3", "0.1", "0", "0.30"},
      {"1.5", "3.33", "13", "5.64"}, {"0.1", "0.1", "", "0.01"},
      {"3", "", "", "0.00"},         {"999999.9999", "99999.99", "0", "99999989990.00"},
      {"1", "0.05", "10", "0.06"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.qty) + " x " + c.price + " @ " + c.rate);
    w->cdsDetail.Append();
    w->cdsDetail.FieldByName("Qty").SetAsString(c.qty);
    if (*c.price) w->cdsDetail.FieldByName("Price").SetAsString(c.price);
    if (*c.rate)
      w->cdsDetail.FieldByName("TaxRate").SetAsString(c.rate);
    else
      w->cdsDetail.FieldByName("TaxRate").Clear();
    w->CalcAmount(w->cdsDetail);
    EXPECT_EQ(w->cdsDetail.FieldByName("Amount").AsDecimal().rescaled(2).toString(), c.amount);
    w->cdsDetail.Cancel();
  }
}

TEST_F(BillTest, EditingACellRecomputesItsLine) {
  addLine("G1", "2", "10");
  struct Case {
    int column;         // 1 quantity, 2 price
    const char* typed;  // empty: the cell was cleared
    const char* qty;
    const char* amount;
  };
  const Case cases[] = {{1, "3", "3", "30"}, {2, "0.5", "3", "1.5"}, {1, "", "", "0"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.typed));
    w->cdsDetail.Edit();
    Field& f = w->cdsDetail.FieldByName(c.column == 1 ? "Qty" : "Price");
    if (*c.typed)
      f.SetAsString(c.typed);
    else
      f.Clear();
    emit w->GrdDetail->EditingDone(c.column, 0);
    EXPECT_EQ(w->cdsDetail.State(), DataSetState::Browse);
    EXPECT_EQ(w->cdsDetail.FieldByName("Qty").AsString(), c.qty);
    EXPECT_EQ(w->cdsDetail.FieldByName("Amount").AsString(), c.amount);
  }
}

TEST_F(BillTest, TotalsAndTaxRateFollowEveryLine) {
  addLine("G1", "2", "10");
  addLine("G2", "1.5", "0.1");
  EXPECT_EQ(w->edtTotalQty->text(), "3.5");
  EXPECT_EQ(w->edtTotalAmount->text(), "20.15");
  w->cdsMaster.FieldByName("TaxRate").SetAsInteger(10);
  w->UpdateDetailTaxRate();
  EXPECT_EQ(column("TaxRate"), (std::vector<std::string>{"10", "10"}));
  EXPECT_EQ(column("Amount"), (std::vector<std::string>{"22", "0.17"}));
  EXPECT_EQ(w->edtTotalAmount->text(), "22.17");
}

TEST_F(BillTest, SaveSequenceOfANewBillAndOfAStoredOne) {
  // Without lines nothing goes out.
  host.proxy().calls.clear();
  w->actSaveAndNew->trigger();
  EXPECT_EQ(host.ui().messages, QStringList{"明细表数据为空，请添加数据后保存或直接关闭窗体"});
  EXPECT_TRUE(host.proxy().callsStartingWith("Save").empty());
  host.ui().messages.clear();

  w->cdsMaster.FieldByName("IsStoreIO").SetAsString("True");
  addLine("G1", "2", "10");
  addLine("G2", "3", "1");
  const std::string bid = w->cdsMaster.FieldByName("Bid").AsString();
  host.proxy().calls.clear();
  w->actSaveAndNew->trigger();
  // The code is asked again at save (another clerk may have taken it), then one delta.
  // code, save, the code it was stored under, the next bill's code
  ASSERT_EQ(host.proxy().calls.size(), 4u);
  EXPECT_EQ(host.proxy().calls[0].rfind("GetBill_MaxBcode|", 0), 0u);
  EXPECT_EQ(host.proxy().calls[1],
            std::string("SaveMasterAndDetailData|") + kDb + "|tb_pur_purchase");
  EXPECT_NE(host.proxy().calls[2].find("select Bid, BCode from tb_pur_purchase where Bid="),
            std::string::npos);
  const Delta& d = host.proxy().deltas.back();
  ASSERT_EQ(d.rows.size(), 1u);
  EXPECT_EQ(d.rows[0].kind, ChangeKind::Insert);
  ASSERT_EQ(d.rows[0].details.size(), 1u);
  ASSERT_EQ(d.rows[0].details[0].rows.size(), 2u);
  // Auto stocked: every line is done in full.
  const FieldDefs lineFields(d.fields[d.fields.size() - 1].children);
  const auto done = static_cast<std::size_t>(lineFields.indexOf("doneQty"));
  const auto qty = static_cast<std::size_t>(lineFields.indexOf("Qty"));
  for (const DeltaRow& line : d.rows[0].details[0].rows)
    EXPECT_EQ(line.newValues[done].toText(), line.newValues[qty].toText());
  EXPECT_EQ(w->checks, 2);
  EXPECT_EQ(w->afterSaves, 1);
  EXPECT_EQ(w->OperateState(), "Append");
  EXPECT_NE(w->cdsMaster.FieldByName("Bid").AsString(), bid);
  EXPECT_TRUE(w->cdsDetail.IsEmpty());

  // A stored bill switched off auto stock: its code stays, done quantities go back to 0.
  storeBills(*w, host.proxy(), 3);
  w->actPrior->trigger();
  EXPECT_EQ(shown(), code(3));
  w->cdsMaster.Edit();
  w->cdsMaster.FieldByName("IsStoreIO").SetAsString("False");
  host.proxy().calls.clear();
  w->actSaveAndNew->trigger();
  EXPECT_TRUE(host.proxy()
                  .callsStartingWith("GetBill_MaxBcode|" + std::string(kDb) +
                                     "|PC|tb_pur_purchase|2026-11-01")
                  .empty());
  const Delta& e = host.proxy().deltas.back();
  ASSERT_EQ(e.rows.size(), 1u);
  EXPECT_EQ(e.rows[0].kind, ChangeKind::Modify);
  ASSERT_EQ(e.rows[0].details.size(), 1u);
  for (const DeltaRow& line : e.rows[0].details[0].rows)
    EXPECT_EQ(line.newValues[done].toText(), "0");
}

// Another clerk saved the code shown first: the service stored the next one, and the window
// shows it without a pending change.
TEST_F(BillTest, ASavedBillShowsTheCodeItWasStoredUnder) {
  addLine("G1", "2", "10");
  Packet stored = page(*w, {2});
  stored.rows[0][static_cast<std::size_t>(stored.fields.indexOf("Bid"))] =
      Value(w->cdsMaster.FieldByName("Bid").AsString());
  host.proxy().answer("select Bid, BCode from tb_pur_purchase where Bid=", stored);
  w->CdsMasterApplyUpdate();
  EXPECT_EQ(shown(), code(2));
  EXPECT_EQ(w->cdsMaster.ChangeCount(), 0);
}

TEST_F(BillTest, ARefusedSaveKeepsTheBillAsTyped) {
  addLine("G1", "2", "10");
  host.proxy().statuses.push_back("数据已被其他用户修改或删除，请刷新后重试");
  w->actSaveAndNew->trigger();
  ASSERT_EQ(host.ui().messages.size(), 1);
  EXPECT_EQ(w->OperateState(), "Append");
  EXPECT_EQ(column("GoodsID"), std::vector<std::string>{"G1"});
  w->actSaveAndNew->trigger();  // sent again, accepted
  EXPECT_EQ(host.proxy().callsStartingWith("SaveMasterAndDetailData").size(), 2u);
  EXPECT_TRUE(w->cdsDetail.IsEmpty());
}

// Paging over 25 stored bills both ways, over the page boundary, past both ends.
TEST_F(BillTest, PagingThroughTwentyFiveBills) {
  storeBills(*w, host.proxy(), 25);
  for (int n = 25; n >= 1; --n) {
    w->actPrior->trigger();
    ASSERT_EQ(shown(), code(n)) << "Earlier step " << 26 - n;
    EXPECT_EQ(w->OperateState(), "Edit");
  }
  w->actPrior->trigger();
  EXPECT_EQ(host.ui().messages, QStringList{"已经是首单！"});
  EXPECT_EQ(shown(), code(1));
  for (int n = 2; n <= 25; ++n) {
    w->actNext->trigger();
    ASSERT_EQ(shown(), code(n)) << "Later step " << n - 1;
  }
  w->actNext->trigger();
  EXPECT_EQ(w->OperateState(), "Append");
  w->actNext->trigger();  // nothing on a new bill
  EXPECT_EQ(w->OperateState(), "Append");
  EXPECT_EQ(host.proxy().callsStartingWith("Save").size(), 0u);
}

TEST_F(BillTest, PageKeysPageFromTheLineGridAndEscapeCloses) {
  storeBills(*w, host.proxy(), 3);
  w->activateWindow();
  w->GrdDetail->setFocus();
  QTest::keyClick(w->GrdDetail, Qt::Key_PageUp);
  QTest::keyClick(w->GrdDetail, Qt::Key_PageUp);
  EXPECT_EQ(shown(), code(2));
  QTest::keyClick(w->GrdDetail, Qt::Key_PageDown);
  EXPECT_EQ(shown(), code(3));
  QTest::keyClick(w.get(), Qt::Key_Escape);
  EXPECT_FALSE(w->isVisible());
}

TEST_F(BillTest, LaterLandsOnTheNearestLaterBillWhateverFollows) {
  storeBills(*w, host.proxy(), 45);
  for (int i = 0; i < 41; ++i)
    w->actPrior->trigger();
  ASSERT_EQ(shown(), code(5));  // the first row of the third page: 40 later bills
  w->actNext->trigger();
  EXPECT_EQ(shown(), code(6));
}

TEST_F(BillTest, EarlierOnAnEmptyTableKeepsANewBill) {
  w->actPrior->trigger();
  EXPECT_EQ(host.ui().messages, QStringList{"无业务单据发生，请制作业务单据！"});
  EXPECT_EQ(w->OperateState(), "Append");
}

TEST_F(BillTest, DeletingAtBothEndsAndANewBill) {
  w->actDelBill->trigger();
  EXPECT_EQ(host.ui().messages, QStringList{"当前为新增状态，不允许删除"});
  EXPECT_TRUE(host.ui().confirmations.isEmpty());
  storeBills(*w, host.proxy(), 3);
  // The oldest: the next later one is shown.
  for (int i = 0; i < 3; ++i)
    w->actPrior->trigger();
  ASSERT_EQ(shown(), code(1));
  host.ui().confirmAnswers = {false, true, true};
  w->actDelBill->trigger();  // answered No
  EXPECT_EQ(shown(), code(1));
  w->actDelBill->trigger();
  EXPECT_EQ(host.proxy().deltas.back().rows.at(0).kind, ChangeKind::Delete);
  EXPECT_EQ(shown(), code(2));
  // The newest: nothing later, a new bill.
  w->actNext->trigger();
  ASSERT_EQ(shown(), code(3));
  w->actDelBill->trigger();
  EXPECT_EQ(w->OperateState(), "Append");
  EXPECT_EQ(host.proxy().callsStartingWith("SaveMasterAndDetailData").size(), 2u);
}

TEST_F(BillTest, GoodsAndSourceLinesNumberAfterTheLinesOfTheBillShown) {
  // A stored bill with lines 5..7, then one with lines 1..2: new lines continue from 3.
  host.proxy().answer("ORDER BY BCode DESC LIMIT 20", [&] {
    Packet p = page(*w, {2}, 3, 5);
    Packet q = page(*w, {1}, 2, 1);
    p.rows.push_back(q.rows.front());
    return p;
  }());
  w->actPrior->trigger();
  EXPECT_EQ(column("BNo"), (std::vector<std::string>{"5", "6", "7"}));
  w->actPrior->trigger();
  EXPECT_EQ(shown(), code(1));

  ClientDataSet& goods = host::GlobalDM().cdsSelectGoods;
  goods.Append();
  goods.FieldByName("id").SetAsString("G9");
  goods.FieldByName("code").SetAsString("C9");
  goods.FieldByName("purPrice").SetAsString("2.50");
  goods.FieldByName("SalPrice").SetAsString("4.00");
  goods.Post();
  w->SetDetailGoods();
  EXPECT_TRUE(goods.IsEmpty());

  ClientDataSet& source = TfrmBaseBill_MasterAndDetail::SelectBillD();
  source.Append();
  source.FieldByName("bid").SetAsString("S1");
  source.FieldByName("bno").SetAsInteger(4);
  source.FieldByName("goodsid").SetAsString("G8");
  source.FieldByName("qty").SetAsString("10");
  source.FieldByName("UnFinishedQty").SetAsString("6");
  source.FieldByName("price").SetAsString("3");
  source.FieldByName("taxrate").SetAsInteger(0);
  source.FieldByName("RelationKind").SetAsInteger(3000);
  source.Post();
  w->SetMasterAndDetailDataWithGoods();
  source.EmptyDataSet();
  EXPECT_EQ(column("BNo"), (std::vector<std::string>{"1", "2", "3", "4"}));
  EXPECT_EQ(column("GoodsID"), (std::vector<std::string>{"G1", "G1", "G9", "G8"}));
  EXPECT_EQ(column("Qty"), (std::vector<std::string>{"2", "2", "1", "6"}));
  EXPECT_EQ(column("Price"), (std::vector<std::string>{"", "", "2.5", "3"}));
  EXPECT_EQ(column("Amount"), (std::vector<std::string>{"", "", "2.5", "18"}));
  EXPECT_EQ(column("RelationBid"), (std::vector<std::string>{"", "", "", "S1"}));
  EXPECT_EQ(column("RelationBNo"), (std::vector<std::string>{"", "", "", "4"}));
  EXPECT_EQ(column("RelationKind"), (std::vector<std::string>{"", "", "", "3000"}));
}

}  // namespace
