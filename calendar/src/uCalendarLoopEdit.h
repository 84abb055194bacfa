#pragma once
// The repeat-template window: the user's templates, changed through the task window or deleted.

#include "vlt/host.h"

class QAction;
class QPushButton;
namespace vlt::components {
class TNxStringGrid;
}

class TfrmCalendarLoopEdit : public vlt::host::TForm {
  Q_OBJECT
 public:
  explicit TfrmCalendarLoopEdit(QWidget* owner = nullptr);
  ~TfrmCalendarLoopEdit() override;

  vlt::components::TNxStringGrid* grdLoop;
  QAction* actModify;
  QAction* actDelete;
  QAction* actClose;
  QPushButton* btnModify;
  QPushButton* btnDelete;
  QPushButton* btnClose;

  void FormShow() override;
  void RefreshLoop();
  void actModifyExecute();
  void actDeleteExecute();
};
