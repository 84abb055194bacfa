// The account-set and powers windows against the real service: an owner creates and renames an
// account set, admits a second user as operator, grants a module, and removes the operator
// again, all through the windows; the service's tables are read back after each step.
#include <gtest/gtest.h>
#include <httplib.h>

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QTest>
#include <algorithm>
#include <chrono>
#include <memory>
#include <thread>

#include "fakehost.h"
#include "http.h"
#include "served_service.h"
#include "uSelectUserDB.h"
#include "uUserDBAdd.h"
#include "uUserDBPower.h"
#include "uUserDBSelectModule.h"
#include "uUserDBSelectOperator.h"
#include "vlt/host.h"
#include "vlt/servermethods.h"
#include "vlt/sqltext.h"

using namespace vlt;
using namespace vlt::host;

namespace {

class ControlCenterE2E : public test::ServedServiceFixture {
 protected:
  std::vector<std::string> rows(const Packet& p) {
    std::vector<std::string> out;
    for (const Row& r : p.rows) {
      std::string line;
      for (const Value& v : r)
        line.append(line.empty() ? "" : "|").append(v.toText());
      out.push_back(line);
    }
    return out;
  }

  static void clickCell(components::TNxStringGrid* grid, int column, int row) {
    QApplication::processEvents();
    const QRect cell = grid->visualRect(grid->model()->index(row, column));
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, cell.center());
  }

  test::HostFixture host;
};

TEST_F(ControlCenterE2E, AccountSetOperatorAndGrantThroughTheWindows) {
  const std::string owner = service->CreateUser("店主", "owner pw");
  const std::string clerk = service->CreateUser("小王", "clerk pw");
  signIn(owner, "owner pw");
  test::FakeHostUi& ui = host.ui();
  const std::string set = owner + "_01";

  std::unique_ptr<TForm> form(
      CreateRttiForm("VltControlCenter.bpl", "uSelectUserDB.TfrmSelectUserDB", nullptr));
  auto* sets = qobject_cast<TfrmSelectUserDB*>(form.get());
  ASSERT_NE(sets, nullptr);
  sets->show();
  QApplication::processEvents();
  EXPECT_TRUE(sets->lblNoUserDB->isVisible());

  // Create, then rename, through the add window.
  ui.scripts["TfrmUserDBAdd"] = [](QDialog& d) {
    auto& add = dynamic_cast<TfrmUserDBAdd&>(d);
    add.edtUserDBName->setText(add.TagString == "OsAppend" ? "测试 门店" : "O'Neil 的店");
    add.actSave->trigger();
    return 0;
  };
  sets->actNewDB->trigger();
  ASSERT_TRUE(ui.messages.isEmpty()) << ui.messages.join("\n").toStdString();
  ASSERT_EQ(sets->cdsUB.RecordCount(), 1);
  EXPECT_EQ(sets->cdsUB.FieldByName("UserDBID").AsString(), set);
  EXPECT_EQ(sets->cdsUB.FieldByName("UserDBName").AsString(), "测试 门店");
  EXPECT_FALSE(sets->lblNoUserDB->isVisible());
  sets->actModifyDB->trigger();
  EXPECT_EQ(sets->cdsUB.FieldByName("UserDBName").AsString(), "O'Neil 的店");

  // Admit the clerk through the search window and grant one base-data module.
  std::string granted;
  ui.scripts["TfrmUserDBSelectOperator"] = [&](QDialog& d) {
    auto& search = dynamic_cast<TfrmUserDBSelectOperator&>(d);
    search.edtSearch->setText(qs(clerk));
    QTest::keyClick(search.edtSearch, Qt::Key_Return);
    EXPECT_EQ(search.cdsUser.RecordCount(), 1);
    search.actOK->trigger();
    return 0;
  };
  ui.scripts["TfrmUserDBSelectModule"] = [&](QDialog& d) {
    auto& choose = dynamic_cast<TfrmUserDBSelectModule&>(d);
    choose.rbDB->setChecked(true);
    EXPECT_GT(choose.cds.RecordCount(), 0);
    clickCell(choose.grdModule, 0, 0);
    granted = choose.cds.FieldByName("ID").AsString();
    choose.actOK->trigger();
    return 0;
  };
  ui.scripts["TfrmUserDBPower"] = [&](QDialog& d) {
    auto& power = dynamic_cast<TfrmUserDBPower&>(d);
    EXPECT_EQ(power.edtUserDBID->text(), qs(set));
    EXPECT_EQ(power.edtUserDBName->text(), "O'Neil");
    power.actAddUser->trigger();
    EXPECT_EQ(power.cdsDBOperator.RecordCount(), 1);
    power.actAddModule->trigger();
    EXPECT_EQ(power.cdsModule.RecordCount(), 1);
    EXPECT_EQ(power.cdsModule.ChangeCount(), 0);
    return 0;
  };
  sets->actUserAndPower->trigger();
  ASSERT_TRUE(ui.messages.isEmpty()) << ui.messages.join("\n").toStdString();
  ASSERT_TRUE(granted.rfind("DB_", 0) == 0) << granted;

  TServerMethodsClient& proxy = doServerMethods();
  const std::string admission =
      "select UserDBID,UserID from userdatabaseoperator where UserDBID=" + quotedStr(set);
  EXPECT_EQ(rows(proxy.GetSysMainDBDataBySql(owner, admission)),
            std::vector<std::string>{set + "|" + clerk});
  const std::string grantSql = "select UserID,ModuleID from ts_userpower";
  EXPECT_EQ(rows(proxy.GetUserDBDataBySql(set, grantSql)),
            std::vector<std::string>{clerk + "|" + granted});

  // Opened again: the clerk's grant is listed, and the catalogue no longer offers it.
  std::vector<std::string> offered;
  ui.scripts["TfrmUserDBSelectModule"] = [&](QDialog& d) {
    auto& choose = dynamic_cast<TfrmUserDBSelectModule&>(d);
    for (choose.cds.First(); !choose.cds.Eof(); choose.cds.Next())
      offered.push_back(choose.cds.FieldByName("ID").AsString());
    choose.actClose->trigger();
    return 0;
  };
  ui.scripts["TfrmUserDBPower"] = [&](QDialog& d) {
    auto& power = dynamic_cast<TfrmUserDBPower&>(d);
    EXPECT_EQ(power.cdsModule.RecordCount(), 1);
    power.actAddModule->trigger();
    ui.confirmAnswers = {true};
    power.actDelUser->trigger();
    EXPECT_TRUE(power.cdsDBOperator.IsEmpty());
    return 0;
  };
  sets->actUserAndPower->trigger();
  ASSERT_TRUE(ui.messages.isEmpty()) << ui.messages.join("\n").toStdString();
  EXPECT_FALSE(offered.empty());
  EXPECT_EQ(std::count(offered.begin(), offered.end(), granted), 0);
  EXPECT_TRUE(proxy.GetSysMainDBDataBySql(owner, admission).rows.empty());
  EXPECT_TRUE(proxy.GetUserDBDataBySql(set, grantSql).rows.empty());
}

