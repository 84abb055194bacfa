// Receipts and payments: the single-table bill template through the receipt window, then the
// rules of both windows, against the recording fake service.

#include <gtest/gtest.h>

#include <QDate>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPointer>
#include <QTest>

#include "basedata/selectdialogs.h"
#include "basedata_testing.h"
#include "formrows.h"
#include "settlement/uBill_Bal.h"
#include "windowrows.h"

namespace {

using namespace vlt;
using namespace vlt::test;
using vlt::business::TBalanceBill;
using vlt::business::TBaseDataPickForm;

constexpr const char* kReceipt = "uBill_Bal_Gathering.TfrmBill_Bal_Gathering";
constexpr const char* kPayment = "uBill_Bal_Payment.TfrmBill_Bal_Payment";
const std::string kSaveReceipt =
    std::string("SaveUserDBDataByDelta|") + kDb + "|tb_bal_gathering|bid";
const std::string kSavePayment =
    std::string("SaveUserDBDataByDelta|") + kDb + "|tb_bal_payment|bid";

const std::vector<std::string> kBillColumns = {
    "Bid",       "BDate",    "BCode",      "BKind",      "BState",      "TraderID",     "RevMemo",
    "AccountId", "AccAmt",   "TrimAmt",    "NowBalance", "RelationBid", "RelationKind", "ReMark",
    "CreateOp",  "UpdateOP", "CreateTime", "UpdateTime", "BDiary",      "TraderName",   "accName"};

// Two stored bills, the second the last loaded; blanks are nulls.
Packet storedBills() {
  Packet p = packetOf(kBillColumns, {{"100000000000001",
                                      "2026-11-02",
                                      "BG202611020001",
                                      "",
                                      "",
                                      "2001",
                                      "",
                                      "4001",
                                      "100.00",
                                      "0.00",
                                      "1500.50",
                                      "",
                                      "",
                                      "",
                                      "10001",
                                      "",
                                      "2026-11-02 09:00:00",
                                      "",
                                      "",
                                      "东方商行",
                                      "现金"},
                                     {"100000000000002",
                                      "2026-11-03",
                                      "BG202611030001",
                                      "",
                                      "",
                                      "2002",
                                      "先付一半",
                                      "4002",
                                      "20.00",
                                      "0.50",
                                      "80.00",
                                      "",
                                      "",
                                      "老客户",
                                      "10001",
                                      "10001",
                                      "2026-11-03 09:00:00",
                                      "2026-11-03 10:00:00",
                                      "",
                                      "西城小店",
                                      "工商银行"}});
  for (Row& r : p.rows)
    for (Value& v : r)
      if (v.toText().empty()) v = Value();
  return p;
}

const Packet kTraders =
    packetOf({"Id", "Name", "Address", "LinkMen", "Tel", "Balance", "IsClient"},
             {{"2001", "东方商行", "北京路1号", "张三", "111", "1500.50", "True"},
              {"2002", "西城小店", "东方大道8号", "李四", "222", "-30.00", "True"}});
const Packet kAccounts =
    packetOf({"Id", "Name", "Balance"}, {{"4001", "现金", "10.00"}, {"4002", "工商银行", "99.00"}});

// The user picks the second row of every selection dialog.
int pickSecondRow(QDialog& d) {
  auto& p = dynamic_cast<TBaseDataPickForm&>(d);
  p.grd->SelectCell(1, 1);
  emit p.grd->CellDblClick(1, 1);
  return 0;
}

template <class W>
std::unique_ptr<W> openBill(HostFixture& h, const char* name, const char* table) {
  host::CurUserInfo().UserDBID = kDb;
  host::CurUserInfo().UserID = "10001";
  h.proxy().answer(std::string("from ") + table + " m", storedBills());
  h.proxy().answer("td_Trader", kTraders);
  h.proxy().answer("td_Account", kAccounts);
  for (const char* dialog : {"TfrmSelectClient", "TfrmSelectVendor", "TfrmSelectAccount"})
    h.ui().scripts[dialog] = pickSecondRow;
  return openWindow<W>(kPkg, name);
}

std::unique_ptr<TBalanceBill> openReceipt(HostFixture& h) {
  return openBill<TBalanceBill>(h, kReceipt, "tb_bal_gathering");
}
std::unique_ptr<TBalanceBill> openPayment(HostFixture& h) {
  return openBill<TBalanceBill>(h, kPayment, "tb_bal_payment");
}

// A value of the first changed row of the last delta saved.
std::string deltaValue(const FakeServerMethods& proxy, const char* field) {
  if (proxy.deltas.empty() || proxy.deltas.back().rows.empty()) return "<no delta>";
  const Delta& d = proxy.deltas.back();
  const int i = d.fields.indexOf(field);
  if (i < 0) return "<no field>";
  const DeltaRow& row = d.rows.front();
  const Row& values = row.kind == ChangeKind::Delete ? row.oldValues : row.newValues;
  return values[static_cast<std::size_t>(i)].toText();
}

std::string today() {
  return QDate::currentDate().toString(Qt::ISODate).toStdString();
}
std::string todayCode() {
  return "BG" + QDate::currentDate().toString("yyyyMMdd").toStdString() + "0001";
}

// Fills a new bill the way a user does: trader and account from the dialogs, an amount.
void fillBill(TBalanceBill& w, const QString& amount = "12.50") {
  w.actSelectTrader->trigger();
  w.actSelectAccount->trigger();
  Type(w, "edtAccAmt", amount);
}

// ---- the template ----------------------------------------------------------------------------

TEST(BillTemplate, StartsOnANewBillWithTheServiceCodeOfToday) {
  HostFixture h;
  auto w = openReceipt(h);
  ASSERT_TRUE(w);
  EXPECT_EQ(w->cdsMaster.State(), DataSetState::Insert);
  EXPECT_EQ(w->cdsMaster.RecordCount(), 2);  // the stored ones; the new one is not posted
  EXPECT_EQ(BoxText(*w, "lblBillName"), "收款单");
  EXPECT_EQ(BoxText(*w, "edtBdate").toStdString(), today());
  EXPECT_EQ(BoxText(*w, "edtBcode").toStdString(), todayCode());
  EXPECT_EQ(BoxText(*w, "edtCreateOp"), "10001");
  EXPECT_EQ(w->cdsMaster.FieldByName("Bid").AsString().size(), 15u);
  // The date goes to the service as an ISO date, whatever the desktop's format.
  EXPECT_EQ(h.proxy().callsStartingWith("GetBill_MaxBcode"),
            std::vector<std::string>{std::string("GetBill_MaxBcode|") + kDb +
                                     "|BG|tb_bal_gathering|" + today()});
  EXPECT_EQ(BoxText(*w, "lblBalance"), "0");
  saveShot(*w, "money_receipt");
}

TEST(BillTemplate, EarlierAndLaterMoveOverTheLoadedBills) {
  HostFixture h;
  auto w = openReceipt(h);
  ASSERT_TRUE(w);
  w->actPrior->trigger();  // from the untouched new bill: the last loaded one
  EXPECT_EQ(BoxText(*w, "edtBcode"), "BG202611030001");
  EXPECT_EQ(BoxText(*w, "edtAccAmt"), "20.00");
  EXPECT_EQ(BoxText(*w, "lblBalance"), "80.00");
  EXPECT_EQ(BoxText(*w, "mmoRevMemo"), "先付一半");
  w->actPrior->trigger();
  EXPECT_EQ(BoxText(*w, "edtBcode"), "BG202611020001");
  EXPECT_EQ(BoxText(*w, "edttrader"), "东方商行");
  w->actnext->trigger();
  w->actnext->trigger();  // past the last: a new bill
  EXPECT_EQ(w->cdsMaster.State(), DataSetState::Insert);
  EXPECT_EQ(BoxText(*w, "edtBcode").toStdString(), todayCode());
  EXPECT_EQ(BoxText(*w, "edtAccAmt"), "");
  EXPECT_EQ(w->cdsMaster.RecordCount(), 2);  // the dropped new bill is not kept
  EXPECT_TRUE(ChangesSent(h.proxy()).empty());
  EXPECT_TRUE(h.ui().messages.isEmpty());
}

TEST(BillTemplate, SavesANewBillAndAChangedStoredOne) {
  HostFixture h;
  auto w = openReceipt(h);
  ASSERT_TRUE(w);
  fillBill(*w);
  w->actSaveAndNew->trigger();
  ASSERT_EQ(ChangesSent(h.proxy()), std::vector<std::string>{kSaveReceipt});
  EXPECT_EQ(h.proxy().deltas.back().rows.front().kind, ChangeKind::Insert);
  EXPECT_EQ(deltaValue(h.proxy(), "AccAmt"), "12.5");
  EXPECT_EQ(deltaValue(h.proxy(), "TrimAmt"), "0");  // left empty: stored as 0
  EXPECT_EQ(deltaValue(h.proxy(), "TraderID"), "2002");
  EXPECT_EQ(deltaValue(h.proxy(), "AccountId"), "4002");
  EXPECT_EQ(deltaValue(h.proxy(), "NowBalance"), "-30");
  EXPECT_EQ(deltaValue(h.proxy(), "BCode"), todayCode());
  EXPECT_EQ(deltaValue(h.proxy(), "UpdateOP"), "10001");
  // And a new bill waits.
  EXPECT_EQ(w->cdsMaster.State(), DataSetState::Insert);
  EXPECT_EQ(BoxText(*w, "edtAccAmt"), "");
  EXPECT_EQ(w->cdsMaster.RecordCount(), 3);

  // A stored bill, changed and saved: one modified row, the window closes.
  w->actPrior->trigger();
  w->actPrior->trigger();
  EXPECT_EQ(BoxText(*w, "edtBcode"), "BG202611030001");
  Type(*w, "edtTrimAmt", "1.5");
  QPointer<TBalanceBill> alive(w.get());
  w.release()->actSaveAndClose->trigger();
  EXPECT_EQ(ChangesSent(h.proxy()), (std::vector<std::string>{kSaveReceipt, kSaveReceipt}));
  EXPECT_EQ(h.proxy().deltas.back().rows.front().kind, ChangeKind::Modify);
  EXPECT_EQ(deltaValue(h.proxy(), "TrimAmt"), "1.5");
  EXPECT_EQ(deltaValue(h.proxy(), "BCode"), "BG202611030001");  // a stored bill keeps its code
  ASSERT_TRUE(alive);
  EXPECT_FALSE(alive->isVisible());
  delete alive.data();
}

TEST(BillTemplate, UnchangedBillSendsNothingAndNewBillCannotBeDeleted) {
  HostFixture h;
  auto w = openReceipt(h);
  ASSERT_TRUE(w);
  w->actDelBill->trigger();
  EXPECT_EQ(h.ui().messages, QStringList{"当前为新增状态，不允许删除"});
  EXPECT_TRUE(h.ui().confirmations.isEmpty());
  w->actPrior->trigger();
  w->actSaveAndNew->trigger();
  EXPECT_TRUE(ChangesSent(h.proxy()).empty());
  EXPECT_EQ(w->cdsMaster.State(), DataSetState::Insert);
}

TEST(BillTemplate, DeleteAsksAndKeepsTheBillWhenRefused) {
  struct Case {
    const char* name;
    bool yes;
    std::string status;
    int rowsLeft;  // stored bills left
    QStringList shown;
  };
  const Case cases[] = {
      {"answered No", false, "0", 2, {}},
      {"deleted", true, "0", 1, {}},
      {"refused by the service",
       true,
       "该单据已被引用，不能删除",
       2,
       {"保存失败，错误原因：该单据已被引用，不能删除"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    HostFixture h;
    auto w = openReceipt(h);
    ASSERT_TRUE(w);
    w->actPrior->trigger();
    h.ui().confirmAnswers = {c.yes};
    h.proxy().statuses = {c.status};
    w->actDelBill->trigger();
    EXPECT_EQ(h.ui().confirmations, QStringList{"删除后无法恢复，请确认"});
    EXPECT_EQ(ChangesSent(h.proxy()).size(), c.yes ? 1u : 0u);
    if (c.yes) {
      EXPECT_EQ(h.proxy().deltas.back().rows.front().kind, ChangeKind::Delete);
      EXPECT_EQ(deltaValue(h.proxy(), "Bid"), "100000000000002");
    }
    EXPECT_EQ(h.ui().messages, c.shown);
    EXPECT_EQ(w->cdsMaster.RecordCount(), c.rowsLeft);
    EXPECT_EQ(w->cdsMaster.ChangeCount(), 0);
  }
}

TEST(BillTemplate, ARefusedSaveKeepsTheBillAndIsSentAgain) {
  HostFixture h;
  auto w = openReceipt(h);
  ASSERT_TRUE(w);
  fillBill(*w);
  h.proxy().statuses = {std::string(host::kStaleRowText) + " tb_bal_gathering"};
  w->actSaveAndNew->trigger();
  EXPECT_EQ(h.ui().messages.size(), 1);
  EXPECT_EQ(BoxText(*w, "edtAccAmt"), "12.50");  // still the same bill, not a new one
  // Leaving it unsaved is refused; saving again sends it again.
  w->actPrior->trigger();
  EXPECT_EQ(h.ui().messages.last(), "当前单据已修改，请先保存");
  w->actSaveAndNew->trigger();
  EXPECT_EQ(ChangesSent(h.proxy()), (std::vector<std::string>{kSaveReceipt, kSaveReceipt}));
  EXPECT_EQ(h.proxy().deltas.back().rows.front().kind, ChangeKind::Insert);
  EXPECT_EQ(w->cdsMaster.ChangeCount(), 0);
}

TEST(BillTemplate, ANewDateTakesANewCode) {
  HostFixture h;
  auto w = openReceipt(h);
  ASSERT_TRUE(w);
  Type(*w, "edtBdate", "2026-01-05");
  emit w->edtBdate->editingFinished();
  EXPECT_EQ(BoxText(*w, "edtBcode"), "BG202601050001");
  fillBill(*w);
  w->actSaveAndNew->trigger();
  EXPECT_EQ(deltaValue(h.proxy(), "BDate"), "2026-01-05");
  EXPECT_EQ(deltaValue(h.proxy(), "BCode"), "BG202601050001");
}

// ---- the receipt's and the payment's own rules -----------------------------------------------

auto saving(const QString& amount, const QString& trim, bool trader, bool account,
            const QString& memo = QString()) {
  return [=](TBalanceBill& w) {
    if (trader) w.actSelectTrader->trigger();
    if (account) w.actSelectAccount->trigger();
    Type(w, "edtAccAmt", amount);
    Type(w, "edtTrimAmt", trim);
    if (!memo.isNull()) w.mmoRevMemo->setPlainText(memo);
    w.actSaveAndNew->trigger();
  };
}

std::function<void(TBalanceBill&, HostFixture&)> stored(const char* field, std::string value) {
  return [field, value](TBalanceBill&, HostFixture& h) {
    EXPECT_EQ(deltaValue(h.proxy(), field), value) << field;
  };
}

TEST(ReceiptWindow, ChecksBeforeSaving) {
  const QString longNote(600, QChar(u'说'));
  RunWindowRows<TBalanceBill>(openReceipt, {{"no client",
                                             saving("10", "", false, true),
                                             kNothingSent,
                                             {"【客户名称】值为空，保存被取消，请检查数据！"},
                                             {{"edtAccAmt", "10.00"}},
                                             true,
                                             {}},
                                            {"no account",
                                             saving("10", "", true, false),
                                             kNothingSent,
                                             {"【收款帐户】值为空，保存被取消，请检查数据！"},
                                             {},
                                             true,
                                             {}},
                                            {"no amount",
                                             saving("", "", true, true),
                                             kNothingSent,
                                             {"【收款金额】值为空，保存被取消，请检查数据！"},
                                             {},
                                             true,
                                             {}},
                                            {"amount not a number",
                                             saving("12a", "", true, true),
                                             kNothingSent,
                                             {"本次实收金额必须是数字"},
                                             {{"edtAccAmt", "12a"}},
                                             true,
                                             {}},
                                            {"negative write-off",
                                             saving("10", "-1", true, true),
                                             kNothingSent,
                                             {"本次抹零金额不能是负数"},
                                             {{"edtTrimAmt", "-1"}},
                                             true,
                                             {}},
                                            {"three decimals",
                                             saving("10.125", "", true, true),
                                             kNothingSent,
                                             {"本次实收金额最多只能有2位小数"},
                                             {{"edtAccAmt", "10.125"}},
                                             true,
                                             {}},
                                            {"note too long",
                                             saving("10", "", true, true, longNote),
                                             kNothingSent,
                                             {"【收款说明】最多512个字，保存被取消，请检查数据！"},
                                             {},
                                             true,
                                             {}},
                                            {"quotes and backslashes kept as typed",
                                             saving("10", "0.3", true, true, "O'Neil \\ \"x\""),
                                             {kSaveReceipt},
                                             {},
                                             {},
                                             true,
                                             [](TBalanceBill& w, HostFixture& h) {
                                               stored("RevMemo", "O'Neil \\ \"x\"")(w, h);
                                               stored("TrimAmt", "0.3")(w, h);
                                             }}});
}

TEST(PaymentWindow, NamesTheVendorAndSavesIntoPayments) {
  RunWindowRows<TBalanceBill>(openPayment,
                              {{"no vendor",
                                saving("10", "", false, true),
                                kNothingSent,
                                {"【供货商】值为空，保存被取消，请检查数据！"},
                                {},
                                true,
                                {}},
                               {"no account",
                                saving("10", "", true, false),
                                kNothingSent,
                                {"【付款帐户】值为空，保存被取消，请检查数据！"},
                                {},
                                true,
                                {}},
                               {"no amount",
                                saving("", "", true, true),
                                kNothingSent,
                                {"【付款金额】值为空，保存被取消，请检查数据！"},
                                {},
                                true,
                                {}},
                               {"saved with a PM code",
                                saving("99.99", "", true, true),
                                {kSavePayment},
                                {},
                                {},
                                true,
                                [](TBalanceBill& w, HostFixture& h) {
                                  stored("AccAmt", "99.99")(w, h);
                                  stored("TrimAmt", "0")(w, h);
                                  EXPECT_EQ(deltaValue(h.proxy(), "BCode").substr(0, 2), "PM");
                                  EXPECT_EQ(BoxText(w, "lblBillName"), "付款单");
                                  EXPECT_EQ(h.ui().modalShown.front(), "TfrmSelectVendor");
                                  saveShot(w, "money_payment");
                                }}});
}

TEST(ReceiptWindow, ShowsTheDebtAsItWasWhenTheClientWasChosen) {
  HostFixture h;
  auto w = openReceipt(h);
  ASSERT_TRUE(w);
  // Cancelled dialog on a new bill: nothing chosen, "0".
  h.ui().scripts["TfrmSelectClient"] = [](QDialog&) { return 0; };
  w->actSelectTrader->trigger();
  EXPECT_EQ(BoxText(*w, "lblBalance"), "0");
  EXPECT_EQ(BoxText(*w, "edttrader"), "");
  // Chosen: the client's balance now.
  h.ui().scripts["TfrmSelectClient"] = pickSecondRow;
  w->actSelectTrader->trigger();
  EXPECT_EQ(BoxText(*w, "edttrader"), "西城小店");
  EXPECT_EQ(BoxText(*w, "lblBalance"), "-30.00");
  w->actSelectAccount->trigger();
  Type(*w, "edtAccAmt", "5");
  w->actSaveAndNew->trigger();
  EXPECT_EQ(BoxText(*w, "lblBalance"), "0");  // the next new bill
  w->actPrior->trigger();
  EXPECT_EQ(BoxText(*w, "lblBalance"), "-30.00");
  // An earlier bill of the same client keeps the debt stored with it, not today's.
  w->actPrior->trigger();
  EXPECT_EQ(BoxText(*w, "edttrader"), "西城小店");
  EXPECT_EQ(BoxText(*w, "lblBalance"), "80.00");
  saveShot(*w, "money_receipt_stored");
}

}  // namespace
