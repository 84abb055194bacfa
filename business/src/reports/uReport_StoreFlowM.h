#pragma once
// 库存货品出入库汇总表: per goods the stock before the range, what came in and went out in it,
// and what is left.

#include <string>

#include "reportfamilies.h"

class TfrmRptStoreFlowM : public TfrmBaseReportForm {
  Q_OBJECT
 public:
  explicit TfrmRptStoreFlowM(QWidget* owner = nullptr);
  void FormCreate() override;

 protected:
  void SetOpenWhereStr() override;

  std::string MFilterStr;  // the goods filter of the find choice
};
