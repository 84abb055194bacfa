// The account-set window, the create/rename window and the user search window: proposed ids,
// exact statements, messages and the selection hand-over.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QTest>
#include <memory>

#include "fakehost.h"
#include "uSelectUserDB.h"
#include "uUserDBAdd.h"
#include "uUserDBPower.h"
#include "uUserDBSelectOperator.h"
#include "vlt/host.h"

using namespace vlt;
using namespace vlt::host;
using vlt::test::packetOf;

namespace {

const std::string kListSql =
    "select * from (SELECT UserID,UserDBID,UserDBName,IsDefault from userdatabase UNION ALL "
    "SELECT UO.UserID,UO.UserDBID,UD.UserDBName,'False' as IsDefault from userdatabaseoperator UO "
    "LEFT JOIN userdatabase UD ON UO.UserDBID=UD.UserDBID) as dlt where UserID=";

Packet accountSets(const std::string& login, const std::vector<std::string>& ids) {
  std::vector<std::vector<std::string>> rows;
  for (const std::string& id : ids)
    rows.push_back({login, id, "帐套" + id, "False"});
  return packetOf({"UserID", "UserDBID", "UserDBName", "IsDefault"}, rows);
}

template <class T>
std::unique_ptr<T> create(const char* qualifiedName, const QString& tag = QString()) {
  return test::createWindow<T>("VltControlCenter.bpl", qualifiedName, tag);
}

template <class T>
std::unique_ptr<T> open(const char* qualifiedName, const QString& tag = QString()) {
  return test::openWindow<T>("VltControlCenter.bpl", qualifiedName, tag);
}

std::string handOver(const char* field) {
  ClientDataSet& h = GlobalDM().cdsSelectResult;
  return h.IsEmpty() ? std::string("<empty>") : h.FieldByName(field).AsString();
}

class AccountSetsTest : public ::testing::Test {
 protected:
  void SetUp() override { CurUserInfo().UserID = "10001"; }
  test::FakeServerMethods& proxy() { return host.proxy(); }
  test::FakeHostUi& ui() { return host.ui(); }

