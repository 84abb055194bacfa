#include "uReport_PurchaseD.h"

VLT_REGISTER_CLASS(uReport_PurchaseD, TfrmRptPurchaseD);

TfrmRptPurchaseD::TfrmRptPurchaseD(QWidget* owner)
    : TfrmRptTradeDetail(owner, {"采购收货单明细表", "tb_pur_purchase", "供货商名称"}) {}
