#pragma once
// 客户往来结算流水表: what each client owes, movement by movement.

#include "reportfamilies.h"

class TfrmRptBalGatheringflow : public TfrmRptBalFlow {
  Q_OBJECT
 public:
  explicit TfrmRptBalGatheringflow(QWidget* owner = nullptr);
};
