// The powers window and the module selection window: operators admitted and removed, grants
// filtered per operator and group, ticking, the grants saved as a delta of the table's columns.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QLineEdit>
#include <QRadioButton>
#include <QTest>
#include <memory>

#include "fakehost.h"
#include "uUserDBPower.h"
#include "uUserDBSelectModule.h"
#include "vlt/host.h"

using namespace vlt;
using namespace vlt::host;
using vlt::test::packetOf;

namespace {

const std::string kOperatorsSql =
    "select UO.UserDBID,UO.UserID,SU.NickName from userdatabaseoperator UO LEFT JOIN "
    "sys_mainuserbaseinfo SU ON UO.UserID=SU.UserID where UO.UserDBID='10001_01' order by "
    "UO.UserID";
const std::string kGrantsSql = "select * from ts_userpower order by groupid,moduleid";

Packet operators(const std::vector<std::vector<std::string>>& rows) {
  return packetOf({"UserDBID", "UserID", "NickName"}, rows);
}

// Grants of two operators: 10002 holds three modules, 10003 one.
Packet grants() {
  return packetOf({"UserID", "ModuleID", "ModuleCnName", "groupID"},
                  {{"10002", "DB_10001", "商品资料", "1"},
                   {"10002", "YW_10002", "采购收货单", "2"},
                   {"10002", "RP_10001", "采购明细表", "3"},
                   {"10003", "DB_10002", "客户资料", "1"}});
}

Packet catalogue() {
  return packetOf({"ID", "ModuleCnName", "groupID"}, {{"DB_10003", "供应商资料", "1"},
                                                      {"DB_10004", "仓库资料", "1"},
                                                      {"YW_10001", "采购订单", "2"},
                                                      {"RP_10002", "销售明细表", "3"}});
}

// The values of a column over the visible rows, in order.
std::vector<std::string> column(ClientDataSet& list, const char* field) {
  std::vector<std::string> out;
  const std::size_t f = list.FieldByName(field).Index();
  for (int row = 0; row < list.DisplayRowCount(); ++row)
    out.push_back(list.DisplayValue(row, f).toText());
  return out;
}

std::vector<std::string> handOverRows() {
  std::vector<std::string> out;
  ClientDataSet& h = GlobalDM().cdsSelectResult;
  for (h.First(); !h.Eof(); h.Next())
    out.push_back(h.FieldByName("id").AsString() + "|" + h.FieldByName("name").AsString() + "|" +
                  h.FieldByName("other1").AsString());
  return out;
}

void clickCell(components::TNxStringGrid* grid, int column, int row) {
  QApplication::processEvents();
  const QRect cell = grid->visualRect(grid->model()->index(row, column));
  QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, cell.center());
}

class PowersTest : public ::testing::Test {
 protected:
  void SetUp() override {
    CurUserInfo().UserID = "10001";
    proxy().answer("from userdatabaseoperator UO",
                   operators({{"10001_01", "10002", "小王"}, {"10001_01", "10003", "小李"}}));
    proxy().answer("from ts_userpower", grants());
    proxy().answer("from UserdatabasePowerModule", catalogue());
  }

  std::unique_ptr<TfrmUserDBPower> openPowers(const QString& tag = "10001_01,门店") {
    return test::openWindow<TfrmUserDBPower>("VltControlCenter.bpl", "uUserDBPower.TfrmUserDBPower",
                                             tag);
  }

  std::unique_ptr<TfrmUserDBSelectModule> openModules(const QString& tag) {
    return test::openWindow<TfrmUserDBSelectModule>(
        "VltControlCenter.bpl", "uUserDBSelectModule.TfrmUserDBSelectModule", tag);
  }

  test::FakeServerMethods& proxy() { return host.proxy(); }
  test::FakeHostUi& ui() { return host.ui(); }
  test::HostFixture host;
};

// ---- opening and the grant filter ------------------------------------------------------------

