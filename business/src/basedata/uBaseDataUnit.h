#pragma once
// The list of the units of measure of the current account set.

#include "uBaseDataGridForm.h"

class TfrmBaseDataUnit : public TfrmBaseDataGridForm {
  Q_OBJECT
 public:
  explicit TfrmBaseDataUnit(QWidget* owner = nullptr);
  ~TfrmBaseDataUnit() override;

  void FormCreate() override;
  void actNewExecute() override;
  void actEditExecute() override;
};
