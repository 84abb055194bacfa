// Other income and expenses: the entry window, its category dialog and the list, against the
// recording fake service.

#include <gtest/gtest.h>

#include <QDate>
#include <QLabel>
#include <QPlainTextEdit>
#include <QRadioButton>

#include "basedata_testing.h"
#include "cash/uBill_Cas_InOut.h"
#include "cash/uBill_Cas_Mgr.h"
#include "cash/uSelectCashIoType.h"
#include "formrows.h"
#include "windowrows.h"

namespace {

using namespace vlt;
using namespace vlt::test;

constexpr const char* kEntry = "uBill_Cas_InOut.TfrmBill_Cas_InOut";
constexpr const char* kList = "uBill_Cas_Mgr.TfrmBill_Cas_Mgr";

const Packet kTypes =
    packetOf({"Id", "Name", "IODirect"}, {{"501", "房租", "-1"}, {"502", "水电", "-1"}});
const Packet kAccounts =
    packetOf({"Id", "Name", "Balance"}, {{"4001", "现金", "10.00"}, {"4002", "工商银行", "99.00"}});

int pickSecondRow(QDialog& d) {
  auto& p = dynamic_cast<vlt::business::TBaseDataPickForm&>(d);
  p.grd->SelectCell(1, 1);
  emit p.grd->CellDblClick(1, 1);
  return 0;
}

std::string iso(const QDate& d) {
  return d.toString(Qt::ISODate).toStdString();
}

std::unique_ptr<TfrmBill_Cas_InOut> openEntry(HostFixture& h, int direction,
                                              const QString& mode = "Append") {
  host::CurUserInfo().UserDBID = kDb;
  host::CurUserInfo().UserID = "10001";
  host::FModalResult() = 0;
  h.proxy().answer("td_accountiotype", kTypes);
  h.proxy().answer("td_Account", kAccounts);
  h.ui().scripts["TfrmSelectCashIOType"] = pickSecondRow;
  h.ui().scripts["TfrmSelectAccount"] = pickSecondRow;
  auto w = createWindow<TfrmBill_Cas_InOut>(kPkg, kEntry, mode);
  if (w) {
    w->Tag = direction;
    showSettled(*w);
  }
  return w;
}

std::unique_ptr<TfrmBill_Cas_InOut> openExpense(HostFixture& h) {
  return openEntry(h, -1);
}

auto entering(bool category, bool account, const QString& amount, const QString& note = {}) {
  return [=](TfrmBill_Cas_InOut& w) {
    if (category) w.actSelectCashIoType->trigger();
    if (account) w.actSelectAccount->trigger();
    Type(w, "edtAmt", amount);
    w.mmoRemark->setPlainText(note);
    w.actSaveAndNew->trigger();
  };
}

TEST(CashEntry, ChecksAndWritesTheStatement) {
  const std::string insert =
      kRun +
      "INSERT INTO tb_acc_io (Bid,Bdate,BIoDirect,AccountId,AccIoTypeID,AccAmt,Remark,CreateOp,"
      "CreateTime) values ('";
  const std::string values =
      "','" + iso(QDate::currentDate()) + "',-1,'4002','502',12.50,'O''Neil \\ 付','10001','";
  RunWindowRows<TfrmBill_Cas_InOut>(
      openExpense,
      {{"no category",
        entering(false, true, "1"),
        kNothingSent,
        {"支出类别不能为空！"},
        {},
        true,
        {}},
       {"no account",
        entering(true, false, "1"),
        kNothingSent,
        {"帐户名称不能为空！"},
        {},
        true,
        {}},
       {"no amount", entering(true, true, ""), kNothingSent, {"支出金额不能为空！"}, {}, true, {}},
       {"amount that is statement text",
        entering(true, true, "1);drop table x;--"),
        kNothingSent,
        {"金额必须是数字"},
        {{"edtAmt", "1);drop table x;--"}},
        true,
        {}},
       {"negative amount",
        entering(true, true, "-3"),
        kNothingSent,
        {"金额不能是负数"},
        {{"edtAmt", "-3"}},
        true,
        {}},
       {"saved: a number literal, an ISO date, the note as typed; boxes emptied",
        entering(true, true, "12.50", "O'Neil \\ 付"),
        kNotChecked,
        {},
        {{"edtAccIoType", ""}, {"edtAccount", ""}, {"edtAmt", ""}, {"mmoRemark", ""}},
        true,
        [insert, values](TfrmBill_Cas_InOut&, HostFixture& h) {
          const std::vector<std::string> sent = ChangesSent(h.proxy());
          ASSERT_EQ(sent.size(), 1u);
          EXPECT_EQ(sent[0].substr(0, insert.size()), insert);
          EXPECT_NE(sent[0].find(values), std::string::npos) << sent[0];
          EXPECT_EQ(host::FModalResult(), 27);
        }}});
}

TEST(CashEntry, RefusedSaveKeepsWhatWasTyped) {
  HostFixture h;
  auto w = openExpense(h);
  ASSERT_TRUE(w);
  w->actSelectCashIoType->trigger();
  w->actSelectAccount->trigger();
  Type(*w, "edtAmt", "8");
  h.proxy().statuses = {"账户不存在"};
  w->actSaveAndClose->trigger();
  EXPECT_EQ(h.ui().messages, QStringList{"插入数据失败,错误原因：账户不存在"});
  EXPECT_TRUE(w->isVisible());
  EXPECT_EQ(BoxText(*w, "edtAmt"), "8");
  EXPECT_EQ(BoxText(*w, "edtAccount"), "工商银行");
  EXPECT_EQ(host::FModalResult(), 0);
}

TEST(CashEntry, TwoSavesInsertTwoRecordsAndAnEditUpdatesTheOne) {
  HostFixture h;
  auto w = openEntry(h, 1);
  ASSERT_TRUE(w);
  EXPECT_EQ(BoxText(*w, "lblAccIoType"), "收入类别");
  EXPECT_EQ(w->windowTitle(), "其他收入");
  entering(true, true, "5")(*w);
  entering(true, true, "6")(*w);
  const std::vector<std::string> sent = ChangesSent(h.proxy());
  ASSERT_EQ(sent.size(), 2u);
  auto id = [](const std::string& sql) { return sql.substr(sql.find("values ('") + 9, 15); };
  EXPECT_NE(id(sent[0]), id(sent[1]));
  EXPECT_NE(sent[1].find(",1,'4002','502',6,"), std::string::npos) << sent[1];
  saveShot(*w, "money_cash_entry");

  HostFixture h2;
  auto e = openEntry(h2, 1, "Edit");
  ASSERT_TRUE(e);
  e->FBid = "777";
  vlt::templates::SetBoxChoice(*e->edtAccIoType, "工资", "503");
  vlt::templates::SetBoxChoice(*e->edtAccount, "现金", "4001");
  e->edtdate->setText("2026-11-30");
  Type(*e, "edtAmt", "100");
  e->actSaveAndClose->trigger();
  const std::vector<std::string> updated = ChangesSent(h2.proxy());
  ASSERT_EQ(updated.size(), 1u);
  EXPECT_EQ(updated[0].substr(0, kRun.size() + 96),
            kRun +
                "Update tb_acc_io set AccIoTypeID='503',Bdate='2026-11-30',AccountId='4001',"
                "AccAmt=100,Remark='',");
  EXPECT_NE(updated[0].find("UpdateOP='10001'"), std::string::npos);
  EXPECT_NE(updated[0].find(" where BID='777'"), std::string::npos);
}

TEST(CashCategoryDialog, OffersOnlyTheWindowsDirection) {
  for (int direction : {1, -1}) {
    SCOPED_TRACE(direction);
    HostFixture h;
    auto w = openEntry(h, direction);
    ASSERT_TRUE(w);
    h.ui().scripts["TfrmSelectCashIOType"] = [direction](QDialog& d) {
      saveShot(d, direction > 0 ? "money_cash_category_in" : "money_cash_category_out");
      return 0;
    };
    w->actSelectCashIoType->trigger();
    EXPECT_EQ(h.proxy().callsStartingWith("GetUserDBDataBySql").back(),
              std::string("GetUserDBDataBySql|") + kDb +
                  "|select * from td_accountiotype where IODirect=" + std::to_string(direction));
  }
}

// ---- the list ---------------------------------------------------------------------------------

std::unique_ptr<TfrmBill_Cas_Mgr> openList(HostFixture& h, int direction, const Packet& rows) {
  host::CurUserInfo().UserDBID = kDb;
  host::CurUserInfo().UserID = "10001";
  h.proxy().answer("FROM tb_acc_io", rows);
  auto w = createWindow<TfrmBill_Cas_Mgr>(kPkg, kList);
  if (w) {
    w->Tag = direction;
    showSettled(*w);
  }
  return w;
}

const Packet kRecords =
    packetOf({"Bid", "BDate", "BIoDirect", "AccountId", "AccIoTypeID", "AccAmt", "ReMark",
              "UpdateTime", "CreateTime", "UpdateOP", "CreateOp", "AccName", "AccIoTypeName"},
             {{"901", "2026-12-01", "-1", "4001", "501", "300.00", "十二月房租", "",
               "2026-12-01 08:00:00", "", "10001", "现金", "房租"}});

std::string lastLoad(const FakeServerMethods& p) {
  const auto loads = p.callsStartingWith("GetUserDBDataBySql");
  return loads.empty() ? std::string() : loads.back();
}

TEST(CashList, PeriodsNarrowTheListOfItsDirection) {
  HostFixture h;
  auto w = openList(h, -1, kRecords);
  ASSERT_TRUE(w);
  EXPECT_EQ(w->windowTitle(), "费用支出");
  EXPECT_TRUE(w->rbCurMonth->isChecked());
  const QDate today = QDate::currentDate();
  const QDate first(today.year(), today.month(), 1);
  EXPECT_NE(lastLoad(h.proxy()).find("where biodirect=-1 and (bdate between '" + iso(first) +
                                     "' and '" + iso(first.addMonths(1).addDays(-1)) + "')"),
            std::string::npos)
      << lastLoad(h.proxy());
  w->rbCurday->setChecked(true);
  EXPECT_NE(lastLoad(h.proxy()).find("where biodirect=-1 and (bdate='" + iso(today) + "')"),
            std::string::npos);
  w->rbCurWeek->setChecked(true);
  const QDate monday = today.addDays(1 - today.dayOfWeek());
  EXPECT_NE(lastLoad(h.proxy()).find("(bdate between '" + iso(monday) + "' and '" +
                                     iso(monday.addDays(6)) + "')"),
            std::string::npos);
  EXPECT_EQ(h.proxy().callsStartingWith("GetUserDBDataBySql").size(), 3u);
  saveShot(*w, "money_cash_list");
}

TEST(CashList, ReloadsOnlyWhenTheEntrySaved) {
  struct Case {
    const char* name;
    bool save;
    std::size_t loads;
  };
  for (const Case& c : {Case{"cancelled", false, 1}, Case{"saved", true, 2}}) {
    SCOPED_TRACE(c.name);
    HostFixture h;
    auto w = openList(h, 1, kRecords);
    ASSERT_TRUE(w);
    h.proxy().answer("td_accountiotype", kTypes);
    h.proxy().answer("td_Account", kAccounts);
    h.ui().scripts["TfrmSelectCashIOType"] = pickSecondRow;
    h.ui().scripts["TfrmSelectAccount"] = pickSecondRow;
    const bool save = c.save;
    h.ui().scripts["TfrmBill_Cas_InOut"] = [save](QDialog& d) {
      auto& e = dynamic_cast<TfrmBill_Cas_InOut&>(d);
      EXPECT_EQ(e.Tag, 1);
      if (save) entering(true, true, "3")(e);
      return 0;
    };
    w->actAdd->trigger();
    EXPECT_EQ(
        h.proxy().callsStartingWith("GetUserDBDataBySql|" + std::string(kDb) + "|SELECT M.").size(),
        c.loads);
    EXPECT_EQ(host::FModalResult(), 0);
  }
}

TEST(CashList, ChangeFillsTheEntryAndDeleteAsks) {
  HostFixture h;
  auto w = openList(h, -1, kRecords);
  ASSERT_TRUE(w);
  h.ui().scripts["TfrmBill_Cas_InOut"] = [](QDialog& d) {
    auto& e = dynamic_cast<TfrmBill_Cas_InOut&>(d);
    EXPECT_EQ(e.TagString, "Edit");
    EXPECT_EQ(e.FBid, "901");
    EXPECT_EQ(BoxText(e, "edtAccIoType"), "房租");
    EXPECT_EQ(e.edtAccIoType->property("TagString").toString(), "501");
    EXPECT_EQ(BoxText(e, "edtdate"), "2026-12-01");
    EXPECT_EQ(BoxText(e, "edtAmt"), "300.00");
    EXPECT_EQ(BoxText(e, "edtCreateOp"), "10001");
    EXPECT_EQ(BoxText(e, "edtUpdateOp"), "10001");  // the user changing it now
    return 0;
  };
  w->actModify->trigger();
  EXPECT_EQ(h.ui().modalShown, QStringList{"TfrmBill_Cas_InOut"});

  h.ui().confirmAnswers = {true};
  w->actDel->trigger();
  EXPECT_EQ(ChangesSent(h.proxy()),
            std::vector<std::string>{kRun + "delete from tb_acc_io where BID='901'"});

  HostFixture empty;
  auto none = openList(empty, -1, packetOf({"Bid", "BDate", "AccAmt"}));
  ASSERT_TRUE(none);
  none->actDel->trigger();
  none->actModify->trigger();
  EXPECT_EQ(empty.ui().messages,
            (QStringList{"未发现可以删除的资料！", "没检测到需要修改的数据，请选择！"}));
  EXPECT_TRUE(ChangesSent(empty.proxy()).empty());
}

}  // namespace
