// Units, stores, settlement accounts and income/expense categories: each list opened by its
// registered name with its own statement, columns and delete table; the edit dialogs' checks and
// statements; the rows handed to the dialogs; the store's system-data refusals; the category
// direction filter and its edit dialog's direction.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QFormLayout>
#include <QLabel>
#include <QPointer>
#include <QTest>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "basedata/simplebasedata.h"
#include "basedata/uBaseDataAccIOType.h"
#include "basedata/uBaseDataAccIOTypeEdit.h"
#include "basedata/uBaseDataAccountEdit.h"
#include "basedata/uBaseDataStore.h"
#include "basedata/uBaseDataUnitEdit.h"
#include "basedata_testing.h"
#include "fakehost.h"
#include "uBaseDataGridForm.h"
#include "vlt/host.h"

using namespace vlt;
using namespace vlt::host;
using vlt::business::TNameEditDialog;
using vlt::test::kPkg;
using vlt::test::kRun;
using vlt::test::packetOf;

namespace {

const std::string kNewId = "'200000000000000'";

// Categories as the service sends them: IODirect is a number.
Packet categories(const std::vector<std::tuple<std::string, std::string, int>>& rows) {
  Packet p;
  for (const auto& [name, type] :
       {std::pair{"Id", DataType::String}, std::pair{"Name", DataType::String},
        std::pair{"IODirect", DataType::Int16}}) {
    FieldDef f;
    f.name = name;
    f.type = type;
    f.size = type == DataType::String ? 80 : 0;
    p.fields.add(f);
  }
  for (const auto& [id, name, dir] : rows)
    p.rows.push_back({Value(id), Value(name), Value(static_cast<std::int16_t>(dir))});
  return p;
}

const Packet kCategories = categories(
    {{"t1", "房租", -1}, {"t2", "利息收入", 1}, {"t3", "水电费", -1}, {"t4", "废品收入", 1}});

// The texts of one column as the grid shows them, top to bottom.
QStringList shown(TfrmBaseDataGridForm& w, int column = 1) {
  QStringList out;
  QAbstractItemModel* m = w.GrdMain->model();
  for (int r = 0; r < m->rowCount(); ++r)
    out << m->index(r, column).data().toString();
  return out;
}

// The label in front of the dialog's name box.
QString nameLabel(TNameEditDialog& d) {
  auto* label = qobject_cast<QLabel*>(d.EditRows()->labelForField(d.edtName));
  return label ? label->text() : QString();
}

std::unique_ptr<TfrmBaseDataGridForm> openList(const char* name) {
  return test::createWindow<TfrmBaseDataGridForm>(kPkg, name);
}

class BaseDataSimpleTest : public test::BaseDataTest {
 protected:
  std::size_t loads() { return proxy().callsStartingWith("GetUserDBDataBySql").size(); }
};

// ---- the lists ---------------------------------------------------------------------------------

struct ListCase {
  const char* name;
  std::string openSql;
  QString caption;
  QStringList columns;
  std::string deleteSql;  // empty: the window refuses to delete
};

TEST_F(BaseDataSimpleTest, EachListLoadsItsTableShowsItsColumnsAndDeletesFromItsTable) {
  const Packet rows = packetOf({"Id", "Name", "Balance", "IODirect"},
                               {{"O'1", "千克", "12.50", "-1"}, {"x2", "箱", "0.00", "-1"}});
  // clang-format off
  const ListCase cases[] = {
      {"uBaseDataUnit.TfrmBaseDataUnit", "select * from td_Unit", "基础资料 -> 计量单位",
       {"单位名称:160"}, "delete from td_Unit where ID='O''1'"},
      {"uBaseDataStore.TfrmBaseDataStore", "select * from td_Store", "基础资料 -> 仓库档案",
       {"仓库名称:160"}, ""},
      {"uBaseDataAccount.TfrmBaseDataAccount", "select * from td_Account", "基础资料 -> 结算账户",
       {"帐户名称:160", "帐户余额:100"}, "delete from td_Account where ID='O''1'"},
      {"uBaseDataAccIOType.TfrmBaseDataAccIOType", "select * from td_accountiotype",
       "基础资料 -> 费用收支类别", {"类别名称:160"},
       "delete from td_accountiotype where ID='O''1'"},
  };
  // clang-format on
  for (const ListCase& c : cases) {
    SCOPED_TRACE(c.name);
    test::FreshHost fresh(c.openSql, rows);
    fresh.ui().confirmAnswers = {true};
    auto w = openList(c.name);
    ASSERT_TRUE(w) << "not registered under this name";
    EXPECT_EQ(fresh.proxy().calls,
              std::vector<std::string>{"GetUserDBDataBySql|10001_01|" + c.openSql});
    EXPECT_EQ(w->windowTitle(), c.caption);
    EXPECT_EQ(test::visibleColumns(*w->GrdMain), c.columns);
    EXPECT_EQ(shown(*w), (QStringList{"千克", "箱"}));
    test::showSettled(*w);
    test::saveShot(*w, QString(c.name).section('.', 1));

    w->actDel->trigger();
    if (c.deleteSql.empty()) {
      EXPECT_TRUE(fresh.proxy().callsStartingWith("doUserDB").empty());
    } else {
      EXPECT_EQ(fresh.proxy().callsStartingWith("doUserDB"),
                std::vector<std::string>{kRun + c.deleteSql});
      EXPECT_EQ(fresh.proxy().callsStartingWith("GetUserDBDataBySql").size(), 2u);
    }
  }
}

// ---- the edit dialogs
// ----------------------------------------------------------------------------

enum class Dir { None, In, Out };

struct SaveCase {
  const char* what;
  const char* dialog;
  QString mode;
  QString typed;  // null: leave what the dialog shows
  Dir dir;        // categories: the ticked direction
  std::vector<std::string> sent;
  QStringList messages;
};

// The stored row every "Edit" case starts from: id "r'1", name "千克", an expense category.
void setRecord(TNameEditDialog& d) {
  if (auto* u = qobject_cast<TfrmBaseDataUnitEdit*>(&d)) u->FUnitInfo = {"r'1", "千克"};
  if (auto* a = qobject_cast<TfrmBaseDataAccountEdit*>(&d)) a->FAccountInfo = {"r'1", "千克", {}};
  if (auto* t = qobject_cast<TfrmBaseDataAccIOTypeEdit*>(&d))
    t->FAccountIOTypeInfo = {"r'1", "千克", -1};
}

TEST_F(BaseDataSimpleTest, EditDialogsCheckTheNameAndBuildTheirStatements) {
  const char* unit = "uBaseDataUnitEdit.TfrmBaseDataUnitEdit";
  const char* account = "uBaseDataAccountEdit.TfrmBaseDataAccountEdit";
  const char* category = "uBaseDataAccIOTypeEdit.TfrmBaseDataAccIOTypeEdit";
  const std::string insCat =
      kRun + "Insert into td_accountiotype (Id,Name,IODirect) value (" + kNewId + ",";
  const std::string updCat = kRun + "update td_accountiotype set Name=";
  const QString nothing = "没检测到需要保存的数据！";
  // clang-format off
  const SaveCase cases[] = {
      {"unit: trimmed, quote and backslash kept", unit, "Append", "  O'Brien \\ kg  ", Dir::None,
       {kRun + "Insert into td_unit (Id,Name) value (" + kNewId + ",'O''Brien \\ kg')"}, {}},
      {"account", account, "Append", "现金", Dir::None,
       {kRun + "Insert into td_Account (Id,Name) value (" + kNewId + ",'现金')"}, {}},
      {"income category", category, "Append", "利息", Dir::In, {insCat + "'利息',1)"}, {}},
      {"expense category", category, "Append", "房租", Dir::Out, {insCat + "'房租',-1)"}, {}},
      {"category without direction", category, "Append", "杂项", Dir::None,
       {insCat + "'杂项',0)"}, {}},
      {"unit: blank", unit, "Append", "   ", Dir::None, {}, {"计量单位名称不能为空！"}},
      {"account: empty", account, "Append", "", Dir::None, {}, {"帐户名称不能为空！"}},
      {"category: blank", category, "Append", " ", Dir::Out, {}, {"收支类别名称不能为空！"}},
      {"unit: edit blanked", unit, "Edit", "  ", Dir::None, {}, {"计量单位名称不能为空！"}},
      {"unit: unchanged", unit, "Edit", QString(), Dir::None, {}, {nothing}},
      {"account: only blanks added", account, "Edit", " 千克 ", Dir::None, {}, {nothing}},
      {"category: unchanged", category, "Edit", QString(), Dir::Out, {}, {nothing}},
      {"unit: renamed", unit, "Edit", "克", Dir::None,
       {kRun + "update td_unit set Name='克' where Id='r''1'"}, {}},
      {"account: renamed", account, "edit", "银行'A'", Dir::None,
       {kRun + "update td_Account set Name='银行''A''' where Id='r''1'"}, {}},
      {"category: renamed", category, "Edit", "租金", Dir::Out,
       {updCat + "'租金',IODirect=-1 where Id='r''1'"}, {}},
      {"category: only the direction changed", category, "Edit", QString(), Dir::In,
       {updCat + "'千克',IODirect=1 where Id='r''1'"}, {}},
  };
  // clang-format on
  std::set<QString> shot;  // one picture of each dialog
  for (const SaveCase& c : cases) {
    SCOPED_TRACE(c.what);
    test::FreshHost fresh;
    auto d = test::createWindow<TNameEditDialog>(kPkg, c.dialog, c.mode);
    ASSERT_TRUE(d) << "not registered under this name";
    setRecord(*d);
    if (auto* t = qobject_cast<TfrmBaseDataAccIOTypeEdit*>(d.get())) {
      t->rbEditAccIN->setChecked(c.dir == Dir::In);
      t->rbEditAccOut->setChecked(c.dir == Dir::Out);
    }
    test::showSettled(*d);
    // "Edit" shows the stored name; "Append" starts empty.
    EXPECT_EQ(d->edtName->text(), c.mode.compare("edit", Qt::CaseInsensitive) == 0 ? "千克" : "");
    if (!c.typed.isNull()) d->edtName->setText(c.typed);
    if (c.mode == "Append" && c.sent.size() == 1 && shot.insert(d->ClassName()).second)
      test::saveShot(*d, d->ClassName());
    d->actSaveAndClose->trigger();
    EXPECT_EQ(fresh.proxy().callsStartingWith("doUserDB"), c.sent);
    EXPECT_EQ(fresh.ui().messages, c.messages);
    EXPECT_EQ(d->isVisible(), !c.messages.isEmpty());
    if (c.messages.size() == 1 && c.messages[0] != nothing) {
      EXPECT_EQ(d->focusWidget(), d->edtName);
    }
  }
}

// ---- new and modify from the lists
// ----------------------------------------------------------------

struct OpenCase {
  const char* list;
  std::string openSql;
  const char* dialog;  // class name
  QString caption;
  QString label;
};

TEST_F(BaseDataSimpleTest, NewAndModifyHandTheSelectedRowToTheDialogAndReloadAfterwards) {
  // clang-format off
  const OpenCase cases[] = {
      {"uBaseDataUnit.TfrmBaseDataUnit", "from td_Unit", "TfrmBaseDataUnitEdit", "计量单位编辑",
       "单位名称"},
      {"uBaseDataAccount.TfrmBaseDataAccount", "from td_Account", "TfrmBaseDataAccountEdit",
       "结算帐户编辑", "帐户名称"},
      {"uBaseDataAccIOType.TfrmBaseDataAccIOType", "from td_accountiotype",
       "TfrmBaseDataAccIOTypeEdit", "收入支出类别编辑", "类别名称"},
  };
  // clang-format on
  for (const OpenCase& c : cases) {
    for (const bool modify : {false, true}) {
      SCOPED_TRACE(std::string(c.list) + (modify ? " modify" : " new"));
      test::FreshHost fresh(c.openSql, categories({{"a1", "甲", -1}, {"a2", "乙", -1}}));
      QString mode, caption, label, boxText, id, name;
      QPointer<QDialog> dialog;
      fresh.ui().scripts[c.dialog] = [&](QDialog& d) {
        auto& e = dynamic_cast<TNameEditDialog&>(d);
        dialog = &d;
        mode = e.TagString;
        caption = e.windowTitle();
        label = nameLabel(e);
        boxText = e.edtName->text();
        if (auto* u = qobject_cast<TfrmBaseDataUnitEdit*>(&e))
          id = u->FUnitInfo.ID, name = u->FUnitInfo.Name;
        if (auto* a = qobject_cast<TfrmBaseDataAccountEdit*>(&e))
          id = a->FAccountInfo.ID, name = a->FAccountInfo.Name;
        if (auto* t = qobject_cast<TfrmBaseDataAccIOTypeEdit*>(&e))
          id = t->FAccountIOTypeInfo.ID, name = t->FAccountIOTypeInfo.Name;
        return 0;
      };
      auto w = openList(c.list);
      ASSERT_TRUE(w);
      w->cdsBaseData.SetRecNo(2);
      (modify ? w->actEdit : w->actNew)->trigger();
      ASSERT_EQ(fresh.ui().modalShown, QStringList{c.dialog});
      EXPECT_EQ(mode, modify ? "Edit" : "Append");
      EXPECT_EQ(caption, c.caption);
      EXPECT_EQ(label, c.label);
      EXPECT_EQ(id, modify ? "a2" : "");
      EXPECT_EQ(name, modify ? "乙" : "");
      EXPECT_EQ(boxText, modify ? "乙" : "");
      EXPECT_TRUE(dialog.isNull());  // freed by the list
      EXPECT_EQ(fresh.proxy().callsStartingWith("GetUserDBDataBySql").size(), 2u);
    }
  }
}

// ---- stores
// ------------------------------------------------------------------------------------------

TEST_F(BaseDataSimpleTest, TheStoresAreSystemDataThatIsNeitherModifiedNorDeleted) {
  proxy().answer("select * from td_Store",
                 packetOf({"Id", "Name"}, {{"100000000000001", "主仓库"}}));
  auto w = openList("uBaseDataStore.TfrmBaseDataStore");
  ASSERT_TRUE(w);
  test::showSettled(*w);
  w->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(w.get()));

