#pragma once
// The edit dialog of a vendor (a trader with IsClient "False").

#include "traderbasedata.h"

class TfrmBaseDataVendorEdit : public vlt::business::TTraderEditDialog {
  Q_OBJECT
 public:
  explicit TfrmBaseDataVendorEdit(QWidget* owner = nullptr);
  ~TfrmBaseDataVendorEdit() override;
};
