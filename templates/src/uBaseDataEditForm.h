#pragma once
// TfrmBaseDataEdit: the small modal dialog in which one base-data record is entered or changed.
// The template owns the save sequence: validate, build the statement, send it, report the
// outcome, then close ("保存退出", Ctrl+Q) or carry on with a new record ("保存新增",
// Ctrl+Enter). Escape closes without saving; Enter in a box moves on to the next one.
//
// How a descendant uses it:
// - Put the input boxes into pnlMain (EditRows() is a form layout ready for label/box rows).
// - Keep the edited record in a field of its own (FUnitInfo, ...) that the opener fills.
// - The opener sets TagString to the mode, "Append" or "Edit" (any letter case), shows the
//   dialog modally and frees it (TfrmBaseDataForm::ShowEditDialog does all three).
// - Override the four hooks, calling the inherited Vlt_BeforeSaveData()/Vlt_AfterSaveData()
//   first:
//     Vlt_BeforeSaveData(): check the boxes; on an error ShowMessage, focus the box, Abort().
//     Vlt_GetInsertStr():  the insert statement, key from GetNewID(), values quotedStr()'d.
//     Vlt_GetUpdateStr():  the update statement, or "" when nothing changed (the template
//                          then says there is nothing to save and sends nothing).
//     Vlt_AfterSaveData(): after a successful save-and-new: clear the boxes, focus the first,
//                          TagString = "Append".

#include <QFormLayout>
#include <string>

#include "vlt/host.h"

class QAction;
class QActionGroup;
class QFrame;
class QToolButton;

class TfrmBaseDataEdit : public vlt::host::TForm {
  Q_OBJECT
 public:
  explicit TfrmBaseDataEdit(QWidget* owner = nullptr);
  ~TfrmBaseDataEdit() override;

  QWidget* lytTop;
  QToolButton* btnSaveAndClose;
  QToolButton* btnSaveAndNew;
  QActionGroup* actlst1;
  QFrame* pnlMain;
  QAction* actSaveAndNew;    // "保存新增" Ctrl+Enter
  QAction* actSaveAndClose;  // "保存退出" Ctrl+Q

  virtual std::string Vlt_GetUpdateStr() { return {}; }
  virtual std::string Vlt_GetInsertStr() { return {}; }
  virtual void Vlt_BeforeSaveData() {}
  virtual void Vlt_AfterSaveData() {}

  void actSaveAndCloseExecute();
  void actSaveAndNewExecute();
  // Tells the user why the service refused a save.
  void ShowSaveResultStr(const std::string& ResultText);

  // The rows of label and box in pnlMain.
  QFormLayout* EditRows() const { return editRows_; }
  // The mode in TagString, compared without regard to letter case.
  bool IsMode(const QString& mode) const;

 protected:
  void keyPressEvent(QKeyEvent* event) override;

 private:
  // The save sequence of both buttons; `closeAfter` tells them apart.
  void SaveData(bool closeAfter);
  // Sends the statement; on "0" closes or starts the next record, otherwise reports and aborts.
  void SendAndFinish(const std::string& sql, bool closeAfter);

  QFormLayout* editRows_;
};
