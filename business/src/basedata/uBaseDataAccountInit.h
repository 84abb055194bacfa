#pragma once
// The opening money in the settlement accounts.

#include "openingbalance.h"

class TfrmBaseDataAccountInit : public vlt::business::TOpeningBalanceForm {
  Q_OBJECT
 public:
  explicit TfrmBaseDataAccountInit(QWidget* owner = nullptr);
  ~TfrmBaseDataAccountInit() override;

  vlt::ClientDataSet cds1;

  void FormCreate() override;
};
