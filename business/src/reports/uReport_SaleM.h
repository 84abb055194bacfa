#pragma once
// 销售发货单汇总表: quantity and amount of the tb_sal_sale lines per trader in the range.

#include "reportfamilies.h"

class TfrmRptSaleM : public TfrmRptTradeSummary {
  Q_OBJECT
 public:
  explicit TfrmRptSaleM(QWidget* owner = nullptr);
};
