// Alarms with a clock the test sets: each rings once when its time comes, finishing, deleting or
// switching off stops it, and alarms that came while the client was closed are listed once.

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>

#include "calendartest.h"
#include "uAddCalendar.h"

using namespace caltest;
using vlt::test::saveShot;

namespace {

class Alarms : public CalendarTest {
 public:
  // Today 2026-12-09: a task at 09:00, one without alarm, a finished one at 08:30, a daily
  // template at 07:30 and a weekly one (Wednesdays) at 10:00.
  void serveDay() {
    serve({{"5", "盘点", "2026-12-09", "False", "", "-1", "09:00:00"},
           {"6", "无闹钟", "2026-12-09", "False", "", "0", ""},
           {"7", "已完成", "2026-12-09", "True", "", "-1", "08:30:00"}},
          {{"T1", "晨会", "2026-12-01", "2", "", "-1", "07:30:00"},
           {"T2", "进货", "2026-12-01", "3", "3", "-1", "10:00:00"}});
  }
  void tick(int h, int m, int s = 0) {
    at("2026-12-09", h, m, s);
    frame->AlarmWatch().Check();
  }
  std::unique_ptr<TfrmSchedule> frame;
};

TEST_F(Alarms, EachAlarmOfTodayRingsOnceWhenItsTimeComes) {
  serveDay();
  at("2026-12-09", 7, 0);
  frame = openFrame();
  struct Step {
    int h, m, s;
    std::vector<std::string> rungSoFar;
  };
  const Step steps[] = {
      {7, 29, 59, {}},
      {7, 30, 10, {"晨会"}},
      {7, 45, 0, {"晨会"}},
      {9, 0, 0, {"晨会", "盘点"}},
      {9, 0, 15, {"晨会", "盘点"}},
      {12, 0, 0, {"晨会", "盘点", "进货"}},
      {23, 59, 59, {"晨会", "盘点", "进货"}},
  };
  for (const Step& s : steps) {
    SCOPED_TRACE(std::to_string(s.h) + ":" + std::to_string(s.m));
    tick(s.h, s.m, s.s);
    EXPECT_EQ(bell->rung, s.rungSoFar);
  }
  EXPECT_TRUE(bell->missed.empty());
}

TEST_F(Alarms, FinishingDeletingOrSwitchingOffStopsTheAlarm) {
  struct Row {
    const char* rule;
    bool ringFirst;  // the alarm rang before the change
    std::function<void(Alarms&)> change;
    bool stopped;  // Stop was called for the rung alarm
  };
  const Row rows[] = {
      {"finished before its time: never rings", false,
       [](Alarms& t) {
         t.host.proxy().answers.clear();
         t.serve({{"5", "盘点", "2026-12-09", "True", "", "-1", "09:00:00"}});
         entry(*t.frame, "2026-12-09", "盘点")->btnFinish->click();
       },
       false},
      {"finished after ringing: stopped", true,
       [](Alarms& t) {
         t.serve({{"5", "盘点", "2026-12-09", "True", "", "-1", "09:00:00"}});
         entry(*t.frame, "2026-12-09", "盘点")->btnFinish->click();
       },
       true},
      {"deleted after ringing: stopped", true,
       [](Alarms& t) {
         t.serve({});
         entry(*t.frame, "2026-12-09", "盘点")->btnDel->click();
       },
       true},
      {"alarm switched off after ringing: stopped", true,
       [](Alarms& t) {
         t.host.ui().scripts["TfrmAddCalendar"] = [&t](QDialog& d) {
           auto& w = static_cast<TfrmAddCalendar&>(d);
           w.chkAlarm->setChecked(false);
           t.serve({{"5", "盘点", "2026-12-09", "False", "", "0", ""}});
           w.btnSave->click();
           return 0;
         };
         t.frame->EditEntry(entry(*t.frame, "2026-12-09", "盘点"));
       },
       true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.rule);
    serve({{"5", "盘点", "2026-12-09", "False", "", "-1", "09:00:00"}});
    at("2026-12-09", 8, 0);
    frame = openFrame();
    if (row.ringFirst) {
      tick(9, 0, 5);
      ASSERT_EQ(bell->rung, std::vector<std::string>{"盘点"});
    }
    row.change(*this);
    EXPECT_EQ(bell->stopped.size(), row.stopped ? 1u : 0u);
    tick(9, 30, 0);
    EXPECT_EQ(bell->rung.size(), row.ringFirst ? 1u : 0u);
    frame.reset();
  }
}

TEST_F(Alarms, AlarmsMissedWhileClosedAreListedOnceAtStart) {
  serveDay();
  // Last looked at yesterday evening; started today at 09:40.
  lastCheck = vlt::DateTime(day("2026-12-08"), vlt::Time::fromHms(18, 0, 0));
  at("2026-12-09", 9, 40);
  frame = openFrame();
  ASSERT_EQ(bell->missed.size(), 1u);
  EXPECT_EQ(bell->missed[0],
            (std::vector<std::string>{"2026-12-09 07:30:00 晨会", "2026-12-09 09:00:00 盘点"}));
  // They do not ring again, the later one still does.
  tick(10, 0, 1);
  EXPECT_EQ(bell->rung, std::vector<std::string>{"进货"});
  // The next start has nothing missed.
  frame.reset();
  at("2026-12-09", 10, 5);
  frame = openFrame();
  EXPECT_TRUE(bell->missed.empty());
}

TEST_F(Alarms, WithoutATrayAnAlarmIsASmallWindowThatDoesNotBlock) {
  recordBell = false;
  serveDay();
  at("2026-12-09", 8, 59, 50);
  frame = openFrame();
  auto* defaultBell = dynamic_cast<vlt::calendar::TDefaultAlarmBell*>(&frame->AlarmBell());
  ASSERT_NE(defaultBell, nullptr);
  tick(9, 0, 5);
  ASSERT_EQ(defaultBell->Notices().size(), 1u);
  QWidget* notice = defaultBell->Notices().begin()->second;
  ASSERT_NE(notice, nullptr);
  EXPECT_TRUE(notice->isVisible());
  EXPECT_FALSE(notice->isModal());
  EXPECT_EQ(notice->findChild<QLabel*>("lblAlarm")->text(), QStringLiteral("09:00:00  盘点"));
  styled(true);
  saveShot(*notice, "alarm_notice");
  styled(false);
  // Finished: the notice goes.
  serve({{"5", "盘点", "2026-12-09", "True", "", "-1", "09:00:00"}});
  entry(*frame, "2026-12-09", "盘点")->btnFinish->click();
  QApplication::processEvents();
  EXPECT_TRUE(defaultBell->Notices().empty());
}

TEST_F(Alarms, TheMissedListIsAWindowToo) {
  recordBell = false;
  serveDay();
  lastCheck = vlt::DateTime(day("2026-12-09"), vlt::Time::fromHms(7, 0, 0));
  at("2026-12-09", 9, 40);
  frame = openFrame();
  QListWidget* list = nullptr;
  for (QWidget* w : QApplication::topLevelWidgets())
    if (w->objectName() == "frmMissedAlarms" && w->isVisible())
      list = w->findChild<QListWidget*>("lstMissed");
  ASSERT_NE(list, nullptr);
  ASSERT_EQ(list->count(), 2);
  EXPECT_EQ(list->item(0)->text(), QStringLiteral("2026-12-09  07:30:00  晨会"));
  styled(true);
  saveShot(*list->window(), "alarm_missed");
  styled(false);
}

}  // namespace
