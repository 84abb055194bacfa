#include "uReport_PurBackD.h"

VLT_REGISTER_CLASS(uReport_PurBackD, TfrmRptPurBackD);

TfrmRptPurBackD::TfrmRptPurBackD(QWidget* owner)
    : TfrmRptTradeDetail(owner, {"采购退货单明细表", "tb_pur_back", "供货商名称"}) {}
