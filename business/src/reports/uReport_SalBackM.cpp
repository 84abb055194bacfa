#include "uReport_SalBackM.h"

VLT_REGISTER_CLASS(uReport_SalBackM, TfrmRptSalBackM);

TfrmRptSalBackM::TfrmRptSalBackM(QWidget* owner)
    : TfrmRptTradeSummary(owner, {"销售退货单汇总表", "tb_sal_back", "客户名称"}) {}
