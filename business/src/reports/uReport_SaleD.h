#pragma once
// 销售发货单明细表: every tb_sal_sale line in the range, per trader.

#include "reportfamilies.h"

class TfrmRptSaleD : public TfrmRptTradeDetail {
  Q_OBJECT
 public:
  explicit TfrmRptSaleD(QWidget* owner = nullptr);
};
