#pragma once
// 采购订货单明细表: every tb_pur_order line in the range, per trader.

#include "reportfamilies.h"

class TfrmRptPurOrderD : public TfrmRptTradeDetail {
  Q_OBJECT
 public:
  explicit TfrmRptPurOrderD(QWidget* owner = nullptr);
};
