#include "uReport_PurOrderM.h"

VLT_REGISTER_CLASS(uReport_PurOrderM, TfrmRptPurOrderM);

TfrmRptPurOrderM::TfrmRptPurOrderM(QWidget* owner)
    : TfrmRptTradeSummary(owner, {"采购订货单汇总表", "tb_pur_order", "供货商名称"}) {}