  EXPECT_FALSE(w->actNew->isEnabled());  // no store can be entered here
  QTest::keyClick(w->GrdMain, Qt::Key_Return);
  w->actEdit->trigger();
  QTest::keyClick(w->GrdMain, Qt::Key_D, Qt::ControlModifier);
  EXPECT_EQ(ui().messages, (QStringList{"系统数据，不允许修改！", "系统数据，不允许修改！",
                                        "系统数据，不允许删除！"}));
  EXPECT_TRUE(ui().confirmations.isEmpty());
  EXPECT_TRUE(ui().modalShown.isEmpty());
  EXPECT_TRUE(sent().empty());

  w->actRefresh->trigger();
  EXPECT_EQ(loads(), 2u);
  EXPECT_EQ(shown(*w), QStringList{"主仓库"});
}

// ---- categories
// ------------------------------------------------------------------------------------

TEST_F(BaseDataSimpleTest, CategoryListShowsOneDirectionAtATimeStartingWithExpenses) {
  proxy().answer("from td_accountiotype", kCategories);
  auto w =
      test::createWindow<TfrmBaseDataAccIOType>(kPkg, "uBaseDataAccIOType.TfrmBaseDataAccIOType");
  ASSERT_TRUE(w);
  test::showSettled(*w);
  EXPECT_TRUE(w->rbAccOut->isChecked());
  EXPECT_EQ(shown(*w), (QStringList{"房租", "水电费"}));

  w->rbAccIN->click();
  EXPECT_EQ(shown(*w), (QStringList{"利息收入", "废品收入"}));
  EXPECT_EQ(w->cdsBaseData.Filter(), "IoDirect=1");
  w->actRefresh->trigger();  // the reloaded rows are sifted the same way
  EXPECT_EQ(shown(*w), (QStringList{"利息收入", "废品收入"}));
  w->rbAccOut->click();
  EXPECT_EQ(shown(*w), (QStringList{"房租", "水电费"}));
  EXPECT_EQ(w->cdsBaseData.Filter(), "IoDirect=-1");
}

