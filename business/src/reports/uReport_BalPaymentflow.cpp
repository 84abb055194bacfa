#include "uReport_BalPaymentflow.h"

VLT_REGISTER_CLASS(uReport_BalPaymentflow, TfrmRptBalPaymentflow);

TfrmRptBalPaymentflow::TfrmRptBalPaymentflow(QWidget* owner) : TfrmRptBalFlow(owner, false) {}
