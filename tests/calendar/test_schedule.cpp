// The schedule page: what a period shows (stored entries and the occurrences of templates,
// compared with the dates each template must fall on), and finishing, deleting and editing.

#include <QDateEdit>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTabWidget>
#include <algorithm>
#include <map>

#include "calendartest.h"
#include "uAddCalendar.h"
#include "vlt/components.h"
#include "windowrows.h"

using namespace caltest;
using vlt::test::saveShot;

namespace {

// A template and the days of the shown period it must appear on, written out by hand.
struct Expect {
  Template t;
  std::vector<std::string> days;
};

struct PeriodRow {
  const char* rule;
  const char* weekOf;  // a day of the week shown
  std::vector<Stored> stored;
  std::vector<Expect> templates;
};

std::vector<std::string> sorted(std::vector<std::string> v) {
  std::sort(v.begin(), v.end());
  return v;
}

class SchedulePeriods : public CalendarTest {};

TEST_F(SchedulePeriods, TheWeekShowsStoredEntriesAndEachTemplateOnItsDays) {
  const PeriodRow rows[] = {
      {"daily from the middle of the week",
       "2026-12-09",
       {},
       {{{"T1", "晨会", "2026-12-10", "2", ""},
         {"2026-12-10", "2026-12-11", "2026-12-12", "2026-12-13"}}}},
      {"weekly on Monday, Wednesday and Friday",
       "2026-12-09",
       {},
       {{{"T1", "进货", "2026-11-01", "3", "1,3,5"}, {"2026-12-07", "2026-12-09", "2026-12-11"}}}},
      {"a finished occurrence replaces the generated one of its day",
       "2026-12-09",
       {{"7", "进货", "2026-12-09", "True", "T1"}},
       {{{"T1", "进货", "2026-11-01", "3", "1,3,5"}, {"2026-12-07", "2026-12-11"}}}},
      {"across a month end and a leap day",
       "2024-02-29",
       {{"3", "月底盘点", "2024-02-29"}},
       {{{"T1", "晨会", "2024-02-28", "2", ""},
         {"2024-02-28", "2024-02-29", "2024-03-01", "2024-03-02", "2024-03-03"}},
        {{"T2", "对账", "2023-01-01", "3", "4"}, {"2024-02-29"}}}},
      {"across a year end",
       "2025-12-31",
       {},
       {{{"T1", "巡店", "2025-12-31", "3", "3,7"}, {"2025-12-31", "2026-01-04"}},
        {{"T2", "晨会", "2026-01-01", "2", ""},
         {"2026-01-01", "2026-01-02", "2026-01-03", "2026-01-04"}}}},
      {"a template starting after the week",
       "2026-12-09",
       {},
       {{{"T1", "晨会", "2026-12-14", "2", ""}, {}}}},
      {"no entries and no templates", "2026-12-09", {}, {}},
      {"a template without an id cannot be told from a stored task: not shown",
       "2026-12-09",
       {},
       {{{"", "无编号", "2026-12-01", "2", ""}, {}}}},
  };
  for (const PeriodRow& row : rows) {
    SCOPED_TRACE(row.rule);
    std::vector<Template> templates;
    std::vector<std::string> expected;
    for (const Stored& s : row.stored)
      expected.push_back(s.date + " " + s.title + (s.finished == "True" ? " (done)" : ""));
    for (const Expect& e : row.templates) {
      templates.push_back(e.t);
      for (const std::string& d : e.days)
        expected.push_back(d + " " + e.t.title);
    }
    serve(row.stored, templates);
    auto frame = openFrame();
    frame->tbcCale->setCurrentWidget(frame->tbtmWeek);
    frame->NxImgBtnSelectWeekClosePopup(QDate::fromString(row.weekOf, Qt::ISODate));
    EXPECT_EQ(sorted(shown(*frame)), sorted(expected));

    // Occurrence ids never fall among stored ids; one header per day, before that day's entries.
    std::map<std::string, int> headers;
    std::string day;
    for (int i = 0; i < frame->lstCale->count(); ++i) {
      QListWidgetItem* item = frame->lstCale->item(i);
      auto* e = qobject_cast<TCaleListItem*>(frame->lstCale->itemWidget(item));
      if (!e) {
        ++headers[item->text().toStdString()];
        day = item->text().left(11).toStdString();
        continue;
      }
      const TCalendarInfo& info = e->CalendarInfo();
      const vlt::Date d = vlt::Date::parse(info.Date);
      EXPECT_EQ(day, vlt::formatChineseDay(d).substr(0, day.size()));
      if (info.Repeating() && !info.Finished) {
        EXPECT_GT(std::stoll(info.ID), vlt::calendar::kLastStoredId);
      }
    }
    for (const auto& [text, count] : headers)
      EXPECT_EQ(count, 1) << text;
  }
}

TEST_F(SchedulePeriods, TheDayTabShowsTheChosenDayWithItsLabels) {
  serve({}, {{"T1", "晨会", "2024-02-01", "2", ""}, {"T2", "对账", "2024-01-01", "3", "4"}});
  at("2024-02-28", 9, 0);
  auto frame = openFrame();
  EXPECT_EQ(frame->lbltoDay->text(), QStringLiteral("2024年02月28日 周三"));
  EXPECT_EQ(frame->lbltoWeek->text(), QStringLiteral("2024-02-26  -  2024-03-03"));
  EXPECT_EQ(shown(*frame), std::vector<std::string>{"2024-02-28 晨会"});
  frame->NxImgBtnSelectDayClosePopup(QDate(2024, 2, 29));
  EXPECT_EQ(frame->lbltoDay->text(), QStringLiteral("2024年02月29日 周四"));
  EXPECT_EQ(sorted(shown(*frame)), sorted({"2024-02-29 晨会", "2024-02-29 对账"}));
  EXPECT_EQ(frame->Fday, "2024-02-29");
  // The day list has no group headers.
  EXPECT_EQ(frame->lstCale->count(), 2);
  const auto reads = host.proxy().callsStartingWith("GetSysMainDBDataBySql|10001|select ID");
  ASSERT_FALSE(reads.empty());
  EXPECT_NE(std::find(reads.begin(), reads.end(),
                      "GetSysMainDBDataBySql|10001|select ID,UserID,Title,Date,Remark,Level,"
                      "Finished,IsAlarm,AlarmTime,RepeatMode,RepeatValue,loopID from usercalendar "
                      "where  (date between'2024-02-29' and '2024-02-29') and userid = '10001'"),
            reads.end());
}

TEST_F(SchedulePeriods, HundredsOfTasksOnADayAllShow) {
  std::vector<Stored> stored;
  for (int i = 1; i <= 400; ++i)
    stored.push_back({std::to_string(i), "任务" + std::to_string(i), "2026-12-09"});
  serve(stored);
  auto frame = openFrame();
  EXPECT_EQ(frame->Entries().size(), 400u);
}

TEST_F(SchedulePeriods, AFailingServiceKeepsTheShownEntriesAndSaysWhy) {
  serve({{"5", "盘点", "2026-12-09"}});
  std::vector<std::string> errors;
  vlt::host::SetApplicationExceptionHandler(
      [&](const std::exception& e) { errors.push_back(e.what()); });
  auto frame = openFrame();
  host.proxy().failWith = "Connection refused";
  emit frame->NxImgBtnSelectDay->ClosePopup(QDate(2026, 12, 10));
  EXPECT_EQ(shown(*frame), std::vector<std::string>{"2026-12-09 盘点"});
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_NE(errors[0].find("Connection refused"), std::string::npos);
}

// ---- actions on an entry -------------------------------------------------------------------

class ScheduleActions : public CalendarTest {
 protected:
  void SetUp() override {
    CalendarTest::SetUp();
    at("2026-12-09", 8, 0);
    serve({{"5", "盘点 'A'", "2026-12-09"}, {"6", "已完成", "2026-12-09", "True"}},
          {{"T1", "晨会", "2026-12-01", "2", ""}});
    frame = openFrame();
  }
  std::unique_ptr<TfrmSchedule> frame;
};

TEST_F(ScheduleActions, FinishingAnOccurrenceStoresItAndItsDayShowsOneFinishedEntry) {
  TCaleListItem* occurrence = entry(*frame, "2026-12-09", "晨会");
  ASSERT_NE(occurrence, nullptr);
  serve({{"5", "盘点 'A'", "2026-12-09"},
         {"6", "已完成", "2026-12-09", "True"},
         {"8", "晨会", "2026-12-09", "True", "T1"}},
        {{"T1", "晨会", "2026-12-01", "2", ""}});
  occurrence->btnFinish->click();
  EXPECT_EQ(changes(),
            std::vector<std::string>{
                "doSysMainDBDataBySql|INSERT INTO usercalendar (UserID,Title,Date,Remark,Level,"
                "Finished,IsAlarm,AlarmTime,RepeatMode,RepeatValue,LoopID) VALUES ('10001','晨会',"
                "'2026-12-09','说明','0,0','True','0',null,'2','','T1')"});
  EXPECT_EQ(sorted(shown(*frame)),
            sorted({"2026-12-09 盘点 'A'", "2026-12-09 已完成 (done)", "2026-12-09 晨会 (done)"}));
}

TEST_F(ScheduleActions, FinishAndDeleteOfEntries) {
  struct Row {
    const char* rule;
    const char* title;
    bool finish;
    std::string status;
    std::vector<std::string> sent;
    QStringList messages;
  };
  const Row rows[] = {
      {"finishing a stored task",
       "盘点 'A'",
       true,
       "0",
       {"doSysMainDBDataBySql|update usercalendar set finished='True' where ID='5'"},
       {}},
      {"a refused finish is reported",
       "盘点 'A'",
       true,
       "Lock wait timeout",
       {"doSysMainDBDataBySql|update usercalendar set finished='True' where ID='5'"},
       {"设置完成失败！---Lock wait timeout"}},
      {"deleting a stored task, without asking",
       "盘点 'A'",
       false,
       "0",
       {"doSysMainDBDataBySql|delete from usercalendar where ID='5'"},
       {}},
      {"a refused delete is reported",
       "盘点 'A'",
       false,
       "denied",
       {"doSysMainDBDataBySql|delete from usercalendar where ID='5'"},
       {"删除失败！"}},
      {"an occurrence is deleted only through its template",
       "晨会",
       false,
       "0",
       {},
       {"此任务为重复性任务，请在重复任务编辑中操作！"}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.rule);
    host.proxy().calls.clear();
    host.ui().messages.clear();
    host.proxy().statuses = {row.status};
    TCaleListItem* item = entry(*frame, "2026-12-09", row.title);
    ASSERT_NE(item, nullptr);
    (row.finish ? item->btnFinish : item->btnDel)->click();
    EXPECT_EQ(changes(), row.sent);
    EXPECT_EQ(host.ui().messages, row.messages);
    host.proxy().statuses.clear();
  }
}

TEST_F(ScheduleActions, ARowAFinishedOccurrenceLeftIsDeletedOnlyThroughItsTemplate) {
  serve({{"8", "晨会", "2026-12-09", "True", "T1"}}, {{"T1", "晨会", "2026-12-01", "2", ""}});
  frame->RefreshData();
  TCaleListItem* left = entry(*frame, "2026-12-09", "晨会");
  ASSERT_NE(left, nullptr);
  EXPECT_FALSE(left->isEnabled());
  host.proxy().calls.clear();
  frame->DeleteEntry(left->btnDel);
  EXPECT_TRUE(changes().empty());
  EXPECT_EQ(host.ui().messages, QStringList{"此任务为重复性任务，请在重复任务编辑中操作！"});
}

TEST_F(ScheduleActions, EditingFindsTheEntryItselfAndTheWindowSavesOnlyStoredTasks) {
  QString titleShown;
  host.ui().scripts["TfrmAddCalendar"] = [&](QDialog& d) {
    auto& w = static_cast<TfrmAddCalendar&>(d);
    titleShown = w.edtTitle->text();
    w.edtTitle->setText(w.edtTitle->text() + "!");
    w.btnSave->click();
    return 0;
  };
  // The stored task: saved, and the list read again.
  host.proxy().calls.clear();
  frame->EditEntry(entry(*frame, "2026-12-09", "盘点 'A'"));
  EXPECT_EQ(titleShown, QStringLiteral("盘点 'A'"));
  EXPECT_EQ(changes(),
            std::vector<std::string>{
                "doSysMainDBDataBySql|update usercalendar set UserID='10001',Title='盘点 ''A''!',"
                "Date='2026-12-09',Remark='',Level='0,0',IsAlarm='0',AlarmTime=null,"
                "RepeatMode='1',RepeatValue='' where id='5'"});
  EXPECT_FALSE(host.proxy().callsStartingWith("GetSysMainDBDataBySql").empty());

  // The occurrence: shown filled, saving refused.
  host.proxy().calls.clear();
  frame->EditEntry(entry(*frame, "2026-12-09", "晨会"));
  EXPECT_EQ(titleShown, QStringLiteral("晨会"));
  EXPECT_TRUE(changes().empty());
  EXPECT_EQ(host.ui().messages.back(),
            QStringLiteral("此任务为重复性任务，请在重复任务编辑中操作！"));

  // A finished entry is not edited; the action needs a selected entry.
  const auto shownBefore = host.ui().modalShown.size();
  frame->EditEntry(entry(*frame, "2026-12-09", "已完成"));
  EXPECT_EQ(host.ui().messages.back(), QStringLiteral("已经完成，不能编辑！"));
  frame->lstCale->setCurrentItem(nullptr);
  frame->actModify->trigger();
  EXPECT_EQ(host.ui().messages.back(), QStringLiteral("请选择修改的目标项！"));
  EXPECT_EQ(host.ui().modalShown.size(), shownBefore);
}

TEST_F(ScheduleActions, AStoredRowWithAnOccurrencesIdIsNotTakenForTheOccurrence) {
  // As a service that gave stored rows ids from the generated range would answer.
  serve({{"9900000001", "旧任务", "2026-12-09"}}, {{"T1", "晨会", "2026-12-01", "2", ""}});
  frame->RefreshData();
  TCaleListItem* occurrence = entry(*frame, "2026-12-09", "晨会");
  ASSERT_NE(occurrence, nullptr);
  ASSERT_EQ(occurrence->CalendarInfo().ID, "9900000001");
  QString titleShown;
  host.ui().scripts["TfrmAddCalendar"] = [&](QDialog& d) {
    titleShown = static_cast<TfrmAddCalendar&>(d).edtTitle->text();
    return 0;
  };
  frame->EditEntry(occurrence);
  EXPECT_EQ(titleShown, QStringLiteral("晨会"));
  frame->EditEntry(entry(*frame, "2026-12-09", "旧任务"));
  EXPECT_EQ(titleShown, QStringLiteral("旧任务"));
}

TEST_F(ScheduleActions, NewTaskAndTemplatesRefreshTheList) {
  host.ui().scripts["TfrmAddCalendar"] = [](QDialog& d) {
    auto& w = static_cast<TfrmAddCalendar&>(d);
    EXPECT_EQ(w.TagString, "OsAppend");
    EXPECT_EQ(w.EdtDate->date(), QDate(2026, 12, 9));
    w.edtTitle->setText("新任务");
    w.btnSave->click();
    return 0;
  };
  serve({{"9", "新任务", "2026-12-09"}});
  frame->actAddCale->trigger();
  EXPECT_EQ(shown(*frame), std::vector<std::string>{"2026-12-09 新任务"});
  serve({});
  frame->actLoopDW->trigger();
  EXPECT_EQ(host.ui().modalShown.back(), "TfrmCalendarLoopEdit");
  EXPECT_TRUE(frame->Entries().empty());
}

TEST_F(ScheduleActions, Screenshots) {
  serve({{"5", "盘点仓库", "2026-12-09", "False", "", "-1", "09:30:00", "-1,0"},
         {"6", "给王经理回电话", "2026-12-09", "True"},
         {"7", "交房租", "2026-12-10", "False", "", "0", "", "-1,-1"}},
        {{"T1", "晨会", "2026-12-01", "2", "", "-1", "08:30:00"},
         {"T2", "进货", "2026-12-01", "3", "1,3,5", "0", "", "0,-1"}});
  styled(true);
  frame->RefreshData();
  frame->show();
  saveShot(*frame->lytCalendar, "schedule_day");
  frame->tbcCale->setCurrentWidget(frame->tbtmWeek);
  saveShot(*frame->lytCalendar, "schedule_week");
  styled(false);
}

}  // namespace