TEST_F(BaseDataSimpleTest, TheCategoryDialogStartsOnTheDirectionTheListShows) {
  proxy().answer("from td_accountiotype", kCategories);
  auto w =
      test::createWindow<TfrmBaseDataAccIOType>(kPkg, "uBaseDataAccIOType.TfrmBaseDataAccIOType");
  ASSERT_TRUE(w);
  std::vector<std::pair<bool, bool>> ticks;  // (income, expense) as each dialog showed
  std::vector<int> stored;
  ui().scripts["TfrmBaseDataAccIOTypeEdit"] = [&](QDialog& d) {
    auto& e = dynamic_cast<TfrmBaseDataAccIOTypeEdit&>(d);
    ticks.emplace_back(e.rbEditAccIN->isChecked(), e.rbEditAccOut->isChecked());
    stored.push_back(e.FAccountIOTypeInfo.IODirect);
    return 0;
  };
  w->actNew->trigger();
  w->actEdit->trigger();
  w->rbAccIN->click();
  w->actNew->trigger();
  w->actEdit->trigger();
  EXPECT_EQ(ticks, (std::vector<std::pair<bool, bool>>{
                       {false, true}, {false, true}, {true, false}, {true, false}}));
  EXPECT_EQ(stored, (std::vector<int>{0, -1, 0, 1}));
}

