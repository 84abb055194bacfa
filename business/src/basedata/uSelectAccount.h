#pragma once
// The settlement-account list from which a bill or an income/expense entry takes its account.

#include "selectdialogs.h"

class TfrmSelectAccount : public vlt::business::TBaseDataPickForm {
  Q_OBJECT
 public:
  explicit TfrmSelectAccount(QWidget* owner = nullptr);
  ~TfrmSelectAccount() override;

  QRadioButton* rbDName;

  void FormCreate() override;
  // The income/expense entry window takes the account into its box edtAccount; a bill into its
  // data set's AccountID and AccName.
  void actOKExecute() override;
  void actModifyExecute() override;
};
