// The base-data windows against the real service: an owner enters units, accounts, categories,
// a goods-type tree, goods, a client and a vendor and their opening balances through the windows
// and the edit dialogs they open; the account set's tables are read back after each step.
#include <gtest/gtest.h>
#include <httplib.h>

#include <QAbstractItemModel>
#include <QApplication>
#include <QLineEdit>
#include <QRadioButton>
#include <QTreeWidget>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "basedata/openingbalance.h"
#include "basedata/simplebasedata.h"
#include "basedata/traderbasedata.h"
#include "basedata/uBaseDataAccIOType.h"
#include "basedata/uBaseDataAccIOTypeEdit.h"
#include "basedata/uBaseDataGoods.h"
#include "basedata/uBaseDataGoodsEdit.h"
#include "basedata/uBaseDataGoodsType.h"
#include "basedata/uBaseDataGoodsTypeEdit.h"
#include "basedata/uGoodsTypeTree.h"
#include "basedata/uSelectGoodsType.h"
#include "basedata/uSelectUnit.h"
#include "fakehost.h"
#include "http.h"
#include "served_service.h"
#include "uBaseDataGridForm.h"
#include "vlt/host.h"
#include "vlt/servermethods.h"
#include "vlt/sqltext.h"

using namespace vlt;
using namespace vlt::host;
using vlt::business::BoxTagString;
using vlt::business::ItemTag;
using vlt::business::TNameEditDialog;
using vlt::business::TOpeningBalanceForm;
using vlt::business::TTraderEditDialog;

namespace {

const QString kPkg = "VltBusiness.bpl";
const QString kDuplicate = "该基础资料名称已经录入，请查证！";

class BaseDataE2E : public test::OwnerSetFixture {
 protected:
  void SetUp() override { OwnerSetFixture::SetUp(); }

  template <class T>
  std::unique_ptr<T> open(const char* qualifiedName) {
    auto window = test::openWindow<T>(kPkg, qualifiedName);
    EXPECT_TRUE(window) << qualifiedName;
    return window;
  }

  // Runs `act` with the edit dialog of class `dialogClass` scripted by `user`.
  void withDialog(const char* dialogClass, std::function<void(QDialog&)> user,
                  const std::function<void()>& act) {
    ui().scripts[dialogClass] = [user](QDialog& d) {
      user(d);
      return 0;
    };
    act();
    ui().scripts.erase(dialogClass);
  }

  // Enters names one after the other in a list's name dialog: save-and-new for all but the
  // last, save-and-close for the last.
  void enterNames(TfrmBaseDataGridForm& list, const char* dialogClass,
                  const std::vector<QString>& names) {
    withDialog(
        dialogClass,
        [&](QDialog& d) {
          auto& dialog = dynamic_cast<TNameEditDialog&>(d);
          for (std::size_t i = 0; i < names.size(); ++i) {
            dialog.edtName->setText(names[i]);
            (i + 1 < names.size() ? dialog.actSaveAndNew : dialog.actSaveAndClose)->trigger();
          }
        },
        [&] { list.actNew->trigger(); });
  }

  // Makes the row whose `field` is `value` the list's current row.
  static void goTo(TfrmBaseDataGridForm& list, const char* field, const std::string& value) {
    ASSERT_TRUE(list.cdsBaseData.Locate(field, Value(value))) << value;
  }

  static QTreeWidgetItem* typeItem(QTreeWidget* tree, const QString& name) {
    const QList<QTreeWidgetItem*> found =
        tree->findItems(name, Qt::MatchExactly | Qt::MatchRecursive);
    return found.size() == 1 ? found.front() : nullptr;
  }

  test::FakeHostUi& ui() { return host.ui(); }
  std::string messages() { return ui().messages.join("\n").toStdString(); }