TEST_F(PowersTest, OpensOnTheFirstOperatorsGrants) {
  auto w = openPowers("10001_01,我的 门店");
  EXPECT_EQ(w->windowTitle(), "操作员及权限");
  EXPECT_EQ(w->edtUserDBID->text(), "10001_01");
  EXPECT_EQ(w->edtUserDBName->text(), "我的");  // blanks separate items too
  EXPECT_TRUE(w->edtUserDBID->isReadOnly());
  EXPECT_EQ(proxy().calls, (std::vector<std::string>{"GetSysMainDBDataBySql|10001|" + kOperatorsSql,
                                                     "GetUserDBDataBySql|10001_01|" + kGrantsSql}));
  EXPECT_EQ(w->cdsDBOperator.RecNo(), 1);
  EXPECT_EQ(w->cdsModule.Filter(), "UserID='10002'");
  EXPECT_EQ(column(w->cdsModule, "ModuleID"),
            (std::vector<std::string>{"DB_10001", "YW_10002", "RP_10001"}));
}

TEST_F(PowersTest, GrantFilterFollowsTheOperatorAndTheGroup) {
  struct Case {
    int operatorRow;
    const char* group;
    std::string filter;
    std::vector<std::string> shown;
  } cases[] = {
      {1, "rbAll", "UserID='10002'", {"DB_10001", "YW_10002", "RP_10001"}},
      {1, "rbDB", "UserID='10002' and groupid=1", {"DB_10001"}},
      {1, "rbYW", "UserID='10002' and groupid=2", {"YW_10002"}},
      {1, "rbRP", "UserID='10002' and groupid=3", {"RP_10001"}},
      {2, "rbRP", "UserID='10003' and groupid=3", {}},
      {2, "rbDB", "UserID='10003' and groupid=1", {"DB_10002"}},
      {2, "rbAll", "UserID='10003'", {"DB_10002"}},
  };
  auto w = openPowers();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.filter);
    w->findChild<QRadioButton*>(c.group)->setChecked(true);
    // The user moves to the operator in the grid.
    clickCell(w->grdOperator, 1, c.operatorRow - 1);
    EXPECT_EQ(w->cdsDBOperator.RecNo(), c.operatorRow);
    EXPECT_EQ(w->cdsModule.Filter(), c.filter);
    EXPECT_EQ(column(w->cdsModule, "ModuleID"), c.shown);
  }
}

// ---- operators -------------------------------------------------------------------------------

