#include "formrows.h"

#include <QAction>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QPlainTextEdit>
#include <QToolButton>

#include "vlt/components.h"
#include "vlt/host.h"

namespace vlt::templates {

namespace {

const QString kDateFormat = QStringLiteral("yyyy-MM-dd");

}  // namespace

// ---- boxes that check what is typed ----------------------------------------------------------

TCheckedBox::TCheckedBox(QWidget* parent, const char* name, QString caption)
    : QLineEdit(parent), caption_(std::move(caption)) {
  setObjectName(QString::fromLatin1(name));
  setAccessibleName(caption_);
}

TNumberBox::TNumberBox(QWidget* parent, const char* name, QString caption, int decimals,
                       int integerDigits, bool allowNegative)
    : TCheckedBox(parent, name, std::move(caption)),
      decimals_(decimals),
      integerDigits_(integerDigits),
      allowNegative_(allowNegative) {
  setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  setMaxLength(integerDigits + decimals + 2);
  setProperty("vltKind", "number");
}

std::optional<Decimal> TNumberBox::Number() const {
  const std::string t = host::ss(text().trimmed());
  if (t.empty()) return Decimal();
  Decimal d;
  if (!Decimal::tryParse(t, d)) return std::nullopt;
  return d;
}

QString TNumberBox::Problem() const {
  const std::optional<Decimal> d = Number();
  if (!d) return Caption() + "必须是数字";
  if (d->isNegative() && !allowNegative_) return Caption() + "不能是负数";
  if (d->scale() > decimals_ && d->rescaled(decimals_) != *d)
    return decimals_ == 0 ? Caption() + "必须是整数"
                          : Caption() + QString("最多只能有%1位小数").arg(decimals_);
  if (d->integerDigits() > integerDigits_) return Caption() + "超出了允许的范围";
  return {};
}

std::string TNumberBox::SqlText() const {
  // As typed (the check let only a plain number through); never the text of something else.
  const std::string t = host::ss(text().trimmed());
  Decimal d;
  return !t.empty() && Decimal::tryParse(t, d) ? t : std::string("0");
}

TDateBox::TDateBox(QWidget* parent, const char* name, QString caption, bool required)
    : TCheckedBox(parent, name, std::move(caption)), required_(required) {
  setPlaceholderText(kDateFormat);
  setMaxLength(10);
  setProperty("vltKind", "date");
}

QDate TDateBox::Date() const {
  const QString typed = text().trimmed();
  if (typed != parsedText_) {
    parsed_ = QDate::fromString(typed, kDateFormat);
    parsedText_ = typed;
  }
  return parsed_;
}

void TDateBox::SetDate(const QDate& date) {
  setText(date.toString(kDateFormat));
}

QString TDateBox::Problem() const {
  if (text().trimmed().isEmpty()) return required_ ? Caption() + "不能为空" : QString();
  if (!Date().isValid()) return Caption() + "必须是日期（年-月-日，如 2024-03-01）";
  return {};
}

void CheckBoxes(std::initializer_list<const TCheckedBox*> boxes) {
  for (const TCheckedBox* box : boxes) {
    const QString problem = box->Problem();
    if (problem.isEmpty()) continue;
    host::ShowMessage(problem);
    const_cast<TCheckedBox*>(box)->setFocus();
    host::Abort();
  }
}

// ---- rows ------------------------------------------------------------------------------------

void NameBox(QLabel* caption, QWidget* box) {
  caption->setBuddy(box);
  if (box->accessibleName().isEmpty()) box->setAccessibleName(caption->text());
}

QToolButton* BoxButton(QAction* action, QWidget* parent, const char* name) {
  auto* b = new QToolButton(parent);
  b->setObjectName(QString::fromLatin1(name));
  b->setDefaultAction(action);
  b->setFocusPolicy(Qt::NoFocus);
  b->setFixedHeight(24);
  if (!action->toolTip().isEmpty()) b->setAccessibleName(action->toolTip());
  return b;
}

QWidget* BoxWithButtons(QWidget* parent, const QString& rowName, QWidget* box,
                        std::initializer_list<QWidget*> buttons) {
  auto* row = new QWidget(parent);
  row->setObjectName(rowName);
  auto* layout = new QHBoxLayout(row);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(4);
  layout->addWidget(box, 1);
  for (QWidget* b : buttons)
    layout->addWidget(b);
  return row;
}

TFormRows::TFormRows(QWidget* area, int columns)
    : area_(area), grid_(new QGridLayout(area)), columns_(columns) {
  grid_->setContentsMargins(0, 0, 0, 0);
  grid_->setHorizontalSpacing(8);
  grid_->setVerticalSpacing(10);
  for (int c = 0; c < columns; ++c)
    grid_->setColumnStretch(2 * c + 1, 1);
}

std::pair<int, int> TFormRows::next() {
  if (pair_ == columns_) {
    pair_ = 0;
    ++line_;
  }
  return {line_, 2 * pair_++};
}

QLabel* TFormRows::caption(const char* name, const QString& text, QWidget* box) {
  auto* l = new QLabel(text, area_);
  l->setObjectName(QString::fromLatin1(name));
  l->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  NameBox(l, box);
  return l;
}

QLabel* TFormRows::Row(const char* labelName, const QString& text, QWidget* box) {
  const auto [line, column] = next();
  QLabel* l = caption(labelName, text, box);
  grid_->addWidget(l, line, column);
  grid_->addWidget(box, line, column + 1);
  return l;
}

QLabel* TFormRows::PickRow(const char* labelName, const QString& text, QLineEdit* box,
                           QAction* pick, const char* buttonName, QToolButton** button) {
  box->setReadOnly(true);
  QToolButton* b = BoxButton(pick, area_, buttonName);
  b->setFixedWidth(28);
  if (button) *button = b;
  const auto [line, column] = next();
  QLabel* l = caption(labelName, text, box);
  grid_->addWidget(l, line, column);
  grid_->addWidget(BoxWithButtons(area_, box->objectName() + "Row", box, {b}), line, column + 1);
  return l;
}

QLabel* TFormRows::DateRow(const char* labelName, const QString& text, TDateBox* box) {
  auto* calendar = new components::TNxImgCalendarBtn(area_);
  calendar->setObjectName(box->objectName() + "Calendar");
  calendar->setFocusPolicy(Qt::NoFocus);
  calendar->setAccessibleName(text);
  QObject::connect(calendar, &components::TNxImgCalendarBtn::ClosePopup, box,
                   host::guarded([box](const QDate& date) { box->SetDate(date); }));
  const auto [line, column] = next();
  QLabel* l = caption(labelName, text, box);
  grid_->addWidget(l, line, column);
  grid_->addWidget(BoxWithButtons(area_, box->objectName() + "Row", box, {calendar}), line,
                   column + 1);
  return l;
}

void TFormRows::Cell(QWidget* widget) {
  const auto [line, column] = next();
  grid_->addWidget(widget, line, column + 1);
}

QLabel* TFormRows::MemoRow(const char* labelName, const QString& text, QPlainTextEdit* memo) {
  memo->setTabChangesFocus(true);
  if (pair_ > 0) pair_ = columns_;  // a line of its own
  const auto [line, column] = next();
  QLabel* l = caption(labelName, text, memo);
  l->setAlignment(Qt::AlignRight | Qt::AlignTop);
  grid_->addWidget(l, line, column, Qt::AlignRight | Qt::AlignTop);
  grid_->addWidget(memo, line, column + 1, 1, 2 * columns_ - 1);
  grid_->setRowStretch(line, 1);
  pair_ = columns_;
  return l;
}

std::vector<QLabel*> TFormRows::TotalsRow(
    const char* rowName, const std::vector<std::pair<const char*, QString>>& figures) {
  auto* row = new QWidget(area_);
  row->setObjectName(QString::fromLatin1(rowName));
  row->setProperty("vltRole", "totals");
  auto* layout = new QHBoxLayout(row);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(6);
  std::vector<QLabel*> values;
  for (const auto& [name, text] : figures) {
    auto* value = new QLabel(QStringLiteral("0"), row);
    value->setObjectName(QString::fromLatin1(name));
    value->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    value->setProperty("vltRole", "total");
    auto* l = new QLabel(text, row);
    NameBox(l, value);
    layout->addWidget(l);
    layout->addWidget(value, 1);
    values.push_back(value);
  }
  if (pair_ > 0) pair_ = columns_;
  const auto [line, column] = next();
  grid_->addWidget(row, line, column, 1, 2 * columns_);
  pair_ = columns_;
  return values;
}

}  // namespace vlt::templates