TEST_F(ControlCenterE2E, AnOperatorSeesTheSetAndCannotRenameIt) {
  const std::string owner = service->CreateUser("店主", "owner pw");
  const std::string clerk = service->CreateUser("小王", "clerk pw");
  signIn(owner, "owner pw");
  const std::string set = owner + "_01";
  ASSERT_EQ(doServerMethods().CreateUserDB("Main", owner, set, "总店", "False"), "0");
  ASSERT_EQ(doServerMethods().doSysMainDBDataBySql(
                "Insert into userdatabaseoperator (UserDBID,UserID) values (" + quotedStr(set) +
                "," + quotedStr(clerk) + ")"),
            "0");

  signIn(clerk, "clerk pw");
  host.ui().scripts["TfrmUserDBAdd"] = [](QDialog& d) {
    auto& add = dynamic_cast<TfrmUserDBAdd&>(d);
    add.edtUserDBName->setText("改名");
    add.actSave->trigger();
    return 0;
  };
  std::unique_ptr<TForm> form(
      CreateRttiForm("VltControlCenter.bpl", "uSelectUserDB.TfrmSelectUserDB", nullptr));
  auto* sets = qobject_cast<TfrmSelectUserDB*>(form.get());
  sets->show();
  QApplication::processEvents();
  ASSERT_EQ(sets->cdsUB.RecordCount(), 1);
  EXPECT_EQ(sets->cdsUB.FieldByName("UserDBID").AsString(), set);
  EXPECT_EQ(sets->cdsUB.FieldByName("UserDBName").AsString(), "总店");
  sets->actModifyDB->trigger();
  EXPECT_TRUE(host.ui().messages.isEmpty()) << host.ui().messages.join("\n").toStdString();
  EXPECT_EQ(sets->cdsUB.FieldByName("UserDBName").AsString(), "总店");
  // The clerk's own first set is still numbered 01: the operated set is another owner's.
  host.ui().scripts["TfrmUserDBAdd"] = [&](QDialog& d) {
    EXPECT_EQ(dynamic_cast<TfrmUserDBAdd&>(d).edtUserDBID->text(), qs(clerk + "_01"));
    return 0;
  };
  sets->actNewDB->trigger();
  EXPECT_EQ(host.ui().modalShown, (QStringList{"TfrmUserDBAdd", "TfrmUserDBAdd"}));
}

}  // namespace
