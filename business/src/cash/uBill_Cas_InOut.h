#pragma once
// One other income or expense: entered new ("Append" in TagString) or changed ("Edit", the
// record's id in FBid and its values in the boxes), its direction in Tag (1 income, -1 expense).
// A successful save sets the host's FModalResult to 27 so that the list reloads.

#include <QString>
#include <string>

#include "uBaseForm.h"

class QAction;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QToolButton;
namespace vlt::templates {
class TDateBox;
class TNumberBox;
}  // namespace vlt::templates

class TfrmBill_Cas_InOut : public TfrmBaseForm {
  Q_OBJECT
 public:
  explicit TfrmBill_Cas_InOut(QWidget* owner = nullptr);
  ~TfrmBill_Cas_InOut() override;

  QAction* actSaveAndNew;    // "保存新增" Ctrl+Enter
  QAction* actSaveAndClose;  // "保存退出" Ctrl+Q
  QAction* actSelectCashIoType;
  QAction* actSelectAccount;
  QLabel* lblAccIoType;
  QLineEdit* edtAccIoType;  // the category's name; its id in the box's TagString
  vlt::templates::TDateBox* edtdate;
  QLabel* lblAccID;
  QLineEdit* edtAccount;  // the account's name; its id in the box's TagString
  QLabel* lblAmt;
  vlt::templates::TNumberBox* edtAmt;
  QPlainTextEdit* mmoRemark;
  QLineEdit* edtCreateOp;
  QLineEdit* edtCreateTime;
  QLineEdit* edtUpdateOp;
  QLineEdit* edtUpdateTime;

  std::string FBid;  // the edited record

  void FormShow() override;
  // The opener shows the window modally and frees it; closing does not.
  void FormClose() override {}
  void actSelectCashIoTypeExecute();
  void actSelectAccountExecute();
  void actCheckBeforeSaveExecute();
  void actSaveAndNewExecute();
  void actSaveAndCloseExecute();
  // The statement of the current mode (checked values only).
  std::string SaveStatement() const;

 private:
  void SaveData();
  bool IsAppend() const;
};