  test::HostFixture host;
};

// ---- the account-set window ------------------------------------------------------------------

struct NextIdCase {
  const char* name;
  std::string login;
  std::vector<std::string> ids;
  int currentRow;    // 1-based row the user is on
  QString proposed;  // empty: no add window
  QString message;
};

TEST_F(AccountSetsTest, NewAccountSetProposesTheNextNumber) {
  const QString kFull = "帐套数量已达上限（99个），无法再新建帐套！";
  const NextIdCase cases[] = {
      {"first set", "10001", {}, 0, "10001_01", ""},
      {"gaps are not reused", "10001", {"10001_01", "10001_03"}, 1, "10001_04", ""},
      {"ninth to tenth", "10001", {"10001_09"}, 1, "10001_10", ""},
      {"largest anywhere in the list", "10001", {"10001_12", "10001_02"}, 2, "10001_13", ""},
      {"operated sets of others are skipped", "10001", {"10001_01", "20002_07"}, 2, "10001_02", ""},
      {"only operated sets", "10001", {"20002_07"}, 1, "10001_01", ""},
      // A set is owned by the ID before its "_": 10005's set, operated by 1000, does not count.
      {"owner ID beginning with the login ID", "1000", {"1000_02", "10005_07"}, 1, "1000_03", ""},
      {"99 is the last", "10001", {"10001_98"}, 1, "10001_99", ""},
      {"past 99", "10001", {"10001_99", "10001_03"}, 2, "", kFull},
  };
  for (const NextIdCase& c : cases) {
    SCOPED_TRACE(c.name);
    test::HostFixture fresh;
    CurUserInfo().UserID = c.login;
    fresh.proxy().answer("as dlt where UserID", accountSets(c.login, c.ids));
    QString shownId;
    fresh.ui().scripts["TfrmUserDBAdd"] = [&](QDialog& d) {
      auto& add = dynamic_cast<TfrmUserDBAdd&>(d);
      shownId = add.edtUserDBID->text();
      EXPECT_EQ(add.TagString, "OsAppend");
      EXPECT_FALSE(add.edtUserDBID->isEnabled());
      return 0;
    };
    auto w = open<TfrmSelectUserDB>("uSelectUserDB.TfrmSelectUserDB");
    if (c.currentRow > 0) w->cdsUB.SetRecNo(c.currentRow);
    w->actNewDB->trigger();
    EXPECT_EQ(shownId, c.proposed);
    if (c.message.isEmpty()) {
      EXPECT_EQ(fresh.ui().modalShown, QStringList{"TfrmUserDBAdd"});
      EXPECT_TRUE(fresh.ui().messages.isEmpty());
      // Listed again afterwards.
      EXPECT_EQ(fresh.proxy().callsStartingWith("GetSysMainDBDataBySql").size(), 2u);
    } else {
      EXPECT_EQ(fresh.ui().messages, QStringList{c.message});
      EXPECT_TRUE(fresh.ui().modalShown.isEmpty());
      EXPECT_EQ(w->cdsUB.RecNo(), c.currentRow);
    }
    EXPECT_TRUE(fresh.proxy().callsStartingWith("CreateUserDB").empty());
  }
}

TEST_F(AccountSetsTest, ListsOwnAndOperatedSetsAndWarnsExactlyWhenEmpty) {
  for (bool empty : {true, false}) {
    SCOPED_TRACE(empty);
    test::HostFixture fresh;
    CurUserInfo().UserID = "10001";
    fresh.proxy().answer("as dlt",
                         accountSets("10001", empty ? std::vector<std::string>{}
                                                    : std::vector<std::string>{"10001_01"}));
    auto w = open<TfrmSelectUserDB>("uSelectUserDB.TfrmSelectUserDB");
    EXPECT_EQ(fresh.proxy().calls,
              std::vector<std::string>{"GetSysMainDBDataBySql|10001|" + kListSql + "'10001'"});
    EXPECT_EQ(w->lblNoUserDB->isVisible(), empty);
    if (empty) vlt::test::saveShot(*w, "uSelectUserDB_empty");
    EXPECT_EQ(w->lblNoUserDB->text(), "您还没有可以使用的帐套；请创建一个或申请加入其他人的帐套");
    EXPECT_EQ(w->windowTitle(), "帐套管理");
  }
}

TEST_F(AccountSetsTest, ActionsOnAnEmptyListAndDeletingShowTheirMessagesOnly) {
  struct Case {
    const char* action;
    QString message;
  } cases[] = {
      {"actSelectDB", "无帐套可选！"},
      {"actUserAndPower", "请先新建帐套！"},
      {"actDelDB", "删除帐套，下一版本提供！"},
  };
  proxy().answer("as dlt", accountSets("10001", {}));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.action);
    ui().messages.clear();
    auto w = open<TfrmSelectUserDB>("uSelectUserDB.TfrmSelectUserDB");
    proxy().calls.clear();
    w->findChild<QAction*>(c.action)->trigger();
    EXPECT_EQ(ui().messages, QStringList{c.message});
    EXPECT_TRUE(ui().modalShown.isEmpty());
    EXPECT_TRUE(proxy().calls.empty());
    EXPECT_TRUE(w->isVisible());
    EXPECT_EQ(handOver("id"), "<empty>");
  }
}

TEST_F(AccountSetsTest, ChoosingHandsOverTheCurrentSetAndCloses) {
  proxy().answer("as dlt", accountSets("10001", {"10001_01", "20002_03"}));
  auto w = open<TfrmSelectUserDB>("uSelectUserDB.TfrmSelectUserDB");
  w->cdsUB.SetRecNo(2);
  vlt::test::saveShot(*w, "uSelectUserDB");
  w->actSelectDB->trigger();
  EXPECT_EQ(GlobalDM().cdsSelectResult.RecordCount(), 1);
  EXPECT_EQ(handOver("id"), "20002_03");
  EXPECT_EQ(handOver("name"), "帐套20002_03");
  EXPECT_FALSE(w->isVisible());
}

TEST_F(AccountSetsTest, CreatesTheSetWithTheNameTypedAndListsAgain) {
  proxy().answer("as dlt", accountSets("10001", {"10001_01"}));
  ui().scripts["TfrmUserDBAdd"] = [](QDialog& d) {
    auto& add = dynamic_cast<TfrmUserDBAdd&>(d);
    add.edtUserDBName->setText("二号 门店");
    add.actSave->trigger();
    EXPECT_FALSE(add.isVisible());
    return 0;
  };
  auto w = open<TfrmSelectUserDB>("uSelectUserDB.TfrmSelectUserDB");
  proxy().calls.clear();
  w->actNewDB->trigger();
  EXPECT_EQ(proxy().calls,
            (std::vector<std::string>{"CreateUserDB|Main|10001|10001_02|二号 门店|False",
                                      "GetSysMainDBDataBySql|10001|" + kListSql + "'10001'"}));
}

