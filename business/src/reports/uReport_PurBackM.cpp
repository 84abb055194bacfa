#include "uReport_PurBackM.h"

VLT_REGISTER_CLASS(uReport_PurBackM, TfrmRptPurBackM);

TfrmRptPurBackM::TfrmRptPurBackM(QWidget* owner)
    : TfrmRptTradeSummary(owner, {"采购退货单汇总表", "tb_pur_back", "供货商名称"}) {}
