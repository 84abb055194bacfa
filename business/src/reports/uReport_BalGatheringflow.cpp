#include "uReport_BalGatheringflow.h"

VLT_REGISTER_CLASS(uReport_BalGatheringflow, TfrmRptBalGatheringflow);

TfrmRptBalGatheringflow::TfrmRptBalGatheringflow(QWidget* owner) : TfrmRptBalFlow(owner, true) {}
