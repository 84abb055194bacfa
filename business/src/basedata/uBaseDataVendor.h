#pragma once
// The list of the vendors of the current account set, with what is still owed to each.

#include "traderbasedata.h"

class TfrmBaseDataVendor : public vlt::business::TTraderListForm {
  Q_OBJECT
 public:
  explicit TfrmBaseDataVendor(QWidget* owner = nullptr);
  ~TfrmBaseDataVendor() override;

 protected:
  std::unique_ptr<vlt::business::TTraderEditDialog> CreateEditDialog() const override;
};
