#pragma once
// The list of the settlement accounts of the current account set, with their balances.

#include "uBaseDataGridForm.h"

class TfrmBaseDataAccount : public TfrmBaseDataGridForm {
  Q_OBJECT
 public:
  explicit TfrmBaseDataAccount(QWidget* owner = nullptr);
  ~TfrmBaseDataAccount() override;

  void FormCreate() override;
  void actNewExecute() override;
  void actEditExecute() override;
};
