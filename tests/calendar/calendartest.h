#pragma once
// What the calendar tests share: a host with a fake service answering a user's stored entries
// and templates, a clock the test sets, a bell that records what rang and a memory of the last
// alarm check.

#include <gtest/gtest.h>

#include <QApplication>
#include <QDate>
#include <QFile>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "calendaralarm.h"
#include "fakehost.h"
#include "uCalendarClasses.h"
#include "uCalendarFrame.h"
#include "vlt/calendar.h"
#include "vlt/datetime.h"

namespace caltest {

inline const std::string kUser = "10001";

inline vlt::Date day(const char* text) {
  return vlt::Date::parse(text);
}

// usercalendar rows: {ID, Title, Date, Finished, LoopID, IsAlarm, AlarmTime}
struct Stored {
  std::string id{}, title{}, date{}, finished = "False", loopId{}, isAlarm = "0", alarmTime{};
  std::string level = "0,0";
};
// usercalendar_ex rows.
struct Template {
  std::string id{}, title{}, date{}, mode{}, value{}, isAlarm = "0", alarmTime{};
  std::string level = "0,0";
};

inline vlt::Packet storedPacket(const std::vector<Stored>& rows) {
  std::vector<std::vector<std::string>> values;
  for (const Stored& r : rows)
    values.push_back({r.id, kUser, r.title, r.date, "", r.level, r.finished, r.isAlarm, r.alarmTime,
                      r.loopId.empty() ? "1" : "2", "", r.loopId});
  return vlt::test::packetOf({"ID", "UserID", "Title", "Date", "Remark", "Level", "Finished",
                              "IsAlarm", "AlarmTime", "RepeatMode", "RepeatValue", "loopID"},
                             values);
}

inline vlt::Packet templatePacket(const std::vector<Template>& rows) {
  std::vector<std::vector<std::string>> values;
  for (const Template& r : rows)
    values.push_back(
        {r.id, kUser, r.title, r.date, "说明", r.level, r.isAlarm, r.alarmTime, r.mode, r.value});
  return vlt::test::packetOf({"ID", "UserID", "Title", "Date", "Remark", "Level", "IsAlarm",
                              "AlarmTime", "RepeatMode", "RepeatValue"},
                             values);
}

class RecordingBell : public vlt::calendar::TAlarmBell {
 public:
  std::vector<std::string> rung;  // titles
  std::vector<std::string> ringKeys;
  std::vector<std::string> stopped;
  std::vector<std::vector<std::string>> missed;  // per showing: "date time title"
  void Ring(const std::string& key, const TCalendarInfo& e) override {
    ringKeys.push_back(key);
    rung.push_back(e.Title);
  }
  void Stop(const std::string& key) override { stopped.push_back(key); }
  void ShowMissed(const std::vector<TCalendarInfo>& entries) override {
    auto& list = missed.emplace_back();
    for (const TCalendarInfo& e : entries)
      list.push_back(e.Date + " " + e.AlarmTime + " " + e.Title);
  }
};

class CalendarTest : public ::testing::Test {
 public:
  vlt::test::HostFixture host;
  vlt::DateTime clock = vlt::DateTime(day("2026-12-09"), vlt::Time::fromHms(8, 0, 0));
  std::optional<vlt::DateTime> lastCheck;
  RecordingBell* bell = nullptr;
  bool recordBell = true;

  void SetUp() override {
    vlt::host::CurUserInfo().UserID = kUser;
    vlt::calendar::SetClock([this] { return clock; });
    vlt::calendar::SetAlarmMemory(vlt::calendar::TAlarmMemory{
        [this] { return lastCheck; }, [this](vlt::DateTime t) { lastCheck = t; }});
    vlt::calendar::SetAlarmBellFactory([this]() -> std::unique_ptr<vlt::calendar::TAlarmBell> {
      if (!recordBell) return std::make_unique<vlt::calendar::TDefaultAlarmBell>();
      auto b = std::make_unique<RecordingBell>();
      bell = b.get();
      return b;
    });
  }
  void TearDown() override {
    vlt::calendar::SetClock(nullptr);
    vlt::calendar::SetAlarmMemory(std::nullopt);
    vlt::calendar::SetAlarmBellFactory(nullptr);
  }

  void serve(const std::vector<Stored>& stored, const std::vector<Template>& templates = {}) {
    host.proxy().answers.clear();
    host.proxy().answer("from usercalendar where", storedPacket(stored));
    host.proxy().answer("from usercalendar_ex", templatePacket(templates));
  }
  void at(const char* date, int h, int m, int s = 0) {
    clock = vlt::DateTime(day(date), vlt::Time::fromHms(h, m, s));
  }
  std::unique_ptr<TfrmSchedule> openFrame() {
    auto frame = std::make_unique<TfrmSchedule>();
    frame->resize(300, 600);
    frame->lytCalendar->resize(300, 600);
    return frame;
  }
  // The entries shown, as "date title" with "(done)" for a finished one.
  static std::vector<std::string> shown(const TfrmSchedule& frame) {
    std::vector<std::string> out;
    for (const TCaleListItem* item : frame.Entries())
      out.push_back(item->CalendarInfo().Date + " " + item->CalendarInfo().Title +
                    (item->isEnabled() ? "" : " (done)"));
    return out;
  }
  static TCaleListItem* entry(const TfrmSchedule& frame, const std::string& date,
                              const std::string& title) {
    for (TCaleListItem* item : frame.Entries())
      if (item->CalendarInfo().Date == date && item->CalendarInfo().Title == title) return item;
    return nullptr;
  }
  // Screenshots look as the program does: with its style file.
  static void styled(bool on) {
    QString style;
    if (on) {
      QFile file(qEnvironmentVariable("VLT_SOURCE_DIR") + "/launcher/VltDefault.style");
      if (file.open(QIODevice::ReadOnly)) style = QString::fromUtf8(file.readAll());
    }
    qApp->setStyleSheet(style);
  }
  std::vector<std::string> changes() { return host.proxy().callsStartingWith("do"); }
};

}  // namespace caltest
