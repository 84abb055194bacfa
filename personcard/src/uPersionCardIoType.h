#pragma once
// The signed-in user's categories of one kind (TagString "1" income, "2" expense, "3" credit
// cards), with adding, renaming and deleting. Entries keep their category as text, so renaming
// or deleting a category leaves them as they are.

#include "uBaseFormEx.h"
#include "vlt/dataset.h"

class QAction;
class QToolButton;
namespace vlt::components {
class TNxStringGrid;
}

class TfrmPersionCardIoType : public TfrmBaseFormEx {
  Q_OBJECT
 public:
  explicit TfrmPersionCardIoType(QWidget* owner = nullptr);
  ~TfrmPersionCardIoType() override;

  QAction* actAdd;     // "新增" Ctrl+N
  QAction* actModify;  // "修改" Ctrl+M
  QAction* actDel;     // "删除" Ctrl+D
  QToolButton* btnNew;
  QToolButton* btnModify;
  QToolButton* btnDel;
  vlt::ClientDataSet cdsPersionIOType;
  vlt::components::TNxStringGrid* grd;

  int FIOKind = 0;
  int FIODirect = 0;

  void FormCreate() override;
  void FormShow() override;
  // Loads every category of the user; the list shows the window's kind.
  void RefreshData();
  // False (with the message) when there is no row to change.
  bool CheckBeforeEdit();
  void actAddExecute();
  void actModifyExecute();
  void actDelExecute();
  void grdDblClick();

 protected:
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void runEdit(const QString& mode, int id, const QString& name);
};
