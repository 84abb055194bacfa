#pragma once
// 费用支出流水表: expenses by date with their total.

#include "reportfamilies.h"

class TfrmRptCashOutFlow : public TfrmRptCashFlow {
  Q_OBJECT
 public:
  explicit TfrmRptCashOutFlow(QWidget* owner = nullptr);
};
