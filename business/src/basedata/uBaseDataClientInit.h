#pragma once
// The opening receivables of the clients.

#include "openingbalance.h"

class TfrmBaseDataClientInit : public vlt::business::TOpeningBalanceForm {
  Q_OBJECT
 public:
  explicit TfrmBaseDataClientInit(QWidget* owner = nullptr);
  ~TfrmBaseDataClientInit() override;

  vlt::ClientDataSet cds1;

  void FormCreate() override;
};