TEST_F(PowersTest, AddingAnOperator) {
  struct Case {
    const char* name;
    std::string chosen;  // empty: the user closed the search window
    std::string status;
    QStringList messages;
    bool inserts;
    std::vector<std::string> operatorsAfter;
  } cases[] = {
      {"new operator", "10004", "0", {}, true, {"10002", "10003", "10004"}},
      {"oneself", "10001", "0", {"本人帐号无需添加！"}, false, {"10002", "10003"}},
      {"twice", "10003", "0", {"您已添加了此操作员，无须再次添加！"}, false, {"10002", "10003"}},
      {"refused",
       "10005",
       "Cannot add or update a child row",
       {"所选的关联资料已不存在，请刷新后重试。"},
       true,
       {"10002", "10003"}},
      {"nobody chosen", "", "0", {}, false, {"10002", "10003"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ui().messages.clear();
    proxy().statuses = {c.status};
    ui().scripts["TfrmUserDBSelectOperator"] = [&](QDialog&) {
      ClientDataSet& h = GlobalDM().cdsSelectResult;
      if (!c.chosen.empty()) {
        h.Append();
        h.FieldByName("id").SetAsString(c.chosen);
        h.FieldByName("name").SetAsString("新人");
        h.Post();
      }
      return 0;
    };
    auto w = openPowers();
    proxy().calls.clear();
    w->actAddUser->trigger();
    EXPECT_EQ(ui().messages, c.messages);
    const auto inserts = proxy().callsStartingWith("doSysMainDBDataBySql");
    if (c.inserts)
      EXPECT_EQ(inserts,
                std::vector<std::string>{"doSysMainDBDataBySql|Insert into userdatabaseoperator "
                                         "(UserDBID,UserID) values ('10001_01','" +
                                         c.chosen + "')"});
    else
      EXPECT_TRUE(inserts.empty());
    EXPECT_EQ(column(w->cdsDBOperator, "UserID"), c.operatorsAfter);
    EXPECT_TRUE(GlobalDM().cdsSelectResult.IsEmpty());
    if (c.messages.isEmpty() || c.inserts) {
      // On the last operator, whose grants are shown.
      EXPECT_EQ(w->cdsDBOperator.RecNo(), w->cdsDBOperator.RecordCount());
      EXPECT_EQ(w->cdsModule.Filter(),
                "UserID='" + w->cdsDBOperator.FieldByName("UserID").AsString() + "'");
    }
  }
}

TEST_F(PowersTest, RemovingAnOperatorRemovesTheAdmissionAndTheGrants) {
  auto w = openPowers();
  w->cdsDBOperator.SetRecNo(2);

  proxy().calls.clear();
  w->actDelUser->trigger();  // answered No
  EXPECT_EQ(ui().confirmations, QStringList{"删除后无法恢复，请确认是否删除『10003』"});
  EXPECT_TRUE(proxy().calls.empty());

  proxy().statuses = {"拒绝"};
  ui().confirmAnswers = {true};
  w->actDelUser->trigger();
  EXPECT_EQ(ui().messages, QStringList{"拒绝"});
  EXPECT_EQ(proxy().calls.size(), 1u);
  EXPECT_EQ(w->cdsDBOperator.RecordCount(), 2);

  proxy().calls.clear();
  ui().confirmAnswers = {true};
  w->actDelUser->trigger();
  EXPECT_EQ(proxy().calls,
            (std::vector<std::string>{"doSysMainDBDataBySql|delete from userdatabaseoperator where "
                                      "UserDBID='10001_01' and UserID='10003'",
                                      "doUserDBDataBySql|10001_01|delete from ts_userpower where "
                                      "UserID='10003'",
                                      "GetUserDBDataBySql|10001_01|" + kGrantsSql}));
  EXPECT_EQ(column(w->cdsDBOperator, "UserID"), std::vector<std::string>{"10002"});
  EXPECT_EQ(w->cdsModule.Filter(), "UserID='10002'");

  // The last one empties the list; with no operators there is nothing to remove.
  ui().confirmAnswers = {true};
  w->actDelUser->trigger();
  EXPECT_TRUE(w->cdsDBOperator.IsEmpty());
  proxy().calls.clear();
  w->actDelUser->trigger();
  EXPECT_TRUE(proxy().calls.empty());
}

// ---- ticking -----------------------------------------------------------------------------

TEST_F(PowersTest, AClickInTheFirstColumnTicksAndOtherColumnsDoNot) {
  auto w = openPowers();
  struct Step {
    int column, row;
    std::vector<std::string> ticks;
  } steps[] = {
      {0, 1, {"", "√", ""}},  {1, 0, {"", "√", ""}}, {2, 2, {"", "√", ""}},
      {0, 2, {"", "√", "√"}}, {0, 1, {"", "", "√"}},
  };
  for (const Step& s : steps) {
    clickCell(w->grdModule, s.column, s.row);
    EXPECT_EQ(column(w->cdsModule, "SelectModule"), s.ticks) << s.column << "," << s.row;
  }
}

TEST_F(PowersTest, SelectAllAndInvertWorkOnVisibleRowsAndKeepTheCurrentRow) {
  auto w = openPowers();
  w->cdsModule.SetRecNo(2);
  clickCell(w->grdModule, 0, 0);
  w->cdsModule.SetRecNo(2);
  w->actInvertSelect->trigger();
  EXPECT_EQ(column(w->cdsModule, "SelectModule"), (std::vector<std::string>{"", "√", "√"}));
  EXPECT_EQ(w->cdsModule.RecNo(), 2);
  w->actSelectAll->trigger();
  vlt::test::saveShot(*w, "uUserDBPower");
  EXPECT_EQ(column(w->cdsModule, "SelectModule"), (std::vector<std::string>{"√", "√", "√"}));
  EXPECT_EQ(w->cdsModule.RecNo(), 2);
  // The other operator's grant stayed unticked.
  w->cdsDBOperator.SetRecNo(2);
  EXPECT_EQ(column(w->cdsModule, "SelectModule"), std::vector<std::string>{""});
}

// ---- granting and removing grants --------------------------------------------------------

TEST_F(PowersTest, AddingGrantsNeedsAnOperatorAndASet) {
  struct Case {
    const char* name;
    bool operators;
    QString tag;
    std::string operatorId;
    QString message;
  } cases[] = {
      {"no operator", false, "10001_01,门店", "", "未检测到操作员，请先选择操作员！"},
      {"no set", true, "", "10002", "未检测到目标数据库，请检测！"},
      {"a set id that is not one", true, "10001_01x,门店", "10002", "帐套ID『10001_01x』无效！"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    test::HostFixture fresh;
    CurUserInfo().UserID = "10001";
    fresh.proxy().answer(
        "from userdatabaseoperator UO",
        operators(c.operators
                      ? std::vector<std::vector<std::string>>{{"10001_01", c.operatorId, "小王"}}
                      : std::vector<std::vector<std::string>>{}));
    fresh.proxy().answer("from ts_userpower", grants());
    auto w = openPowers(c.tag);
    fresh.proxy().calls.clear();
    w->actAddModule->trigger();
    EXPECT_EQ(fresh.ui().messages, QStringList{c.message});
    EXPECT_TRUE(fresh.ui().modalShown.isEmpty());
    EXPECT_TRUE(fresh.proxy().calls.empty());
  }
}

TEST_F(PowersTest, GrantsChosenModulesAndSavesOnlyTheTablesColumns) {
  auto w = openPowers();
  // A tick alone is no change of the table: it must not travel.
  clickCell(w->grdModule, 0, 0);
  QString tag;
  ui().scripts["TfrmUserDBSelectModule"] = [&](QDialog& d) {
    auto& choose = dynamic_cast<TfrmUserDBSelectModule&>(d);
    tag = choose.TagString;
    clickCell(choose.grdModule, 0, 0);
    clickCell(choose.grdModule, 0, 2);
    choose.actOK->trigger();
    return 0;
  };
  proxy().calls.clear();
  w->actAddModule->trigger();
  EXPECT_EQ(tag, "10001_01,10002");
  EXPECT_EQ(
      proxy().callsStartingWith("Save"),
      std::vector<std::string>{"SaveUserDBDataByDelta|10001_01|ts_userpower|UserID,ModuleID"});
  ASSERT_EQ(proxy().deltas.size(), 1u);
  const Delta& d = proxy().deltas[0];
  ASSERT_EQ(d.fields.size(), 4u);
  EXPECT_EQ(d.fields[0].name, "UserID");
  EXPECT_EQ(d.fields[1].name, "ModuleID");
  EXPECT_EQ(d.fields[2].name, "ModuleCnName");
  EXPECT_EQ(d.fields[3].name, "groupID");
  ASSERT_EQ(d.rows.size(), 2u);
  for (const DeltaRow& r : d.rows) {
    EXPECT_EQ(r.kind, ChangeKind::Insert);
    ASSERT_EQ(r.newValues.size(), 4u);
    EXPECT_EQ(r.newValues[0], Value(std::int64_t{10002}));
  }
  EXPECT_EQ(d.rows[0].newValues[1].toText(), "DB_10003");
  EXPECT_EQ(d.rows[1].newValues[3].toText(), "2");
  EXPECT_EQ(w->cdsModule.ChangeCount(), 0);  // accepted locally
  EXPECT_TRUE(GlobalDM().cdsSelectResult.IsEmpty());
  EXPECT_EQ(column(w->cdsModule, "ModuleID"),
            (std::vector<std::string>{"DB_10001", "YW_10002", "RP_10001", "DB_10003", "YW_10001"}));
}

TEST_F(PowersTest, NothingChosenSavesNothing) {
  auto w = openPowers();
  proxy().calls.clear();
  w->actAddModule->trigger();
  EXPECT_EQ(ui().modalShown, QStringList{"TfrmUserDBSelectModule"});
  EXPECT_TRUE(proxy().callsStartingWith("Save").empty());
  EXPECT_TRUE(GlobalDM().cdsSelectResult.IsEmpty());
}

TEST_F(PowersTest, RemovesTickedVisibleGrantsAndKeepsThemPendingWhenRefused) {
  auto w = openPowers();
  clickCell(w->grdModule, 0, 0);
  clickCell(w->grdModule, 0, 2);
  proxy().statuses = {"保存的数据已被他人修改"};
  proxy().calls.clear();
  w->actDelModule->trigger();
  EXPECT_EQ(proxy().calls, std::vector<std::string>{
                               "SaveUserDBDataByDelta|10001_01|ts_userpower|UserID,ModuleID"});
  ASSERT_EQ(proxy().deltas.size(), 1u);
  const Delta& d = proxy().deltas[0];
  ASSERT_EQ(d.rows.size(), 2u);
  EXPECT_EQ(d.fields.size(), 4u);
  for (const DeltaRow& r : d.rows) {
    EXPECT_EQ(r.kind, ChangeKind::Delete);
    EXPECT_EQ(r.oldValues.size(), 4u);
  }
  EXPECT_EQ(d.rows[0].oldValues[1].toText(), "RP_10001");  // walked from the last row
  EXPECT_EQ(d.rows[1].oldValues[1].toText(), "DB_10001");
  EXPECT_EQ(ui().messages, QStringList{"保存失败!错误原因：保存的数据已被他人修改"});
  EXPECT_EQ(w->cdsModule.ChangeCount(), 2);
  EXPECT_EQ(column(w->cdsModule, "ModuleID"), std::vector<std::string>{"YW_10002"});

  // The next save sends them again and, accepted, they are gone for good.
  w->actDelModule->trigger();
  ASSERT_EQ(proxy().deltas.size(), 2u);
  EXPECT_EQ(proxy().deltas[1].rows.size(), 2u);
  EXPECT_EQ(w->cdsModule.ChangeCount(), 0);
}

// ---- the module selection window ------------------------------------------------------------

TEST_F(PowersTest, ModuleSelectionReadsWhatTheOperatorLacksAndRefusesUnsafeParameters) {
  const std::string valid =
      "GetSysMainDBDataBySql|10001|select ID,ModuleCnName,groupID from UserdatabasePowerModule "
      "where not id in (select ModuleID from 10001_01.ts_userpower where UserID=10002) order by "
      "groupid,id";
  struct Case {
    QString tag;
    QString message;  // empty: the list is read with `valid`
  } cases[] = {
      {"10001_01,10002", ""},
      {"10001_01,1-1", "操作员帐号『1-1』无效！"},
      {"10001_01,", "操作员帐号『』无效！"},
      {"ts;drop,10002", "帐套ID『ts;drop』无效！"},
      {"mysql.user where 1=1 or x,10002", "帐套ID『mysql.user』无效！"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.tag.toStdString());
    ui().messages.clear();
    proxy().calls.clear();
    auto w = openModules(c.tag);
    EXPECT_EQ(w->windowTitle(), "功能模块选择");
    EXPECT_TRUE(w->rbAll->isChecked());
    if (c.message.isEmpty()) {
      EXPECT_TRUE(ui().messages.isEmpty());
      EXPECT_EQ(proxy().calls, std::vector<std::string>{valid});
      EXPECT_EQ(w->cds.RecordCount(), 4);
      clickCell(w->grdModule, 0, 1);
      vlt::test::saveShot(*w, "uUserDBSelectModule");
    } else {
      EXPECT_EQ(ui().messages, QStringList{c.message});
      EXPECT_TRUE(proxy().calls.empty());
    }
  }
}

TEST_F(PowersTest, ModuleSelectionHandsOverOnlyVisibleTickedRowsInOrder) {
  struct Case {
    const char* group;
    std::string filter;
    std::vector<std::string> handed;
  } cases[] = {
      {"rbAll", "", {"DB_10003|供应商资料|1", "DB_10004|仓库资料|1", "RP_10002|销售明细表|3"}},
      {"rbDB", "groupid=1", {"DB_10003|供应商资料|1", "DB_10004|仓库资料|1"}},
      {"rbYW", "groupid=2", {}},
      {"rbRP", "groupid=3", {"RP_10002|销售明细表|3"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.group);
    GlobalDM().cdsSelectResult.EmptyDataSet();
    auto w = openModules("10001_01,10002");
    // Tick all four, then untick the purchase order: three ticked in all.
    w->actSelectAll->trigger();
    clickCell(w->grdModule, 0, 2);
    w->findChild<QRadioButton*>(c.group)->setChecked(true);
    EXPECT_EQ(w->cds.Filter(), c.filter);
    EXPECT_EQ(w->cds.Filtered(), !c.filter.empty());
    w->actOK->trigger();
    EXPECT_EQ(handOverRows(), c.handed);
    EXPECT_FALSE(w->isVisible());
  }
}

}  // namespace
