#pragma once
// The list of the income and expense categories of the current account set, showing either the
// other-income or the expense categories (expense at first).

#include <QRadioButton>

#include "uBaseDataGridForm.h"

class TfrmBaseDataAccIOTypeEdit;

class TfrmBaseDataAccIOType : public TfrmBaseDataGridForm {
  Q_OBJECT
 public:
  explicit TfrmBaseDataAccIOType(QWidget* owner = nullptr);
  ~TfrmBaseDataAccIOType() override;

  QRadioButton* rbAccIN;   // "其他收入类别"
  QRadioButton* rbAccOut;  // "费用支出类别"

  void FormCreate() override;
  void actNewExecute() override;
  void actEditExecute() override;
  void rbAccINChange(bool checked);
  void rbAccOutChange(bool checked);

 private:
  void SetDirectionFilter(const char* filter);
  // The dialog starts on the direction the list shows.
  void PassDirection(TfrmBaseDataAccIOTypeEdit& dialog) const;
};