  test::HostFixture host;
};

TEST_F(BaseDataE2E, UnitsDuplicateQuotedNameRenameAndDelete) {
  auto units = open<TfrmBaseDataGridForm>("uBaseDataUnit.TfrmBaseDataUnit");
  ASSERT_TRUE(units);
  enterNames(*units, "TfrmBaseDataUnitEdit", {" 千克 ", "箱"});
  ASSERT_TRUE(ui().messages.isEmpty()) << messages();
  EXPECT_EQ(read("select Name from td_unit order by Name"), (Rows{"千克", "箱"}));
  EXPECT_EQ(units->cdsBaseData.RecordCount(), 2);

  // The same name again: the service's unique key refuses it, the user is told, nothing added.
  enterNames(*units, "TfrmBaseDataUnitEdit", {"箱"});
  EXPECT_EQ(ui().messages, QStringList{kDuplicate});
  ui().messages.clear();
  EXPECT_EQ(one("select count(*) from td_unit"), "2");

  // A quote and a backslash are stored exactly as typed.
  enterNames(*units, "TfrmBaseDataUnitEdit", {"  O'Neil\\箱 "});
  ASSERT_TRUE(ui().messages.isEmpty()) << messages();
  EXPECT_EQ(read("select Name from td_unit where Name like 'O%'"), Rows{"O'Neil\\箱"});

  // Rename.
  goTo(*units, "Name", "千克");
  const std::string kgId = units->cdsBaseData.FieldByName("ID").AsString();
  withDialog(
      "TfrmBaseDataUnitEdit",
      [](QDialog& d) {
        auto& dialog = dynamic_cast<TNameEditDialog&>(d);
        EXPECT_EQ(dialog.edtName->text(), "千克");
        dialog.edtName->setText("公斤");
        dialog.actSaveAndClose->trigger();
      },
      [&] { units->actEdit->trigger(); });
  ASSERT_TRUE(ui().messages.isEmpty()) << messages();
  EXPECT_EQ(one("select Name from td_unit where Id=" + quotedStr(kgId)), "公斤");

  // Delete the quoted one, after the confirmation.
  goTo(*units, "Name", "O'Neil\\箱");
  ui().confirmAnswers = {true};
  units->actDel->trigger();
  ASSERT_TRUE(ui().messages.isEmpty()) << messages();
  EXPECT_EQ(ui().confirmations, QStringList{"删除无法恢复，请确认是否真的删除？"});
  EXPECT_EQ(read("select Name from td_unit order by Name"), (Rows{"公斤", "箱"}));
  EXPECT_EQ(units->cdsBaseData.RecordCount(), 2);
}

TEST_F(BaseDataE2E, AccountsAndIncomeAndExpenseCategories) {
  auto accounts = open<TfrmBaseDataGridForm>("uBaseDataAccount.TfrmBaseDataAccount");
  ASSERT_TRUE(accounts);
  enterNames(*accounts, "TfrmBaseDataAccountEdit", {"现金", "工商银行"});
  ASSERT_TRUE(ui().messages.isEmpty()) << messages();
  // A new account starts at zero, with its zero opening row made by the service.
  EXPECT_EQ(read("select Name,Balance from td_account order by Name"),
            (Rows{"工商银行|0", "现金|0"}));
  EXPECT_EQ(read("select a.Name,f.IOAmount from ts_accountdetailflow f join td_account a on "
                 "a.Id=f.AccountID where f.Bid='-99' order by a.Name"),
            (Rows{"工商银行|0", "现金|0"}));

  auto categories = open<TfrmBaseDataAccIOType>("uBaseDataAccIOType.TfrmBaseDataAccIOType");
  ASSERT_TRUE(categories);
  struct Case {
    QRadioButton* listDirection;
    QString name;
  };
  for (const Case& c :
       {Case{categories->rbAccIN, "利息收入"}, Case{categories->rbAccOut, "房租"}}) {
    c.listDirection->setChecked(true);
    enterNames(*categories, "TfrmBaseDataAccIOTypeEdit", {c.name});
  }
  ASSERT_TRUE(ui().messages.isEmpty()) << messages();
  EXPECT_EQ(read("select Name,IODirect from td_accountiotype order by IODirect"),
            (Rows{"房租|-1", "利息收入|1"}));
  // The list shows the direction its button says.
  EXPECT_EQ(categories->cdsBaseData.RecordCount(), 1);
  EXPECT_EQ(categories->cdsBaseData.FieldByName("Name").AsString(), "房租");
}

TEST_F(BaseDataE2E, GoodsTypeTreeAndGoodsWithAndWithoutAType) {
  auto units = open<TfrmBaseDataGridForm>("uBaseDataUnit.TfrmBaseDataUnit");
  ASSERT_TRUE(units);
  enterNames(*units, "TfrmBaseDataUnitEdit", {"瓶", "千克"});
  ASSERT_TRUE(ui().messages.isEmpty()) << messages();

  // Two levels: a top-level type beside the system type, and a sub-type under it.
  auto types = open<TfrmBaseDataGoodsType>("uBaseDataGoodsType.TfrmBaseDataGoodsType");
  ASSERT_TRUE(types);
  auto typeDialog = [](const QString& name) {
    return [name](QDialog& d) {
      auto& dialog = dynamic_cast<TfrmBaseDataGoodsTypeEdit&>(d);
      dialog.edtType->setText(name);
      dialog.actSaveAndClose->trigger();
    };
  };
  QTreeWidgetItem* system = typeItem(types->tvGoodsType, "未分类");
  ASSERT_NE(system, nullptr);
  types->tvGoodsType->setCurrentItem(system);
  withDialog("TfrmBaseDataGoodsTypeEdit", typeDialog("食品"),
             [&] { types->actAddSameLevel->trigger(); });
  ASSERT_TRUE(ui().messages.isEmpty()) << messages();
  QTreeWidgetItem* food = typeItem(types->tvGoodsType, "食品");
  ASSERT_NE(food, nullptr);
  types->tvGoodsType->setCurrentItem(food);
  withDialog("TfrmBaseDataGoodsTypeEdit", typeDialog("饮料"),
             [&] { types->actAddChildLevel->trigger(); });
  ASSERT_TRUE(ui().messages.isEmpty()) << messages();

  const Rows foodRow = read("select Id,PId,LevelCode from td_goodstype where Name='食品'");
  const Rows drinkRow = read("select Id,PId,LevelCode from td_goodstype where Name='饮料'");
  ASSERT_EQ(foodRow.size(), 1u);
  ASSERT_EQ(drinkRow.size(), 1u);
  const std::string foodId = foodRow[0].substr(0, foodRow[0].find('|'));
  const std::string foodCode = foodRow[0].substr(foodRow[0].rfind('|') + 1);
  const std::string drinkId = drinkRow[0].substr(0, drinkRow[0].find('|'));
  const std::string drinkCode = drinkRow[0].substr(drinkRow[0].rfind('|') + 1);
  EXPECT_EQ(foodRow[0], foodId + "|-1|" + foodCode);
  EXPECT_EQ(foodCode.size(), 3u);
  EXPECT_EQ(drinkRow[0], drinkId + "|" + foodId + "|" + drinkCode);
  EXPECT_EQ(drinkCode.size(), 6u);
  EXPECT_EQ(drinkCode.substr(0, 3), foodCode);
  food = typeItem(types->tvGoodsType, "食品");
  ASSERT_NE(food, nullptr);
  ASSERT_EQ(food->childCount(), 1);
  EXPECT_EQ(food->child(0)->text(0), "饮料");

  // The goods: the type from the type dialog, the unit from the unit dialog; the second goods
  // has no type.
  auto goods = open<TfrmBaseDataGoods>("uBaseDataGoods.TfrmBaseDataGoods");
  ASSERT_TRUE(goods);
  auto pickUnit = [](const QString& unit) {
    return [unit](QDialog& d) {
      auto& dialog = dynamic_cast<TfrmSelectUnit&>(d);
      dialog.edtfilter->setText(unit);
      dialog.actSearch->trigger();
      ASSERT_EQ(dialog.cdsSelectData.RecordCount(), 1);
      dialog.grd->SelectCell(1, 0);
      dialog.actOK->trigger();
    };
  };
  ui().scripts["TfrmSelectGoodsType"] = [](QDialog& d) {
    auto& dialog = dynamic_cast<TfrmSelectGoodsType&>(d);
    QTreeWidgetItem* drink = typeItem(dialog.tvGoodsType, "饮料");
    EXPECT_NE(drink, nullptr);
    dialog.tvGoodsType->setCurrentItem(drink);
    dialog.actOK->trigger();
    return 0;
  };
  struct GoodsCase {
    QString code, name, spec, unit, price;
    bool withType;
  };
  for (const GoodsCase& g : {GoodsCase{"G001", "可乐", "500ml", "瓶", "3.5", true},
                             GoodsCase{"G002", "散装糖", "", "千克", "", false}}) {
    withDialog(
        "TfrmBaseDataGoodsEdit",
        [&](QDialog& d) {
          auto& dialog = dynamic_cast<TfrmBaseDataGoodsEdit&>(d);
          dialog.edtGoodsCode->setText(g.code);
          dialog.edtGoodsName->setText(g.name);
          dialog.edtGoodsSpec->setText(g.spec);
          if (g.withType) dialog.actSelectGoodsType->trigger();
          ui().scripts["TfrmSelectUnit"] = [&](QDialog& u) {
            pickUnit(g.unit)(u);
            return 0;
          };
          dialog.actSelectUnit->trigger();
          EXPECT_EQ(dialog.edtGoodsUnit->text(), g.unit);
          dialog.edtPurPrice->setText(g.price);
          dialog.actSaveAndClose->trigger();
        },
        [&] { goods->actNew->trigger(); });
    ASSERT_TRUE(ui().messages.isEmpty()) << messages();
  }
  EXPECT_EQ(
      read("select g.Code,g.Name,g.Spec,g.TypeID,u.Name as UnitName,g.PurPrice,g.Pause from "
           "td_goods g "
           "join td_unit u on u.Id=g.UnitID order by g.Code"),
      (Rows{"G001|可乐|500ml|" + drinkId + "|瓶|3.5|False", "G002|散装糖||-9999|千克|0|False"}));
  ASSERT_EQ(goods->cdsBaseData.RecordCount(), 2);

  // The tree filter: the top-level type lists the goods of its sub-type.
  goods->tvGtype->setCurrentItem(typeItem(goods->tvGtype, "食品"));
  ASSERT_TRUE(ui().messages.isEmpty()) << messages();
  EXPECT_EQ(goods->cdsBaseData.RecordCount(), 1);
  EXPECT_EQ(goods->cdsBaseData.FieldByName("Code").AsString(), "G001");

  // The same code again is refused before anything is sent.
  withDialog(
      "TfrmBaseDataGoodsEdit",
      [&](QDialog& d) {
        auto& dialog = dynamic_cast<TfrmBaseDataGoodsEdit&>(d);
        dialog.edtGoodsCode->setText("G001");
        dialog.edtGoodsName->setText("雪碧");
        ui().scripts["TfrmSelectUnit"] = [&](QDialog& u) {
          pickUnit("瓶")(u);
          return 0;
        };
        dialog.actSelectUnit->trigger();
        dialog.actSaveAndClose->trigger();
      },
      [&] { goods->actNew->trigger(); });
  EXPECT_EQ(ui().messages,
            QStringList{"【货品编码 或 名称/规格】已存在，保存被取消！ 错误原因：数据重复！"});
  EXPECT_EQ(one("select count(*) from td_goods"), "2");
  ui().messages.clear();

  // A change of name and price sends only what changed; the duplicate check leaves the goods
  // itself out.
  goods->tvGtype->setCurrentItem(goods->tvGtype->topLevelItem(0));
  goTo(*goods, "Code", "G002");
  withDialog(
      "TfrmBaseDataGoodsEdit",
      [&](QDialog& d) {
        auto& dialog = dynamic_cast<TfrmBaseDataGoodsEdit&>(d);
        EXPECT_EQ(dialog.edtGoodsName->text(), "散装糖");
        EXPECT_EQ(dialog.edtGoodsUnit->text(), "千克");
        dialog.edtGoodsName->setText("白砂糖");
        dialog.edtSalPrice->setText("6.8");
        dialog.actSaveAndClose->trigger();
      },
      [&] { goods->actEdit->trigger(); });
  ASSERT_TRUE(ui().messages.isEmpty()) << messages();
  EXPECT_EQ(one("select Name,SalPrice,TypeID from td_goods where Code='G002'"), "白砂糖|6.8|-9999");

  // The sub-type renamed and moved to the top: a fresh top-level code, its goods keep it.
  types->actRefresh->trigger();
  types->tvGoodsType->setCurrentItem(typeItem(types->tvGoodsType, "饮料"));
  withDialog(
      "TfrmBaseDataGoodsTypeEdit",
      [](QDialog& d) {
        auto& dialog = dynamic_cast<TfrmBaseDataGoodsTypeEdit&>(d);
        EXPECT_EQ(dialog.edtParent->text(), "食品");
        dialog.actClearParentType->trigger();
        dialog.edtType->setText("饮品");
        dialog.actSaveAndClose->trigger();
      },
      [&] { types->actMofify->trigger(); });
  ASSERT_TRUE(ui().messages.isEmpty()) << messages();
  const Rows moved =
      read("select Name,PId,length(LevelCode) from td_goodstype where Id=" + quotedStr(drinkId));
  EXPECT_EQ(moved, Rows{"饮品|-1|3"});
  EXPECT_EQ(one("select TypeID from td_goods where Code='G001'"), drinkId);
  ASSERT_NE(typeItem(types->tvGoodsType, "饮品"), nullptr);
  EXPECT_EQ(typeItem(types->tvGoodsType, "饮品")->parent(), nullptr);
}

TEST_F(BaseDataE2E, ClientVendorAndOpeningBalances) {
  struct TraderCase {
    const char* list;
    const char* dialog;
    QString name, address, linkMen, tel;
    const char* isClient;
  };
  const TraderCase traders[] = {
      {"uBaseDataClient.TfrmBaseDataClient", "TfrmBaseDataClientEdit", "东方商行", "中山路 1 号",
       "张三", "0571-1234", "True"},
      {"uBaseDataVendor.TfrmBaseDataVendor", "TfrmBaseDataVendorEdit", "O'Neil 批发", "港口路\\2",
       "李四", "139", "False"},
  };
  for (const TraderCase& t : traders) {
    SCOPED_TRACE(t.list);
    auto list = open<TfrmBaseDataGridForm>(t.list);
    ASSERT_TRUE(list);
    withDialog(
        t.dialog,
        [&](QDialog& d) {
          auto& dialog = dynamic_cast<TTraderEditDialog&>(d);
          dialog.edtTraderName->setText(t.name);
          dialog.edtTraderAddr->setText(t.address);
          dialog.edtTraderLinkMen->setText(t.linkMen);
          dialog.edtTraderTel->setText(t.tel);
          dialog.actSaveAndClose->trigger();
        },
        [&] { list->actNew->trigger(); });
    ASSERT_TRUE(ui().messages.isEmpty()) << messages();
    EXPECT_EQ(one("select Name,Address,LinkMen,Tel,Balance from td_trader where IsClient=" +
                  quotedStr(t.isClient)),
              ss(t.name + "|" + t.address + "|" + t.linkMen + "|" + t.tel) + "|0");
    EXPECT_EQ(list->cdsBaseData.RecordCount(), 1);
  }
  auto accounts = open<TfrmBaseDataGridForm>("uBaseDataAccount.TfrmBaseDataAccount");
  ASSERT_TRUE(accounts);
  enterNames(*accounts, "TfrmBaseDataAccountEdit", {"现金"});
  ASSERT_TRUE(ui().messages.isEmpty()) << messages();

  // Each opening-balance window lists the one opening row; the typed amount is saved and the
  // service derives the balance from it.
  struct InitCase {
    const char* window;
    QString amount;
    std::string balanceSql;
    std::string flowSql;
    std::string expected;
  };
  const InitCase inits[] = {
      {"uBaseDataClientInit.TfrmBaseDataClientInit", "1200.5",
       "select Balance from td_trader where IsClient='True'",
       "select f.IOAmount from ts_traderbalancedetailflow f join td_trader t on t.Id=f.TraderID "
       "where t.IsClient='True' and f.Bid='-99'",
       "1200.5"},
      {"uBaseDataVendorInit.TfrmBaseDataVendorInit", "-30.25",
       "select Balance from td_trader where IsClient='False'",
       "select f.IOAmount from ts_traderbalancedetailflow f join td_trader t on t.Id=f.TraderID "
       "where t.IsClient='False' and f.Bid='-99'",
       "-30.25"},
      {"uBaseDataAccountInit.TfrmBaseDataAccountInit", "800", "select Balance from td_account",
       "select IOAmount from ts_accountdetailflow where Bid='-99'", "800"},
  };
  for (const InitCase& c : inits) {
    SCOPED_TRACE(c.window);
    auto window = open<TOpeningBalanceForm>(c.window);
    ASSERT_TRUE(window);
    QAbstractItemModel* m = window->nxGrd->model();
    ASSERT_EQ(m->rowCount(), 1);
    ASSERT_TRUE(m->setData(m->index(0, 1), c.amount));
    window->btnSaveNewClick();
    ASSERT_TRUE(ui().messages.isEmpty()) << messages();
    EXPECT_EQ(one(c.flowSql), c.expected);
    EXPECT_EQ(one(c.balanceSql), c.expected);
    // Opened again, the window shows the saved amount.
    auto again = open<TOpeningBalanceForm>(c.window);
    ASSERT_TRUE(again);
    ClientDataSet& rows = *again->nxGrd->Link().DataSet();
    ASSERT_EQ(rows.RecordCount(), 1);
    EXPECT_EQ(rows.FieldByName("IOAmount").AsDecimal(), Decimal::parse(c.expected));
  }
  // The lists show the derived balances.
  auto clients = open<TfrmBaseDataGridForm>("uBaseDataClient.TfrmBaseDataClient");
  ASSERT_TRUE(clients);
  EXPECT_EQ(clients->cdsBaseData.FieldByName("Balance").AsDecimal(), Decimal::parse("1200.5"));

  // A client with an opening balance has business: the service refuses the delete, the user is
  // told why, and the client and its balance stay.
  ui().confirmAnswers = {true};
  clients->actDel->trigger();
  ASSERT_EQ(ui().messages.size(), 1);
  EXPECT_TRUE(ui().messages[0].startsWith("保存失败，错误原因：")) << messages();
  EXPECT_TRUE(ui().messages[0].contains("该往来单位已有业务发生，不允许删除！")) << messages();
  EXPECT_EQ(one("select Name,Balance from td_trader where IsClient='True'"), "东方商行|1200.5");
  EXPECT_EQ(clients->cdsBaseData.RecordCount(), 1);
}

}  // namespace
