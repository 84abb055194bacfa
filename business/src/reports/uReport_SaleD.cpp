#include "uReport_SaleD.h"

VLT_REGISTER_CLASS(uReport_SaleD, TfrmRptSaleD);

TfrmRptSaleD::TfrmRptSaleD(QWidget* owner)
    : TfrmRptTradeDetail(owner, {"销售发货单明细表", "tb_sal_sale", "客户名称"}) {}
