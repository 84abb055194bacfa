// Named actions and the push buttons that trigger them.

#include <QPushButton>

#include "vlt/components.h"

namespace vlt::components {

QAction* MakeAction(QWidget* form, const char* name, const QString& text,
                    const QList<QKeySequence>& shortcuts) {
  auto* action = new QAction(text, form);
  action->setObjectName(QString::fromLatin1(name));
  action->setShortcuts(shortcuts);
  form->addAction(action);
  return action;
}

QPushButton* ActionButton(QAction* action, QWidget* parent, const char* name, int width) {
  auto* button = new QPushButton(action->text(), parent);
  button->setObjectName(QString::fromLatin1(name));
  button->setAutoDefault(false);
  button->setDefault(false);
  if (width > 0)
    button->setFixedWidth(width);
  else
    button->setMinimumWidth(button->sizeHint().width() + 12);
  button->setEnabled(action->isEnabled());
  QObject::connect(action, &QAction::enabledChanged, button, &QWidget::setEnabled);
  QObject::connect(button, &QPushButton::clicked, action,
                   host::guarded([action] { action->trigger(); }));
  return button;
}

}  // namespace vlt::components
