#pragma once
// The list of the clients of the current account set, with what each still owes.

#include "traderbasedata.h"

class TfrmBaseDataClient : public vlt::business::TTraderListForm {
  Q_OBJECT
 public:
  explicit TfrmBaseDataClient(QWidget* owner = nullptr);
  ~TfrmBaseDataClient() override;

 protected:
  std::unique_ptr<vlt::business::TTraderEditDialog> CreateEditDialog() const override;
};
