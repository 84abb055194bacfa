// Goods types and goods: the tree built from flat rows (missing parents and loops left out),
// level codes, the list window's adding and modifying with the system type refused, moving a
// type with its sub-tree and the refusal to move it under itself, the goods list's type filter,
// the goods edit window's required boxes, duplicate checks, statements and the system type
// "-9999" for goods saved without one, and the two selection dialogs writing back.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QSplitter>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "basedata/uBaseDataGoods.h"
#include "basedata/uBaseDataGoodsEdit.h"
#include "basedata/uBaseDataGoodsType.h"
#include "basedata/uBaseDataGoodsTypeEdit.h"
#include "basedata/uGoodsTypeTree.h"
#include "basedata/uSelectGoodsType.h"
#include "fakehost.h"
#include "tplwidgets.h"
#include "uBaseDataSelectForm.h"
#include "vlt/host.h"
#include "windowrows.h"

using namespace vlt;
using namespace vlt::host;
using namespace vlt::business;
using vlt::test::packetOf;

namespace {

const char* const kDb = "10001_01";
const char* const kPkg = "VltBusiness.bpl";
const std::string kTypesSql = "select * from td_GoodsType";
const std::string kFirstId = "200000000000000";  // the fake's first new id

// A tree with a loop (6 <-> 7), a self-parent (8) and a missing parent (5).
Packet typeRows() {
  return packetOf({"Id", "Name", "PId", "LevelCode"}, {{"4", "零食", "1", "aaaddd"},
                                                       {"1", "食品", "-1", "aaa"},
                                                       {"2", "饮料", "1", "aaabbb"},
                                                       {"3", "果汁", "2", "aaabbbccc"},
                                                       {"-9999", "未分类", "-1", "999"},
                                                       {"5", "孤儿", "404", "eee"},
                                                       {"6", "环甲", "7", "fff"},
                                                       {"7", "环乙", "6", "ggg"},
                                                       {"8", "自指", "8", "hhh"},
                                                       {"9", "日用", "-1", "kkk"}});
}

Packet goodsRows() {
  return packetOf({"Id", "Code", "Name", "Spec", "TypeId", "UnitID", "BarCode", "Kind",
                   "CostKeeping", "PurPrice", "SalPrice", "WsaPrice", "Pause", "ReMark", "ExistPic",
                   "GtypeName", "levelcode", "unitname"},
                  {{"g1", "A01", "苹果", "红", "1", "u1", "690", "库存商品", "先进先出法", "12.50",
                    "15", "0", "False", "", "False", "食品", "aaa", "个"},
                   {"g2", "B01", "可乐", "罐", "2", "u1", "", "库存商品", "先进先出法", "2", "3",
                    "2.5", "False", "冷藏", "False", "饮料", "aaabbb", "个"},
                   {"g3", "C01", "橙汁", "", "3", "u1", "", "库存商品", "先进先出法", "0", "0", "0",
                    "False", "", "False", "果汁", "aaabbbccc", "瓶"},
                   {"g4", "Z01", "散货", "", "-9999", "u1", "", "库存商品", "先进先出法", "0", "0",
                    "0", "False", "", "False", "未分类", "999", "个"}});
}

// "name(child,child) name" for the visible tree.
QString dump(QTreeWidgetItem* item) {
  QString s = item->text(0);
  if (item->childCount() == 0) return s;
  QStringList kids;
  for (int i = 0; i < item->childCount(); ++i)
    kids << dump(item->child(i));
  return s + "(" + kids.join(",") + ")";
}
QString dump(QTreeWidget* tree) {
  QStringList tops;
  for (int i = 0; i < tree->topLevelItemCount(); ++i)
    tops << dump(tree->topLevelItem(i));
  return tops.join(" ");
}

QTreeWidgetItem* itemOf(QTreeWidget* tree, const QString& id) {
  for (QTreeWidgetItemIterator it(tree); *it; ++it)
    if (ItemTag(*it).Id == id) return *it;
  return nullptr;
}

void select(QTreeWidget* tree, const QString& id) {
  QTreeWidgetItem* item = itemOf(tree, id);
  ASSERT_NE(item, nullptr) << id.toStdString();
  tree->setCurrentItem(item);
}

std::vector<std::string> visibleCodes(ClientDataSet& ds) {
  std::vector<std::string> out;
  for (ds.First(); !ds.Eof(); ds.Next())
    out.push_back(ds.FieldByName("Code").AsString());
  return out;
}

// The unit dialog as the goods edit window expects it, for a build that does not have it yet
// (the real one is registered first and then found first).
class TStandInSelectUnit : public TfrmBaseDataSelectForm {
 public:
  using TfrmBaseDataSelectForm::TfrmBaseDataSelectForm;
  void FormCreate() override {
    FBaseDataTableName = "td_Unit";
    FOpenBaseDataSql = "select * from td_Unit";
    FFilterStr = "Name like ";
    grd->Bind(&cdsSelectData, {{"Id", "", 0, false}, {"Name", "单位名称", 160}});
    TfrmBaseDataSelectForm::FormCreate();
  }
  void actOKExecute() override {
    Target.Deliver(
        {cdsSelectData.FieldByName("Id").AsString(), cdsSelectData.FieldByName("Name").AsString()});
    close();
  }
};

class GoodsTest : public ::testing::Test {
 protected:
  test::HostFixture host;
  std::vector<std::string> errors;
  std::deque<int> draws;  // indices the level codes are drawn from; 0 ('a') when empty

