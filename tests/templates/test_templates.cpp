// The window templates through small descendants of the kind the modules write: the list's
// loading, delete and refresh, the edit dialog's save sequence in both modes, the selection
// dialog's local filter, keyboard moves and hand-over, and the keys every window shares.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QTest>
#include <QToolButton>
#include <deque>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "fakehost.h"
#include "formrows.h"
#include "tplwidgets.h"
#include "uBaseDataEditForm.h"
#include "uBaseDataGridForm.h"
#include "uBaseDataSelectForm.h"
#include "uBaseFormEx.h"
#include "vlt/host.h"
#include "vlt/sqltext.h"

using namespace vlt;
using namespace vlt::host;
using vlt::templates::CreateForm;
using vlt::test::packetOf;

namespace {

const char* const kDb = "10001_01";
const std::string kOpenSql = "select * from td_Unit";

struct TUnitInfo {
  std::string ID;
  std::string Name;
};

}  // namespace

// ---- descendants, written as the base-data windows are --------------------------------------

class TfrmUnitEdit : public TfrmBaseDataEdit {
  Q_OBJECT
 public:
  explicit TfrmUnitEdit(QWidget* owner = nullptr) : TfrmBaseDataEdit(owner) {
    setWindowTitle("计量单位编辑");
    edtName = new QLineEdit(pnlMain);
    edtName->setObjectName("edtName");
    edtMemo = new QLineEdit(pnlMain);
    edtMemo->setObjectName("edtMemo");
    EditRows()->addRow("单位名称", edtName);
    EditRows()->addRow("附注说明", edtMemo);
  }

  QLineEdit* edtName;
  QLineEdit* edtMemo;
  TUnitInfo FUnitInfo;
  int afterSave = 0;

  void FormShow() override {
    edtName->setFocus();
    if (IsMode("Edit")) edtName->setText(qs(FUnitInfo.Name));
  }
  void Vlt_BeforeSaveData() override {
    TfrmBaseDataEdit::Vlt_BeforeSaveData();
    if (edtName->text().trimmed().isEmpty()) {
      ShowMessage("计量单位名称不能为空！");
      edtName->setFocus();
      Abort();
    }
  }
  std::string Vlt_GetInsertStr() override {
    return "Insert into td_unit (Id,Name) value (" + quotedStr(GetNewID()) + "," +
           quotedStr(name()) + ")";
  }
  std::string Vlt_GetUpdateStr() override {
    if (name() == FUnitInfo.Name) return {};
    return "update td_unit set Name=" + quotedStr(name()) + " where Id=" + quotedStr(FUnitInfo.ID);
  }
  void Vlt_AfterSaveData() override {
    TfrmBaseDataEdit::Vlt_AfterSaveData();
    ++afterSave;
    edtName->clear();
    edtName->setFocus();
    TagString = "Append";
  }

 private:
  std::string name() const { return ss(edtName->text().trimmed()); }
};

class TfrmUnitList : public TfrmBaseDataGridForm {
  Q_OBJECT
 public:
  using TfrmBaseDataGridForm::TfrmBaseDataGridForm;

  void FormCreate() override {
    setWindowTitle("基础资料 -> 计量单位");
    FBaseDataTableName = "td_Unit";
    FOpenBaseDataSql = "select * from " + FBaseDataTableName;
    GrdMain->Bind(&cdsBaseData, {{"Id", "", 0, false}, {"Name", "单位名称", 160}});
    TfrmBaseDataGridForm::FormCreate();
  }
  void actNewExecute() override { ShowEditDialog(CreateForm<TfrmUnitEdit>(), "Append"); }
  void actEditExecute() override {
    CheckBeforeEdit();
    auto dialog = CreateForm<TfrmUnitEdit>();
    dialog->FUnitInfo = {cdsBaseData.FieldByName("ID").AsString(),
                         cdsBaseData.FieldByName("Name").AsString()};
    ShowEditDialog(std::move(dialog), "Edit");
  }
};

class TfrmSelectUnit : public TfrmBaseDataSelectForm {
  Q_OBJECT
 public:
  using TfrmBaseDataSelectForm::TfrmBaseDataSelectForm;

