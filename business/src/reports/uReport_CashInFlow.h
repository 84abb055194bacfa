#pragma once
// 其他收入流水表: other incomes by date with their total.

#include "reportfamilies.h"

class TfrmRptCashInflow : public TfrmRptCashFlow {
  Q_OBJECT
 public:
  explicit TfrmRptCashInflow(QWidget* owner = nullptr);
};
