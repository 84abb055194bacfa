#pragma once
// Alarms of the schedule: while the client runs, an entry of today with its alarm on rings once
// when its time comes; finishing or deleting it, or switching its alarm off, stops it; alarms
// that came while the client was closed are listed once at start. The clock, the place alarms
// ring and the memory of the last check are replaceable, so that tests drive them.

#include <QObject>
#include <QPointer>
#include <QString>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "uCalendarClasses.h"
#include "vlt/datetime.h"

class QSystemTrayIcon;
class QWidget;

namespace vlt::calendar {

// The clock of the calendar package (today, the week shown first, alarms); null restores the
// local clock.
using Clock = std::function<DateTime()>;
void SetClock(Clock clock);
DateTime Now();
Date Today();

// Where an alarm rings.
class TAlarmBell {
 public:
  virtual ~TAlarmBell() = default;
  // An alarm that has come; `key` names it for Stop.
  virtual void Ring(const std::string& key, const TCalendarInfo& entry) = 0;
  // The rung alarm's entry was finished or deleted, or its alarm switched off.
  virtual void Stop(const std::string& key) = 0;
  // Alarms that came while the client was closed, oldest first.
  virtual void ShowMissed(const std::vector<TCalendarInfo>& entries) = 0;
};

// The system tray's message where there is a tray, otherwise a small window that does not block
// the program; the missed alarms in one window as a list.
class TDefaultAlarmBell : public TAlarmBell {
 public:
  TDefaultAlarmBell();
  ~TDefaultAlarmBell() override;
  void Ring(const std::string& key, const TCalendarInfo& entry) override;
  void Stop(const std::string& key) override;
  void ShowMissed(const std::vector<TCalendarInfo>& entries) override;

  // The open notice windows by key (no tray).
  const std::map<std::string, QPointer<QWidget>>& Notices() const { return notices_; }

 private:
  QSystemTrayIcon* tray_ = nullptr;
  std::map<std::string, QPointer<QWidget>> notices_;
  QPointer<QWidget> missed_;
};

// The last moment alarms were looked at, kept across runs.
struct TAlarmMemory {
  std::function<std::optional<DateTime>()> load;
  std::function<void(DateTime)> save;
};

// What the schedule frame's alarms use: the bell and the memory (tests replace them before
// the frame is created; null restores the defaults: the bell above, and a file in the user's
// folder).
using BellFactory = std::function<std::unique_ptr<TAlarmBell>()>;
void SetAlarmBellFactory(BellFactory factory);
std::unique_ptr<TAlarmBell> MakeAlarmBell();
void SetAlarmMemory(std::optional<TAlarmMemory> memory);
TAlarmMemory AlarmMemory();

// The text of a notice: "09:30:00  title".
QString AlarmText(const TCalendarInfo& entry);

class TAlarmWatch {
 public:
  // The entries (stored and generated) of a period of days.
  using Loader = std::function<std::vector<TCalendarRow>(Date first, Date last)>;
  // How far back missed alarms are looked for.
  static constexpr int kMissedDays = 7;

  TAlarmWatch(Loader loader, TAlarmBell& bell, TAlarmMemory memory);

  // At start: lists the alarms that came since the last check (once), then watches from now.
  void Start();
  // After the entries changed: takes today's entries again and stops rung alarms whose entry is
  // finished, gone or no longer has that alarm.
  void Reload();
  // The same with today's entries at hand (the schedule has just read them).
  void Reload(const std::vector<TCalendarRow>& todays);
  // Rings the alarms of today that came since the previous check and have not rung.
  void Check();

 private:
  struct Pending {
    std::string key;
    DateTime due;
    TCalendarInfo entry;
  };
  std::vector<Pending> alarmsOf(const std::vector<TCalendarRow>& rows) const;
  void remember(DateTime moment);

  Loader loader_;
  TAlarmBell& bell_;
  TAlarmMemory memory_;
  Date day_;
  bool loaded_ = false;
  DateTime since_;
  std::vector<Pending> today_;
  std::set<std::string> rung_;
};

}  // namespace vlt::calendar
