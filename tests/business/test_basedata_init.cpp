// The opening-balance windows of clients, vendors and accounts: the rows they load, the change
// log they send (exactly the edited rows, with the table's keys), what a refusal leaves behind,
// and refresh dropping unsaved amounts.
#include <gtest/gtest.h>

#include <QAbstractItemModel>
#include <QApplication>
#include <QFile>
#include <QHeaderView>
#include <QTest>
#include <QToolButton>
#include <memory>
#include <string>
#include <vector>

#include "basedata/openingbalance.h"
#include "basedata_testing.h"
#include "fakehost.h"
#include "vlt/host.h"

using namespace vlt;
using namespace vlt::host;
using vlt::business::TOpeningBalanceForm;
using vlt::test::packetOf;

namespace {

const std::string kClientSql =
    "SELECT * from (SELECT M.TraderID,t.name as traderName,t.IsClient,m.Bid,M.IOAmount,"
    "M.IODirection FROM ts_traderbalancedetailflow AS M LEFT JOIN td_trader as T on "
    "m.TraderID=t.Id) as dlt where IsClient='True' and bid='-99'";
const std::string kVendorSql =
    "SELECT * from (SELECT M.TraderID,t.name as traderName,t.IsClient,m.Bid,M.IOAmount,"
    "M.IODirection FROM ts_traderbalancedetailflow AS M LEFT JOIN td_trader as T on "
    "m.TraderID=t.Id) as dlt where IsClient='False' and bid='-99'";
const std::string kAccountSql =
    "SELECT * from (SELECT M.AccountID,A.name as AccountName,m.Bid,M.IOAmount,M.IODirection FROM "
    "ts_accountdetailflow AS M LEFT JOIN td_account as A on m.AccountID=A.Id) as dlt where "
    "bid=-99";

// One window of the family and what tells it apart.
struct InitWindow {
  const char* className;
  const char* caption;
  std::string sql;
  std::string saveCall;  // the save call as the proxy records it
  const char* keyField;  // TraderID / AccountID
  QString nameHeader;
  QString amountHeader;
  std::vector<std::string> ids;    // of the three rows
  std::vector<std::string> names;  // of the three rows
  Packet rows;  // three opening rows, amounts 100, 0 and -20.5, the last one a credit
};

const std::vector<std::string> kTraderIds{"300000000000001", "300000000000002", "300000000000003"};
const std::vector<std::string> kTraderNames{"东方商行", "O'Neil & Co", "小王"};
const std::vector<std::string> kAccountIds{"400000000000001", "400000000000002", "400000000000003"};
const std::vector<std::string> kAccountNames{"现金", "工商银行", "支付宝"};

Packet traderRows(const char* isClient) {
  return packetOf({"TraderID", "traderName", "IsClient", "Bid", "IOAmount", "IODirection"},
                  {{kTraderIds[0], kTraderNames[0], isClient, "-99", "100.0000", "1"},
                   {kTraderIds[1], kTraderNames[1], isClient, "-99", "0.0000", "1"},
                   {kTraderIds[2], kTraderNames[2], isClient, "-99", "-20.5000", "-1"}});
}

const std::vector<InitWindow>& Windows() {
  static const std::vector<InitWindow> windows = {
      {"uBaseDataClientInit.TfrmBaseDataClientInit", "客户应收款初始化", kClientSql,
       "SaveUserDBDataByDelta|10001_01|ts_traderbalancedetailflow|TraderID,Bid", "TraderID",
       "客户名称", "期初应收余额", kTraderIds, kTraderNames, traderRows("True")},
      {"uBaseDataVendorInit.TfrmBaseDataVendorInit", "供货商应付款初始化", kVendorSql,
       "SaveUserDBDataByDelta|10001_01|ts_traderbalancedetailflow|TraderID,Bid", "TraderID",
       "供货商名称", "期初应付余额", kTraderIds, kTraderNames, traderRows("False")},
      {"uBaseDataAccountInit.TfrmBaseDataAccountInit", "帐户余额初始化", kAccountSql,
       "SaveUserDBDataByDelta|10001_01|ts_accountdetailflow|AccountID,Bid", "AccountID", "帐户名称",
       "期初帐户余额", kAccountIds, kAccountNames,
       packetOf({"AccountID", "AccountName", "Bid", "IOAmount", "IODirection"},
                {{kAccountIds[0], kAccountNames[0], "-99", "100.0000", "1"},
                 {kAccountIds[1], kAccountNames[1], "-99", "0.0000", "1"},
                 {kAccountIds[2], kAccountNames[2], "-99", "-20.5000", "-1"}})},
  };
  return windows;
}

class BaseDataInitTest : public test::BaseDataTest {
 protected:
  // Opens the window on its three rows.
  std::unique_ptr<TOpeningBalanceForm> open(const InitWindow& w) {
    host.proxy().answers.clear();
    host.proxy().answer(w.sql, w.rows);
    auto window = test::createWindow<TOpeningBalanceForm>("VltBusiness.bpl", w.className);
    if (window) test::showSettled(*window);
    return window;
  }
  // The data set the grid shows.
  static ClientDataSet& rowsOf(TOpeningBalanceForm& w) { return *w.nxGrd->Link().DataSet(); }
  // Types an amount into row `row` of the amount column, as the grid's editor would commit it.
  static void setAmount(TOpeningBalanceForm& w, int row, const QString& text) {
    QAbstractItemModel* m = w.nxGrd->model();
    ASSERT_TRUE(m->setData(m->index(row, 1), text));
  }
  std::vector<std::string> saves() { return host.proxy().callsStartingWith("SaveUserDBData"); }
};

TEST_F(BaseDataInitTest, OpensOnTheOpeningRowsWithTheNameAndAmountColumnsOnly) {
  for (const InitWindow& w : Windows()) {
    SCOPED_TRACE(w.className);
    test::FreshHost fresh(w.sql, w.rows);
    auto window = test::openWindow<TOpeningBalanceForm>("VltBusiness.bpl", w.className);
    ASSERT_TRUE(window);
    EXPECT_EQ(fresh.proxy().calls,
              std::vector<std::string>{"GetUserDBDataBySql|10001_01|" + w.sql});
    EXPECT_EQ(window->windowTitle(), w.caption);

    ClientDataSet& ds = rowsOf(*window);
    EXPECT_EQ(ds.RecordCount(), 3);
    // Amounts keep every digit a 25-digit flow amount may have.
    EXPECT_EQ(ds.FieldByName("IOAmount").Type(), DataType::Decimal);
    EXPECT_EQ(ds.FieldByName("IOAmount").Precision(), 25);
    EXPECT_EQ(ds.FieldByName("IODirection").Type(), DataType::Int16);

    QAbstractItemModel* m = window->nxGrd->model();
    std::vector<QString> shown;
    for (int c = 0; c < m->columnCount(); ++c)
      if (!window->nxGrd->isColumnHidden(c))
        shown.push_back(m->headerData(c, Qt::Horizontal).toString());
    EXPECT_EQ(shown, (std::vector<QString>{w.nameHeader, w.amountHeader}));
    EXPECT_EQ(window->nxGrd->columnWidth(0), 180);
    EXPECT_EQ(window->nxGrd->columnWidth(1), 120);
    // Only the amount takes typing.
    EXPECT_FALSE(m->flags(m->index(0, 0)) & Qt::ItemIsEditable);
    EXPECT_TRUE(m->flags(m->index(0, 1)) & Qt::ItemIsEditable);
    for (int r = 0; r < 3; ++r)
      EXPECT_EQ(m->data(m->index(r, 0)).toString(), qs(w.names[static_cast<std::size_t>(r)]));
  }
}

TEST_F(BaseDataInitTest, SaveSendsTheEditedRowsWithTheTableAndKeysThenNothingIsLeftToSave) {
  for (const InitWindow& w : Windows()) {
    SCOPED_TRACE(w.className);
    host.proxy().calls.clear();
    host.proxy().deltas.clear();
    host.ui().messages.clear();
    auto window = open(w);
    ASSERT_TRUE(window);
    // Unchanged rows, and an amount typed as the cell shows it, leave nothing to save.
    QAbstractItemModel* m = window->nxGrd->model();
    setAmount(*window, 1, m->data(m->index(1, 1)).toString());
    window->btnSaveNew->click();
    EXPECT_TRUE(saves().empty());
    EXPECT_EQ(host.ui().messages, QStringList{"未发现需要保存的数据！"});
    host.ui().messages.clear();

    setAmount(*window, 0, "1250.5");
    setAmount(*window, 2, "-3");
    window->btnSaveNew->click();

    ASSERT_EQ(saves(), std::vector<std::string>{w.saveCall});
    ASSERT_EQ(host.proxy().deltas.size(), 1u);
    const Delta& d = host.proxy().deltas[0];
    ASSERT_EQ(d.rows.size(), 2u);
    const int key = d.fields.indexOf(w.keyField);
    const int bid = d.fields.indexOf("Bid");
    const int amount = d.fields.indexOf("IOAmount");
    const int direction = d.fields.indexOf("IODirection");
    ASSERT_TRUE(key >= 0 && bid >= 0 && amount >= 0 && direction >= 0);
    struct Expected {
      std::string id, oldAmount, newAmount, direction;
    };
    const Expected expected[] = {{w.ids[0], "100", "1250.5", "1"}, {w.ids[2], "-20.5", "-3", "-1"}};
    for (std::size_t i = 0; i < 2; ++i) {
      const DeltaRow& r = d.rows[i];
      const auto at = [](const Row& row, int f) {
        return row[static_cast<std::size_t>(f)].toText();
      };
      EXPECT_EQ(r.kind, ChangeKind::Modify);
      EXPECT_EQ(at(r.oldValues, key), expected[i].id);
      EXPECT_EQ(at(r.oldValues, bid), "-99");
      EXPECT_EQ(at(r.oldValues, amount), expected[i].oldAmount);
      EXPECT_EQ(at(r.newValues, amount), expected[i].newAmount);
      // The direction is sent as it came.
      EXPECT_EQ(at(r.newValues, direction), expected[i].direction);
      EXPECT_EQ(at(r.oldValues, direction), expected[i].direction);
    }
    EXPECT_TRUE(host.ui().messages.isEmpty());
    ClientDataSet& ds = rowsOf(*window);
    EXPECT_EQ(ds.ChangeCount(), 0);
    EXPECT_EQ(ds.State(), DataSetState::Browse);

    // Saving again without an edit in between has nothing to send.
    window->btnSaveNew->click();
    EXPECT_EQ(saves().size(), 1u);
    EXPECT_EQ(host.ui().messages, QStringList{"未发现需要保存的数据！"});
  }
}

TEST_F(BaseDataInitTest, ARefusedSaveKeepsTheChangesUntilSavedAgainOrRefreshed) {
  auto window = open(Windows()[1]);
  ASSERT_TRUE(window);
  ClientDataSet& ds = rowsOf(*window);
  setAmount(*window, 1, "88");
  host.proxy().statuses.push_back("Lock wait timeout exceeded");
  window->btnSaveNew->click();
  EXPECT_EQ(host.ui().messages,
            QStringList{"保存失败!错误原因：数据正被其他用户使用，请稍后重试。"});
  EXPECT_EQ(ds.ChangeCount(), 1);
  ds.SetRecNo(2);
  EXPECT_EQ(ds.FieldByName("IOAmount").AsString(), "88");

  // Saved again: the same change goes out once more, and this time it sticks.
  window->btnSaveNew->click();
  ASSERT_EQ(host.proxy().deltas.size(), 2u);
  EXPECT_EQ(host.proxy().deltas[1], host.proxy().deltas[0]);
  EXPECT_EQ(ds.ChangeCount(), 0);

  // Refused again, then refreshed: the typed amount is gone and the rows are read anew.
  setAmount(*window, 1, "99");
  host.proxy().statuses.push_back("Record has changed since it was read");
  window->btnSaveNew->click();
  EXPECT_EQ(ds.ChangeCount(), 1);
  host.proxy().answers.clear();
  host.proxy().answer(
      kVendorSql, packetOf({"TraderID", "traderName", "IsClient", "Bid", "IOAmount", "IODirection"},
                           {{"300000000000002", "O'Neil & Co", "False", "-99", "88.0000", "1"}}));
  window->btnRefresh->click();
  EXPECT_EQ(host.proxy().callsStartingWith("GetUserDBDataBySql").size(), 2u);
  EXPECT_EQ(ds.ChangeCount(), 0);
  ASSERT_EQ(ds.RecordCount(), 1);
  EXPECT_EQ(ds.FieldByName("IOAmount").AsString(), "88");
  EXPECT_EQ(window->nxGrd->model()->rowCount(), 1);
  window->btnSaveNew->click();
  EXPECT_EQ(saves().size(), 3u);
  EXPECT_EQ(host.ui().messages.last(), "未发现需要保存的数据！");
}

TEST_F(BaseDataInitTest, AnAmountStillBeingTypedIsSavedAndRefreshDropsIt) {
  struct Case {
    const char* name;
    bool save;  // else refresh
  };
  for (const Case c : {Case{"save", true}, Case{"refresh", false}}) {
    SCOPED_TRACE(c.name);
    test::FreshHost fresh(kAccountSql, Windows()[2].rows);
    auto window =
        test::createWindow<TOpeningBalanceForm>("VltBusiness.bpl", Windows()[2].className);
    ASSERT_TRUE(window);
    window->show();
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    window->nxGrd->SelectCell(1, 1);
    window->nxGrd->edit(window->nxGrd->currentIndex());
    QWidget* editor = QApplication::focusWidget();
    ASSERT_TRUE(editor && window->nxGrd->viewport()->isAncestorOf(editor));
    QTest::keyClicks(editor, "5000");
    // The tool buttons leave the focus where it is, so the cell is still being edited.
    if (c.save)
      QTest::mouseClick(window->btnSaveNew, Qt::LeftButton);
    else
      QTest::mouseClick(window->btnRefresh, Qt::LeftButton);
    QApplication::processEvents();

    ClientDataSet& ds = rowsOf(*window);
    ds.SetRecNo(2);
    if (c.save) {
      ASSERT_EQ(fresh.proxy().deltas.size(), 1u);
      EXPECT_EQ(fresh.proxy().deltas[0].rows.size(), 1u);
      EXPECT_EQ(ds.FieldByName("IOAmount").AsString(), "5000");
      EXPECT_TRUE(fresh.ui().messages.isEmpty());
    } else {
      EXPECT_TRUE(fresh.proxy().deltas.empty());
      EXPECT_EQ(ds.FieldByName("IOAmount").AsString(), "0");
    }
    EXPECT_EQ(ds.ChangeCount(), 0);
  }
}

TEST_F(BaseDataInitTest, Screenshots) {
  if (qEnvironmentVariableIsEmpty("VLT_SHOTS_DIR")) GTEST_SKIP() << "VLT_SHOTS_DIR not set";
  QFile style(qEnvironmentVariable("VLT_SOURCE_DIR") + "/launcher/VltDefault.style");
  ASSERT_TRUE(style.open(QIODevice::ReadOnly));
  qApp->setStyleSheet(QString::fromUtf8(style.readAll()));
  const char* const names[] = {"basedata_client_init", "basedata_vendor_init",
                               "basedata_account_init"};
  for (std::size_t i = 0; i < Windows().size(); ++i) {
    auto window = open(Windows()[i]);
    ASSERT_TRUE(window);
    setAmount(*window, 1, "3600");
    test::saveShot(*window, names[i]);
  }
  qApp->setStyleSheet(QString());
}

}  // namespace
