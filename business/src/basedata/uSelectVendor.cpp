#include "uSelectVendor.h"

VLT_REGISTER_CLASS(uSelectVendor, TfrmSelectVendor);

TfrmSelectVendor::TfrmSelectVendor(QWidget* owner) : TTraderSelectForm(owner, false) {}

TfrmSelectVendor::~TfrmSelectVendor() = default;
