#include "uReport_SalBackD.h"

VLT_REGISTER_CLASS(uReport_SalBackD, TfrmRptSalBackD);

TfrmRptSalBackD::TfrmRptSalBackD(QWidget* owner)
    : TfrmRptTradeDetail(owner, {"销售退货单明细表", "tb_sal_back", "客户名称"}) {}
