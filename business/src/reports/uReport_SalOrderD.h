#pragma once
// 销售订货单明细表: every tb_sal_order line in the range, per trader.

#include "reportfamilies.h"

class TfrmRptSalOrderD : public TfrmRptTradeDetail {
  Q_OBJECT
 public:
  explicit TfrmRptSalOrderD(QWidget* owner = nullptr);
};
