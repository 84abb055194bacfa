#include "uReport_PurOrderD.h"

VLT_REGISTER_CLASS(uReport_PurOrderD, TfrmRptPurOrderD);

TfrmRptPurOrderD::TfrmRptPurOrderD(QWidget* owner)
    : TfrmRptTradeDetail(owner, {"采购订货单明细表", "tb_pur_order", "供货商名称"}) {}
