#pragma once
// 销售退货单明细表: every tb_sal_back line in the range, per trader.

#include "reportfamilies.h"

class TfrmRptSalBackD : public TfrmRptTradeDetail {
  Q_OBJECT
 public:
  explicit TfrmRptSalBackD(QWidget* owner = nullptr);
};
