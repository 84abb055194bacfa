#include "uReport_CashInFlow.h"

VLT_REGISTER_CLASS(uReport_CashInFlow, TfrmRptCashInflow);

TfrmRptCashInflow::TfrmRptCashInflow(QWidget* owner) : TfrmRptCashFlow(owner, true) {}
