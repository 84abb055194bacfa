#include "uReport_CashOutFlow.h"

VLT_REGISTER_CLASS(uReport_CashOutFlow, TfrmRptCashOutFlow);

TfrmRptCashOutFlow::TfrmRptCashOutFlow(QWidget* owner) : TfrmRptCashFlow(owner, false) {}
