#pragma once
// 供应商往来结算流水表: what is owed to each vendor, movement by movement.

#include "reportfamilies.h"

class TfrmRptBalPaymentflow : public TfrmRptBalFlow {
  Q_OBJECT
 public:
  explicit TfrmRptBalPaymentflow(QWidget* owner = nullptr);
};
