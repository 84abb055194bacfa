// Person-card entries: the entry window of the four kinds, the list of a kind with its periods,
// and the frame's buttons, against the recording fake service.

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QTest>
#include <QToolButton>

#include "personcard_testing.h"
#include "uPersionCardEdit.h"
#include "uPersionCardForm.h"
#include "uPersionCardFrame.h"
#include "vlt/components.h"
#include "windowrows.h"

namespace {

using namespace vlt;
using namespace vlt::test;

constexpr const char* kEdit = "uPersionCardEdit.TfrmPersionCardEdit";
constexpr const char* kList = "uPersionCardForm.TfrmPersionCardForm";
const std::string kRun = "doSysMainDBDataBySql|";

std::string today() {
  return Iso(QDate::currentDate());
}

std::unique_ptr<TfrmPersionCardEdit> openEntry(HostFixture& h, int kind,
                                               const QString& mode = "Append") {
  return OpenKind<TfrmPersionCardEdit>(h, kEdit, mode, kind);
}

auto entering(const QString& type, const QString& amount, const QString& note = {},
              const QString& date = {}) {
  return [=](TfrmPersionCardEdit& w) {
    Type(w, "edtCardType", type);
    Type(w, "edtAmt", amount);
    if (!date.isEmpty()) Type(w, "edtdate", date);
    w.mmoMemo->setPlainText(note);
    w.actSaveAndNew->trigger();
  };
}

TEST(PersionCardEntry, RefusesWhatIsNotAnAmountADateOrACard) {
  const auto expense = [](HostFixture& h) { return openEntry(h, 2); };
  RunWindowRows<TfrmPersionCardEdit>(
      expense,
      {{"empty amount",
        entering("餐饮", ""),
        kNothingSent,
        {"『支出金额』不能为空！"},
        {},
        true,
        {}},
       {"text as amount",
        entering("餐饮", "1,IoKind=9 --"),
        kNothingSent,
        {"『支出金额』必须是数字，如 12.50"},
        {{"edtAmt", "1,IoKind=9 --"}, {"edtCardType", "餐饮"}},
        true,
        {}},
       {"three decimals",
        entering("餐饮", "1.234"),
        kNothingSent,
        {"『支出金额』最多只能有两位小数"},
        {{"edtAmt", "1.234"}},
        true,
        {}},
       {"negative", entering("餐饮", "-5"), kNothingSent, {"『支出金额』不能是负数"}, {}, true, {}},
       {"too large for the column",
        entering("餐饮", "123456789012"),
        kNothingSent,
        {"『支出金额』超出了允许的范围"},
        {},
        true,
        {}},
       {"a date that is no date",
        entering("餐饮", "3", "午饭", "2026-02-30"),
        kNothingSent,
        {"日期必须是日期（年-月-日，如 2024-03-01）"},
        {{"edtdate", "2026-02-30"}, {"mmoMemo", "午饭"}, {"edtAmt", "3"}},
        true,
        {}},
       {"an expense needs no category",
        entering("", "3"),
        {kRun +
         "INSERT INTO userpersincard (UserID,IoType,Bdate,IoAmt,Remark,IoDirect,IoKind) values "
         "('10001','','" +
         today() + "',3.00,'',-1,2)"},
        {},
        {{"edtAmt", ""}},
        true,
        {}},
       {"quotes, backslashes and emoji stored as typed; trailing zero decimals accepted",
        entering("O'Neil \\ 😀 夜宵", "12.500", "it's \\n 🍜"),
        {kRun +
         "INSERT INTO userpersincard (UserID,IoType,Bdate,IoAmt,Remark,IoDirect,IoKind) values "
         "('10001','O''Neil \\ 😀 夜宵','" +
         today() + "',12.50,'it''s \\n 🍜',-1,2)"},
        {},
        {{"edtCardType", ""},
         {"edtAmt", ""},
         {"mmoMemo", ""},
         {"edtdate", QString::fromStdString(today())}},
        true,
        [](TfrmPersionCardEdit&, HostFixture&) { EXPECT_EQ(host::FModalResult(), 27); }}});
}

TEST(PersionCardEntry, EachKindStoresItsDirectionAndOffersItsCategories) {
  struct Case {
    int kind;
    const char* typeLabel;
    const char* amtLabel;
    const char* caption;
    int direction;
    QStringList offered;
  };
  const Case cases[] = {
      {1, "收入类别", "收入金额", "收入", 1, {"工资"}},
      {2, "支出类别", "支出金额", "支出", -1, {"餐饮", "房租"}},
      {3, "信用卡名", "消费金额", "信用卡消费", 0, {"招商银行卡", "工商银行卡"}},
      {4, "信用卡名", "还款金额", "信用还款", 1, {"招商银行卡", "工商银行卡"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.kind);
    HostFixture h;
    auto w = openEntry(h, c.kind);
    ASSERT_TRUE(w);
    EXPECT_EQ(BoxText(*w, "lblCardType"), c.typeLabel);
    EXPECT_EQ(BoxText(*w, "lblAmt"), c.amtLabel);
    EXPECT_EQ(w->windowTitle(), c.caption);
    QStringList offered;
    for (int i = 0; i < w->edtCardType->count(); ++i)
      offered << w->edtCardType->itemText(i);
    EXPECT_EQ(offered, c.offered);
    EXPECT_EQ(BoxText(*w, "edtCardType"), "");
    EXPECT_EQ(
        h.proxy().callsStartingWith("GetSysMainDBDataBySql"),
        std::vector<std::string>{"GetSysMainDBDataBySql|10001|select Id,UserID,IOKind,"
                                 "IODirect,IOType from UserPersionIOType where UserID='10001'"});
    // A card that is not in the list is stored as typed.
    entering("新开的卡", "8.5")(*w);
    EXPECT_EQ(ChangesSent(h.proxy()),
              std::vector<std::string>{
                  kRun +
                  "INSERT INTO userpersincard (UserID,IoType,Bdate,IoAmt,Remark,IoDirect,IoKind) "
                  "values ('10001','新开的卡','" +
                  today() + "',8.50,''," + std::to_string(c.direction) + "," +
                  std::to_string(c.kind) + ")"});
    if (c.kind >= 3) {
      h.proxy().calls.clear();
      entering("", "1")(*w);
      EXPECT_TRUE(ChangesSent(h.proxy()).empty());
      EXPECT_EQ(h.ui().messages.last(), "『信用卡名』不能为空！");
    }
    saveShot(*w, QString("personcard_entry_%1").arg(c.kind));
  }
}

TEST(PersionCardEntry, ChangeShowsTheEntryUpdatesItAndThenSavesNewOnes) {
  HostFixture h;
  SignIn(h);
  ClientDataSet& handOver = host::GlobalDM().cdsSelectResult;
  handOver.Append();
  for (const auto& [f, v] :
       std::vector<std::pair<const char*, const char*>>{{"id", "77"},
                                                        {"name", "招商银行卡"},
                                                        {"other1", "2026-11-30"},
                                                        {"other2", "300.00"},
                                                        {"other3", "还上月的"}})
    handOver.FieldByName(f).SetAsString(v);
  handOver.Post();
  auto w = createWindow<TfrmPersionCardEdit>(kPkg, kEdit, "Edit");
  ASSERT_TRUE(w);
  w->Tag = 4;
  showSettled(*w);
  EXPECT_TRUE(handOver.IsEmpty());
  EXPECT_EQ(w->FcurRecID, "77");
  EXPECT_EQ(BoxText(*w, "edtCardType"), "招商银行卡");
  EXPECT_EQ(BoxText(*w, "edtdate"), "2026-11-30");
  EXPECT_EQ(BoxText(*w, "edtAmt"), "300.00");
  EXPECT_EQ(BoxText(*w, "mmoMemo"), "还上月的");
  saveShot(*w, "personcard_entry_edit");

  Type(*w, "edtAmt", "350");
  w->actSaveAndNew->trigger();
  entering("工商银行卡", "20")(*w);
  EXPECT_EQ(
      ChangesSent(h.proxy()),
      (std::vector<std::string>{
          kRun + "Update userpersincard set IoType='招商银行卡',Bdate='2026-11-30',IoAmt=350.00,"
                 "Remark='还上月的' where UserID='10001' and ID=77",
          kRun +
              "INSERT INTO userpersincard (UserID,IoType,Bdate,IoAmt,Remark,IoDirect,IoKind) "
              "values ('10001','工商银行卡','" +
              today() + "',20.00,'',1,4)"}));
}

TEST(PersionCardEntry, ARefusedSaveKeepsTheWindowAndWhatWasTyped) {
  HostFixture h;
  auto w = openEntry(h, 1);
  ASSERT_TRUE(w);
  h.proxy().statuses = {"Data too long for column 'IOType' at row 1"};
  Type(*w, "edtCardType", "奖金");
  Type(*w, "edtAmt", "99.9");
  w->mmoMemo->setPlainText("年终");
  w->actSaveAndClose->trigger();
  ASSERT_EQ(h.ui().messages.size(), 1);
  EXPECT_TRUE(h.ui().messages[0].startsWith("保存失败，错误原因："))
      << h.ui().messages[0].toStdString();
  EXPECT_TRUE(w->isVisible());
  EXPECT_EQ(BoxText(*w, "edtCardType"), "奖金");
  EXPECT_EQ(BoxText(*w, "edtAmt"), "99.9");
  EXPECT_EQ(BoxText(*w, "mmoMemo"), "年终");
  EXPECT_EQ(host::FModalResult(), 0);
}

TEST(PersionCardEntry, TheAmountBoxTakesOnlyDigitsAndThePoint) {
  HostFixture h;
  auto w = openEntry(h, 2);
  ASSERT_TRUE(w);
  w->edtAmt->setFocus();
  QTest::keyClicks(w->edtAmt, "1a2-.5x");
  EXPECT_EQ(w->edtAmt->text(), "12.5");
}

// ---- the list ---------------------------------------------------------------------------------

const Packet kEntries =
    packetOf({"ID", "UserID", "IOType", "bdate", "IOAmt", "Remark", "IODirect", "IOKind"},
             {{"901", kUser, "招商银行卡", "2026-12-01", "120.50", "超市", "0", "3"},
              {"902", kUser, "工商银行卡", "2026-12-02", "8.00", "", "0", "3"}});

std::unique_ptr<TfrmPersionCardForm> openList(HostFixture& h, const char* kind,
                                              const Packet& rows = kEntries) {
  h.proxy().answer("from userpersincard", rows);
  return OpenKind<TfrmPersionCardForm>(h, kList, kind);
}

std::string lastLoad(const FakeServerMethods& p) {
  const auto loads = p.callsStartingWith("GetSysMainDBDataBySql|10001|select ID,");
  return loads.empty() ? std::string() : loads.back();
}

TEST(PersionCardList, EachKindListsItsOwnEntriesOfThePeriod) {
  struct Case {
    const char* kind;
    const char* caption;
    const char* header;
  };
  const QDate t = QDate::currentDate();
  const QDate first(t.year(), t.month(), 1);
  const QDate monday = t.addDays(1 - t.dayOfWeek());
  for (const Case& c : {Case{"1", "收入", "收入类别"}, Case{"2", "支出", "支出类别"},
                        Case{"3", "信用卡消费", "信用卡名"}, Case{"4", "信用还款", "信用卡名"}}) {
    SCOPED_TRACE(c.kind);
    HostFixture h;
    auto w = openList(h, c.kind);
    ASSERT_TRUE(w);
    EXPECT_EQ(w->windowTitle(), c.caption);
    EXPECT_EQ(w->grdMain->model()->headerData(3, Qt::Horizontal).toString(), c.header);
    EXPECT_TRUE(w->rbCurMonth->isChecked());
    const std::string prefix =
        "GetSysMainDBDataBySql|10001|select ID,UserID,IOType,bdate,IOAmt,Remark,IODirect,IOKind "
        "from userpersincard where (iokind=" +
        std::string(c.kind) + ") and (";
    EXPECT_EQ(lastLoad(h.proxy()), prefix + "bdate between '" + Iso(first) + "' and '" +
                                       Iso(first.addMonths(1).addDays(-1)) +
                                       "') and (UserID='10001')");
    w->rbCurday->setChecked(true);
    EXPECT_EQ(lastLoad(h.proxy()), prefix + "bdate='" + Iso(t) + "') and (UserID='10001')");
    w->rbCurWeek->setChecked(true);
    EXPECT_EQ(lastLoad(h.proxy()), prefix + "bdate between '" + Iso(monday) + "' and '" +
                                       Iso(monday.addDays(6)) + "') and (UserID='10001')");
    EXPECT_EQ(h.proxy().callsStartingWith("GetSysMainDBDataBySql|10001|select ID,").size(), 3u);
    EXPECT_EQ(w->grdMain->model()->rowCount(), 2);
    if (QString(c.kind) == "3") saveShot(*w, "personcard_list_3");
  }
}

TEST(PersionCardList, ReloadsOnlyWhenTheEntryWindowSaved) {
  struct Case {
    const char* name;
    bool change;
    bool save;
    std::size_t loads;
  };
  for (const Case& c :
       {Case{"add cancelled", false, false, 1}, Case{"add saved", false, true, 2},
        Case{"change cancelled", true, false, 1}, Case{"change saved", true, true, 2}}) {
    SCOPED_TRACE(c.name);
    HostFixture h;
    auto w = openList(h, "3");
    ASSERT_TRUE(w);
    w->grdMain->SelectCell(1, 1);
    const bool save = c.save;
    const bool change = c.change;
    h.ui().scripts["TfrmPersionCardEdit"] = [save, change](QDialog& d) {
      auto& e = dynamic_cast<TfrmPersionCardEdit&>(d);
      EXPECT_EQ(e.Tag, 3);
      EXPECT_EQ(e.TagString, change ? "Edit" : "Append");
      if (change) {
        EXPECT_EQ(e.FcurRecID, "902");
        EXPECT_EQ(BoxText(e, "edtCardType"), "工商银行卡");
        EXPECT_EQ(BoxText(e, "edtAmt"), "8.00");
        EXPECT_EQ(BoxText(e, "edtdate"), "2026-12-02");
      }
      if (save) {
        Type(e, "edtCardType", "招商银行卡");
        Type(e, "edtAmt", "3");
        e.actSaveAndClose->trigger();
      }
      return 0;
    };
    (c.change ? w->actModify : w->actAdd)->trigger();
    EXPECT_EQ(h.ui().modalShown, QStringList{"TfrmPersionCardEdit"});
    EXPECT_EQ(h.proxy().callsStartingWith("GetSysMainDBDataBySql|10001|select ID,").size(),
              c.loads);
    EXPECT_EQ(host::FModalResult(), 0);
    EXPECT_TRUE(host::GlobalDM().cdsSelectResult.IsEmpty());
  }
}

TEST(PersionCardList, DeletingAsksAndARefusalIsSaidAndKeepsTheEntry) {
  struct Case {
    const char* name;
    bool yes;
    std::string status;
    QStringList shown;
    std::size_t deletes;
    std::size_t loads;
  };
  const Case cases[] = {
      {"answered No", false, "0", {}, 0, 1},
      {"deleted", true, "0", {}, 1, 2},
      {"refused by the database",
       true,
       "Lock wait timeout exceeded; try restarting transaction",
       {"删除失败，错误原因："},
       1,
       1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    HostFixture h;
    auto w = openList(h, "3");
    ASSERT_TRUE(w);
    h.ui().confirmAnswers = {c.yes};
    h.proxy().statuses = {c.status};
    w->actDel->trigger();
    EXPECT_EQ(h.ui().confirmations, QStringList{"删除无法恢复，请确认是否真的删除？"});
    EXPECT_EQ(ChangesSent(h.proxy()).size(), c.deletes);
    if (c.deletes) {
      EXPECT_EQ(ChangesSent(h.proxy())[0], kRun + "delete from userpersincard where ID=901");
    }
    ASSERT_EQ(h.ui().messages.size(), c.shown.size());
    for (int i = 0; i < c.shown.size(); ++i)
      EXPECT_TRUE(h.ui().messages[i].startsWith(c.shown[i])) << h.ui().messages[i].toStdString();
    EXPECT_EQ(h.proxy().callsStartingWith("GetSysMainDBDataBySql|10001|select ID,").size(),
              c.loads);
    EXPECT_EQ(w->grdMain->model()->rowCount(), 2);
  }

  HostFixture empty;
  auto none = openList(empty, "1", packetOf({"ID", "IOType", "bdate", "IOAmt", "Remark"}));
  ASSERT_TRUE(none);
  none->actDel->trigger();
  none->actModify->trigger();
  EXPECT_EQ(empty.ui().messages,
            (QStringList{"未发现可以删除的资料！", "没检测到需要修改的数据，请选择！"}));
  EXPECT_TRUE(ChangesSent(empty.proxy()).empty());
  EXPECT_TRUE(empty.ui().modalShown.isEmpty());
}

// ---- the frame ----------------------------------------------------------------------------------

QStringList buttonTexts(const QWidget& group) {
  QStringList out;
  for (const QToolButton* b : group.findChildren<QToolButton*>())
    out << b->text();
  return out;
}

TEST(PersionCardFrame, ButtonsInOrderOpenTheirWindows) {
  HostFixture h;
  SignIn(h);
  h.proxy().answer("from userpersincard", kEntries);
  auto frame = std::make_unique<TfrmPersionCardframe>();
  EXPECT_EQ(frame->GetBaseControl()->objectName(), "lytPersionCard");
  EXPECT_EQ(buttonTexts(*frame->grpEntries),
            (QStringList{"支出", "收入", "信用卡消费", "信用卡还款"}));
  EXPECT_EQ(buttonTexts(*frame->grpTypes), (QStringList{"收入类别", "支出类别", "信用卡类别"}));
  EXPECT_EQ(frame->btnRptTimeList->text(), "理财流水表");
  // The main window shows the root layout in a page of its own.
  QWidget page;
  frame->GetBaseControl()->setParent(&page);
  page.resize(260, 560);
  frame->GetBaseControl()->resize(page.size());
  saveShot(page, "personcard_frame");

  struct Case {
    const char* action;
    const char* className;
    const char* tag;
    bool ownedByFrame;
    const char* caption;
  };
  const Case cases[] = {
      {"actPC_Out", "TfrmPersionCardForm", "2", true, "支出"},
      {"actPC_IN", "TfrmPersionCardForm", "1", false, "收入"},
      {"actPC_CardOut", "TfrmPersionCardForm", "3", true, "信用卡消费"},
      {"actPC_CardIN", "TfrmPersionCardForm", "4", true, "信用还款"},
      {"actPC_IOType_IN", "TfrmPersionCardIoType", "1", true, "收入"},
      {"actPC_IOType_Out", "TfrmPersionCardIoType", "2", true, "支出"},
      {"actPC_IOType_Card", "TfrmPersionCardIoType", "3", true, "信用卡"},
      {"btnRptTimeList", "TfrmRptPersionCardFlow", "MainData", true, "理财流水表"},
      {"btnMonthSummary", "TfrmPersionCardMonthly", "", true, "月度收支概览"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.action);
    const QWidgetList before = QApplication::topLevelWidgets();
    frame->findChild<QAction*>(c.action)->trigger();
    QApplication::processEvents();
    host::TForm* opened = nullptr;
    for (QWidget* w : QApplication::topLevelWidgets())
      if (!before.contains(w) && w->isVisible()) opened = qobject_cast<host::TForm*>(w);
    ASSERT_NE(opened, nullptr);
    EXPECT_EQ(opened->ClassName(), c.className);
    EXPECT_EQ(opened->TagString, c.tag);
    EXPECT_EQ(opened->windowTitle(), c.caption);
    EXPECT_EQ(opened->parent() == frame.get(), c.ownedByFrame);
    opened->close();
    QApplication::processEvents();
  }
  EXPECT_TRUE(h.ui().messages.isEmpty()) << h.ui().messages.join("\n").toStdString();
}

}  // namespace
