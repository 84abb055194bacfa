#pragma once
// The period a list of dated entries shows: today, this week (Monday to Sunday) or this month,
// chosen with three radio buttons, as the condition on the list statement's bdate.

#include <QDate>
#include <functional>
#include <string>

class QRadioButton;
class QWidget;

namespace vlt::templates {

enum class TPeriod { Day, Week, Month };

// "bdate='2026-12-08'" for a day, "bdate between '<first>' and '<last>'" for a week or a month
// around `today` (ISO dates).
std::string PeriodCondition(TPeriod period, const QDate& today);

struct TPeriodRadios {
  QWidget* lytDateSelect;
  QRadioButton* rbCurday;    // "本日"
  QRadioButton* rbCurWeek;   // "本周"
  QRadioButton* rbCurMonth;  // "本月"
};
// The three buttons in a row (lytDateSelect, a child of `parent`); `chosen` runs through the
// guard when a button becomes selected, not when one is left.
TPeriodRadios MakePeriodRadios(QWidget* parent, std::function<void(TPeriod)> chosen);

}  // namespace vlt::templates
