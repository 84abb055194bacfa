// The business frame and its power gate: the account-set prompt, ownership, the power cache
// and its message, the three tabs, every function's text and module code, and how the frame
// opens (or cannot yet open) a function's window.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QGridLayout>
#include <QLineEdit>
#include <QPointer>
#include <QScrollArea>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QToolButton>
#include <QTreeWidget>
#include <memory>

#include "fakehost.h"
#include "uBusinessClasses.h"
#include "uBusinessFrame.h"
#include "uMainForm.h"
#include "uSelectUserDB.h"
#include "vlt/errors.h"
#include "vlt/host.h"

using namespace vlt;
using namespace vlt::host;
using vlt::test::packetOf;

namespace {

const QString kPrompt = "您本次使用业务模块，尚未设置目标帐套，是否选择?";
const QString kNoPower = "您没有使用该模块的权限，请创建该帐套的管理申请！";
const QString kNotYetOpen = "该功能尚未开放，敬请期待！";
const std::string kPowerSql = "select * from ts_userpower where UserID=";

// Windows the tests register under names of their own: they record that they were created and
// can fail in their create handler as a real window might.
class TProbeWindow : public TForm {
 public:
  enum Fault { None, Throws, Aborts };
  TProbeWindow(QWidget* owner, QString name, Fault fault)
      : TForm(owner), name_(std::move(name)), fault_(fault) {}
  void FormCreate() override {
    if (fault_ == Throws) throw vlt::Error("窗口创建失败：缺少数据");
    if (fault_ == Aborts) Abort();
    setProperty("probe", name_);
    TForm::FormCreate();
  }

