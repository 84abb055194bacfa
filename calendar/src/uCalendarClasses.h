#pragma once
// The list item of the schedule, and the entry rules it shows.

#include <QDate>
#include <QWidget>

#include "calendarrules.h"

// The date as the date widgets take it.
inline QDate ToQDate(vlt::Date d) {
  const vlt::Ymd ymd = d.ymd();
  return QDate(ymd.year, ymd.month, ymd.day);
}

class QLabel;
class QPushButton;

// The list item of one entry: date, title, the important and urgent marks (shown only when
// set) and the delete and finish buttons. Its look is the style file's "CaleListStyle".
class TCaleListItem : public QWidget {
  Q_OBJECT
 public:
  explicit TCaleListItem(QWidget* parent = nullptr);

  void SeTCalendarInfo(const TCalendarInfo& info);
  const TCalendarInfo& CalendarInfo() const { return FCalendarInfo; }

  QLabel* date;
  QLabel* title;
  QLabel* important;
  QLabel* urgent;
  QPushButton* btnDel;
  QPushButton* btnFinish;

 private:
  TCalendarInfo FCalendarInfo;
};
