#include "windowrows.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>

namespace vlt::test {

std::vector<std::string> ChangesSent(const FakeServerMethods& proxy) {
  std::vector<std::string> out;
  for (const std::string& c : proxy.calls)
    if (c.rfind("do", 0) == 0 || c.rfind("Save", 0) == 0 || c.rfind("CreateUserDB", 0) == 0)
      out.push_back(c);
  return out;
}

QString BoxText(const QWidget& window, const QString& objectName) {
  const auto* w = window.findChild<QWidget*>(objectName);
  if (!w) {
    ADD_FAILURE() << "no box named " << objectName.toStdString();
    return {};
  }
  if (const auto* e = qobject_cast<const QLineEdit*>(w)) return e->text();
  if (const auto* c = qobject_cast<const QComboBox*>(w)) return c->currentText();
  if (const auto* m = qobject_cast<const QPlainTextEdit*>(w)) return m->toPlainText();
  if (const auto* l = qobject_cast<const QLabel*>(w)) return l->text();
  if (const auto* b = qobject_cast<const QAbstractButton*>(w))
    return b->isCheckable() ? (b->isChecked() ? "True" : "False") : b->text();
  ADD_FAILURE() << objectName.toStdString() << " shows no text";
  return {};
}

void Type(QWidget& window, const QString& objectName, const QString& text) {
  auto* w = window.findChild<QWidget*>(objectName);
  if (!w) {
    ADD_FAILURE() << "no box named " << objectName.toStdString();
    return;
  }
  w->setFocus();
  if (auto* e = qobject_cast<QLineEdit*>(w))
    e->setText(text);
  else if (auto* m = qobject_cast<QPlainTextEdit*>(w))
    m->setPlainText(text);
  else if (auto* c = qobject_cast<QComboBox*>(w); c && c->isEditable())
    c->setEditText(text);
  else
    ADD_FAILURE() << objectName.toStdString() << " takes no text";
}

}  // namespace vlt::test
