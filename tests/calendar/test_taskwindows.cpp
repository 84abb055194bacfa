// The task window's statements in each mode and its refusals, and the template window.

#include <QCheckBox>
#include <QDateEdit>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>

#include "calendartest.h"
#include "uAddCalendar.h"
#include "uCalendarLoopEdit.h"
#include "vlt/components.h"
#include "windowrows.h"

using namespace caltest;
using vlt::test::createWindow;
using vlt::test::saveShot;
using vlt::test::showSettled;

namespace {

const QString kPkg = "VltCalendar.bpl";

// What the user does in the window before "保存".
struct Fill {
  QString title = "对账";
  QString remark{};
  QString date = "2026-12-20";
  bool important = false, urgent = false;
  QString alarm{};  // empty: alarm off
  int mode = 1;     // 1 once, 2 daily, 3 weekly
  std::vector<int> days{};
};

void fill(TfrmAddCalendar& w, const Fill& f) {
  w.edtTitle->setText(f.title);
  w.mmoRemark->setPlainText(f.remark);
  w.EdtDate->setDate(QDate::fromString(f.date, Qt::ISODate));
  w.chkImportant->setChecked(f.important);
  w.chkUrgent->setChecked(f.urgent);
  w.chkAlarm->setChecked(!f.alarm.isEmpty());
  if (!f.alarm.isEmpty()) w.edtAlarmTime->setText(f.alarm);
  (f.mode == 2 ? w.rbDay : f.mode == 3 ? w.rbWeek : w.rbOnce)->setChecked(true);
  for (QCheckBox* box : w.chkDays)
    box->setChecked(false);
  for (int d : f.days)
    w.chkDays[static_cast<std::size_t>(d - 1)]->setChecked(true);
}

struct SaveRow {
  const char* rule;
  QString tag;
  int tagNumber;
  Fill fill;
  std::string status;
  std::vector<std::string> sent;
  QStringList messages;
  bool closed;
};

const std::string kIns =
    "doSysMainDBDataBySql|INSERT INTO usercalendar (UserID,Title,Date,Remark,Level,Finished,"
    "IsAlarm,AlarmTime,RepeatMode,RepeatValue) VALUES (";
const std::string kInsEx =
    "doSysMainDBDataBySql|INSERT INTO usercalendar_ex (ID,UserID,Title,Date,Remark,Level,IsAlarm,"
    "AlarmTime,RepeatMode,RepeatValue) VALUES (";

// A new template's id is whatever the allocator gave (checked apart): shown as <id>.
std::vector<std::string> withoutIds(std::vector<std::string> calls) {
  const std::string marker =
      "usercalendar_ex (ID,UserID,Title,Date,Remark,Level,IsAlarm,"
      "AlarmTime,RepeatMode,RepeatValue) VALUES ('";
  for (std::string& call : calls) {
    const std::size_t at = call.find(marker);
    if (at == std::string::npos) continue;
    const std::size_t from = at + marker.size();
    call.replace(from, call.find('\'', from) - from, "<id>");
  }
  return calls;
}

class TaskWindow : public CalendarTest {
 protected:
  void SetUp() override {
    CalendarTest::SetUp();
    // The row an edit starts from: a stored task, and a template.
    vlt::host::GlobalDM().cdsCaleDW.LoadFromPacket(
        storedPacket({{"5", "盘点", "2026-12-09", "False", "", "-1", "09:30:00", "-1,0"}}));
    vlt::host::GlobalDM().cdsCaleLoopDW.LoadFromPacket(
        templatePacket({{"T1", "进货", "2026-12-01", "3", "1,5", "0", "", "0,-1"}}));
  }
};

TEST_F(TaskWindow, SavingSendsTheStatementOfItsModeOrRefuses) {
  const std::string emoji = "\xF0\x9F\x98\x80";
  const QString longText(2000, QChar(u'长'));
  const SaveRow rows[] = {
      {"a task once, no alarm: the alarm column is null",
       "OsAppend",
       0,
       {"对账", "", "2026-12-20"},
       "0",
       {kIns + "'10001','对账','2026-12-20','','0,0','False','0',null,'1','')"},
       {},
       true},
      {"a task with levels and an alarm",
       "OsAppend",
       0,
       {"对账", "月底", "2026-12-20", true, true, "8:05"},
       "0",
       {kIns + "'10001','对账','2026-12-20','月底','-1,-1','False','-1','08:05:00','1','')"},
       {},
       true},
      {"a daily template gets an allocated id",
       "OsAppend",
       0,
       {"晨会", "", "2026-12-20", false, false, "", 2},
       "0",
       {kInsEx + "'<id>','10001','晨会','2026-12-20','','0,0','0',null,'2','')"},
       {},
       true},
      {"a weekly template on Monday and Friday",
       "OsAppend",
       0,
       {"进货", "", "2026-12-20", true, false, "07:30:00", 3, {5, 1}},
       "0",
       {kInsEx + "'<id>','10001','进货','2026-12-20','','-1,0','-1','07:30:00','3','1,5')"},
       {},
       true},
      {"quotes, backslashes and emoji travel as typed",
       "OsAppend",
       0,
       {"it's \\n " + QString::fromStdString(emoji), "a''b\\", "2026-12-20"},
       "0",
       {kIns + "'10001','it''s \\n " + emoji +
        "','2026-12-20','a''''b\\','0,0','False','0',null,'1','')"},
       {},
       true},
      {"a remark of 2,000 characters is kept whole",
       "OsAppend",
       0,
       {"对账", longText, "2026-12-20"},
       "0",
       {kIns + "'10001','对账','2026-12-20','" + longText.toStdString() +
        "','0,0','False','0',null,'1','')"},
       {},
       true},
      {"changing a template",
       "OsEdit",
       201,
       {"进货", "", "2026-12-02", false, true, "", 3, {2}},
       "0",
       {"doSysMainDBDataBySql|update usercalendar_ex set UserID='10001',Title='进货',"
        "Date='2026-12-02',Remark='',Level='0,-1',IsAlarm='0',AlarmTime=null,RepeatMode='3',"
        "RepeatValue='2' where id='T1'"},
       {},
       true},
      {"changing a stored task keeps the chosen repeat on the one row",
       "OsEdit",
       101,
       {"盘点", "", "2026-12-09", true, false, "10:00:00", 2},
       "0",
       {"doSysMainDBDataBySql|update usercalendar set UserID='10001',Title='盘点',"
        "Date='2026-12-09',Remark='',Level='-1,0',IsAlarm='-1',AlarmTime='10:00:00',"
        "RepeatMode='2',RepeatValue='' where id='5'"},
       {},
       true},
      {"an empty title", "OsAppend", 0, {"  "}, "0", {}, {"标题不能为空！"}, false},
      {"weekly without a weekday",
       "OsAppend",
       0,
       {"进货", "", "2026-12-20", false, false, "", 3},
       "0",
       {},
       {"您选择了每周重复，请至少选择一个星期内的某一天！"},
       false},
      {"an alarm time that is no time",
       "OsAppend",
       0,
       {"对账", "", "2026-12-20", false, false, "25:61"},
       "0",
       {},
       {"闹钟时间无效，请输入“时:分:秒”，例如 08:30:00！"},
       false},
      {"an alarm time of letters",
       "OsAppend",
       0,
       {"对账", "", "2026-12-20", false, false, "abc"},
       "0",
       {},
       {"闹钟时间无效，请输入“时:分:秒”，例如 08:30:00！"},
       false},
      {"a title of 2,000 characters",
       "OsAppend",
       0,
       {longText},
       "0",
       {},
       {"标题不能超过255个字符！"},
       false},
      {"a refused save keeps the window and what was typed",
       "OsAppend",
       0,
       {"对账"},
       "Duplicate entry",
       {kIns + "'10001','对账','2026-12-20','','0,0','False','0',null,'1','')"},
       {"保存失败，请检查数据!---Duplicate entry"},
       false},
  };
  for (const SaveRow& row : rows) {
    SCOPED_TRACE(row.rule);
    host.proxy().calls.clear();
    host.ui().messages.clear();
    host.proxy().statuses = {row.status};
    auto w = createWindow<TfrmAddCalendar>(kPkg, "uAddCalendar.TfrmAddCalendar", row.tag);
    ASSERT_NE(w, nullptr);
    w->Tag = row.tagNumber;
    showSettled(*w);
    fill(*w, row.fill);
    w->btnSave->click();
    EXPECT_EQ(withoutIds(changes()), row.sent);
    EXPECT_EQ(host.ui().messages, row.messages);
    EXPECT_EQ(w->isVisible(), !row.closed);
    if (!row.closed) {
      EXPECT_EQ(w->edtTitle->text(), row.fill.title);
    }
    host.proxy().statuses.clear();
  }
}

TEST_F(TaskWindow, AnUnreachableServiceIsSaidAndTheWindowKeepsWhatWasTyped) {
  std::vector<std::string> errors;
  vlt::host::SetApplicationExceptionHandler(
      [&](const std::exception& e) { errors.push_back(e.what()); });
  auto w = createWindow<TfrmAddCalendar>(kPkg, "uAddCalendar.TfrmAddCalendar", "OsAppend");
  showSettled(*w);
  fill(*w, {"对账", "月底前", "2026-12-20", true});
  host.proxy().failWith = "Connection refused";
  w->btnSave->click();
  EXPECT_EQ(errors, std::vector<std::string>{"Connection refused"});
  EXPECT_TRUE(w->isVisible());
  EXPECT_EQ(w->edtTitle->text(), QStringLiteral("对账"));
  EXPECT_EQ(w->mmoRemark->toPlainText(), QStringLiteral("月底前"));
}

TEST_F(TaskWindow, TwoTemplatesSavedAtOnceGetTwoIds) {
  std::vector<std::string> ids;
  for (int i = 0; i < 2; ++i) {
    auto w = createWindow<TfrmAddCalendar>(kPkg, "uAddCalendar.TfrmAddCalendar", "OsAppend");
    showSettled(*w);
    fill(*w, {"晨会", "", "2026-12-20", false, false, "", 2});
    w->btnSave->click();
  }
  for (const std::string& call : changes()) {
    const std::size_t from = call.find("VALUES ('") + 9;
    ids.push_back(call.substr(from, call.find('\'', from) - from));
  }
  ASSERT_EQ(ids.size(), 2u);
  EXPECT_NE(ids[0], ids[1]);
}

TEST_F(TaskWindow, EditingShowsTheRowAndTheBoxesFollowTheChoices) {
  auto w = createWindow<TfrmAddCalendar>(kPkg, "uAddCalendar.TfrmAddCalendar", "OsEdit");
  w->Tag = 201;
  showSettled(*w);
  EXPECT_EQ(w->edtTitle->text(), QStringLiteral("进货"));
  EXPECT_EQ(w->EdtDate->date(), QDate(2026, 12, 1));
  EXPECT_TRUE(w->rbWeek->isChecked());
  EXPECT_TRUE(w->pnlWeekDays->isVisible());
  std::vector<bool> ticked;
  for (QCheckBox* box : w->chkDays)
    ticked.push_back(box->isChecked());
  EXPECT_EQ(ticked, (std::vector<bool>{true, false, false, false, true, false, false}));
  EXPECT_FALSE(w->chkImportant->isChecked());
  EXPECT_TRUE(w->chkUrgent->isChecked());
  EXPECT_FALSE(w->edtAlarmTime->isVisible());
  clock = vlt::DateTime(day("2026-12-09"), vlt::Time::fromHms(14, 3, 9));
  w->chkAlarm->setChecked(true);
  EXPECT_TRUE(w->edtAlarmTime->isVisible());
  EXPECT_EQ(w->edtAlarmTime->text(), "14:03:09");
  w->rbOnce->setChecked(true);
  EXPECT_FALSE(w->pnlWeekDays->isVisible());

  auto task = createWindow<TfrmAddCalendar>(kPkg, "uAddCalendar.TfrmAddCalendar", "OsEdit");
  task->Tag = 101;
  showSettled(*task);
  EXPECT_EQ(task->edtTitle->text(), QStringLiteral("盘点"));
  EXPECT_TRUE(task->chkAlarm->isChecked());
  EXPECT_EQ(task->edtAlarmTime->text(), "09:30:00");
  EXPECT_TRUE(task->chkImportant->isChecked());
  EXPECT_TRUE(task->rbOnce->isChecked());
  styled(true);
  saveShot(*task, "task_window");
  styled(false);
}

// ---- the template window -------------------------------------------------------------------

TEST_F(TaskWindow, TheTemplateWindowListsChangesAndDeletes) {
  serve({}, {{"T1", "进货", "2026-12-01", "3", "1,5"}, {"T2", "晨会", "2026-12-03", "2", ""}});
  auto w = createWindow<TfrmCalendarLoopEdit>(kPkg, "uCalendarLoopEdit.TfrmCalendarLoopEdit");
  showSettled(*w);
  auto& grid = *w->grdLoop;
  ASSERT_EQ(grid.model()->rowCount(), 2);
  QStringList headers;
  for (int c = 0; c < grid.model()->columnCount(); ++c)
    if (!grid.isColumnHidden(c)) headers << grid.model()->headerData(c, Qt::Horizontal).toString();
  EXPECT_EQ(headers, (QStringList{"开始日期", "标题", "任务级别", "闹钟", "闹钟时间",
                                  "复重任务方式", "重复任务设置", "说明"}));

  // Delete: asked first; No sends nothing, Yes deletes the current template.
  grid.SelectCell(2, 1);
  host.proxy().calls.clear();
  host.ui().confirmAnswers = {false, true};
  w->actDelete->trigger();
  EXPECT_TRUE(changes().empty());
  w->actDelete->trigger();
  EXPECT_EQ(host.ui().confirmations.back(), QStringLiteral("删除无法恢复，请确认是否真的删除？"));
  EXPECT_EQ(changes(), std::vector<std::string>{
                           "doSysMainDBDataBySql|delete from  usercalendar_ex where id='T2'"});
  // A refused delete is said.
  host.proxy().statuses = {"denied"};
  host.ui().confirmAnswers = {true};
  w->actDelete->trigger();
  EXPECT_EQ(host.ui().messages.back(), QStringLiteral("删除失败！---denied"));

  // Change: the task window edits the current template, then the list is read again.
  grid.SelectCell(2, 0);
  QString shownTitle;
  host.ui().scripts["TfrmAddCalendar"] = [&](QDialog& d) {
    auto& t = static_cast<TfrmAddCalendar&>(d);
    EXPECT_EQ(t.Tag, 201);
    shownTitle = t.edtTitle->text();
    return 0;
  };
  const auto readsBefore = host.proxy().callsStartingWith("GetSys").size();
  w->actModify->trigger();
  EXPECT_EQ(shownTitle, QStringLiteral("进货"));
  EXPECT_GT(host.proxy().callsStartingWith("GetSys").size(), readsBefore);
  styled(true);
  saveShot(*w, "template_window");
  styled(false);

  // An empty list: nothing happens.
  serve({}, {});
  w->RefreshLoop();
  const auto modals = host.ui().modalShown.size();
  const auto asked = host.ui().confirmations.size();
  w->actModify->trigger();
  w->actDelete->trigger();
  EXPECT_EQ(host.ui().modalShown.size(), modals);
  EXPECT_EQ(host.ui().confirmations.size(), asked);
}

}  // namespace
