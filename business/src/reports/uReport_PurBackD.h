#pragma once
// 采购退货单明细表: every tb_pur_back line in the range, per trader.

#include "reportfamilies.h"

class TfrmRptPurBackD : public TfrmRptTradeDetail {
  Q_OBJECT
 public:
  explicit TfrmRptPurBackD(QWidget* owner = nullptr);
};
