#include "calendaralarm.h"

#include <QApplication>
#include <QGuiApplication>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QStyle>
#include <QSystemTrayIcon>
#include <QVBoxLayout>
#include <algorithm>

#include "vlt/calendar.h"
#include "vlt/host.h"

namespace vlt::calendar {

using host::qs;

namespace {

Clock& clockSlot() {
  static Clock clock;
  return clock;
}

BellFactory& bellSlot() {
  static BellFactory factory;
  return factory;
}

std::optional<TAlarmMemory>& memorySlot() {
  static std::optional<TAlarmMemory> memory;
  return memory;
}

// The small window a notice or the missed list is shown in: above other windows, not blocking,
// freed when closed.
QWidget* noticeWindow(const char* name, const QString& caption, QWidget* content) {
  auto* window = new QWidget(nullptr, Qt::Tool | Qt::WindowStaysOnTopHint);
  window->setObjectName(name);
  window->setAttribute(Qt::WA_DeleteOnClose);
  window->setWindowTitle(caption);
  auto* column = new QVBoxLayout(window);
  content->setParent(window);
  column->addWidget(content);
  auto* ok = new QPushButton(QStringLiteral("知道了"), window);
  ok->setObjectName("btnOk");
  column->addWidget(ok, 0, Qt::AlignRight);
  QObject::connect(ok, &QPushButton::clicked, window, &QWidget::close);
  window->resize(std::max(window->sizeHint().width(), 280), window->sizeHint().height());
  if (QScreen* screen = QGuiApplication::primaryScreen()) {
    const QRect area = screen->availableGeometry();
    window->move(area.right() - window->width() - 16, area.bottom() - window->height() - 48);
  }
  window->show();
  return window;
}

}  // namespace

void SetClock(Clock clock) {
  clockSlot() = std::move(clock);
}

DateTime Now() {
  return clockSlot() ? clockSlot()() : vlt::now();
}

Date Today() {
  return Now().date();
}

void SetAlarmBellFactory(BellFactory factory) {
  bellSlot() = std::move(factory);
}

std::unique_ptr<TAlarmBell> MakeAlarmBell() {
  if (bellSlot()) return bellSlot()();
  return std::make_unique<TDefaultAlarmBell>();
}

void SetAlarmMemory(std::optional<TAlarmMemory> memory) {
  memorySlot() = std::move(memory);
}

TAlarmMemory AlarmMemory() {
  if (memorySlot()) return *memorySlot();
  const QString folder = host::AppVar().UserPath;
  if (folder.isEmpty()) return {};  // no user folder: nothing is remembered
  const QString file = folder + QStringLiteral("Calendar.ini");
  return {[file]() -> std::optional<DateTime> {
            QSettings settings(file, QSettings::IniFormat);
            DateTime t;
            if (DateTime::tryParse(host::ss(settings.value("Alarm/LastChecked").toString()), t))
              return t;
            return std::nullopt;
          },
          [file](DateTime t) {
            QSettings settings(file, QSettings::IniFormat);
            settings.setValue("Alarm/LastChecked", qs(t.toString()));
          }};
}

QString AlarmText(const TCalendarInfo& entry) {
  return qs(entry.AlarmTime) + QStringLiteral("  ") + qs(entry.Title);
}

// ---- the default bell -------------------------------------------------------------------------

TDefaultAlarmBell::TDefaultAlarmBell() {
  if (QSystemTrayIcon::isSystemTrayAvailable()) {
    tray_ =
        new QSystemTrayIcon(QApplication::style()->standardIcon(QStyle::SP_MessageBoxInformation));
    tray_->setToolTip(QStringLiteral("日程"));
    tray_->show();
  }
}

TDefaultAlarmBell::~TDefaultAlarmBell() {
  delete tray_;
  for (auto& [key, window] : notices_)
    delete window.data();
  delete missed_.data();
}

void TDefaultAlarmBell::Ring(const std::string& key, const TCalendarInfo& entry) {
  if (tray_) {
    tray_->showMessage(QStringLiteral("日程提醒"), AlarmText(entry));
    return;
  }
  auto* text = new QLabel(AlarmText(entry));
  text->setObjectName("lblAlarm");
  text->setTextFormat(Qt::PlainText);
  text->setWordWrap(true);
  text->setMaximumWidth(360);
  delete notices_[key].data();
  notices_[key] = noticeWindow("frmAlarmNotice", QStringLiteral("日程提醒"), text);
}

void TDefaultAlarmBell::Stop(const std::string& key) {
  auto it = notices_.find(key);
  if (it == notices_.end()) return;
  if (it->second) it->second->close();
  notices_.erase(it);
}

void TDefaultAlarmBell::ShowMissed(const std::vector<TCalendarInfo>& entries) {
  auto* content = new QWidget;
  auto* column = new QVBoxLayout(content);
  column->setContentsMargins(0, 0, 0, 0);
  auto* caption = new QLabel(QStringLiteral("程序关闭期间到时的提醒："), content);
  caption->setObjectName("lblMissed");
  auto* list = new QListWidget(content);
  list->setObjectName("lstMissed");
  for (const TCalendarInfo& e : entries)
    list->addItem(qs(e.Date) + QStringLiteral("  ") + AlarmText(e));
  list->setMinimumWidth(320);
  column->addWidget(caption);
  column->addWidget(list);
  delete missed_.data();
  missed_ = noticeWindow("frmMissedAlarms", QStringLiteral("错过的提醒"), content);
}

// ---- the watch --------------------------------------------------------------------------------

TAlarmWatch::TAlarmWatch(Loader loader, TAlarmBell& bell, TAlarmMemory memory)
    : loader_(std::move(loader)), bell_(bell), memory_(std::move(memory)) {}

std::vector<TAlarmWatch::Pending> TAlarmWatch::alarmsOf(
    const std::vector<TCalendarRow>& rows) const {
  std::vector<Pending> alarms;
  for (const TCalendarRow& row : rows) {
    const TCalendarInfo entry = InfoOf(row);
    Date day;
    Time at;
    if (entry.Finished || !entry.IsAlarm || !Date::tryParse(entry.Date, day) ||
        !Time::tryParse(entry.AlarmTime, at))
      continue;
    // An occurrence and the row it leaves when finished are the same alarm.
    const std::string owner = entry.Repeating() ? "L" + entry.LoopID : "S" + entry.ID;
    alarms.push_back(
        {owner + "@" + day.toString() + "@" + at.toString(), DateTime(day, at), entry});
  }
  std::stable_sort(alarms.begin(), alarms.end(),
                   [](const Pending& a, const Pending& b) { return a.due < b.due; });
  return alarms;
}

void TAlarmWatch::remember(DateTime moment) {
  since_ = moment;
  if (memory_.save) memory_.save(moment);
}

void TAlarmWatch::Start() {
  const DateTime now = Now();
  std::optional<DateTime> last;
  if (memory_.load) last = memory_.load();
  if (last && *last < now) {
    const Date first = std::max(last->date(), now.date().addDays(-kMissedDays));
    try {
      std::vector<TCalendarInfo> missed;
      for (const Pending& p : alarmsOf(loader_(first, now.date())))
        if (p.due > *last && p.due <= now) {
          missed.push_back(p.entry);
          rung_.insert(p.key);
        }
      if (!missed.empty()) bell_.ShowMissed(missed);
    } catch (const std::exception&) {
      // No service now: the next start lists them (the last check is not moved on).
      since_ = now;
      Reload();
      return;
    }
  }
  remember(now);
  Reload();
}

void TAlarmWatch::Reload() {
  const Date day = Today();
  std::vector<TCalendarRow> rows;
  try {
    rows = loader_(day, day);
  } catch (const std::exception&) {
    return;  // the service is away: keep ringing what was known
  }
  Reload(rows);
}

void TAlarmWatch::Reload(const std::vector<TCalendarRow>& todays) {
  const Date day = Today();
  const std::string dayText = day.toString();
  std::vector<Pending> alarms = alarmsOf(todays);
  std::erase_if(alarms, [&](const Pending& p) { return p.entry.Date != dayText; });
  today_ = std::move(alarms);
  day_ = day;
  loaded_ = true;
  for (auto it = rung_.begin(); it != rung_.end();) {
    const bool still =
        std::any_of(today_.begin(), today_.end(), [&](const Pending& p) { return p.key == *it; });
    if (still) {
      ++it;
    } else {
      bell_.Stop(*it);
      it = rung_.erase(it);
    }
  }
}

void TAlarmWatch::Check() {
  const DateTime now = Now();
  if (!loaded_ || now.date() != day_) Reload();
  for (const Pending& p : today_)
    if (p.due > since_ && p.due <= now && rung_.insert(p.key).second) bell_.Ring(p.key, p.entry);
  remember(now);
}

}  // namespace vlt::calendar