  void SetUp() override {
    CurUserInfo().UserDBID = kDb;
    SetApplicationExceptionHandler([this](const std::exception& e) { errors.push_back(e.what()); });
    useDraws();
    static bool registered = false;
    if (!registered) {
      registered = true;
      RegisterClass(TClassInfo{"uSelectUnit.TfrmSelectUnit", false,
                               [](QWidget* owner) { return new TStandInSelectUnit(owner); }});
    }
    proxy().answer(kTypesSql, typeRows());
    proxy().answer("select g.*", goodsRows());
  }
  void TearDown() override {
    SetLevelCodeDraw(nullptr);
    for (QWidget* w : QApplication::topLevelWidgets())
      if (w->isVisible()) w->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  }

  void useDraws() {
    SetLevelCodeDraw([this](int) {
      if (draws.empty()) return 0;
      int d = draws.front();
      draws.pop_front();
      return d;
    });
  }
  // The two list windows, created by name as the business frame creates them.
  static std::unique_ptr<TfrmBaseDataGoodsType> openTypes() {
    return test::openWindow<TfrmBaseDataGoodsType>(kPkg,
                                                   "uBaseDataGoodsType.TfrmBaseDataGoodsType");
  }
  static std::unique_ptr<TfrmBaseDataGoods> openGoods() {
    return test::openWindow<TfrmBaseDataGoods>(kPkg, "uBaseDataGoods.TfrmBaseDataGoods");
  }
  test::FakeServerMethods& proxy() { return host.proxy(); }
  test::FakeHostUi& ui() { return host.ui(); }
  std::vector<std::string> sent() { return host.proxy().callsStartingWith("doUserDBData"); }
  std::vector<std::string> checks() {
    return host.proxy().callsStartingWith("CheckValueIsExistBySql");
  }
  // The edit window runs `user` when shown, as the user would.
  template <class T>
  void onModal(const char* className, std::function<void(T&)> user) {
    ui().scripts[className] = [user](QDialog& d) {
      user(static_cast<T&>(d));
      return 0;
    };
  }
};

std::string put(const std::string& sql) {
  return std::string("doUserDBDataBySql|") + kDb + "|" + sql;
}
std::string check(const std::string& sql) {
  return std::string("CheckValueIsExistBySql|") + kDb + "|" + sql;
}

// ---- the tree ----------------------------------------------------------------------------------

TEST_F(GoodsTest, EveryTreeLeavesOutMissingParentsAndLoops) {
  auto list = openTypes();
  ASSERT_TRUE(list);
  const QString types = "未分类 食品(饮料(果汁),零食) 日用";
  EXPECT_EQ(dump(list->tvGoodsType), types);
  EXPECT_EQ(list->tvGoodsType->currentItem(), list->tvGoodsType->topLevelItem(0));
  EXPECT_EQ(ItemTagString(itemOf(list->tvGoodsType, "3")), "3,2,aaabbbccc");
  // Reloading keeps the user's place and builds the same tree again.
  select(list->tvGoodsType, "2");
  list->actRefresh->trigger();
  EXPECT_EQ(dump(list->tvGoodsType), types);
  EXPECT_EQ(ItemTag(list->tvGoodsType->currentItem()).Id, "2");
  EXPECT_EQ(list->FTtreeItemList.Items().size(), 10u);

  auto dialog = templates::CreateForm<TfrmSelectGoodsType>();
  EXPECT_EQ(dump(dialog->tvGoodsType), types);

  auto goods = openGoods();
  EXPECT_EQ(dump(goods->tvGtype), "全部货品(" + QString(types).replace(" ", ",") + ")");
  EXPECT_EQ(ItemTagString(goods->tvGtype->topLevelItem(0)), "-1,-1,-1");
  EXPECT_TRUE(errors.empty());
}

TEST_F(GoodsTest, LevelCodesAvoidNineAndCodesInUse) {
  draws = {34, 34, 34};
  EXPECT_EQ(MakeThreeCharCode(), "888");
  SetLevelCodeDraw(nullptr);
  for (int i = 0; i < 300; ++i) {
    const std::string code = MakeThreeCharCode();
    ASSERT_EQ(code.size(), 3u);
    ASSERT_EQ(code.find_first_not_of("abcdefghijklmnopqrstuvwxyz012345678"), std::string::npos);
  }
  useDraws();
  proxy().answer("levelcode='aaaaaa'", packetOf({"Id"}, {{"x"}}));
  draws = {0, 0, 0, 0, 0, 1};
  EXPECT_EQ(GetLevelCode("aaa"), "aaaaab");
  EXPECT_EQ(checks(), (std::vector<std::string>{
                          check("select * from td_goodstype where levelcode='aaaaaa'"),
                          check("select * from td_goodstype where levelcode='aaaaab'")}));
}

// ---- the goods-type list -----------------------------------------------------------------------

TEST_F(GoodsTest, ListRefusesWhatItMustNotDo) {
  struct Row {
    const char* action;
    const char* selected;  // "" for no item, nullptr for no types at all
    QString message;
  } rows[] = {
      {"actAddChildLevel", "-9999", "系统数据，禁止增加子类！"},
      {"actMofify", "-9999", "系统数据，禁止修改！"},
      {"actAddSameLevel", "", "请先选择一个目标类别"},
      {"actAddChildLevel", "", "请先选择一个目标类别"},
      {"actMofify", "", "请先选择一个目标类别"},
      {"actAddSameLevel", nullptr, ""},
      {"actMofify", nullptr, ""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(row.action) + " on " + (row.selected ? row.selected : "nothing"));
    proxy().answers.clear();
    proxy().answer(kTypesSql,
                   row.selected ? typeRows() : packetOf({"Id", "Name", "PId", "LevelCode"}));
    ui().messages.clear();
    ui().modalShown.clear();
    auto list = openTypes();
    if (row.selected && *row.selected) select(list->tvGoodsType, row.selected);
    if (row.selected && !*row.selected) list->tvGoodsType->setCurrentItem(nullptr);
    list->findChild<QAction*>(row.action)->trigger();
    EXPECT_EQ(ui().messages, row.message.isEmpty() ? QStringList() : QStringList{row.message});
    EXPECT_TRUE(ui().modalShown.isEmpty());
  }
  EXPECT_TRUE(sent().empty());
}

// Each row in a fresh fixture, so that new ids start at the fake's first.
struct AddRow {
  const char* action;
  const char* selected;
  QString parentText;
  std::string insert;
};
class GoodsTypeAdd : public GoodsTest, public ::testing::WithParamInterface<AddRow> {};

TEST_P(GoodsTypeAdd, PlacesTheNewTypeBesideOrUnderTheSelectedOne) {
  const AddRow& row = GetParam();
  draws = {0, 0, 1};
  auto list = openTypes();
  select(list->tvGoodsType, row.selected);
  QString parentShown;
  onModal<TfrmBaseDataGoodsTypeEdit>("TfrmBaseDataGoodsTypeEdit", [&](auto& edit) {
    parentShown = edit.edtParent->text();
    edit.edtType->setText("  蔬菜 ");
    edit.actSaveAndClose->trigger();
  });
  const std::size_t loadsBefore = proxy().callsStartingWith("GetUserDBDataBySql").size();
  list->findChild<QAction*>(row.action)->trigger();
  EXPECT_EQ(parentShown, row.parentText);
  EXPECT_EQ(sent(), std::vector<std::string>{put(row.insert)});
  EXPECT_EQ(proxy().callsStartingWith("GetUserDBDataBySql").size(), loadsBefore + 1);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, GoodsTypeAdd,
    ::testing::Values(AddRow{"actAddSameLevel", "1", "",
                             "Insert into td_goodstype (Id,Name,PId,LevelCode) value ('" +
                                 kFirstId + "','蔬菜','-1','aab')"},
                      AddRow{"actAddSameLevel", "3", "饮料",
                             "Insert into td_goodstype (Id,Name,PId,LevelCode) value ('" +
                                 kFirstId + "','蔬菜','2','aaabbbaab')"},
                      AddRow{"actAddChildLevel", "3", "果汁",
                             "Insert into td_goodstype (Id,Name,PId,LevelCode) value ('" +
                                 kFirstId + "','蔬菜','3','aaabbbcccaab')"}));

struct ModifyRow {
  const char* name;    // typed over the name, nullptr to keep it
  const char* parent;  // "" keeps it, "clear" empties it, else the id picked in the dialog
  std::string update;  // empty: nothing is sent
};
class GoodsTypeModify : public GoodsTest, public ::testing::WithParamInterface<ModifyRow> {};

TEST_P(GoodsTypeModify, SendsOnlyWhatChangedAndMovesTheSubTree) {
  const ModifyRow& row = GetParam();
  draws = {0, 0, 1};
  auto list = openTypes();
  select(list->tvGoodsType, "2");
  onModal<TfrmBaseDataGoodsTypeEdit>("TfrmBaseDataGoodsTypeEdit", [&](auto& edit) {
    EXPECT_EQ(edit.edtType->text(), "饮料");
    EXPECT_EQ(edit.edtParent->text(), "食品");
    if (row.name) edit.edtType->setText(row.name);
    if (QString(row.parent) == "clear") {
      edit.actClearParentType->trigger();
    } else if (*row.parent) {
      edit.actSelectParentType->trigger();
      auto* dialog = edit.template findChild<TfrmSelectGoodsType*>();
      ASSERT_NE(dialog, nullptr);
      select(dialog->tvGoodsType, row.parent);
      dialog->actOK->trigger();
    }
    edit.actSaveAndClose->trigger();
  });
  list->actMofify->trigger();
  if (row.update.empty()) {
    EXPECT_EQ(ui().messages, QStringList{"没检测到需要保存的数据！"});
    EXPECT_TRUE(sent().empty());
    EXPECT_TRUE(checks().empty());
  } else {
    EXPECT_EQ(sent(), std::vector<std::string>{put(row.update)});
  }
}

INSTANTIATE_TEST_SUITE_P(
    Rows, GoodsTypeModify,
    ::testing::Values(
        ModifyRow{nullptr, "", ""}, ModifyRow{" 饮料 ", "1", ""},
        ModifyRow{"饮品", "", "update td_GoodsType set Name='饮品' where Id='2'"},
        ModifyRow{nullptr, "clear",
                  "update td_GoodsType set Pid=if(Id='2','-1',Pid),LevelCode=concat('aab',"
                  "substr(LevelCode,7)) where left(LevelCode,6)='aaabbb'"},
        ModifyRow{"饮品", "9",
                  "update td_GoodsType set Name=if(Id='2','饮品',Name),Pid=if(Id='2','9',Pid),"
                  "LevelCode=concat('kkkaab',substr(LevelCode,7)) where left(LevelCode,6)="
                  "'aaabbb'"}));

TEST_F(GoodsTest, TypeCannotMoveUnderItselfOrItsSubTypes) {
  Packet rows = typeRows();
  rows.rows.push_back({Value("10"), Value("果冻"), Value("2"), Value("AAABBBEEE")});
  proxy().answers.clear();
  proxy().answer(kTypesSql, rows);
  struct Row {
    QString mode;
    const char* chosen;
    bool refused;
  } cases[] = {{"Edit", "2", true},   {"Edit", "3", true},  {"edit", "10", true},
               {"Edit", "1", false},  {"Edit", "4", false}, {"Edit", "9", false},
               {"Append", "2", false}};
  for (const Row& c : cases) {
    SCOPED_TRACE(c.mode.toStdString() + " choosing " + c.chosen);
    auto edit = templates::CreateForm<TfrmBaseDataGoodsTypeEdit>();
    edit->TagString = c.mode;
    edit->FGoodsTypeInfo = {"2", "饮料", "1", "aaabbb"};
    test::showSettled(*edit);
    edit->actSelectParentType->trigger();
    QPointer<TfrmSelectGoodsType> dialog = edit->findChild<TfrmSelectGoodsType*>();
    ASSERT_TRUE(dialog);
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_EQ(dialog->parent(), edit.get());
    select(dialog->tvGoodsType, c.chosen);
    dialog->actOK->trigger();
    if (c.refused) {
      EXPECT_TRUE(dialog->isVisible());
      EXPECT_TRUE(dialog->lblWarning->isVisible());
      EXPECT_TRUE(edit->edtParent->text().isEmpty());
      select(dialog->tvGoodsType, "1");
      EXPECT_FALSE(dialog->lblWarning->isVisible());
    } else {
      EXPECT_FALSE(dialog && dialog->isVisible());
      EXPECT_FALSE(edit->edtParent->text().isEmpty());
      EXPECT_EQ(SplitGoodsTypeTag(BoxTagString(edit->edtParent)).Id, c.chosen);
    }
  }
  EXPECT_TRUE(ui().messages.isEmpty());
}

// ---- goods -------------------------------------------------------------------------------------

TEST_F(GoodsTest, TypeTreeFiltersTheGoodsOfATypeAndItsSubTypes) {
  auto goods = openGoods();
  const std::vector<std::string> all = {"A01", "B01", "C01", "Z01"};
  EXPECT_EQ(visibleCodes(goods->cdsBaseData), all);
  const std::pair<const char*, std::vector<std::string>> rows[] = {{"1", {"A01", "B01", "C01"}},
                                                                   {"2", {"B01", "C01"}},
                                                                   {"3", {"C01"}},
                                                                   {"-9999", {"Z01"}},
                                                                   {"4", {}},
                                                                   {"-1", all}};
  for (const auto& [id, codes] : rows) {
    SCOPED_TRACE(id);
    select(goods->tvGtype, id);
    EXPECT_EQ(visibleCodes(goods->cdsBaseData), codes);
  }
  select(goods->tvGtype, "2");
  goods->actRefresh->trigger();
  EXPECT_EQ(visibleCodes(goods->cdsBaseData), (std::vector<std::string>{"B01", "C01"}));

  goods->splleftDblClick();
  EXPECT_EQ(goods->splleft->sizes().value(0), 0);
  goods->splleftDblClick();
  EXPECT_EQ(goods->splleft->sizes().value(0), 145);
}

TEST_F(GoodsTest, NewGoodsTakesTheChosenTypeOrTheSystemType) {
  auto goods = openGoods();
  QString shown, tag;
  onModal<TfrmBaseDataGoodsEdit>("TfrmBaseDataGoodsEdit", [&](auto& edit) {
    shown = edit.edtGoodsType->text();
    tag = BoxTagString(edit.edtGoodsType);
    edit.edtGoodsCode->setText("P01");
    edit.edtGoodsName->setText("梨");
    edit.edtGoodsUnit->setText("个");
    SetBoxTagString(edit.edtGoodsUnit, "u1");
    edit.actSaveAndClose->trigger();
  });
  select(goods->tvGtype, "2");
  goods->actNew->trigger();
  EXPECT_EQ(shown, "饮料");
  EXPECT_EQ(tag, "2");
  select(goods->tvGtype, "-1");
  goods->actNew->trigger();
  EXPECT_EQ(shown, "");
  ASSERT_EQ(sent().size(), 2u);
  EXPECT_NE(sent()[0].find(",'2','u1',"), std::string::npos);
  EXPECT_NE(sent()[1].find(",'-9999','u1',"), std::string::npos);
}

TEST_F(GoodsTest, EditShowsTheSelectedGoods) {
  auto goods = openGoods();
  QStringList shown;
  onModal<TfrmBaseDataGoodsEdit>("TfrmBaseDataGoodsEdit", [&](auto& e) {
    shown = {e.edtGoodsCode->text(),       e.edtGoodsName->text(),       e.edtGoodsSpec->text(),
             e.edtGoodsType->text(),       BoxTagString(e.edtGoodsType), e.edtGoodsUnit->text(),
             BoxTagString(e.edtGoodsUnit), e.edtBarCode->text(),         e.edtPurPrice->text(),
             e.edtSalPrice->text(),        e.edtWsaPrice->text()};
    e.actSaveAndClose->trigger();
  });
  goods->actEdit->trigger();
  EXPECT_EQ(shown,
            (QStringList{"A01", "苹果", "红", "食品", "1", "个", "u1", "690", "12.5", "15", "0"}));
  // Nothing changed: a price shown as "12.5" is the stored "12.50".
  EXPECT_EQ(ui().messages, QStringList{"没检测到需要保存的数据！"});
  EXPECT_TRUE(checks().empty());
}

// The goods edit window on its own, in a mode, with the stored goods g1 for "Edit".
std::unique_ptr<TfrmBaseDataGoodsEdit> goodsEdit(const QString& mode) {
  auto edit = templates::CreateForm<TfrmBaseDataGoodsEdit>();
  edit->TagString = mode;
  TBaseDataInfo_Goods& g = edit->FGoodsInfo;
  g.ID = "g1";
  g.Code = "A01";
  g.Name = "苹果";
  g.Spec = "红";
  g.TypeId = "1";
  g.TypeName = "食品";
  g.UnitID = "u1";
  g.UnitName = "个";
  g.BarCode = "690";
  g.PurPrice = Decimal::parse("12.50");
  g.SalPrice = Decimal::parse("15");
  test::showSettled(*edit);
  return edit;
}

TEST_F(GoodsTest, RequiredBoxesComeFirst) {
  const std::tuple<const char*, const char*, const char*, QString, const char*> rows[] = {
      {"", "梨", "个", "【货品编码】值为空，保存被取消，请检查数据！", "edtGoodsCode"},
      {"P01", "  ", "个", "【货品名称】值为空，保存被取消，请检查数据！", "edtGoodsName"},
      {"P01", "梨", "", "【计量单位】值为空，保存被取消，请检查数据！", "edtGoodsUnit"}};
  for (const auto& [code, name, unit, message, focus] : rows) {
    SCOPED_TRACE(message.toStdString());
    ui().messages.clear();
    auto edit = goodsEdit("Append");
    edit->edtGoodsCode->setText(code);
    edit->edtGoodsName->setText(name);
    edit->edtGoodsUnit->setText(unit);
    edit->actSaveAndNew->trigger();
    EXPECT_EQ(ui().messages, QStringList{message});
    EXPECT_EQ(edit->focusWidget()->objectName(), focus);
  }
  EXPECT_TRUE(proxy().calls.empty());
}

TEST_F(GoodsTest, PricesAreCheckedBeforeAnythingIsSentAndTheBoxIsNamed) {
  using Row = test::WindowRow<TfrmBaseDataGoodsEdit>;
  // A new goods with the price typed into the box, saved and closed.
  auto typing = [](const char* box, const char* price) {
    return [box, price](TfrmBaseDataGoodsEdit& e) {
      test::Type(e, "edtGoodsCode", "P01");
      test::Type(e, "edtGoodsName", "梨");
      e.edtGoodsUnit->setText("个");
      test::Type(e, box, price);
      e.actSaveAndClose->trigger();
    };
  };
  auto focused = [](const char* box) {
    return [box](TfrmBaseDataGoodsEdit& e, test::HostFixture&) {
      EXPECT_EQ(e.focusWidget()->objectName(), box);
    };
  };
  const auto saved = [](TfrmBaseDataGoodsEdit&, test::HostFixture& h) {
    EXPECT_EQ(h.proxy().callsStartingWith("doUserDB").size(), 1u);
  };
  // clang-format off
  test::RunWindowRows<TfrmBaseDataGoodsEdit>(
      [](test::HostFixture&) { return goodsEdit("Append"); },
      {Row{"letters", typing("edtPurPrice", "abc"), test::kNothingSent, {"采购价必须是数字"}, {}, true,
           focused("edtPurPrice")},
       Row{"a comma and a letter", typing("edtPurPrice", "12,5x"), test::kNothingSent, {"采购价必须是数字"}, {},
           true, focused("edtPurPrice")},
       Row{"an exponent", typing("edtSalPrice", "1e3"), test::kNothingSent, {"销售价必须是数字"}, {}, true,
           focused("edtSalPrice")},
       Row{"three decimals", typing("edtWsaPrice", "1.005"), test::kNothingSent, {"批发价最多只能有2位小数"}, {},
           true, focused("edtWsaPrice")},
       Row{"too large", typing("edtWsaPrice", "1234567890"), test::kNothingSent, {"批发价超出了允许的范围"}, {},
           true, focused("edtWsaPrice")},
       Row{"negative, blanks around", typing("edtPurPrice", " -3.50 "), test::kNotChecked, {}, {}, false, saved},
       Row{"a zero decimal more", typing("edtPurPrice", "1.500"), test::kNotChecked, {}, {}, false, saved},
       Row{"empty", typing("edtSalPrice", ""), test::kNotChecked, {}, {}, false, saved}});
  // clang-format on
}

struct DuplicateRow {
  QString mode;
  const char* code;
  const char* name;
  const char* spec;
  std::string query;  // empty: no query
};
class GoodsDuplicate : public GoodsTest, public ::testing::WithParamInterface<DuplicateRow> {};

TEST_P(GoodsDuplicate, AsksOnlyAboutWhatMustStayUnique) {
  const DuplicateRow& row = GetParam();
  auto fill = [&](TfrmBaseDataGoodsEdit& edit) {
    edit.edtGoodsCode->setText(row.code);
    edit.edtGoodsName->setText(row.name);
    edit.edtGoodsSpec->setText(row.spec);
    edit.edtGoodsUnit->setText("个");
    SetBoxTagString(edit.edtGoodsUnit, "u1");
    edit.edtPurPrice->setText("13");  // so that an edit always has something to save
  };
  auto edit = goodsEdit(row.mode);
  fill(*edit);
  edit->actSaveAndClose->trigger();
  EXPECT_EQ(checks(), row.query.empty() ? std::vector<std::string>{}
                                        : std::vector<std::string>{check(row.query)});
  EXPECT_EQ(sent().size(), 1u);
  if (row.query.empty()) return;

  // The same save when the service finds a row: refused, nothing sent.
  proxy().calls.clear();
  proxy().answer(row.query.substr(row.query.find(" where ")), packetOf({"Id"}, {{"g9"}}));
  auto again = goodsEdit(row.mode);
  fill(*again);
  again->edtGoodsName->setFocus();
  again->actSaveAndClose->trigger();
  EXPECT_EQ(ui().messages.value(0),
            "【货品编码 或 名称/规格】已存在，保存被取消！ 错误原因：数据重复！");
  EXPECT_TRUE(sent().empty());
  EXPECT_EQ(again->focusWidget(), again->edtGoodsCode);
  EXPECT_TRUE(again->isVisible());
}

INSTANTIATE_TEST_SUITE_P(
    Rows, GoodsDuplicate,
    ::testing::Values(
        DuplicateRow{"Append", " P'01 ", "梨", "",
                     "select * from td_goods where (code='P''01') or ((Name='梨') and (Spec=''))"},
        DuplicateRow{"Edit", "A01", "苹果", " 红 ", ""},
        DuplicateRow{"Edit", "A02", "苹果", "红",
                     "select * from td_goods where (Id<>'g1') and ((Code='A02'))"},
        DuplicateRow{"Edit", "A01", "苹果", "青",
                     "select * from td_goods where (Id<>'g1') and (((Name='苹果') and "
                     "(Spec='青')))"},
        DuplicateRow{"Edit", "a01", "青苹果", "红",
                     "select * from td_goods where (Id<>'g1') and ((Code='a01') or "
                     "((Name='青苹果') and (Spec='红')))"}));

TEST_F(GoodsTest, InsertAndUpdateStatements) {
  auto edit = goodsEdit("Append");
  edit->edtGoodsCode->setText(" P01 ");
  edit->edtGoodsName->setText("梨");
  edit->edtGoodsSpec->setText("大");
  edit->edtGoodsUnit->setText("个");
  SetBoxTagString(edit->edtGoodsUnit, "u1");
  edit->edtSalPrice->setText(" 3.5 ");
  edit->edtWsaPrice->setText("1.0");
  edit->mmoRemark->setPlainText("产地 ");
  edit->actSaveAndNew->trigger();
  EXPECT_EQ(sent(), std::vector<std::string>{put(
                        "Insert into td_Goods (Id,Code,Name,Spec,TypeID,UnitID,Kind,CostKeeping,"
                        "BarCode,PurPrice,SalPrice,WsaPrice,Pause,ReMark,ExistPic) value ('" +
                        kFirstId +
                        "','P01','梨','大','-9999','u1','库存商品','先进先出法','',0,3.5,1.0,"
                        "'False','产地 ','False')")});
  // Saved and new: everything but the type is cleared for the next goods.
  EXPECT_EQ(edit->TagString, "Append");
  EXPECT_EQ(BoxTagString(edit->edtGoodsType), "-9999");
  for (QLineEdit* box :
       std::initializer_list<QLineEdit*>{edit->edtGoodsCode, edit->edtGoodsName, edit->edtGoodsUnit,
                                         edit->edtSalPrice, edit->edtWsaPrice})
    EXPECT_TRUE(box->text().isEmpty());
  EXPECT_TRUE(BoxTagString(edit->edtGoodsUnit).isEmpty());
  EXPECT_TRUE(edit->mmoRemark->toPlainText().isEmpty());

  proxy().calls.clear();
  auto change = goodsEdit("Edit");
  change->edtGoodsSpec->setText("红 ");
  change->edtGoodsType->setText("");
  change->edtGoodsUnit->setText("箱");
  SetBoxTagString(change->edtGoodsUnit, "u2");
  change->edtBarCode->setText("691");
  change->edtPurPrice->setText("12.5");
  change->edtSalPrice->setText("");
  change->edtWsaPrice->setText("1");
  change->mmoRemark->setPlainText(" 新 ");
  change->actSaveAndClose->trigger();
  EXPECT_EQ(sent(), std::vector<std::string>{put(
                        "update td_Goods set TypeID='-9999',UnitID='u2',BarCode='691',SalPrice=0,"
                        "WsaPrice=1,ReMark='新' where Id='g1'")});
}

TEST_F(GoodsTest, SelectionDialogsWriteIntoTheGoodsEditWindow) {
  proxy().answer("select * from td_Unit", packetOf({"Id", "Name"}, {{"u1", "个"}, {"u2", "箱"}}));
  auto pickUnit = [](QDialog& d) {
    auto& dialog = dynamic_cast<TfrmBaseDataSelectForm&>(d);
    dialog.grd->SelectCell(1, 1);
    dialog.actOK->trigger();
    return 0;
  };
  ui().scripts["TfrmSelectUnit"] = pickUnit;
  ui().scripts["TfrmBaseDataSelectForm"] = pickUnit;  // the stand-in
  ui().scripts["TfrmSelectGoodsType"] = [](QDialog& d) {
    auto& dialog = dynamic_cast<TfrmSelectGoodsType&>(d);
    select(dialog.tvGoodsType, "3");
    dialog.actOK->trigger();
    return 0;
  };
  auto edit = goodsEdit("Append");
  edit->actSelectUnit->trigger();
  edit->actSelectGoodsType->trigger();
  EXPECT_EQ(edit->edtGoodsUnit->text(), "箱");
  EXPECT_EQ(BoxTagString(edit->edtGoodsUnit), "u2");
  EXPECT_EQ(edit->edtGoodsType->text(), "果汁");
  EXPECT_EQ(BoxTagString(edit->edtGoodsType), "3");
  EXPECT_EQ(ui().modalShown.size(), 2);
  EXPECT_TRUE(errors.empty());
}

TEST_F(GoodsTest, Screenshots) {
  if (qEnvironmentVariableIsEmpty("VLT_SHOTS_DIR")) GTEST_SKIP() << "VLT_SHOTS_DIR not set";
  auto goods = openGoods();
  select(goods->tvGtype, "1");
  test::saveShot(*goods, "basedata_goods");
  auto types = openTypes();
  test::saveShot(*types, "basedata_goodstype");
  auto edit = goodsEdit("Edit");
  test::saveShot(*edit, "basedata_goods_edit");
  auto typeEdit = templates::CreateForm<TfrmBaseDataGoodsTypeEdit>();
  typeEdit->TagString = "Edit";
  typeEdit->FGoodsTypeInfo = {"2", "饮料", "1", "aaabbb"};
  typeEdit->edtParent->setText("食品");
  test::showSettled(*typeEdit);
  test::saveShot(*typeEdit, "basedata_goodstype_edit");
  typeEdit->actSelectParentType->trigger();
  auto* dialog = typeEdit->findChild<TfrmSelectGoodsType*>();
  select(dialog->tvGoodsType, "3");
  dialog->actOK->trigger();
  test::saveShot(*dialog, "basedata_goodstype_select");
}

}  // namespace
