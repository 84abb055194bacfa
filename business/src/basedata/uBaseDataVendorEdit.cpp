#include "uBaseDataVendorEdit.h"

VLT_REGISTER_CLASS(uBaseDataVendorEdit, TfrmBaseDataVendorEdit);

TfrmBaseDataVendorEdit::TfrmBaseDataVendorEdit(QWidget* owner)
    : TTraderEditDialog(owner, vlt::business::VendorKind()) {}

TfrmBaseDataVendorEdit::~TfrmBaseDataVendorEdit() = default;
