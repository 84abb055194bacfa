#pragma once
// 采购退货单汇总表: quantity and amount of the tb_pur_back lines per trader in the range.

#include "reportfamilies.h"

class TfrmRptPurBackM : public TfrmRptTradeSummary {
  Q_OBJECT
 public:
  explicit TfrmRptPurBackM(QWidget* owner = nullptr);
};