TEST_F(BaseDataSimpleTest, ACategoryTurnedIntoIncomeLeavesTheExpenseList) {
  proxy().answer("from td_accountiotype", kCategories);
  auto w =
      test::createWindow<TfrmBaseDataAccIOType>(kPkg, "uBaseDataAccIOType.TfrmBaseDataAccIOType");
  ASSERT_TRUE(w);
  ui().scripts["TfrmBaseDataAccIOTypeEdit"] = [&](QDialog& d) {
    auto& e = dynamic_cast<TfrmBaseDataAccIOTypeEdit&>(d);
    e.rbEditAccIN->click();
    // From now on the service has the row as income.
    proxy().answers.clear();
    proxy().answer("from td_accountiotype", categories({{"t1", "房租", 1},
                                                        {"t2", "利息收入", 1},
                                                        {"t3", "水电费", -1},
                                                        {"t4", "废品收入", 1}}));
    e.actSaveAndClose->trigger();
    return 0;
  };
  w->cdsBaseData.SetRecNo(1);  // 房租
  w->actEdit->trigger();
  EXPECT_EQ(sent(), std::vector<std::string>{
                        kRun + "update td_accountiotype set Name='房租',IODirect=1 where Id='t1'"});
  EXPECT_EQ(shown(*w), QStringList{"水电费"});
  w->rbAccIN->click();
  EXPECT_EQ(shown(*w), (QStringList{"房租", "利息收入", "废品收入"}));
}

TEST_F(BaseDataSimpleTest, SaveAndNewAfterAChangedCategoryCarriesOnWithANewOne) {
  auto d = test::createWindow<TfrmBaseDataAccIOTypeEdit>(
      kPkg, "uBaseDataAccIOTypeEdit.TfrmBaseDataAccIOTypeEdit", "Edit");
  ASSERT_TRUE(d);
  d->FAccountIOTypeInfo = {"t1", "房租", -1};
  d->rbEditAccOut->setChecked(true);
  test::showSettled(*d);
  d->edtName->setText("租金");
  d->actSaveAndNew->trigger();
  EXPECT_EQ(d->TagString, "Append");
  EXPECT_EQ(d->edtName->text(), "");
  EXPECT_TRUE(d->isVisible());
  d->edtName->setText("物业费");
  d->actSaveAndClose->trigger();
  EXPECT_EQ(sent(), (std::vector<std::string>{
                        kRun + "update td_accountiotype set Name='租金',IODirect=-1 where Id='t1'",
                        kRun + "Insert into td_accountiotype (Id,Name,IODirect) value (" + kNewId +
                            ",'物业费',-1)"}));
  EXPECT_FALSE(d->isVisible());
}

}  // namespace
