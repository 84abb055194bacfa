#pragma once
// One person-card entry of the signed-in user, entered new (TagString "Append") or changed
// ("Edit": the entry comes in the host's hand-over data set), of the kind in Tag (1 income,
// 2 expense, 3 credit-card spending, 4 credit-card repayment). A successful save sets the
// host's FModalResult to 27 so that the list reloads. A refused save keeps the window and what
// was typed.

#include <QString>
#include <string>

#include "uBaseForm.h"
#include "vlt/dataset.h"

class QAction;
class QComboBox;
class QLabel;
class QPlainTextEdit;
class QLineEdit;
namespace vlt::templates {
class TDateBox;
}

class TfrmPersionCardEdit : public TfrmBaseForm {
  Q_OBJECT
 public:
  explicit TfrmPersionCardEdit(QWidget* owner = nullptr);
  ~TfrmPersionCardEdit() override;

  QAction* actSaveAndNew;    // "保存新增" Ctrl+Enter
  QAction* actSaveAndClose;  // "保存退出" Alt+Enter
  QLabel* lblCardType;
  QComboBox* edtCardType;  // free text with the user's categories of the kind to choose from
  vlt::templates::TDateBox* edtdate;
  QLabel* lblAmt;
  QLineEdit* edtAmt;
  QPlainTextEdit* mmoMemo;
  vlt::ClientDataSet cdsPersionIOType;

  int FIODirect = 0;
  std::string FcurRecID;  // the entry being changed

  void FormShow() override;
  // The opener shows the window modally and frees it; closing does not.
  void FormClose() override {}
  void doAddComboEditItem(const QString& text);
  void actSaveAndNewExecute();
  void actSaveAndCloseExecute();
  // The statement of the current mode, from checked values only.
  std::string SaveStatement() const;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void CheckBeforeSave();
  void SaveData();
  bool IsAppend() const;
};
