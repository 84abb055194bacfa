#pragma once
// 销售退货单汇总表: quantity and amount of the tb_sal_back lines per trader in the range.

#include "reportfamilies.h"

class TfrmRptSalBackM : public TfrmRptTradeSummary {
  Q_OBJECT
 public:
  explicit TfrmRptSalBackM(QWidget* owner = nullptr);
};
