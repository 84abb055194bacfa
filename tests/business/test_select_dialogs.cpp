// The base-data selection dialogs: what each loads and how its filter choices steer the filter,
// how the choice reaches where the opener said (a box, fields of a data set, or the hand-over set),
// and the goods dialog's selection area, which only a confirmed dialog hands to the bill.
#include <gtest/gtest.h>

#include <QAbstractItemModel>
#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <memory>
#include <string>
#include <vector>

#include "basedata/selectdialogs.h"
#include "basedata/uSelectAccount.h"
#include "basedata/uSelectClient.h"
#include "basedata/uSelectGoods.h"
#include "basedata/uSelectUnit.h"
#include "basedata/uSelectVendor.h"
#include "basedata_testing.h"
#include "fakehost.h"
#include "tplwidgets.h"
#include "vlt/host.h"

using namespace vlt;
using namespace vlt::host;
using vlt::business::TBaseDataPickForm;
using vlt::templates::TPickTarget;
using vlt::test::packetOf;

namespace {

const Packet kUnits = packetOf({"Id", "Name"}, {{"1001", "千克"}, {"1002", "箱"}, {"1003", "kg"}});
const Packet kTraders =
    packetOf({"Id", "Name", "Address", "LinkMen", "Tel", "Balance", "IsClient"},
             {{"2001", "东方商行", "北京路1号", "张三", "111", "1500.50", "True"},
              {"2002", "西城小店", "东方大道8号", "李四", "222", "-30.00", "True"},
              {"2003", "O'Neil", "Main St", "东方", "333", "0.00", "True"}});
const Packet kAccounts =
    packetOf({"Id", "Name", "Balance"}, {{"4001", "现金", "10.00"}, {"4002", "工商银行", "99.00"}});
const Packet kGoods =
    packetOf({"Id", "Code", "Name", "Spec", "TypeID", "UnitID", "Kind", "CostKeeping", "BarCode",
              "PurPrice", "SalPrice", "WsaPrice", "Pause", "ReMark", "ExistPic"},
             {{"5001", "A-01", "螺丝", "M4", "-9999", "1001", "库存商品", "先进先出法", "", "0.12",
               "0.30", "0.25", "False", "", "False"},
              {"5002", "A-02", "螺母", "M4", "-9999", "1001", "库存商品", "先进先出法", "", "0.05",
               "0.10", "0.08", "False", "常用", "False"},
              {"5003", "B-01", "扳手", "20cm", "-9999", "1002", "库存商品", "先进先出法", "",
               "12.50", "19.90", "15.00", "False", "", "False"}});

// One dialog: its registered name, caption, statement and filter choices.
struct Dialog {
  const char* className;  // "uSelectUnit.TfrmSelectUnit"
  const char* shortName;  // the class, as scripts are keyed
  QString caption;
  std::string sql;
  Packet rows;
  // Filter choices: object name, text, the filter a typed "东" gives while it is chosen.
  struct Choice {
    const char* name;
    QString text;
    std::string filter;
  };
  std::vector<Choice> choices;
  const char* defaultChoice;
  std::vector<QString> headers;  // of the shown columns, left to right
};

const std::vector<Dialog>& Dialogs() {
  static const std::vector<Dialog> dialogs = {
      {"uSelectUnit.TfrmSelectUnit",
       "TfrmSelectUnit",
       "计量单位选择",
       "select * from td_Unit",
       kUnits,
       {{"rbDName", "单位名称", "Name like '%东%'"}},
       "rbDName",
       {"单位名称"}},
      {"uSelectClient.TfrmSelectClient",
       "TfrmSelectClient",
       "客户选择",
       "select * from td_Trader where IsClient='True'",
       kTraders,
       {{"rbTname", "客户名称", "Name like '%东%'"},
        {"rbTAddr", "地址", "Address like '%东%'"},
        {"rbTLinkmen", "联系人", "Linkmen like '%东%'"}},
       "rbTname",
       {"客户名称", "地址", "联系人", "联系电话", "欠款余额"}},
      {"uSelectVendor.TfrmSelectVendor",
       "TfrmSelectVendor",
       "供货商选择",
       "select * from td_Trader where IsClient='False'",
       kTraders,
       {{"rbTname", "供货商名称", "Name like '%东%'"},
        {"rbTAddr", "地址", "Address like '%东%'"},
        {"rbTLinkmen", "联系人", "Linkmen like '%东%'"}},
       "rbTname",
       {"供货商名称", "地址", "联系人", "联系电话", "欠款余额"}},
      {"uSelectAccount.TfrmSelectAccount",
       "TfrmSelectAccount",
       "帐户选择",
       "select * from td_Account",
       kAccounts,
       {{"rbDName", "帐户名称", "Name like '%东%'"}},
       "rbDName",
       {"帐号名称"}},
      {"uSelectGoods.TfrmSelectGoods",
       "TfrmSelectGoods",
       "货品选择",
       "select * from td_Goods",
       kGoods,
       {{"rbGcode", "货品编码", "Code like '%东%'"},
        {"rbGname", "货品名称", "Name like '%东%'"},
        {"rbGspec", "规格", "Spec like '%东%'"}},
       "rbGname",
       {"货品编码", "货品名称", "规格", "附注说明"}},
  };
  return dialogs;
}

class SelectDialogsTest : public test::BaseDataTest {
 protected:
  void SetUp() override {
    BaseDataTest::SetUp();
    ClientDataSet& goods = GlobalDM().cdsSelectGoods;
    if (goods.Active()) goods.EmptyDataSet();
  }

