#pragma once
// The task window: creates a task (once) or a repeat template (every day, every week on chosen
// days), or changes an entry of the schedule (Tag 101) or a template (Tag 201).

#include <QString>
#include <array>
#include <string>

#include "vlt/host.h"

class QCheckBox;
class QDateEdit;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;

class TfrmAddCalendar : public vlt::host::TForm {
  Q_OBJECT
 public:
  explicit TfrmAddCalendar(QWidget* owner = nullptr);

  QLineEdit* edtTitle;
  QDateEdit* EdtDate;
  QPlainTextEdit* mmoRemark;
  QCheckBox* chkImportant;
  QCheckBox* chkUrgent;
  QCheckBox* chkAlarm;
  QLineEdit* edtAlarmTime;
  QGroupBox* grpRepeat;
  QRadioButton* rbOnce;
  QRadioButton* rbDay;
  QRadioButton* rbWeek;
  QWidget* pnlWeekDays;
  std::array<QCheckBox*, 7> chkDays;  // chkOne (Monday) .. chkSeven (Sunday)
  QLabel* lblID;
  QPushButton* btnSave;

  void FormShow() override;
  void chkAlarmChange();
  void rbWeekChange();
  void btnSaveClick();

  // What the boxes say, as stored: "-1,0"; "-1"/"0"; "1"/"2"/"3"; "1,5".
  std::string LevelText() const;
  std::string AlarmFlagText() const;
  std::string ModeText() const;
  std::string WeekdaysText() const;
};