 private:
  QString name_;
  Fault fault_;
};

void registerProbes() {
  static bool done = false;
  if (done) return;
  done = true;
  const std::pair<const char*, TProbeWindow::Fault> probes[] = {
      {"uBusinessProbe.TfrmBusinessProbe", TProbeWindow::None},
      {"uBusinessProbeFails.TfrmBusinessProbeFails", TProbeWindow::Throws},
      {"uBusinessProbeAborts.TfrmBusinessProbeAborts", TProbeWindow::Aborts},
  };
  for (const auto& [name, fault] : probes) {
    const QString qualified = QString::fromLatin1(name);
    RegisterClass(TClassInfo{qualified, false, [qualified, f = fault](QWidget* owner) -> QWidget* {
                               return new TProbeWindow(owner, qualified, f);
                             }});
  }
}

// The function windows open at the moment.
std::vector<TForm*> openWindows() {
  std::vector<TForm*> out;
  for (QWidget* w : QApplication::topLevelWidgets())
    if (auto* form = qobject_cast<TForm*>(w); form && form->isVisible()) out.push_back(form);
  return out;
}

void closeAll() {
  for (TForm* w : openWindows())
    w->close();
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

Packet grants(const std::string& userId, const std::vector<std::string>& modules) {
  std::vector<std::vector<std::string>> rows;
  for (const std::string& m : modules)
    rows.push_back({userId, m, "模块" + m, m.substr(0, 2) == "DB" ? "1" : "2"});
  return packetOf({"UserID", "ModuleID", "ModuleCnName", "groupID"}, rows);
}

class BusinessTest : public ::testing::Test {
 protected:
  test::HostFixture host;
  std::unique_ptr<TfrmBusiness> frame;
  std::vector<std::string> errors;

  void SetUp() override {
    registerProbes();
    CurUserInfo().UserID = "10001";
    GlobalDM().cdsUserPower.Close();
    SetApplicationExceptionHandler([this](const std::exception& e) { errors.push_back(e.what()); });
    frame = std::make_unique<TfrmBusiness>();
  }
  void TearDown() override {
    closeAll();
    frame.reset();
    GlobalDM().cdsUserPower.Close();
  }

  test::FakeServerMethods& proxy() { return host.proxy(); }
  test::FakeHostUi& ui() { return host.ui(); }

  // Runs the gate as an action does: "passed", "aborted" or the escaped error.
  std::string gate(const std::string& moduleId) {
    try {
      CheckCurUserDBAndPower(moduleId);
      return "passed";
    } catch (const EAbort&) {
      return "aborted";
    } catch (const std::exception& e) {
      return std::string("error: ") + e.what();
    }
  }

  // An operator of another user's set holding these grants (loaded on the next gate).
  void operatorWith(const std::vector<std::string>& modules) {
    CurUserInfo().UserDBID = "20002_01";
    GlobalDM().cdsUserPower.Close();
    proxy().answers.clear();
    proxy().answer(kPowerSql, grants("10001", modules));
  }

  QTreeWidgetItem* reportLeaf(const QString& text) {
    for (QTreeWidgetItem* item :
         frame->tvReport->findItems(text, Qt::MatchExactly | Qt::MatchRecursive))
      if (item->parent()) return item;
    return nullptr;
  }
};

// ---- the gate --------------------------------------------------------------------------------

TEST(BusinessClasses, OwnershipAndPowerStatement) {
  struct Case {
    std::string user, set;
    bool owns;
  };
  const Case owners[] = {
      {"10001", "10001_01", true},  {"10001", "10001_12", true},
      {"1000", "10001_01", false},  // a shorter ID is not the owner of a longer ID's set
      {"10001", "20002_01", false}, {"10001", "10001", false},
      {"10001", "", false},         {"", "_01", false},
  };
  for (const Case& c : owners)
    EXPECT_EQ(business::OwnsUserDB(c.user, c.set), c.owns) << c.user << " " << c.set;
  EXPECT_EQ(business::UserPowerSql("10001"), kPowerSql + "10001");
  // Only a number goes in bare; anything else stays a quoted value.
  EXPECT_EQ(business::UserPowerSql("1 or 1=1"), kPowerSql + "'1 or 1=1'");
  EXPECT_EQ(business::UserPowerSql("x' or '1'='1"), kPowerSql + "'x'' or ''1''=''1'");
}

// Owners pass without asking; an operator's grants are read once from the account set and
// decide by login ID and module code, exactly.
TEST_F(BusinessTest, GateForOwnersAndOperators) {
  struct Case {
    const char* name;
    std::string user, set;
    Packet cache;
    bool passes, queries;
  };
  const Case cases[] = {
      {"owner", "10001", "10001_01", Packet{}, true, false},
      {"operator with the grant", "10001", "20002_01", grants("10001", {"DB_10008", "YW_10002"}),
       true, true},
      {"operator without it", "10001", "20002_01", grants("10001", {"DB_10001", "RP_10002"}), false,
       true},
      {"another operator's grant", "10001", "20002_01", grants("10003", {"YW_10002"}), false, true},
      {"codes compare exactly", "10001", "20002_01", grants("10001", {"yw_10002", "YW_1000"}),
       false, true},
      {"owner's ID begins with the login ID", "1000", "10001_01", grants("1000", {}), false, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    test::HostFixture fresh;
    GlobalDM().cdsUserPower.Close();
    CurUserInfo().UserID = c.user;
    CurUserInfo().UserDBID = c.set;
    fresh.proxy().answer(kPowerSql, c.cache);
    EXPECT_EQ(gate("YW_10002"), c.passes ? "passed" : "aborted");
    EXPECT_EQ(fresh.ui().messages, c.passes ? QStringList{} : QStringList{kNoPower});
    const std::vector<std::string> query = {"GetUserDBDataBySql|" + c.set + "|" + kPowerSql +
                                            c.user};
    EXPECT_EQ(fresh.proxy().calls, c.queries ? query : std::vector<std::string>{});
    EXPECT_TRUE(fresh.ui().confirmations.isEmpty());
  }
}

TEST_F(BusinessTest, PowerCacheIsLoadedOncePerAccountSet) {
  operatorWith({"DB_10001"});
  EXPECT_EQ(gate("DB_10001"), "passed");
  EXPECT_EQ(gate("DB_10002"), "aborted");
  EXPECT_EQ(gate("DB_10001"), "passed");
  EXPECT_EQ(proxy().calls.size(), 1u);
  EXPECT_TRUE(GlobalDM().cdsUserPower.Locate("ModuleID", Value("DB_10001")));

  // Another account set: its own grants decide, not those of the first one.
  CurUserInfo().UserDBID = "30003_02";
  proxy().answers.clear();
  proxy().answer(kPowerSql, grants("10001", {"DB_10002"}));
  EXPECT_EQ(gate("DB_10001"), "aborted");
  EXPECT_EQ(gate("DB_10002"), "passed");
  EXPECT_EQ(proxy().calls,
            (std::vector<std::string>{"GetUserDBDataBySql|20002_01|" + kPowerSql + "10001",
                                      "GetUserDBDataBySql|30003_02|" + kPowerSql + "10001"}));

  // A failed load leaves the gate as the error and is tried again next time.
  CurUserInfo().UserDBID = "40004_01";
  proxy().failWith = "Connection refused";
  EXPECT_EQ(gate("DB_10002"), "error: Connection refused");
  proxy().failWith.clear();
  EXPECT_EQ(gate("DB_10002"), "passed");
  EXPECT_EQ(proxy().calls.size(), 4u);
}

TEST_F(BusinessTest, NoAccountSetDeclined) {
  CurUserInfo().UserDBID.clear();
  EXPECT_EQ(gate("YW_10002"), "aborted");
  EXPECT_EQ(ui().confirmations, QStringList{kPrompt});
  // No window, no power query against no account set, no message.
  EXPECT_TRUE(ui().modalShown.isEmpty());
  EXPECT_TRUE(proxy().calls.empty());
  EXPECT_TRUE(ui().messages.isEmpty());
  EXPECT_TRUE(CurUserInfo().UserDBID.empty());
}

// Answering Yes opens the account-set window by name; what is chosen there becomes the current
// set (CurUserInfo and the main window's box), and nothing else opens in that pass.
TEST_F(BusinessTest, NoAccountSetChoosingOne) {
  struct Case {
    const char* name;
    int chooseRow;  // 0: close without choosing
    bool throws;
    std::string set;
    QString box;
    std::size_t errors;
  };
  const Case cases[] = {
      {"a set chosen", 2, false, "10001_02", "当前帐套：『10001_02』分店", 0},
      {"closed without choosing", 0, false, "", "", 0},
      {"left by an exception after choosing", 1, true, "10001_01", "当前帐套：『10001_01』总店", 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    test::HostFixture fresh;
    CurUserInfo().UserID = "10001";
    errors.clear();
    SetApplicationExceptionHandler([this](const std::exception& e) { errors.push_back(e.what()); });
    auto main = test::createWindow<TfrmMainForm>("VltControlCenter.bpl", "uMainForm.TfrmMainForm");
    ASSERT_NE(main, nullptr);
    fresh.proxy().answer(
        "as dlt where UserID",
        packetOf({"UserID", "UserDBID", "UserDBName", "IsDefault"},
                 {{"10001", "10001_01", "总店", "True"}, {"10001", "10001_02", "分店", "False"}}));
    fresh.ui().confirmAnswers = {true};
    QString tagString;
    QPointer<QDialog> shown;
    fresh.ui().scripts["TfrmSelectUserDB"] = [&](QDialog& d) {
      auto& window = dynamic_cast<TfrmSelectUserDB&>(d);
      tagString = window.TagString;
      shown = &window;
      if (c.chooseRow > 0) {
        window.cdsUB.SetRecNo(c.chooseRow);
        window.actSelectDB->trigger();
      }
      if (c.throws) throw vlt::Error("lost the window");
      return 0;
    };
    frame->Action("act_Bill_Pur_Purchase")->trigger();

    EXPECT_EQ(fresh.ui().confirmations, QStringList{kPrompt});
    EXPECT_EQ(fresh.ui().modalShown, QStringList{"TfrmSelectUserDB"});
    EXPECT_EQ(tagString, "10001");
    EXPECT_TRUE(shown.isNull());  // freed
    EXPECT_EQ(CurUserInfo().UserDBID, c.set);
    EXPECT_EQ(main->edtCurDB->text(), c.box);
    EXPECT_TRUE(GlobalDM().cdsSelectResult.IsEmpty());
    EXPECT_EQ(errors.size(), c.errors);
    // Only the account-set list was read; the function did not open.
    EXPECT_EQ(fresh.proxy().callsStartingWith("GetUserDBDataBySql").size(), 0u);
    EXPECT_TRUE(fresh.ui().messages.isEmpty());
    EXPECT_TRUE(openWindows().empty());
  }

  // With the set chosen the next click goes on to the function.
  test::HostFixture again;
  CurUserInfo() = TCurUserInfo{"10001", "", "", "10001_02"};
  frame->Action("act_Bill_Pur_Purchase")->trigger();
  EXPECT_TRUE(again.ui().confirmations.isEmpty());
  EXPECT_FALSE(again.ui().messages.contains(kNoPower));
}

// ---- layout ----------------------------------------------------------------------------------

TEST_F(BusinessTest, TabsExpandersAndNavigationButtons) {
  EXPECT_EQ(frame->GetBaseControl(), frame->lytBusiness);
  EXPECT_EQ(frame->lytBusiness->objectName(), "lytBusiness");
  QTabWidget* tabs = frame->BSPageControl;
  ASSERT_EQ(tabs->count(), 3);
  const std::pair<const char*, const char*> tabRows[] = {
      {"tbNavi", "业务导航"}, {"tbBSReportCenter", "报表中心"}, {"tbBaseData", "基础资料"}};
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(tabs->widget(i)->objectName(), tabRows[i].first);
    EXPECT_EQ(tabs->tabText(i), QString::fromUtf8(tabRows[i].second));
  }
  EXPECT_TRUE(frame->vsbNavi->widgetResizable());

  struct ExpanderRow {
    TExpander* expander;
    const char* name;
    QString header;
    QStringList buttons;  // top to bottom
  };
  const ExpanderRow rows[] = {
      {frame->expPur, "expPur", "采购进货管理", {"采购订货单", "采购收货单", "采购退货单"}},
      {frame->expSale, "expSale", "销售出货管理", {"销售订货单", "销售发货单", "销售退货单"}},
      {frame->expStore, "expStore", "货品库存管理", {"货品入库单", "货品出库单"}},
      {frame->expSettle, "expSettle", "货款结算管理", {"付款单", "收款单"}},
      {frame->expAccountIO, "expAccountIO", "费用收支管理", {"费用支出单", "其他收入单"}},
  };
  std::vector<TExpander*> inOrder;
  for (const ExpanderRow& row : rows) {
    SCOPED_TRACE(row.name);
    ASSERT_NE(row.expander, nullptr);
    EXPECT_EQ(row.expander->objectName(), row.name);
    EXPECT_EQ(row.expander->Header()->text(), row.header);
    EXPECT_EQ(row.expander->IsExpanded(), row.expander == frame->expPur);
    inOrder.push_back(row.expander);
    QStringList shown;
    for (int i = 0; i < row.expander->ContentLayout()->count(); ++i) {
      auto* b = qobject_cast<QToolButton*>(row.expander->ContentLayout()->itemAt(i)->widget());
      ASSERT_NE(b, nullptr);
      ASSERT_NE(b->defaultAction(), nullptr);  // the button runs its action
      EXPECT_EQ(b->defaultAction()->text(), b->text());
      EXPECT_EQ(b->height(), 36);
      EXPECT_EQ(b->iconSize(), QSize(32, 32));
      EXPECT_FALSE(b->icon().pixmap(32, 32).isNull());
      shown << b->text();
    }
    EXPECT_EQ(shown, row.buttons);
  }
  // The five expanders stack top to bottom in this order.
  auto* column = frame->vsbNavi->widget()->layout();
  for (int i = 0; i < 5; ++i)
    EXPECT_EQ(column->itemAt(i)->widget(), inOrder[static_cast<std::size_t>(i)]);

  // A header click toggles; twice returns to the former state.
  for (TExpander* e : inOrder) {
    const bool before = e->IsExpanded();
    e->Header()->click();
    EXPECT_NE(e->IsExpanded(), before);
    e->Header()->click();
    EXPECT_EQ(e->IsExpanded(), before);
  }
}

TEST_F(BusinessTest, ReportTree) {
  const std::vector<std::pair<QString, QStringList>> groups = {
      {"采购业务报表",
       {"采购订货单汇总表", "采购订货单明细表", "-", "采购收货单汇总表", "采购收货单明细表", "-",
        "采购退货单汇总表", "采购退货单明细表"}},
      {"销售业务报表",
       {"销售订货单汇总表", "销售订货单明细表", "-", "销售发货单汇总表", "销售发货单明细表", "-",
        "销售退货单汇总表", "销售退货单明细表"}},
      {"库存管理报表", {"库存货品出入库汇总表", "库存货品出入库明细表"}},
      {"货款结算报表", {"供应商往来结算流水表", "客户往来结算流水表"}},
      {"费用收支报表", {"其他收入流水表", "费用支出流水表"}},
  };
  QTreeWidget* tree = frame->tvReport;
  EXPECT_TRUE(tree->alternatingRowColors());
  ASSERT_EQ(tree->topLevelItemCount(), static_cast<int>(groups.size()));
  for (int g = 0; g < tree->topLevelItemCount(); ++g) {
    QTreeWidgetItem* node = tree->topLevelItem(g);
    const auto& [text, leaves] = groups[static_cast<std::size_t>(g)];
    SCOPED_TRACE(text.toStdString());
    EXPECT_EQ(node->text(0), text);
    EXPECT_EQ(node->isExpanded(), g == 0);
    QStringList shown;
    for (int i = 0; i < node->childCount(); ++i)
      shown << node->child(i)->text(0);
    EXPECT_EQ(shown, leaves);
  }

  // Clicks on groups and separators do nothing; a leaf runs its function (here: the prompt,
  // declined). Enter on a leaf does the same.
  frame->resize(236, 520);
  frame->lytBusiness->resize(236, 520);
  vlt::test::showSettled(*frame);
  frame->BSPageControl->setCurrentIndex(1);
  QApplication::processEvents();
  auto click = [&](QTreeWidgetItem* item) {
    tree->scrollToItem(item);
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, tree->visualItemRect(item).center());
  };
  QTreeWidgetItem* purchase = tree->topLevelItem(0);
  click(purchase->child(2));  // "-"
  click(purchase);
  EXPECT_TRUE(ui().confirmations.isEmpty());
  click(reportLeaf("采购收货单明细表"));
  EXPECT_EQ(ui().confirmations.size(), 1);
  tree->setCurrentItem(reportLeaf("采购退货单汇总表"));
  QTest::keyClick(tree, Qt::Key_Return);
  EXPECT_EQ(ui().confirmations.size(), 2);
  tree->setCurrentItem(purchase);
  QTest::keyClick(tree, Qt::Key_Return);
  EXPECT_EQ(ui().confirmations.size(), 2);
  EXPECT_FALSE(purchase->child(2)->flags() & Qt::ItemIsSelectable);
}

TEST_F(BusinessTest, BaseDataButtons) {
  auto* grid = frame->tbBaseData->findChild<QGridLayout*>();
  ASSERT_NE(grid, nullptr);
  const char* const tiles[4][2] = {{"仓库档案", "货品档案"},
                                   {"客户档案", "供货商档案"},
                                   {"结算帐户", "货品类别"},
                                   {"计量单位", "收支类别"}};
  EXPECT_EQ(grid->rowCount(), 4);
  EXPECT_EQ(grid->columnCount(), 2);
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 2; ++c) {
      auto* b = qobject_cast<QToolButton*>(grid->itemAtPosition(r, c)->widget());
      ASSERT_NE(b, nullptr);
      EXPECT_EQ(b->text(), QString::fromUtf8(tiles[r][c]));
      EXPECT_FALSE(b->isHidden());
      EXPECT_EQ(FindBusinessFunction(b->defaultAction()->objectName())->text,
                std::string(tiles[r][c]));
    }
  // The opening balances: present with their actions, not shown.
  const std::pair<const char*, const char*> hidden[] = {
      {"act_BD_Client_Init", "客户应收款初始化"},
      {"act_BD_Vendor_Init", "供货商应付款初始化"},
      {"act_BD_Account_Init", "结算帐户余额初始化"}};
  for (const auto& [action, text] : hidden) {
    QToolButton* button = nullptr;
    for (QToolButton* b : frame->tbBaseData->findChildren<QToolButton*>())
      if (b->defaultAction() && b->defaultAction()->objectName() == action) button = b;
    ASSERT_NE(button, nullptr) << action;
    EXPECT_TRUE(button->isHidden());
    EXPECT_EQ(button->text(), QString::fromUtf8(text));
    EXPECT_EQ(frame->Action(action)->text(), QString::fromUtf8(text));
  }
}

// ---- the functions ---------------------------------------------------------------------------

struct FunctionRow {
  const char* name;
  const char* text;
  const char* code;
  const char* className;
  int tag;
};

const FunctionRow kFunctionRows[] = {
    {"act_BD_Goods", "货品档案", "DB_10001", "uBaseDataGoods.TfrmBaseDataGoods", 0},
    {"act_BD_GoodsType", "货品类别", "DB_10002", "uBaseDataGoodsType.TfrmBaseDataGoodsType", 0},
    {"act_BD_Store", "仓库档案", "DB_10003", "uBaseDataStore.TfrmBaseDataStore", 0},
    {"act_BD_Account", "结算帐户", "DB_10004", "uBaseDataAccount.TfrmBaseDataAccount", 0},
    {"act_BD_Unit", "计量单位", "DB_10005", "uBaseDataUnit.TfrmBaseDataUnit", 0},
    {"act_BD_Client", "客户档案", "DB_10006", "uBaseDataClient.TfrmBaseDataClient", 0},
    {"act_BD_Vendor", "供货商档案", "DB_10007", "uBaseDataVendor.TfrmBaseDataVendor", 0},
    {"act_BD_AccIOType", "收支类别", "DB_10008", "uBaseDataAccIOType.TfrmBaseDataAccIOType", 0},
    {"act_BD_Client_Init", "客户应收款初始化", "DB_50001",
     "uBaseDataClientInit.TfrmBaseDataClientInit", 0},
    {"act_BD_Vendor_Init", "供货商应付款初始化", "DB_50002",
     "uBaseDataVendorInit.TfrmBaseDataVendorInit", 0},
    {"act_BD_Account_Init", "结算帐户余额初始化", "DB_50003",
     "uBaseDataAccountInit.TfrmBaseDataAccountInit", 0},
    {"act_Bill_Pur_Order", "采购订货单", "YW_10001", "uBill_Pur_Order.TfrmBill_Pur_Order", 0},
    {"act_Bill_Pur_Purchase", "采购收货单", "YW_10002", "uBill_Pur_Purchase.TfrmBill_Pur_Purchase",
     0},
    {"act_Bill_Pur_Back", "采购退货单", "YW_10003", "uBill_Pur_Back.TfrmBill_Pur_Back", 0},
    {"act_Bill_Sal_Order", "销售订货单", "YW_11001", "uBill_Sal_Order.TfrmBill_Sal_Order", 0},
    {"act_Bill_Sal_Sale", "销售发货单", "YW_11002", "uBill_Sal_Sale.TfrmBill_Sal_Sale", 0},
    {"act_Bill_Sal_Back", "销售退货单", "YW_11003", "uBill_Sal_Back.TfrmBill_Sal_Back", 0},
    {"act_Bill_Sto_StoreIN", "货品入库单", "YW_12001", "uBill_Sto_StoreIN.TfrmBill_Sto_StoreIN", 0},
    {"act_Bill_Sto_StoreOut", "货品出库单", "YW_12002", "uBill_Sto_StoreOut.TfrmBill_Sto_StoreOut",
     0},
    {"act_Bill_Bal_Payment", "付款单", "YW_13001", "uBill_Bal_Payment.TfrmBill_Bal_Payment", 0},
    {"act_Bill_Bal_Gathering", "收款单", "YW_13002", "uBill_Bal_Gathering.TfrmBill_Bal_Gathering",
     0},
    {"act_Bill_Cas_Out", "费用支出单", "YW_14001", "uBill_Cas_Mgr.TfrmBill_Cas_Mgr", -1},
    {"act_Bill_Cas_In", "其他收入单", "YW_14002", "uBill_Cas_Mgr.TfrmBill_Cas_Mgr", 1},
    {"vItemPurOrderM", "采购订货单汇总表", "RP_10001", "uReport_PurOrderM.TfrmRptPurOrderM", 0},
    {"vItemPurOrderD", "采购订货单明细表", "RP_10002", "uReport_PurOrderD.TfrmRptPurOrderD", 0},
    {"vItemPurchaseM", "采购收货单汇总表", "RP_10003", "uReport_PurchaseM.TfrmRptPurchaseM", 0},
    {"vItemPurchaseD", "采购收货单明细表", "RP_10004", "uReport_PurchaseD.TfrmRptPurchaseD", 0},
    {"vItemPurBackM", "采购退货单汇总表", "RP_10005", "uReport_PurBackM.TfrmRptPurBackM", 0},
    {"vItemPurBackD", "采购退货单明细表", "RP_10006", "uReport_PurBackD.TfrmRptPurBackD", 0},
    {"vItemSalOrderM", "销售订货单汇总表", "RP_11001", "uReport_SalOrderM.TfrmRptSalOrderM", 0},
    {"vItemSalOrderD", "销售订货单明细表", "RP_11002", "uReport_SalOrderD.TfrmRptSalOrderD", 0},
    {"vItemSaleM", "销售发货单汇总表", "RP_11003", "uReport_SaleM.TfrmRptSaleM", 0},
    {"vItemSaleD", "销售发货单明细表", "RP_11004", "uReport_SaleD.TfrmRptSaleD", 0},
    {"vItemSalBackM", "销售退货单汇总表", "RP_11005", "uReport_SalBackM.TfrmRptSalBackM", 0},
    {"vItemSalBackD", "销售退货单明细表", "RP_11006", "uReport_SalBackD.TfrmRptSalBackD", 0},
    {"vItemStoreFlowM", "库存货品出入库汇总表", "RP_12001", "uReport_StoreFlowM.TfrmRptStoreFlowM",
     0},
    {"vItemStoreFlowD", "库存货品出入库明细表", "RP_12002", "uReport_StoreFlowD.TfrmRptStoreFlowD",
     0},
    {"vItemPaymentFlow", "供应商往来结算流水表", "RP_13001",
     "uReport_BalPaymentflow.TfrmRptBalPaymentflow", 0},
    {"vItemGatheringFlow", "客户往来结算流水表", "RP_13002",
     "uReport_BalGatheringflow.TfrmRptBalGatheringflow", 0},
    {"vItemAccIn", "其他收入流水表", "RP_14001", "uReport_CashInFlow.TfrmRptCashInflow", 0},
    {"vItemAccout", "费用支出流水表", "RP_14002", "uReport_CashOutFlow.TfrmRptCashOutFlow", 0},
};

// Every function: its text and window, and that the control the user sees with that text runs
// the gate with exactly its module code (refused without that grant, let through with only it).
TEST_F(BusinessTest, EveryFunctionHasItsTextCodeAndWindow) {
  ASSERT_EQ(BusinessFunctions().size(), std::size(kFunctionRows));
  std::vector<std::string> allCodes;
  for (const FunctionRow& row : kFunctionRows)
    allCodes.push_back(row.code);

  for (const FunctionRow& row : kFunctionRows) {
    SCOPED_TRACE(row.name);
    const TBusinessFunction* f = FindBusinessFunction(row.name);
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(std::string(f->text), row.text);
    EXPECT_EQ(std::string(f->moduleId), row.code);
    EXPECT_EQ(std::string(f->className), row.className);
    EXPECT_EQ(f->cashTag, row.tag);
    // Window names follow the unit rule: "uX.TfrmX", reports "uReport_X.TfrmRptX" (a unit
    // name may differ from its class in letter case: uReport_CashInFlow.TfrmRptCashInflow).
    const QString qualified = QString::fromLatin1(row.className);
    const QString cls = qualified.section('.', 1);
    if (cls.startsWith("TfrmRpt"))
      EXPECT_EQ(qualified.section('.', 0, 0).toLower(), ("uReport_" + cls.mid(7)).toLower());
    else
      EXPECT_EQ(qualified.section('.', 0, 0), "u" + cls.mid(4));

    const bool isAction = QString(row.name).startsWith("act_");
    QTreeWidgetItem* leaf = isAction ? nullptr : reportLeaf(QString::fromUtf8(row.text));
    if (isAction) {
      ASSERT_NE(frame->Action(row.name), nullptr);
      EXPECT_EQ(frame->Action(row.name)->text(), QString::fromUtf8(row.text));
    } else {
      ASSERT_NE(leaf, nullptr);
      EXPECT_EQ(frame->Action(row.name), nullptr);
    }
    auto run = [&] {
      if (isAction)
        frame->Action(row.name)->trigger();
      else  // as the tree's click does, through the guard
        guarded([&] { frame->tvReportClick(leaf); })();
    };

    std::vector<std::string> others;
    for (const std::string& code : allCodes)
      if (code != row.code) others.push_back(code);
    operatorWith(others);
    ui().messages.clear();
    run();
    EXPECT_EQ(ui().messages, QStringList{kNoPower});
    EXPECT_TRUE(openWindows().empty());

    operatorWith({row.code});
    ui().messages.clear();
    run();
    EXPECT_FALSE(ui().messages.contains(kNoPower));
    // Through the gate the function's window opens, or the function is announced as to come.
    for (TForm* w : openWindows())
      EXPECT_EQ(w->ClassName(), cls);
    if (!ClassRegistered(QString::fromLatin1(row.className))) {
      EXPECT_TRUE(openWindows().empty());
      EXPECT_EQ(ui().messages, QStringList{kNotYetOpen});
    } else {
      // The window's own loading may fail on the fake's empty answers; it is not announced.
      EXPECT_FALSE(ui().messages.contains(kNotYetOpen));
    }
    closeAll();
  }
}

TEST_F(BusinessTest, OpeningAFunctionWindow) {
  CurUserInfo().UserDBID = "10001_01";  // owner
  const TBusinessFunction probe{"act_Probe", "测试", "YW_99001",
                                "uBusinessProbe.TfrmBusinessProbe"};

  // A registered window: application-owned, modeless, freed when closed; several at once.
  frame->RunFunction(probe);
  frame->RunFunction(probe);
  std::vector<TForm*> windows = openWindows();
  ASSERT_EQ(windows.size(), 2u);
  EXPECT_TRUE(ui().messages.isEmpty());
  for (TForm* w : windows) {
    EXPECT_EQ(w->property("probe").toString(), "uBusinessProbe.TfrmBusinessProbe");
    EXPECT_EQ(w->parentWidget(), nullptr);
    EXPECT_FALSE(w->isModal());
    EXPECT_TRUE(w->testAttribute(Qt::WA_DeleteOnClose));
    EXPECT_EQ(w->Tag, 0);
  }
  QPointer<TForm> first = windows[0];
  first->close();
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_TRUE(first.isNull());

  // The cash-bill manager: owned by the frame, with its direction in Tag.
  closeAll();
  for (int tag : {1, -1}) {
    const TBusinessFunction cash{"act_Probe", "测试", "YW_99001",
                                 "uBusinessProbe.TfrmBusinessProbe", tag};
    frame->RunFunction(cash);
    ASSERT_EQ(openWindows().size(), 1u);
    EXPECT_EQ(openWindows()[0]->parentWidget(), frame.get());
    EXPECT_EQ(openWindows()[0]->Tag, tag);
    closeAll();
  }

  struct Case {
    const char* name;
    const char* className;
    QStringList messages;
  };
  const Case cases[] = {
      {"not registered yet", "uBusinessMissing.TfrmBusinessMissing", {kNotYetOpen}},
      {"creation fails: its message",
       "uBusinessProbeFails.TfrmBusinessProbeFails",
       {"窗口创建失败：缺少数据"}},
      {"creation ends silently", "uBusinessProbeAborts.TfrmBusinessProbeAborts", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ui().messages.clear();
    errors.clear();
    const TBusinessFunction f{"act_Probe", "测试", "YW_99001", c.className};
    guarded([&] { frame->RunFunction(f); })();  // as an action runs it
    EXPECT_EQ(ui().messages, c.messages);
    EXPECT_TRUE(openWindows().empty());
    EXPECT_TRUE(errors.empty());
  }
  // The frame stays usable.
  frame->RunFunction(probe);
  EXPECT_EQ(openWindows().size(), 1u);
}

TEST_F(BusinessTest, GateRefusalCreatesNothing) {
  operatorWith({"DB_10001"});
  const TBusinessFunction probe{"act_Probe", "测试", "YW_99001",
                                "uBusinessProbe.TfrmBusinessProbe"};
  EXPECT_THROW(frame->RunFunction(probe), EAbort);
  EXPECT_EQ(ui().messages, QStringList{kNoPower});
  EXPECT_TRUE(openWindows().empty());
  // Through an action the silent abort ends quietly.
  frame->Action("act_BD_Unit")->trigger();
  EXPECT_EQ(ui().messages, (QStringList{kNoPower, kNoPower}));
  EXPECT_TRUE(errors.empty());
}

// ---- look ------------------------------------------------------------------------------------

// The frame lives in the main window's narrow work area; with the program's style it fits
// without cutting its tabs and buttons.
TEST_F(BusinessTest, FitsTheMainWindowWorkArea) {
  QFile style(qEnvironmentVariable("VLT_SOURCE_DIR") + "/launcher/VltDefault.style");
  ASSERT_TRUE(style.open(QIODevice::ReadOnly));
  qApp->setStyleSheet(QString::fromUtf8(style.readAll()));
  QWidget page;
  page.setObjectName("tbcNavigationPage");
  auto* layout = new QVBoxLayout(&page);
  layout->setContentsMargins(0, 0, 0, 0);
  frame->lytBusiness->setParent(&page);
  layout->addWidget(frame->lytBusiness);
  page.resize(236, 520);
  vlt::test::showSettled(page);

  EXPECT_LE(frame->lytBusiness->minimumSizeHint().width(), 236);
  EXPECT_LE(frame->BSPageControl->tabBar()->sizeHint().width(), 236);
  const char* shots[] = {"uBusinessFrame_navi", "uBusinessFrame_report", "uBusinessFrame_basedata"};
  for (int i = 0; i < 3; ++i) {
    frame->BSPageControl->setCurrentIndex(i);
    QApplication::processEvents();
    // Every button shows its whole text.
    for (QToolButton* b : frame->BSPageControl->widget(i)->findChildren<QToolButton*>()) {
      if (!b->isVisible() || !b->defaultAction()) continue;
      EXPECT_LE(b->sizeHint().width(), b->width()) << b->text().toStdString();
    }
    vlt::test::saveShot(page, shots[i]);
  }
  frame->lytBusiness->setParent(frame.get());
  qApp->setStyleSheet(QString());
}

}  // namespace
