#pragma once
// Small pieces the window templates (and the windows built on them) are made of: named actions
// connected through the guard, tool-strip buttons with a drawn icon, plain buttons that never
// become a dialog's Enter button, the clickable advert picture, and creating a window the way
// the host's factory does.

#include <QAction>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QList>
#include <QPixmap>
#include <QString>
#include <functional>
#include <memory>
#include <utility>

#include "vlt/components.h"
#include "vlt/host.h"
#include "vlt/status.h"

class QToolButton;

namespace vlt::templates {

using vlt::components::ActionButton;
using vlt::components::MakeAction;

// Puts `text` into a box that shows a value; the same text again costs no new text layout.
inline void ShowText(QLineEdit* box, const QString& text) {
  if (box->text() != text) box->setText(text);
}

// The pictures of the tool strips.
enum class ToolIcon { New, Edit, Delete, Refresh, SaveNew, SaveClose, Search, Clear, Prior, Next };
QPixmap ToolIconPixmap(ToolIcon icon, int size = 18);

// A tool-strip button of fixed width: the picture (a label named `imgName` that lets clicks
// through) and the action's text side by side. Clicking triggers the action; the button is
// enabled with it and never takes the focus from the window's list or boxes.
QToolButton* ToolButton(QAction* action, QWidget* parent, const char* name, const char* imgName,
                        ToolIcon icon, int width);

// A picture that reports a click (the advert column's picture).
class TClickableImage : public QLabel {
  Q_OBJECT
 public:
  explicit TClickableImage(QWidget* parent = nullptr);

 signals:
  void Click();

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  bool pressed_ = false;
};

// The advert picture of the standard page (209 x 385).
QPixmap AdvertPixmap();

// Constructs a window and runs its create handler, as CreateRttiForm does for a class known by
// name. Edit and selection dialogs are made this way by their opener, which owns and frees them.
template <class T, class... Args>
std::unique_ptr<T> CreateForm(Args&&... args) {
  auto form = std::make_unique<T>(std::forward<Args>(args)...);
  form->FormCreate();
  return form;
}

// Where a selection dialog writes the chosen row's key into an edit box of its opener (the box's
// text shows the name): the dynamic property "TagString" of that box.
inline constexpr const char* kTagStringProperty = "TagString";

// What the base-data windows say when the service refuses a save or a delete.
inline host::TStatusTexts BaseDataStatusTexts() {
  return {"保存失败，错误原因：", "该基础资料名称已经录入，请查证！"};
}

// Shows an edit dialog modally with its mode in TagString, frees it, then reloads the list that
// opened it -- also when the dialog ended in an exception, which then goes on.
void RunEditDialog(std::unique_ptr<host::TForm> dialog, const QString& mode,
                   const std::function<void()>& reload);

}  // namespace vlt::templates
