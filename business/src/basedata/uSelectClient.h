#pragma once
// The client list from which a sales-side bill or a receipt takes its client.

#include "selectdialogs.h"

class TfrmSelectClient : public vlt::business::TTraderSelectForm {
  Q_OBJECT
 public:
  explicit TfrmSelectClient(QWidget* owner = nullptr);
  ~TfrmSelectClient() override;
};
