#pragma once
// 采购收货单汇总表: quantity and amount of the tb_pur_purchase lines per trader in the range.

#include "reportfamilies.h"

class TfrmRptPurchaseM : public TfrmRptTradeSummary {
  Q_OBJECT
 public:
  explicit TfrmRptPurchaseM(QWidget* owner = nullptr);
};
