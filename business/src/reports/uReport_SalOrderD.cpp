#include "uReport_SalOrderD.h"

VLT_REGISTER_CLASS(uReport_SalOrderD, TfrmRptSalOrderD);

TfrmRptSalOrderD::TfrmRptSalOrderD(QWidget* owner)
    : TfrmRptTradeDetail(owner, {"销售订货单明细表", "tb_sal_order", "客户名称"}) {}
