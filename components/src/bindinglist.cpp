// Field bindings: edit boxes that show and write fields of a data set's current row.

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <exception>

#include "vlt/components.h"
#include "vlt/host.h"

namespace vlt::components {

namespace {

enum Kind { kEdit, kCheck, kCombo, kDate, kMemo, kLabel };

const QString kDateFormat = QStringLiteral("yyyy-MM-dd");

bool isTrueText(const QString& text) {
  return text.compare(QLatin1String("True"), Qt::CaseInsensitive) == 0 ||
         text == QLatin1String("1") || text == QLatin1String("-1");
}

// The date at the start of a field's text ("2024-05-01" or "2024-05-01 08:30:00").
QDate dateOf(const QString& text) {
  return text.size() >= 10 ? QDate::fromString(text.left(10), kDateFormat) : QDate();
}

}  // namespace

struct TBindingList::Binding {
  int kind = kEdit;
  QPointer<QWidget> widget;
  QString field;
  std::vector<QMetaObject::Connection> connections;
};

TBindingList::TBindingList(ClientDataSet& dataSet) : dataSet_(&dataSet) {
  dataSet_->AddObserver(this);
}

TBindingList::~TBindingList() {
  if (dataSet_) dataSet_->RemoveObserver(this);
  for (auto& b : bindings_)
    for (auto& c : b->connections)
      QObject::disconnect(c);
}

TBindingList::Binding& TBindingList::add(QWidget* widget, int kind, const QString& field) {
  auto b = std::make_unique<Binding>();
  b->kind = kind;
  b->widget = widget;
  b->field = field;
  bindings_.push_back(std::move(b));
  return *bindings_.back();
}

void TBindingList::BindEdit(QLineEdit* edit, const QString& field) {
  if (!edit) return;
  Binding& b = add(edit, kEdit, field);
  b.connections.push_back(
      QObject::connect(edit, &QLineEdit::textEdited, edit,
                       host::guarded([this, p = &b](const QString& text) { write(*p, text); })));
  show(b);
}

void TBindingList::BindCheck(QCheckBox* check, const QString& field) {
  if (!check) return;
  Binding& b = add(check, kCheck, field);
  // clicked, not toggled: only what the user does (mouse, space bar) is written.
  b.connections.push_back(QObject::connect(
      check, &QCheckBox::clicked, check, host::guarded([this, p = &b](bool checked) {
        write(*p, checked ? QStringLiteral("True") : QStringLiteral("False"));
      })));
  show(b);
}

void TBindingList::BindCombo(QComboBox* combo, const QString& field) {
  if (!combo) return;
  Binding& b = add(combo, kCombo, field);
  b.connections.push_back(QObject::connect(
      combo, &QComboBox::activated, combo,
      host::guarded([this, p = &b, combo](int index) { write(*p, combo->itemText(index)); })));
  if (QLineEdit* line = combo->lineEdit())
    b.connections.push_back(
        QObject::connect(line, &QLineEdit::textEdited, line,
                         host::guarded([this, p = &b](const QString& text) { write(*p, text); })));
  show(b);
}

void TBindingList::BindDate(QDateEdit* edit, const QString& field) {
  if (!edit) return;
  Binding& b = add(edit, kDate, field);
  // The minimum date stands for "no date" and shows blank.
  if (edit->specialValueText().isEmpty()) edit->setSpecialValueText(QStringLiteral(" "));
  b.connections.push_back(QObject::connect(edit, &QDateEdit::dateChanged, edit,
                                           host::guarded([this, p = &b, edit](const QDate& date) {
                                             if (showing_ > 0) return;
                                             if (!date.isValid() || date == edit->minimumDate()) {
                                               write(*p, QString(), true);
                                               return;
                                             }
                                             // A date-time keeps its time of day.
                                             QString old = currentText(*p);
                                             QString text = date.toString(kDateFormat);
                                             if (old.size() > 10 && dateOf(old).isValid())
                                               text += old.mid(10);
                                             write(*p, text);
                                           })));
  show(b);
}

void TBindingList::BindMemo(QPlainTextEdit* memo, const QString& field) {
  if (!memo) return;
  Binding& b = add(memo, kMemo, field);
  b.connections.push_back(
      QObject::connect(memo, &QPlainTextEdit::textChanged, memo, host::guarded([this, p = &b] {
                         if (showing_ > 0) return;
                         if (auto* m = qobject_cast<QPlainTextEdit*>(p->widget.data()))
                           write(*p, m->toPlainText());
                       })));
  show(b);
}

void TBindingList::BindLabel(QLabel* label, const QString& field) {
  if (!label) return;
  show(add(label, kLabel, field));
}

void TBindingList::Refresh() {
  for (auto& b : bindings_)
    if (!(writing_ && b.get() == source_)) show(*b);
}

QString TBindingList::currentText(const Binding& b) const {
  try {
    if (!dataSet_ || !dataSet_->Active() || dataSet_->DisplayRow() < 0) return {};
    Field* f = dataSet_->FindField(host::ss(b.field));
    return f ? host::qs(f->AsString()) : QString();
  } catch (...) {
    return {};
  }
}

void TBindingList::show(Binding& b) {
  QWidget* w = b.widget.data();
  if (!w) return;
  const QString text = currentText(b);
  ++showing_;
  switch (b.kind) {
    case kEdit: {
      auto* e = static_cast<QLineEdit*>(w);
      if (e->text() != text) e->setText(text);
      break;
    }
    case kCheck:
      static_cast<QCheckBox*>(w)->setChecked(isTrueText(text));
      break;
    case kCombo: {
      auto* c = static_cast<QComboBox*>(w);
      int i = c->findText(text);
      c->setCurrentIndex(i);
      if (i < 0 && c->isEditable()) c->setEditText(text);
      break;
    }
    case kDate: {
      auto* d = static_cast<QDateEdit*>(w);
      QDate date = dateOf(text);
      d->setDate(date.isValid() ? date : d->minimumDate());
      break;
    }
    case kMemo: {
      auto* m = static_cast<QPlainTextEdit*>(w);
      if (m->toPlainText() != text) m->setPlainText(text);
      break;
    }
    case kLabel:
      static_cast<QLabel*>(w)->setText(text);
      break;
  }
  --showing_;
}

void TBindingList::write(Binding& b, const QString& text, bool null) {
  if (showing_ > 0 || writing_ || !dataSet_) return;
  writing_ = true;
  source_ = &b;
  try {
    Field* f = &dataSet_->FieldByName(host::ss(b.field));
    const bool same = null ? (dataSet_->DisplayRow() < 0 || f->IsNull())
                           : (dataSet_->DisplayRow() >= 0 && host::qs(f->AsString()) == text);
    if (!same) {
      if (dataSet_->State() == DataSetState::Browse) dataSet_->Edit();
      f = &dataSet_->FieldByName(host::ss(b.field));
      if (null)
        f->Clear();
      else
        f->SetAsString(host::ss(text));
    }
  } catch (...) {
    // A value the field cannot take: the row keeps its value, the handler hears of it.
    host::HandleException(std::current_exception());
  }
  writing_ = false;
  source_ = nullptr;
}

// ---- the data set's notifications ------------------------------------------------------------

void TBindingList::recordChanged(ClientDataSet&, int field) {
  for (auto& b : bindings_) {
    if (writing_ && b.get() == source_) continue;
    if (field >= 0 && dataSet_) {
      Field* f = dataSet_->FindField(host::ss(b->field));
      if (!f || static_cast<int>(f->Index()) != field) continue;
    }
    show(*b);
  }
}

void TBindingList::dataSetDestroying(ClientDataSet&) {
  dataSet_ = nullptr;  // the widgets keep what they show
}

void TBindingList::recordMoved(ClientDataSet&) {
  Refresh();
}

void TBindingList::dataSetChanged(ClientDataSet&) {
  Refresh();
}

// A state change alone changes no value; the values that come with it (a new row, a cancel)
// arrive as their own notifications. A detail leaving its insert for a moving master is not
// readable yet at this point.
void TBindingList::stateChanged(ClientDataSet&) {}

void TBindingList::layoutChanged(ClientDataSet&) {
  Refresh();
}

}  // namespace vlt::components
