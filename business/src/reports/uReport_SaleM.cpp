#include "uReport_SaleM.h"

VLT_REGISTER_CLASS(uReport_SaleM, TfrmRptSaleM);

TfrmRptSaleM::TfrmRptSaleM(QWidget* owner)
    : TfrmRptTradeSummary(owner, {"销售发货单汇总表", "tb_sal_sale", "客户名称"}) {}
