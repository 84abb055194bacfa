#pragma once
// The opening payables to the vendors.

#include "openingbalance.h"

class TfrmBaseDataVendorInit : public vlt::business::TOpeningBalanceForm {
  Q_OBJECT
 public:
  explicit TfrmBaseDataVendorInit(QWidget* owner = nullptr);
  ~TfrmBaseDataVendorInit() override;

  vlt::ClientDataSet cds;

  void FormCreate() override;
};