  void FormCreate() override {
    setWindowTitle("计量单位选择");
    FBaseDataTableName = "td_Unit";
    FOpenBaseDataSql = "select * from " + FBaseDataTableName;
    FFilterStr = "Name like ";
    grd->Bind(&cdsSelectData, {{"Id", "", 0, false}, {"Name", "单位名称", 160}});
    BindGridPick(actOK);
    TfrmBaseDataSelectForm::FormCreate();
  }
  void actOKExecute() override {
    Target.Deliver(
        {cdsSelectData.FieldByName("ID").AsString(), cdsSelectData.FieldByName("Name").AsString()});
    close();
  }
};

namespace {

Packet units(const std::vector<std::pair<std::string, std::string>>& rows) {
  std::vector<std::vector<std::string>> r;
  for (const auto& [id, name] : rows)
    r.push_back({id, name});
  return packetOf({"Id", "Name"}, r);
}

const Packet kFiveUnits = units(
    {{"1001", "千克"}, {"1002", "kg"}, {"1003", "kg箱"}, {"1004", "O'Brien"}, {"1005", "盒"}});

std::vector<std::string> names(ClientDataSet& cds) {
  std::vector<std::string> out;
  if (!cds.Active()) return out;
  for (cds.First(); !cds.Eof(); cds.Next())
    out.push_back(cds.FieldByName("Name").AsString());
  cds.First();
  return out;
}

void activate(QWidget& w) {
  w.show();
  w.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
}

class TemplatesTest : public ::testing::Test {
 protected:
  void SetUp() override { CurUserInfo().UserDBID = kDb; }
  test::FakeServerMethods& proxy() { return host.proxy(); }
  test::FakeHostUi& ui() { return host.ui(); }
  std::vector<std::string> sent() { return host.proxy().callsStartingWith("doUserDB"); }
  std::size_t loads() { return host.proxy().callsStartingWith("GetUserDBDataBySql").size(); }