TEST_F(AccountSetsTest, RenamesTheCurrentSetOfItsOwner) {
  proxy().answer("as dlt", accountSets("10001", {"10001_01", "10001_02"}));
  ui().scripts["TfrmUserDBAdd"] = [](QDialog& d) {
    auto& add = dynamic_cast<TfrmUserDBAdd&>(d);
    vlt::test::saveShot(add, "uUserDBAdd");
    EXPECT_EQ(add.TagString, "OsEdit");
    EXPECT_EQ(add.edtUserDBID->text(), "10001_02");
    EXPECT_EQ(add.edtUserDBName->text(), "帐套10001_02");
    // The window took the id and name; nothing is left for the next reader.
    EXPECT_EQ(handOver("id"), "<empty>");
    add.edtUserDBName->setText("O'Neil 的店");
    add.actSave->trigger();
    return 0;
  };
  auto w = open<TfrmSelectUserDB>("uSelectUserDB.TfrmSelectUserDB");
  w->cdsUB.SetRecNo(2);
  proxy().calls.clear();
  w->actModifyDB->trigger();
  EXPECT_EQ(proxy().calls,
            (std::vector<std::string>{
                "doSysMainDBDataBySql|update UserDataBase set UserDBName='O''Neil 的店' where "
                "UserID='10001' and UserDBID='10001_02'",
                "GetSysMainDBDataBySql|10001|" + kListSql + "'10001'"}));
}

// ---- the add window ------------------------------------------------------------------------

TEST_F(AccountSetsTest, AddWindowRefusesAnEmptyNameAndShowsARefusedCreation) {
  struct Case {
    const char* name;
    QString typed;
    std::string status;
    QStringList messages;
    bool closes;
  } cases[] = {
      {"empty", "", "0", {"请输入帐套名称"}, false},
      {"blanks only", "   ", "0", {"请输入帐套名称"}, false},
      {"created", "门店", "0", {}, true},
      {"refused",
       "门店",
       "Duplicate entry '10001_03' for key 'PRIMARY'",
       {"该资料已经存在，不能重复录入！"},
       false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    test::HostFixture fresh;
    CurUserInfo().UserID = "10001";
    fresh.proxy().statuses = {c.status};
    auto add = create<TfrmUserDBAdd>("uUserDBAdd.TfrmUserDBAdd", "OsAppend");
    add->FMaxDBID = "10001_03";
    add->show();
    QApplication::processEvents();
    EXPECT_EQ(add->windowTitle(), "新增帐套");
    EXPECT_EQ(add->edtUserDBID->text(), "10001_03");
    add->edtUserDBName->setText(c.typed);
    add->actSave->trigger();
    EXPECT_EQ(fresh.ui().messages, c.messages);
    EXPECT_EQ(add->isVisible(), !c.closes);
    EXPECT_EQ(fresh.proxy().calls.size(), c.typed.trimmed().isEmpty() ? 0u : 1u);
  }
}

// ---- the user search window ----------------------------------------------------------------

class SelectOperatorTest : public AccountSetsTest {
 protected:
  void SetUp() override {
    AccountSetsTest::SetUp();
    proxy().answer("sys_mainuserbaseinfo",
                   packetOf({"UserID", "NickName"}, {{"10002", "小王"}, {"10003", "小李"}}));
    w = open<TfrmUserDBSelectOperator>("uUserDBSelectOperator.TfrmUserDBSelectOperator");
    w->activateWindow();
    QApplication::setActiveWindow(w.get());
    QApplication::processEvents();
  }
  std::unique_ptr<TfrmUserDBSelectOperator> w;
};

TEST_F(SelectOperatorTest, SearchesByTheChosenColumnWithTheTextQuoted) {
  struct Case {
    bool byNickName;
    QString text;
    std::string statement;
  } cases[] = {
      {false, "1000",
       "select UserID,NickName from sys_mainuserbaseinfo where UserID like '%1000%' limit 200"},
      {true, "小王",
       "select UserID,NickName from sys_mainuserbaseinfo where NickName like '%小王%' limit 200"},
      {true, "O'Neil",
       "select UserID,NickName from sys_mainuserbaseinfo where NickName like '%O''Neil%' limit "
       "200"},
      {true, "x' or '1'='1",
       "select UserID,NickName from sys_mainuserbaseinfo where NickName like "
       "'%x'' or ''1''=''1%' limit 200"},
  };
  EXPECT_EQ(w->windowTitle(), "选择用户");
  EXPECT_TRUE(w->rbUserID->isChecked());
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text.toStdString());
    proxy().calls.clear();
    (c.byNickName ? w->rbNickName : w->rbUserID)->setChecked(true);
    w->edtSearch->setText(c.text);
    w->actSearch->trigger();
    EXPECT_EQ(proxy().calls,
              std::vector<std::string>{"GetSysMainDBDataBySql|10001|" + c.statement});
    EXPECT_EQ(w->cdsUser.RecordCount(), 2);
  }
}

