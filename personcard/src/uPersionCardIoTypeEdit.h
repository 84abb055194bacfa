#pragma once
// One category name of the signed-in user: a new one ("Append" in TagString) of the kind in Tag
// (1 income, 2 expense, 3 credit card), or a new name for the category IoTypeID ("Edit").
// A refused save keeps the window and the typed name.

#include <QString>

#include "uBaseForm.h"

class QAction;
class QLabel;
class QLineEdit;

class TfrmPersionCardIoTypeEdit : public TfrmBaseForm {
  Q_OBJECT
 public:
  explicit TfrmPersionCardIoTypeEdit(QWidget* owner = nullptr);
  ~TfrmPersionCardIoTypeEdit() override;

  QAction* actSaveAndNew;    // "保存新增" Ctrl+Enter
  QAction* actSaveAndClose;  // "保存退出" Alt+Enter
  QLabel* lblName;
  QLineEdit* edtName;

  int FIODirect = 0;
  int IoTypeID = 0;
  QString IOTypeName;

  void FormShow() override;
  // The opener shows the window modally and frees it; closing does not.
  void FormClose() override {}
  void SaveData();
  void actSaveAndNewExecute();
  void actSaveAndCloseExecute();
  std::string SaveStatement() const;

 protected:
  void keyPressEvent(QKeyEvent* event) override;

 private:
  bool IsAppend() const;
};
