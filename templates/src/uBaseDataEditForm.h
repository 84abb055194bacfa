#pragma once
// TfrmBaseDataEdit: the small modal dialog in which one base-data record is entered or changed.
// The template owns the save sequence: validate, build the statement, send it, report the
// outcome, then close ("保存退出", Ctrl+Q) or carry on with a new record ("保存新增",
// Ctrl+Enter). Escape closes without saving; Enter in a box moves on to the next one.
//
// How a descendant uses it:
// - Put the input boxes into pnlMain: AddBox()/AddRow() add caption + box rows; a larger window
//   lays out its own area with vlt::templates::TFormRows (formrows.h) and adds it to EditRows().
//   Number and date boxes are TNumberBox/TDateBox; check them with CheckBoxes() in
//   Vlt_BeforeSaveData().
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
class QLabel;
class QLineEdit;
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

  // The rows of label and box in pnlMain.
  QFormLayout* EditRows() const { return editRows_; }
  // The next row of pnlMain: a caption and its box (the caption is the box's buddy and its
  // accessible name). `place`, when given, is what goes into the row (the box with its buttons,
  // BoxWithButtons()). Returns the caption.
  QLabel* AddRow(const QString& caption, QWidget* box, QWidget* place = nullptr);
  // A text box named `name` in the next row.
  QLineEdit* AddBox(const char* name, const QString& caption, int maxLength = 0);
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
