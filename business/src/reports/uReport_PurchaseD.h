#pragma once
// 采购收货单明细表: every tb_pur_purchase line in the range, per trader.

#include "reportfamilies.h"

class TfrmRptPurchaseD : public TfrmRptTradeDetail {
  Q_OBJECT
 public:
  explicit TfrmRptPurchaseD(QWidget* owner = nullptr);
};