  template <class T>
  std::unique_ptr<T> create(const char* className) {
    return test::createWindow<T>("VltBusiness.bpl", className);
  }
};

// Types into the filter box as an input method does: the text arrives, then the key is let go.
void type(TfrmBaseDataSelectForm& s, const QString& text) {
  s.edtfilter->insert(text);
  QTest::keyRelease(s.edtfilter, Qt::Key_End);
}

std::vector<QString> shownHeaders(vlt::components::TNxStringGrid& grid) {
  std::vector<QString> out;
  QAbstractItemModel* m = grid.model();
  for (int c = 0; c < m->columnCount(); ++c)
    if (!grid.isColumnHidden(c)) out.push_back(m->headerData(c, Qt::Horizontal).toString());
  return out;
}

std::vector<std::string> column(ClientDataSet& ds, const char* field) {
  std::vector<std::string> out;
  if (!ds.Active()) return out;
  for (ds.First(); !ds.Eof(); ds.Next())
    out.push_back(ds.FieldByName(field).AsString());
  ds.First();
  return out;
}

// ---- every dialog --------------------------------------------------------------------------

TEST_F(SelectDialogsTest, EachLoadsItsTableOnShowAndFiltersByTheChosenField) {
  for (const Dialog& d : Dialogs()) {
    SCOPED_TRACE(d.className);
    test::FreshHost fresh(d.sql, d.rows);
    auto s = create<TBaseDataPickForm>(d.className);
    ASSERT_TRUE(s);
    EXPECT_EQ(s->ClassName(), d.shortName);
    EXPECT_TRUE(fresh.proxy().calls.empty());  // nothing before it is shown
    test::showSettled(*s);
    EXPECT_EQ(s->windowTitle(), d.caption);
    EXPECT_EQ(fresh.proxy().calls,
              std::vector<std::string>{"GetUserDBDataBySql|10001_01|" + d.sql});
    EXPECT_EQ(shownHeaders(*s->grd), d.headers);

    for (const Dialog::Choice& c : d.choices) {
      SCOPED_TRACE(c.name);
      auto* radio = s->findChild<QRadioButton*>(c.name);
      ASSERT_TRUE(radio);
      EXPECT_EQ(radio->text(), c.text);
      EXPECT_EQ(radio->isChecked(), std::string(c.name) == d.defaultChoice);
    }
    // Each choice in turn: typing "东" filters on its field.
    for (const Dialog::Choice& c : d.choices) {
      SCOPED_TRACE(c.name);
      s->findChild<QRadioButton*>(c.name)->click();
      EXPECT_TRUE(s->edtfilter->text().isEmpty());
      type(*s, "东");
      EXPECT_EQ(s->cdsSelectData.Filter(), c.filter);
      EXPECT_TRUE(s->cdsSelectData.Filtered());
    }
    EXPECT_EQ(fresh.proxy().calls.size(), 1u);  // filtering is local
  }
}

// ---- units ---------------------------------------------------------------------------------

TEST_F(SelectDialogsTest, UnitGoesIntoTheOpenersNamedBox) {
  host.proxy().answer("td_Unit", kUnits);
  TForm opener;
  auto* edtGoodsUnit = new QLineEdit(&opener);
  edtGoodsUnit->setObjectName("edtGoodsUnit");
  auto s = create<TfrmSelectUnit>("uSelectUnit.TfrmSelectUnit");
  s->Target = TPickTarget::IntoBox(*edtGoodsUnit);
  host.ui().scripts["TfrmSelectUnit"] = [](QDialog& d) {
    auto& u = dynamic_cast<TfrmSelectUnit&>(d);
    u.grd->SelectCell(1, 1);
    QTest::keyClick(u.grd, Qt::Key_Return);
    EXPECT_FALSE(u.isVisible());
    return 0;
  };
  ShowModal(*s);
  EXPECT_EQ(edtGoodsUnit->text(), "箱");
  EXPECT_EQ(edtGoodsUnit->property(templates::kTagStringProperty).toString(), "1002");
  EXPECT_TRUE(GlobalDM().cdsSelectResult.IsEmpty());
}

TEST_F(SelectDialogsTest, OkWithNothingListedLeavesTheOpenerAloneAndTheDialogOpen) {
  host.proxy().answer("td_Unit", kUnits);
  TForm opener;
  auto* edtGoodsUnit = new QLineEdit("个", &opener);
  edtGoodsUnit->setObjectName("edtGoodsUnit");
  edtGoodsUnit->setProperty(templates::kTagStringProperty, "1009");
  auto s = create<TfrmSelectUnit>("uSelectUnit.TfrmSelectUnit");
  s->Target = TPickTarget::IntoBox(*edtGoodsUnit);
  test::showSettled(*s);
  QTest::keyClicks(s->edtfilter, "zz");
  ASSERT_EQ(s->cdsSelectData.RecordCount(), 0);
  s->actOK->trigger();
  EXPECT_TRUE(s->isVisible());
  EXPECT_EQ(edtGoodsUnit->text(), "个");
  EXPECT_EQ(edtGoodsUnit->property(templates::kTagStringProperty).toString(), "1009");
}

// ---- clients and vendors -------------------------------------------------------------------

TEST_F(SelectDialogsTest, TraderGoesIntoTheBillAndItsBalanceOnlyWhereTheBillKeepsOne) {
  struct Case {
    const char* name;
    const char* dialog;
    bool withNowBalance;  // a settlement bill; a trade bill has no such field
    bool inserting;       // the bill is new
    std::string expectedBalance;
  };
  const Case cases[] = {
      {"vendor for a purchase", "uSelectVendor.TfrmSelectVendor", false, false, ""},
      {"vendor for a payment", "uSelectVendor.TfrmSelectVendor", true, false, "-30"},
      {"client for a new receipt", "uSelectClient.TfrmSelectClient", true, true, "-30"},
      {"client for a new sale", "uSelectClient.TfrmSelectClient", false, true, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    test::FreshHost fresh("td_Trader", kTraders);

    ClientDataSet cdsMaster;
    cdsMaster.FieldDefinitions().add("Bid", DataType::String, 15);
    cdsMaster.FieldDefinitions().add("TraderID", DataType::String, 15);
    cdsMaster.FieldDefinitions().add("TraderName", DataType::String, 80);
    if (c.withNowBalance) cdsMaster.FieldDefinitions().addDecimal("NowBalance", 20, 2);
    cdsMaster.CreateDataSet();
    cdsMaster.Append();
    cdsMaster.FieldByName("Bid").SetAsString("9001");
    if (!c.inserting) {
      cdsMaster.Post();
      cdsMaster.MergeChangeLog();
    }
    auto s = test::createWindow<TBaseDataPickForm>("VltBusiness.bpl", c.dialog);
    ASSERT_TRUE(s);
    s->Target = TPickTarget::IntoFields(cdsMaster, {"TraderID", "TraderName", "NowBalance"});
    fresh.ui().scripts[s->ClassName()] = [](QDialog& d) {
      auto& p = dynamic_cast<TBaseDataPickForm&>(d);
      p.grd->SelectCell(1, 1);
      // A double click picks too.
      emit p.grd->CellDblClick(1, 1);
      return 0;
    };
    ShowModal(*s);
    EXPECT_EQ(cdsMaster.State(), c.inserting ? DataSetState::Insert : DataSetState::Edit);
    EXPECT_EQ(cdsMaster.FieldByName("Bid").AsString(), "9001");
    EXPECT_EQ(cdsMaster.FieldByName("TraderID").AsString(), "2002");
    EXPECT_EQ(cdsMaster.FieldByName("TraderName").AsString(), "西城小店");
    if (c.withNowBalance) {
      EXPECT_EQ(cdsMaster.FieldByName("NowBalance").AsString(), c.expectedBalance);
    }
  }
}

TEST_F(SelectDialogsTest, WithoutAnOpenerTheChoiceGoesIntoTheHandOverSet) {
  struct Case {
    const char* dialog;
    std::string sqlPart;
    Packet rows;
    std::vector<std::string> expected;  // id, name, other1
  };
  const Case cases[] = {
      {"uSelectUnit.TfrmSelectUnit", "td_Unit", kUnits, {"1002", "箱", ""}},
      {"uSelectClient.TfrmSelectClient", "td_Trader", kTraders, {"2002", "西城小店", "-30.00"}},
      {"uSelectAccount.TfrmSelectAccount", "td_Account", kAccounts, {"4002", "工商银行", ""}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.dialog);
    test::FreshHost fresh(c.sqlPart, c.rows);
    auto s = test::openWindow<TBaseDataPickForm>("VltBusiness.bpl", c.dialog);
    ASSERT_TRUE(s);
    s->grd->SelectCell(1, 1);
    s->actOK->trigger();
    EXPECT_FALSE(s->isVisible());
    ClientDataSet& h = GlobalDM().cdsSelectResult;
    ASSERT_EQ(h.RecordCount(), 1);
    EXPECT_EQ(
        (std::vector<std::string>{h.FieldByName("id").AsString(), h.FieldByName("name").AsString(),
                                  h.FieldByName("other1").AsString()}),
        c.expected);
    h.EmptyDataSet();
  }
}

// ---- accounts ------------------------------------------------------------------------------

TEST_F(SelectDialogsTest, AccountGoesWhereTheOpenerSaidBoxFieldsOrItsOwnFunction) {
  host.proxy().answer("td_Account", kAccounts);
  {
    SCOPED_TRACE("a box (the income/expense entry window)");
    QLineEdit edtAccount;
    auto s = create<TfrmSelectAccount>("uSelectAccount.TfrmSelectAccount");
    s->Target = TPickTarget::IntoBox(edtAccount);
    test::showSettled(*s);
    s->grd->SelectCell(1, 1);
    s->btn1->click();
    EXPECT_FALSE(s->isVisible());
    EXPECT_EQ(edtAccount.text(), "工商银行");
    EXPECT_EQ(edtAccount.property(templates::kTagStringProperty).toString(), "4002");
    EXPECT_TRUE(GlobalDM().cdsSelectResult.IsEmpty());
  }
  {
    SCOPED_TRACE("fields of a bill's data set, put into edit");
    ClientDataSet cdsMaster;
    cdsMaster.FieldDefinitions().add("AccountID", DataType::String, 15);
    cdsMaster.FieldDefinitions().add("AccName", DataType::String, 80);
    cdsMaster.CreateDataSet();
    cdsMaster.Append();
    cdsMaster.Post();
    auto s = create<TfrmSelectAccount>("uSelectAccount.TfrmSelectAccount");
    s->Target = TPickTarget::IntoFields(cdsMaster, {"AccountID", "AccName"});
    test::showSettled(*s);
    s->actOK->trigger();
    EXPECT_EQ(cdsMaster.State(), DataSetState::Edit);
    EXPECT_EQ(cdsMaster.FieldByName("AccountID").AsString(), "4001");
    EXPECT_EQ(cdsMaster.FieldByName("AccName").AsString(), "现金");
  }
  {
    SCOPED_TRACE("the opener's own function");
    std::vector<std::string> got;
    auto s = create<TfrmSelectAccount>("uSelectAccount.TfrmSelectAccount");
    s->Target = TPickTarget::Calling([&got](const templates::TPickValues& v) {
      for (const Value& x : v)
        got.push_back(x.toText());
    });
    test::showSettled(*s);
    s->actOK->trigger();
    EXPECT_EQ(got, (std::vector<std::string>{"4001", "现金"}));
  }
  {
    SCOPED_TRACE("a box that is gone: the dialog stays open, nothing is handed over");
    auto edtAccount = std::make_unique<QLineEdit>();
    auto s = create<TfrmSelectAccount>("uSelectAccount.TfrmSelectAccount");
    s->Target = TPickTarget::IntoBox(*edtAccount);
    edtAccount.reset();
    test::showSettled(*s);
    s->actOK->trigger();
    EXPECT_TRUE(s->isVisible());
    EXPECT_TRUE(GlobalDM().cdsSelectResult.IsEmpty());
  }
}

// ---- editing the base data from a dialog ----------------------------------------------------

TEST_F(SelectDialogsTest, EditOpensTheUnitListAboveTheDialogWhichStaysOpen) {
  host.proxy().answer("td_Unit", kUnits);
  auto s = test::openWindow<TfrmSelectUnit>("VltBusiness.bpl", "uSelectUnit.TfrmSelectUnit");
  s->setWindowModality(Qt::ApplicationModal);
  s->btnModify->click();
  QApplication::processEvents();
  QPointer<TForm> list;
  for (QWidget* w : QApplication::topLevelWidgets())
    if (auto* f = qobject_cast<TForm*>(w);
        f && f->ClassName() == "TfrmBaseDataUnit" && f->isVisible())
      list = f;
  ASSERT_TRUE(list);
  EXPECT_EQ(list->parent(), nullptr);
  // Usable although the dialog is modal: the newest modal window takes the input.
  EXPECT_EQ(QApplication::activeModalWidget(), list.data());
  EXPECT_TRUE(s->isVisible());
  EXPECT_EQ(host.proxy().callsStartingWith("GetUserDBDataBySql").size(), 2u);
  list->close();
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_TRUE(list.isNull());
  EXPECT_TRUE(s->isVisible());
}

// ---- goods ---------------------------------------------------------------------------------

class SelectGoodsTest : public SelectDialogsTest {
 protected:
  std::unique_ptr<TfrmSelectGoods> open() {
    host.proxy().answer("td_Goods", kGoods);
    // As the bill template makes it: by name, from the package.
    std::unique_ptr<TForm> form(
        CreateRttiForm("VltBusiness.bpl", "uSelectGoods.TfrmSelectGoods", nullptr));
    auto* goods = qobject_cast<TfrmSelectGoods*>(form.get());
    if (!goods) return nullptr;
    form.release();
    std::unique_ptr<TfrmSelectGoods> s(goods);
    test::showSettled(*s);
    return s;
  }
  static void add(TfrmSelectGoods& s, int row) {
    s.grd->SelectCell(1, row);
    s.actAddSelectArea->trigger();
  }
  static ClientDataSet& selection() { return GlobalDM().cdsSelectGoods; }
};

TEST_F(SelectGoodsTest, AddingCopiesTheGoodsIntoTheSelectionAreaOnceEach) {
  auto s = open();
  ASSERT_TRUE(s);
  add(*s, 2);
  // Double click and Enter in the list add as well.
  s->grd->SelectCell(1, 0);
  emit s->grd->CellDblClick(1, 0);
  s->grd->SelectCell(1, 1);
  QTest::keyClick(s->grd, Qt::Key_Return);
  EXPECT_TRUE(s->isVisible());
  EXPECT_TRUE(s->lblError->text().isEmpty());

  ClientDataSet& sel = selection();
  ASSERT_EQ(sel.RecordCount(), 3);
  EXPECT_EQ(s->grdSelect->model()->rowCount(), 3);
  EXPECT_EQ(shownHeaders(*s->grdSelect),
            (std::vector<QString>{"货品编码", "货品名称", "规格", "附注说明"}));
  sel.First();
  const char* const fields[] = {"id",     "code",   "name",     "spec",
                                "typeid", "unitid", "purPrice", "salPrice"};
  std::vector<std::string> first;
  for (const char* f : fields)
    first.push_back(sel.FieldByName(f).AsString());
  EXPECT_EQ(first, (std::vector<std::string>{"5003", "B-01", "扳手", "20cm", "-9999", "1002",
                                             "12.5", "19.9"}));
  EXPECT_EQ(column(sel, "id"), (std::vector<std::string>{"5003", "5001", "5002"}));

  // The same goods again: a note under the list, nothing added.
  add(*s, 0);
  EXPECT_EQ(s->lblError->text(), "该货品已经加入【货品选择区】！");
  EXPECT_EQ(sel.RecordCount(), 3);
  // A click in the list clears the note, and so does the next add that succeeds.
  emit s->grd->CellClick(1, 1);
  EXPECT_TRUE(s->lblError->text().isEmpty());
  add(*s, 0);
  ASSERT_FALSE(s->lblError->text().isEmpty());
  s->actClearSelectArea->trigger();
  add(*s, 0);
  EXPECT_TRUE(s->lblError->text().isEmpty());
  EXPECT_EQ(column(sel, "id"), std::vector<std::string>{"5001"});
  // Nothing listed, nothing added.
  type(*s, "不存在");
  s->actAddSelectArea->trigger();
  EXPECT_EQ(sel.RecordCount(), 1);
}

TEST_F(SelectGoodsTest, RemoveTakesTheCurrentSelectionRowAndClearEmptiesIt) {
  auto s = open();
  ASSERT_TRUE(s);
  for (int row : {0, 1, 2})
    add(*s, row);
  s->grdSelect->SelectCell(1, 1);
  s->btnSelectAreaDel->click();
  EXPECT_EQ(column(selection(), "id"), (std::vector<std::string>{"5001", "5003"}));
  s->btnClearSelectArea->click();
  EXPECT_TRUE(selection().IsEmpty());
  EXPECT_EQ(s->grdSelect->model()->rowCount(), 0);
  // Nothing to remove is no fault.
  s->actSelectAreaDel->trigger();
  EXPECT_TRUE(selection().IsEmpty());
  EXPECT_TRUE(s->isVisible());
}

TEST_F(SelectGoodsTest, OnlyAConfirmedDialogHandsItsSelectionOver) {
  enum class How { Ok, CloseButton, Escape };
  struct Case {
    const char* name;
    How how;
    bool kept;
  };
  const Case cases[] = {{"OK", How::Ok, true},
                        {"the window's close button", How::CloseButton, false},
                        {"Escape", How::Escape, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    host.proxy().answers.clear();
    auto s = open();
    ASSERT_TRUE(s);
    s->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(s.get()));
    add(*s, 0);
    add(*s, 2);
    switch (c.how) {
      case How::Ok:
        s->btn1->click();
        break;
      case How::CloseButton:
        s->close();
        break;
      case How::Escape:
        QTest::keyClick(s->edtfilter, Qt::Key_Escape);
        break;
    }
    EXPECT_FALSE(s->isVisible());
    EXPECT_EQ(s->FSelectOK, c.kept);
    const std::vector<std::string> expected =
        c.kept ? std::vector<std::string>{"5001", "5003"} : std::vector<std::string>{};
    EXPECT_EQ(column(selection(), "id"), expected);
    if (selection().Active()) selection().EmptyDataSet();
  }
}

// ---- how they look -------------------------------------------------------------------------

TEST_F(SelectGoodsTest, Screenshots) {
  if (qEnvironmentVariableIsEmpty("VLT_SHOTS_DIR")) GTEST_SKIP() << "VLT_SHOTS_DIR not set";
  QFile style(qEnvironmentVariable("VLT_SOURCE_DIR") + "/launcher/VltDefault.style");
  ASSERT_TRUE(style.open(QIODevice::ReadOnly));
  qApp->setStyleSheet(QString::fromUtf8(style.readAll()));
  {
    auto s = open();
    add(*s, 0);
    add(*s, 2);
    add(*s, 0);
    test::saveShot(*s, "select_goods");
    selection().EmptyDataSet();
  }
  const char* const shots[] = {"select_unit", "select_client", "select_vendor", "select_account"};
  for (std::size_t i = 0; i < 4; ++i) {
    const Dialog& d = Dialogs()[i];
    host.proxy().answers.clear();
    host.proxy().answer(d.sql, d.rows);
    auto s = test::openWindow<TBaseDataPickForm>("VltBusiness.bpl", d.className);
    ASSERT_TRUE(s);
    s->grd->SelectCell(1, 1);
    test::saveShot(*s, shots[i]);
  }
  qApp->setStyleSheet(QString());
}

}  // namespace

#include "test_select_dialogs.moc"
