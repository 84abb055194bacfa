#pragma once
// 采购订货单汇总表: quantity and amount of the tb_pur_order lines per trader in the range.

#include "reportfamilies.h"

class TfrmRptPurOrderM : public TfrmRptTradeSummary {
  Q_OBJECT
 public:
  explicit TfrmRptPurOrderM(QWidget* owner = nullptr);
};