  test::HostFixture host;
};

// ---- the list window --------------------------------------------------------------------------

TEST_F(TemplatesTest, ListLoadsWithTheDescendantsStatementAndRefreshReplacesTheRows) {
  proxy().answer(kOpenSql, units({{"1001", "千克"}, {"1002", "箱"}}));
  auto w = CreateForm<TfrmUnitList>();
  // The descendant's fields were in place when the template's create handler loaded.
  EXPECT_EQ(proxy().calls, (std::vector<std::string>{"GetUserDBDataBySql|10001_01|" + kOpenSql}));
  EXPECT_EQ(names(w->cdsBaseData), (std::vector<std::string>{"千克", "箱"}));
  test::showSettled(*w);
  EXPECT_EQ(QApplication::focusWidget(), w->GrdMain);

  proxy().answers.clear();
  proxy().answer(kOpenSql, units({{"1003", "盒"}}));
  w->actRefresh->trigger();
  EXPECT_EQ(loads(), 2u);
  EXPECT_EQ(names(w->cdsBaseData), std::vector<std::string>{"盒"});
  EXPECT_EQ(w->GrdMain->model()->rowCount(), 1);
}

struct DeleteCase {
  const char* name;
  std::vector<std::pair<std::string, std::string>> rows;
  int row;  // 1-based row the user is on
  std::deque<bool> answers;
  std::deque<std::string> statuses;
  std::vector<std::string> sent;
  QStringList messages;
  bool asked;
  bool reloaded;
};

TEST_F(TemplatesTest, DeleteAsksFirstQuotesTheKeyAndReportsTheService) {
  const std::string del = "doUserDBDataBySql|10001_01|delete from td_Unit where ID=";
  // clang-format off
  const DeleteCase cases[] = {
      {"empty list", {}, 0, {true}, {}, {}, {"未发现可以删除的资料！"}, false, false},
      {"answered No", {{"1001", "千克"}}, 1, {false}, {}, {}, {}, true, false},
      {"deleted", {{"1001", "千克"}, {"1002", "箱"}}, 2, {true}, {"0"}, {del + "'1002'"}, {},
       true, true},
      {"key with quote and backslash", {{"O'B\\1", "千克"}}, 1, {true}, {"0"},
       {del + "'O''B\\1'"}, {}, true, true},
      {"duplicate", {{"1001", "千克"}}, 1, {true}, {"Duplicate entry '1' for key 'PRIMARY'"},
       {del + "'1001'"}, {"该基础资料名称已经录入，请查证！"}, true, false},
      {"refused", {{"1001", "千克"}}, 1, {true}, {"Cannot delete or update a parent row"},
       {del + "'1001'"}, {"保存失败，错误原因：该资料已被其他资料或单据使用，不能删除或修改。"}, true, false},
  };
  // clang-format on
  for (const DeleteCase& c : cases) {
    SCOPED_TRACE(c.name);
    test::HostFixture fresh;
    CurUserInfo().UserDBID = kDb;
    fresh.proxy().answer(kOpenSql, units(c.rows));
    fresh.ui().confirmAnswers = c.answers;
    fresh.proxy().statuses = c.statuses;
    auto w = CreateForm<TfrmUnitList>();
    if (c.row > 0) w->cdsBaseData.SetRecNo(c.row);
    w->actDel->trigger();
    EXPECT_EQ(fresh.proxy().callsStartingWith("doUserDB"), c.sent);
    EXPECT_EQ(fresh.ui().messages, c.messages);
    EXPECT_EQ(fresh.ui().confirmations,
              c.asked ? QStringList{"删除无法恢复，请确认是否真的删除？"} : QStringList{});
    EXPECT_EQ(fresh.proxy().callsStartingWith("GetUserDBDataBySql").size(), c.reloaded ? 2u : 1u);
  }
}

TEST_F(TemplatesTest, EnterDoubleClickAndModifyOpenTheCurrentRowAndReloadAfterwards) {
  enum class How { Enter, DoubleClick, Action };
  struct Case {
    const char* name;
    How how;
    int row;
  };
  for (const Case& c :
       {Case{"Enter in the grid", How::Enter, 2}, Case{"double click", How::DoubleClick, 1},
        Case{"Ctrl+M", How::Action, 2}}) {
    SCOPED_TRACE(c.name);
    test::HostFixture fresh;
    CurUserInfo().UserDBID = kDb;
    fresh.proxy().answer(kOpenSql, units({{"1001", "千克"}, {"1002", "箱"}}));
    TUnitInfo seen;
    QString mode;
    QPointer<QDialog> dialog;
    fresh.ui().scripts["TfrmUnitEdit"] = [&](QDialog& d) {
      auto& e = dynamic_cast<TfrmUnitEdit&>(d);
      seen = e.FUnitInfo;
      mode = e.TagString;
      dialog = &d;
      return 0;
    };
    auto w = CreateForm<TfrmUnitList>();
    activate(*w);
    w->cdsBaseData.SetRecNo(c.row);
    const QModelIndex cell = w->GrdMain->model()->index(c.row - 1, 1);
    switch (c.how) {
      case How::Enter:
        QTest::keyClick(w->GrdMain, Qt::Key_Return);
        break;
      case How::DoubleClick: {
        const QPoint at = w->GrdMain->visualRect(cell).center();
        QTest::mouseClick(w->GrdMain->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseDClick(w->GrdMain->viewport(), Qt::LeftButton, {}, at);
        break;
      }
      case How::Action:
        QTest::keyClick(w->GrdMain, Qt::Key_M, Qt::ControlModifier);
        break;
    }
    ASSERT_EQ(fresh.ui().modalShown, QStringList{"TfrmUnitEdit"});
    EXPECT_EQ(mode, "Edit");
    EXPECT_EQ(seen.ID, c.row == 1 ? "1001" : "1002");
    EXPECT_EQ(seen.Name, c.row == 1 ? "千克" : "箱");
    EXPECT_TRUE(dialog.isNull());  // freed by the list
    EXPECT_EQ(fresh.proxy().callsStartingWith("GetUserDBDataBySql").size(), 2u);
  }
}

TEST_F(TemplatesTest, ModifyOnAnEmptyListStopsWithItsMessage) {
  for (bool byDoubleClick : {false, true}) {
    SCOPED_TRACE(byDoubleClick ? "double click on the blank list" : "Enter");
    test::HostFixture fresh;
    auto w = CreateForm<TfrmUnitList>();
    activate(*w);
    if (byDoubleClick)
      QTest::mouseDClick(w->GrdMain->viewport(), Qt::LeftButton, {}, QPoint(40, 40));
    else
      QTest::keyClick(w->GrdMain, Qt::Key_Return);
    EXPECT_EQ(fresh.ui().messages, QStringList{"没检测到需要修改的数据，请选择！"});
    EXPECT_TRUE(fresh.ui().modalShown.isEmpty());
  }
}

TEST_F(TemplatesTest, ListShortcutsReachTheirActions) {
  proxy().answer(kOpenSql, units({{"1001", "千克"}}));
  ui().scripts["TfrmUnitEdit"] = [](QDialog&) { return 0; };
  auto w = CreateForm<TfrmUnitList>();
  activate(*w);
  QTest::keyClick(w->GrdMain, Qt::Key_N, Qt::ControlModifier);
  EXPECT_EQ(ui().modalShown, QStringList{"TfrmUnitEdit"});
  activate(*w);  // back from the dialog
  QTest::keyClick(w->GrdMain, Qt::Key_R, Qt::ControlModifier);
  EXPECT_EQ(loads(), 3u);  // created, after the dialog, refreshed
  QTest::keyClick(w->GrdMain, Qt::Key_D, Qt::ControlModifier);
  EXPECT_EQ(ui().confirmations, QStringList{"删除无法恢复，请确认是否真的删除？"});
}

TEST_F(TemplatesTest, TheListReloadsAndFreesTheDialogEvenWhenTheDialogFails) {
  QString handled;
  SetApplicationExceptionHandler([&](const std::exception& e) { handled = e.what(); });
  QPointer<QDialog> dialog;
  ui().scripts["TfrmUnitEdit"] = [&](QDialog& d) -> int {
    dialog = &d;
    throw std::runtime_error("Connection refused");
  };
  auto w = CreateForm<TfrmUnitList>();
  w->actNew->trigger();
  EXPECT_EQ(handled, "Connection refused");
  EXPECT_TRUE(dialog.isNull());
  EXPECT_EQ(loads(), 2u);
}

// ---- the edit dialog ----------------------------------------------------------------------------

struct SaveCase {
  const char* name;
  QString mode;
  QString typed;  // empty: what FormShow put there
  bool close;     // save and close, else save and new
  std::deque<std::string> statuses;
  std::vector<std::string> sent;
  QStringList messages;
  bool open;          // still showing afterwards
  int afterSave;      // Vlt_AfterSaveData calls
  QString boxAfter;   // the name box afterwards
  QString modeAfter;  // TagString afterwards
};

TEST_F(TemplatesTest, SaveSequenceInBothModes) {
  const std::string run = "doUserDBDataBySql|10001_01|";
  const std::string ins = run + "Insert into td_unit (Id,Name) value ('200000000000000',";
  const std::string upd = run + "update td_unit set Name=";
  const QString kDup = "该基础资料名称已经录入，请查证！";
  // clang-format off
  const SaveCase cases[] = {
      // name, mode, typed, close, statuses, sent, messages, open, afterSave, box, mode after
      {"new, save and close", "Append", "kg", true, {}, {ins + "'kg')"}, {}, false, 0, "kg",
       "Append"},
      {"new, save and new", "Append", "kg", false, {}, {ins + "'kg')"}, {}, true, 1, "", "Append"},
      {"lower-case mode", "append", "kg", true, {}, {ins + "'kg')"}, {}, false, 0, "kg", "append"},
      {"trimmed, quote and backslash kept", "Append", "  O'Brien \\ kg  ", true, {},
       {ins + "'O''Brien \\ kg')"}, {}, false, 0, "  O'Brien \\ kg  ", "Append"},
      {"duplicate name", "Append", "kg", true, {"Duplicate entry 'kg' for key 'Name'"},
       {ins + "'kg')"}, {kDup}, true, 0, "kg", "Append"},
      {"other failure", "Append", "kg", false, {"Data too long for column 'Name'"},
       {ins + "'kg')"}, {"保存失败，错误原因：所填的内容太长，请缩短后重试。"}, true, 0, "kg",
       "Append"},
      {"blank name", "Append", "   ", true, {}, {}, {"计量单位名称不能为空！"}, true, 0, "   ",
       "Append"},
      {"edit without change", "Edit", "", true, {}, {}, {"没检测到需要保存的数据！"}, true, 0, "箱",
       "Edit"},
      {"edit, save and close", "Edit", "盒", true, {}, {upd + "'盒' where Id='1002'"}, {}, false,
       0, "盒", "Edit"},
      {"edit, save and new carries on as new", "EDIT", "盒", false, {},
       {upd + "'盒' where Id='1002'"}, {}, true, 1, "", "Append"},
      {"edit refused", "Edit", "kg", true, {"Duplicate entry 'kg' for key 'Name'"},
       {upd + "'kg' where Id='1002'"}, {kDup}, true, 0, "kg", "Edit"},
      {"neither mode", "View", "kg", true, {}, {}, {}, true, 0, "kg", "View"},
  };
  // clang-format on
  for (const SaveCase& c : cases) {
    SCOPED_TRACE(c.name);
    test::HostFixture fresh;
    CurUserInfo().UserDBID = kDb;
    fresh.proxy().statuses = c.statuses;
    auto d = CreateForm<TfrmUnitEdit>();
    d->TagString = c.mode;
    d->FUnitInfo = {"1002", "箱"};
    test::showSettled(*d);
    if (!c.typed.isEmpty()) d->edtName->setText(c.typed);
    (c.close ? d->actSaveAndClose : d->actSaveAndNew)->trigger();
    EXPECT_EQ(fresh.proxy().callsStartingWith("doUserDB"), c.sent);
    EXPECT_EQ(fresh.ui().messages, c.messages);
    EXPECT_EQ(d->isVisible(), c.open);
    EXPECT_EQ(d->afterSave, c.afterSave);
    EXPECT_EQ(d->edtName->text(), c.boxAfter);
    EXPECT_EQ(d->TagString, c.modeAfter);
  }
}

TEST_F(TemplatesTest, EditDialogKeys) {
  auto d = CreateForm<TfrmUnitEdit>();
  d->TagString = "Edit";
  d->FUnitInfo = {"1002", "箱"};
  activate(*d);
  ASSERT_EQ(QApplication::focusWidget(), d->edtName);
  // Enter moves on to the next box and saves nothing.
  QTest::keyClick(d->edtName, Qt::Key_Return);
  EXPECT_EQ(QApplication::focusWidget(), d->edtMemo);
  EXPECT_TRUE(sent().empty());
  // Ctrl+Enter: the change is saved and the dialog carries on with a new record ...
  d->edtName->setText("盒");
  QTest::keyClick(d->edtMemo, Qt::Key_Return, Qt::ControlModifier);
  // ... which Ctrl+Q inserts.
  QTest::keyClicks(d->edtName, "kg");
  QTest::keyClick(d->edtName, Qt::Key_Q, Qt::ControlModifier);
  EXPECT_EQ(sent(), (std::vector<std::string>{
                        "doUserDBDataBySql|10001_01|update td_unit set Name='盒' where Id='1002'",
                        "doUserDBDataBySql|10001_01|Insert into td_unit (Id,Name) value "
                        "('200000000000000','kg')"}));
  EXPECT_FALSE(d->isVisible());
  EXPECT_TRUE(ui().messages.isEmpty());
}

TEST_F(TemplatesTest, EscapeClosesEveryKindOfWindowWithoutSaving) {
  proxy().answer(kOpenSql, kFiveUnits);
  {
    SCOPED_TRACE("list: frees itself");
    QPointer<TfrmUnitList> w = CreateForm<TfrmUnitList>().release();
    activate(*w);
    QTest::keyClick(w->GrdMain, Qt::Key_Escape);
    EXPECT_FALSE(w->isVisible());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(w.isNull());
  }
  {
    SCOPED_TRACE("edit dialog: typed text is not saved, the opener frees it");
    auto d = CreateForm<TfrmUnitEdit>();
    d->TagString = "Append";
    activate(*d);
    QTest::keyClicks(d->edtName, "kg");
    QTest::keyClick(d->edtName, Qt::Key_Escape);
    EXPECT_FALSE(d->isVisible());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(d->edtName->text(), "kg");
  }
  {
    SCOPED_TRACE("select dialog: from the filter box, the opener frees it");
    auto s = CreateForm<TfrmSelectUnit>();
    activate(*s);
    QTest::keyClick(s->edtfilter, Qt::Key_Escape);
    EXPECT_FALSE(s->isVisible());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(s->cdsSelectData.RecordCount(), 5);
  }
  EXPECT_TRUE(sent().empty());
  EXPECT_TRUE(GlobalDM().cdsSelectResult.IsEmpty());
}

// ---- the select dialog -------------------------------------------------------------------------

struct FilterCase {
  const char* name;
  QString typed;
  int backspaces;
  std::string filter;  // the data set's expression afterwards, empty for none
  std::vector<std::string> shown;
};

TEST_F(TemplatesTest, FilterTypingNarrowsTheLoadedRows) {
  const std::vector<std::string> all{"千克", "kg", "kg箱", "O'Brien", "盒"};
  const FilterCase cases[] = {
      {"contains", "kg", 0, "Name like '%kg%'", {"kg", "kg箱"}},
      {"blanks trimmed", "  kg  ", 0, "Name like '%kg%'", {"kg", "kg箱"}},
      {"quote doubled", "O'B", 0, "Name like '%O''B%'", {"O'Brien"}},
      {"nothing matches", "zz", 0, "Name like '%zz%'", {}},
      {"deleted again", "kg", 2, "", all},
      {"empty box", "", 0, "", all},
  };
  for (const FilterCase& c : cases) {
    SCOPED_TRACE(c.name);
    test::HostFixture fresh;
    CurUserInfo().UserDBID = kDb;
    fresh.proxy().answer(kOpenSql, kFiveUnits);
    auto s = CreateForm<TfrmSelectUnit>();
    test::showSettled(*s);
    QTest::keyClicks(s->edtfilter, c.typed);
    for (int i = 0; i < c.backspaces; ++i)
      QTest::keyClick(s->edtfilter, Qt::Key_Backspace);
    EXPECT_EQ(s->cdsSelectData.Filtered(), !c.filter.empty());
    EXPECT_EQ(s->cdsSelectData.Filter(), c.filter);
    EXPECT_EQ(names(s->cdsSelectData), c.shown);
    EXPECT_EQ(s->grd->model()->rowCount(), static_cast<int>(c.shown.size()));
    // Filtering is local: the rows were asked for once, on show.
    EXPECT_EQ(fresh.proxy().calls,
              (std::vector<std::string>{"GetUserDBDataBySql|10001_01|" + kOpenSql}));
  }
}

TEST_F(TemplatesTest, ClearButtonShowsEveryRowAgain) {
  proxy().answer(kOpenSql, kFiveUnits);
  auto s = CreateForm<TfrmSelectUnit>();
  test::showSettled(*s);
  QTest::keyClicks(s->edtfilter, "kg");
  ASSERT_EQ(s->grd->model()->rowCount(), 2);
  QTest::mouseClick(s->btnclear, Qt::LeftButton);
  EXPECT_TRUE(s->edtfilter->text().isEmpty());
  EXPECT_EQ(s->grd->model()->rowCount(), 5);
}

TEST_F(TemplatesTest, DownFromTheFilterBoxAndUpFromTheFirstRow) {
  proxy().answer(kOpenSql, kFiveUnits);
  auto s = CreateForm<TfrmSelectUnit>();
  activate(*s);
  ASSERT_EQ(QApplication::focusWidget(), s->edtfilter);
  QTest::keyClicks(s->edtfilter, "kg");
  QTest::keyClick(s->edtfilter, Qt::Key_Down);
  EXPECT_EQ(QApplication::focusWidget(), s->grd);
  EXPECT_EQ(s->grd->SelectedRow(), 0);
  EXPECT_EQ(s->cdsSelectData.FieldByName("Name").AsString(), "kg");
  // Down within the list is the list's; Up on a later row too.
  QTest::keyClick(s->grd, Qt::Key_Down);
  EXPECT_EQ(s->grd->SelectedRow(), 1);
  QTest::keyClick(s->grd, Qt::Key_Up);
  EXPECT_EQ(QApplication::focusWidget(), s->grd);
  EXPECT_EQ(s->grd->SelectedRow(), 0);
  // Up on the first row goes back to the box.
  QTest::keyClick(s->grd, Qt::Key_Up);
  EXPECT_EQ(QApplication::focusWidget(), s->edtfilter);

  // With nothing listed Down stays in the box.
  QTest::keyClicks(s->edtfilter, "zz");
  ASSERT_EQ(s->cdsSelectData.RecordCount(), 0);
  QTest::keyClick(s->edtfilter, Qt::Key_Down);
  EXPECT_EQ(QApplication::focusWidget(), s->edtfilter);
}

TEST_F(TemplatesTest, SelectDialogHandsTheChosenRowOver) {
  for (bool toOpenerBox : {false, true}) {
    SCOPED_TRACE(toOpenerBox ? "into the opener's box" : "through cdsSelectResult");
    test::HostFixture fresh;
    CurUserInfo().UserDBID = kDb;
    fresh.proxy().answer(kOpenSql, kFiveUnits);
    TForm opener;
    auto* edtGoodsUnit = new QLineEdit(&opener);
    edtGoodsUnit->setObjectName("edtGoodsUnit");
    fresh.ui().scripts["TfrmSelectUnit"] = [](QDialog& d) {
      auto& s = dynamic_cast<TfrmSelectUnit&>(d);
      QTest::keyClicks(s.edtfilter, "kg");
      s.grd->SelectCell(1, 1);
      QTest::keyClick(s.grd, Qt::Key_Return);
      return 0;
    };
    auto s = CreateForm<TfrmSelectUnit>(&opener);
    if (toOpenerBox) s->Target = templates::TPickTarget::IntoBox(*edtGoodsUnit);
    ShowModal(*s);
    EXPECT_FALSE(s->isVisible());
    ClientDataSet& h = GlobalDM().cdsSelectResult;
    if (toOpenerBox) {
      EXPECT_EQ(edtGoodsUnit->text(), "kg箱");
      EXPECT_EQ(edtGoodsUnit->property(templates::kTagStringProperty).toString(), "1003");
      EXPECT_TRUE(h.IsEmpty());
    } else {
      ASSERT_EQ(h.RecordCount(), 1);
      EXPECT_EQ(h.FieldByName("id").AsString(), "1003");
      EXPECT_EQ(h.FieldByName("name").AsString(), "kg箱");
    }
  }
}

// ---- the shared base -------------------------------------------------------------------------

TEST_F(TemplatesTest, AdvertOpensTheServiceSiteAndLeavesTheWindowUp) {
  auto w = CreateForm<TfrmUnitList>();
  activate(*w);
  QTest::mouseClick(w->imgAD, Qt::LeftButton);
  EXPECT_EQ(ui().opened, QStringList{"http://service.test/"});
  EXPECT_TRUE(w->isVisible());
  EXPECT_TRUE(w->isActiveWindow());
}

TEST(BaseFormTest, DecimalFieldsWidenTo25DigitsAndNothingElseChanges) {
  ClientDataSet none;
  TfrmBaseForm::SetFMTBcdPrecision(none);
  EXPECT_TRUE(none.Fields().empty());

  ClientDataSet cds;
  cds.FieldDefinitions().addDecimal("Amt", 18, 2);
  cds.FieldDefinitions().add("Qty", DataType::Int32);
  cds.FieldDefinitions().add("Name", DataType::String, 40);
  TfrmBaseForm::SetFMTBcdPrecision(cds);
  EXPECT_EQ(cds.Fields()[0].precision, 25);
  EXPECT_EQ(cds.Fields()[0].scale, 2);
  EXPECT_EQ(cds.Fields()[1].precision, 0);
  EXPECT_EQ(cds.Fields()[2].size, 40);
  // A 23-digit amount that the 18 digits of the definition would refuse.
  cds.CreateDataSet();
  cds.Append();
  cds.FieldByName("Amt").SetAsString("12345678901234567890123.45");
  cds.Post();
  EXPECT_EQ(cds.FieldByName("Amt").AsString(), "12345678901234567890123.45");
}

// ---- how they look ---------------------------------------------------------------------------

TEST_F(TemplatesTest, Screenshots) {
  if (qEnvironmentVariableIsEmpty("VLT_SHOTS_DIR")) GTEST_SKIP() << "VLT_SHOTS_DIR not set";
  QFile style(qEnvironmentVariable("VLT_SOURCE_DIR") + "/launcher/VltDefault.style");
  ASSERT_TRUE(style.open(QIODevice::ReadOnly));
  qApp->setStyleSheet(QString::fromUtf8(style.readAll()));
  proxy().answer(kOpenSql, kFiveUnits);
  auto w = CreateForm<TfrmUnitList>();
  test::showSettled(*w);
  w->cdsBaseData.SetRecNo(2);
  test::saveShot(*w, "template_list");
  auto d = CreateForm<TfrmUnitEdit>();
  d->TagString = "Edit";
  d->FUnitInfo = {"1002", "kg"};
  test::showSettled(*d);
  test::saveShot(*d, "template_edit");
  auto s = CreateForm<TfrmSelectUnit>();
  test::showSettled(*s);
  QTest::keyClicks(s->edtfilter, "kg");
  test::saveShot(*s, "template_select");
  qApp->setStyleSheet(QString());
}

}  // namespace

#include "test_templates.moc"

TEST(FormRowsTest, CaptionsNameTheirBoxesAndRowsFillTheGridInOrder) {
  QWidget area;
  auto* code = new QLineEdit(&area);
  auto* unit = new QLineEdit(&area);
  auto* price = new templates::TNumberBox(&area, "edtPrice", "采购价");
  auto* date = new templates::TDateBox(&area, "edtDate", "单据日期");
  auto* memo = new QPlainTextEdit(&area);
  QAction pick("+", &area);
  pick.setToolTip("选择计量单位");
  templates::TFormRows rows(&area, 2);
  QLabel* lblCode = rows.Row("lblCode", "货品编码", code);
  QToolButton* button = nullptr;
  rows.PickRow("lblUnit", "计量单位", unit, &pick, "btnUnit", &button);
  rows.Row("lblPrice", "采购价", price);
  rows.DateRow("lblDate", "单据日期", date);
  rows.MemoRow("lblMemo", "附注说明", memo);
  const std::vector<QLabel*> totals =
      rows.TotalsRow("lytTotals", {{"lblTotalQty", "合计数量"}, {"lblTotalAmount", "合计金额"}});

  EXPECT_EQ(lblCode->buddy(), code);
  const std::pair<QWidget*, QString> named[] = {
      {code, "货品编码"}, {unit, "计量单位"},      {price, "采购价"},       {date, "单据日期"},
      {memo, "附注说明"}, {totals[1], "合计金额"}, {button, "选择计量单位"}};
  for (const auto& [box, name] : named)
    EXPECT_EQ(box->accessibleName(), name);
  EXPECT_TRUE(unit->isReadOnly());
  EXPECT_EQ(button->focusPolicy(), Qt::NoFocus);
  // Two pairs a line: code and unit, then price and date, then the memo and the totals alone.
  QGridLayout* g = rows.Grid();
  auto lineOf = [g](QWidget* w) {
    int row = -1, col, rs, cs;
    for (QWidget* at = w; at && row < 0; at = at->parentWidget()) {
      const int i = g->indexOf(at);
      if (i >= 0) g->getItemPosition(i, &row, &col, &rs, &cs);
    }
    return row;
  };
  EXPECT_EQ((std::vector<int>{lineOf(code), lineOf(unit), lineOf(price), lineOf(date), lineOf(memo),
                              lineOf(totals[0])}),
            (std::vector<int>{0, 0, 1, 1, 2, 3}));
}

TEST(FormRowsTest, NumberAndDateBoxesNameWhatIsWrong) {
  QWidget area;
  templates::TNumberBox price(&area, "edtPrice", "单价");
  templates::TNumberBox qty(&area, "edtQty", "数量", 0, 6, false);
  templates::TDateBox date(&area, "edtDate", "单据日期");
  templates::TDateBox due(&area, "edtDue", "到期日", false);
  struct Row {
    templates::TCheckedBox* box;
    const char* typed;
    QString problem;
  } rows[] = {
      {&price, "", ""},
      {&price, " 12.5 ", ""},
      {&price, "-0.01", ""},
      {&price, "12.30", ""},
      {&price, "abc", "单价必须是数字"},
      {&price, "1,000", "单价必须是数字"},
      {&price, "0x10", "单价必须是数字"},
      {&price, "1.239", "单价最多只能有2位小数"},
      {&price, "1234567890", "单价超出了允许的范围"},
      {&qty, "3", ""},
      {&qty, "3.0", ""},
      {&qty, "3.5", "数量必须是整数"},
      {&qty, "-1", "数量不能是负数"},
      {&date, "2024-02-29", ""},
      {&date, "", "单据日期不能为空"},
      {&date, "2023-02-29", "单据日期必须是日期（年-月-日，如 2024-03-01）"},
      {&date, "2024/03/01", "单据日期必须是日期（年-月-日，如 2024-03-01）"},
      {&due, "", ""},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.box->Caption().toStdString() + " " + r.typed);
    r.box->setText(r.typed);
    EXPECT_EQ(r.box->Problem(), r.problem);
  }
  price.setText(" 12.50 ");
  EXPECT_EQ(price.SqlText(), "12.50");
  price.setText("");
  EXPECT_EQ(price.SqlText(), "0");
  price.setText("1;drop");
  EXPECT_EQ(price.SqlText(), "0");  // never the typed text of something that is no number

  // The first box with a problem is named, focused, and the save ends there.
  test::HostFixture host;
  price.setText("x");
  qty.setText("y");
  bool ended = true;
  guarded([&] {
    templates::CheckBoxes({&date, &price, &qty});
    ended = false;
  })();
  EXPECT_TRUE(ended);
  EXPECT_EQ(host.ui().messages, QStringList{"单据日期必须是日期（年-月-日，如 2024-03-01）"});
}
