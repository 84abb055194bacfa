#pragma once
// The vendor list from which a purchase-side bill or a payment takes its vendor.

#include "selectdialogs.h"

class TfrmSelectVendor : public vlt::business::TTraderSelectForm {
  Q_OBJECT
 public:
  explicit TfrmSelectVendor(QWidget* owner = nullptr);
  ~TfrmSelectVendor() override;
};
