#pragma once
// The list item of the schedule, and the entry rules it shows.

#include <QWidget>

#include "calendarrules.h"

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
