#include "periodchoice.h"

#include <QHBoxLayout>
#include <QRadioButton>

#include "vlt/host.h"
#include "vlt/sqltext.h"

namespace vlt::templates {

namespace {

std::string isoDate(const QDate& d) {
  return quotedStr(host::ss(d.toString(Qt::ISODate)));
}

}  // namespace

std::string PeriodCondition(TPeriod period, const QDate& today) {
  QDate first = today;
  QDate last = today;
  switch (period) {
    case TPeriod::Day:
      return "bdate=" + isoDate(today);
    case TPeriod::Week:
      first = today.addDays(1 - today.dayOfWeek());
      last = first.addDays(6);
      break;
    case TPeriod::Month:
      first = QDate(today.year(), today.month(), 1);
      last = first.addMonths(1).addDays(-1);
      break;
  }
  return "bdate between " + isoDate(first) + " and " + isoDate(last);
}

TPeriodRadios MakePeriodRadios(QWidget* parent, std::function<void(TPeriod)> chosen) {
  TPeriodRadios r{};
  r.lytDateSelect = new QWidget(parent);
  r.lytDateSelect->setObjectName("lytDateSelect");
  auto* row = new QHBoxLayout(r.lytDateSelect);
  row->setContentsMargins(8, 4, 8, 4);
  auto radio = [&](const char* name, const char* text, TPeriod period) {
    auto* rb = new QRadioButton(QString::fromUtf8(text), r.lytDateSelect);
    rb->setObjectName(QString::fromLatin1(name));
    row->addWidget(rb);
    QObject::connect(rb, &QRadioButton::toggled, r.lytDateSelect, [chosen, period](bool on) {
      if (on) host::guarded([&chosen, period] { chosen(period); })();
    });
    return rb;
  };
  r.rbCurday = radio("rbCurday", "本日", TPeriod::Day);
  r.rbCurWeek = radio("rbCurWeek", "本周", TPeriod::Week);
  r.rbCurMonth = radio("rbCurMonth", "本月", TPeriod::Month);
  row->addStretch(1);
  return r;
}

}  // namespace vlt::templates
