#pragma once
// The edit dialog of a client (a trader with IsClient "True").

#include "traderbasedata.h"

class TfrmBaseDataClientEdit : public vlt::business::TTraderEditDialog {
  Q_OBJECT
 public:
  explicit TfrmBaseDataClientEdit(QWidget* owner = nullptr);
  ~TfrmBaseDataClientEdit() override;
};
