#include "uReport_PurchaseM.h"

VLT_REGISTER_CLASS(uReport_PurchaseM, TfrmRptPurchaseM);

TfrmRptPurchaseM::TfrmRptPurchaseM(QWidget* owner)
    : TfrmRptTradeSummary(owner, {"采购收货单汇总表", "tb_pur_purchase", "供货商名称"}) {}