TEST_F(SelectOperatorTest, AnEmptySearchAsksForText) {
  w->actSearch->trigger();
  EXPECT_EQ(ui().messages, QStringList{"请输入查找条件"});
  EXPECT_TRUE(proxy().calls.empty());
}

TEST_F(SelectOperatorTest, HintShowsWhileTheBoxIsEmpty) {
  EXPECT_EQ(w->lblHint->text(), "请输入查询内容……");
  vlt::test::saveShot(*w, "uUserDBSelectOperator_empty");
  EXPECT_TRUE(w->lblHint->isVisible());
  QTest::keyClicks(w->edtSearch, "1");
  EXPECT_FALSE(w->lblHint->isVisible());
  w->edtSearch->clear();
  EXPECT_TRUE(w->lblHint->isVisible());
}

TEST_F(SelectOperatorTest, KeysMoveBetweenBoxAndGridAndChoose) {
  w->edtSearch->setFocus();
  QTest::keyClick(w->edtSearch, Qt::Key_Down);  // no results yet: stays in the box
  EXPECT_TRUE(w->edtSearch->hasFocus());
  QTest::keyClicks(w->edtSearch, "100");
  QTest::keyClick(w->edtSearch, Qt::Key_Return);
  ASSERT_EQ(proxy().callsStartingWith("GetSysMainDBDataBySql").size(), 1u);
  vlt::test::saveShot(*w, "uUserDBSelectOperator");
  EXPECT_TRUE(w->isVisible());  // Enter searched; it did not close the dialog
  w->cdsUser.Last();
  QTest::keyClick(w->edtSearch, Qt::Key_Down);
  EXPECT_TRUE(w->grdUser->hasFocus());
  EXPECT_EQ(w->cdsUser.RecNo(), 1);
  QTest::keyClick(w->grdUser, Qt::Key_Up);
  EXPECT_TRUE(w->edtSearch->hasFocus());
  QTest::keyClick(w->edtSearch, Qt::Key_Down);
  QTest::keyClick(w->grdUser, Qt::Key_Down);
  EXPECT_EQ(w->cdsUser.RecNo(), 2);
  QTest::keyClick(w->grdUser, Qt::Key_Up);  // not the first row: stays in the grid
  EXPECT_TRUE(w->grdUser->hasFocus());
  EXPECT_EQ(w->cdsUser.RecNo(), 1);
  QTest::keyClick(w->grdUser, Qt::Key_Down);
  QTest::keyClick(w->grdUser, Qt::Key_Return);
  EXPECT_EQ(handOver("id"), "10003");
  EXPECT_EQ(handOver("name"), "小李");
  EXPECT_FALSE(w->isVisible());
}

TEST_F(SelectOperatorTest, DoubleClickChoosesAndOkWithoutResultsHandsNothingOver) {
  w->actOK->trigger();
  EXPECT_EQ(handOver("id"), "<empty>");
  EXPECT_FALSE(w->isVisible());

  w->show();
  w->edtSearch->setText("1");
  w->actSearch->trigger();
  QApplication::processEvents();
  const QRect cell = w->grdUser->visualRect(w->grdUser->model()->index(1, 1));
  QTest::mouseClick(w->grdUser->viewport(), Qt::LeftButton, {}, cell.center());
  QTest::mouseDClick(w->grdUser->viewport(), Qt::LeftButton, {}, cell.center());
  EXPECT_EQ(handOver("id"), "10003");
  EXPECT_FALSE(w->isVisible());
}

// ---- shared pieces ---------------------------------------------------------------------------

TEST(AccountSetIds, IdFormAndCommaLists) {
  using namespace vlt::controlcenter;
  const std::pair<QString, bool> ids[] = {
      {"12345_01", true},   {"12345_99", true}, {"12345_00", false}, {"12345_1", false},
      {"12345_100", false}, {"_01", false},     {"a2345_01", false}, {"12345_0a", false},
      {"1_01;drop", false}, {"", false},
  };
  for (const auto& [id, ok] : ids)
    EXPECT_EQ(IsUserDBID(id), ok) << id.toStdString();

  const std::pair<QString, QStringList> lists[] = {
      {"10001_01,门店", {"10001_01", "门店"}},
      {"10001_01,我的 门店", {"10001_01", "我的", "门店"}},
      {"10001_01,\"我的 门店\"", {"10001_01", "我的 门店"}},
      {"  a , b ,", {"a", "b", ""}},
      {"a,,b", {"a", "", "b"}},
      {"", {}},
  };
  for (const auto& [text, items] : lists)
    EXPECT_EQ(SplitCommaText(text), items) << text.toStdString();
}

}  // namespace
