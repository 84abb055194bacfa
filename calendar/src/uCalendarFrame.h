#pragma once
// The schedule page of the main window: the signed-in user's tasks of one day or one week,
// stored tasks merged with the occurrences of the repeat templates, with finishing, deleting
// and editing of an entry, and the alarms of today.

#include <QPointer>
#include <QString>
#include <QWidget>
#include <memory>
#include <string>
#include <vector>

#include "calendaralarm.h"
#include "uCalendarClasses.h"
#include "vlt/host.h"

class QAction;
class QLabel;
class QListWidget;
class QListWidgetItem;
class QPushButton;
class QTabWidget;
class QTimer;
namespace vlt::components {
class TNxImgCalendarBtn;
}

namespace vlt::calendar {

// The statements that read a user's entries of a period and templates.
std::string EntriesSql(const std::string& first, const std::string& last,
                       const std::string& userId);
std::string TemplatesSql(const std::string& userId);
// The entries of the signed-in user for [first, last]: stored rows and generated occurrences.
std::vector<TCalendarRow> LoadPeriod(Date first, Date last);

}  // namespace vlt::calendar

class TfrmSchedule : public QWidget, public vlt::host::IPluginFrame {
  Q_OBJECT
 public:
  explicit TfrmSchedule(QWidget* owner = nullptr);
  ~TfrmSchedule() override;

  QWidget* GetBaseControl() override { return lytCalendar; }

  QWidget* lytCalendar;
  QTabWidget* tbcCale;
  QWidget* tbtmday;
  QWidget* tbtmWeek;
  QLabel* lbltoDay;
  QLabel* lbltoWeek;
  vlt::components::TNxImgCalendarBtn* NxImgBtnSelectDay;
  vlt::components::TNxImgCalendarBtn* NxImgBtnSelectWeek;
  QListWidget* lstCale;
  QAction* actAddCale;
  QAction* actModify;
  QAction* actLoopDW;
  QPushButton* btnAddCale;
  QPushButton* btnModify;
  QPushButton* btnLoopDW;

  std::string Fday;
  std::string FBWeek;
  std::string FEWeek;
  std::string FPriorDate;

  void OpenDwData(const std::string& first, const std::string& last);
  void UpdateCaleList();
  void RefreshData();

  void NxImgBtnSelectDayClosePopup(const QDate& date);
  void NxImgBtnSelectWeekClosePopup(const QDate& date);
  void tbcCaleChange();
  void FinishEntry(QObject* button);
  void DeleteEntry(QObject* button);
  void EditEntry(TCaleListItem* item);
  void actAddCaleExecute();
  void actModifyExecute();
  void actLoopDWExecute();

  // The entry items of the list, in order (group headers left out).
  std::vector<TCaleListItem*> Entries() const;
  vlt::calendar::TAlarmWatch& AlarmWatch() { return *alarms_; }
  vlt::calendar::TAlarmBell& AlarmBell() { return *bell_; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void setWeek(vlt::Date day);
  // Entries as wide as the list shows them.
  void fitEntries();
  // Runs a statement that changes the calendar; true when the service answered "0".
  bool run(const std::string& sql, const QString& failure);

  std::unique_ptr<vlt::calendar::TAlarmBell> bell_;
  std::unique_ptr<vlt::calendar::TAlarmWatch> alarms_;
  QTimer* alarmTimer_;
  QPointer<QWidget> root_;  // lytCalendar, which the main window moves onto its page
};
