#pragma once
// 销售订货单汇总表: quantity and amount of the tb_sal_order lines per trader in the range.

#include "reportfamilies.h"

class TfrmRptSalOrderM : public TfrmRptTradeSummary {
  Q_OBJECT
 public:
  explicit TfrmRptSalOrderM(QWidget* owner = nullptr);
};
