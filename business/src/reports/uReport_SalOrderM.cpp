#include "uReport_SalOrderM.h"

VLT_REGISTER_CLASS(uReport_SalOrderM, TfrmRptSalOrderM);

TfrmRptSalOrderM::TfrmRptSalOrderM(QWidget* owner)
    : TfrmRptTradeSummary(owner, {"销售订单货汇总表", "tb_sal_order", "客户名称"}) {}
