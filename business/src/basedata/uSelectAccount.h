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
  // Offers the account's id and name: the income/expense entry window takes them into its box
  // (TPickTarget::IntoBox(*edtAccount)), a bill into TPickTarget::IntoFields(cdsMaster,
  // {"AccountID", "AccName"}).
  void actOKExecute() override;
  void actModifyExecute() override;
};
