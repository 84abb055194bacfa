#pragma once
// 库存货品出入库明细表: every stock movement in the range, per goods, signed (out negative),
// with the net movement as the goods' subtotal.

#include "reportfamilies.h"

class TfrmRptStoreFlowD : public TfrmBaseReportForm {
  Q_OBJECT
 public:
  explicit TfrmRptStoreFlowD(QWidget* owner = nullptr);
  void FormCreate() override;

 protected:
  void SetOpenWhereStr() override;
};
