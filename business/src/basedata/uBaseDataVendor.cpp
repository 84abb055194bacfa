#include "uBaseDataVendor.h"

#include "uBaseDataVendorEdit.h"

VLT_REGISTER_CLASS(uBaseDataVendor, TfrmBaseDataVendor);

TfrmBaseDataVendor::TfrmBaseDataVendor(QWidget* owner)
    : TTraderListForm(owner, vlt::business::VendorKind()) {}

TfrmBaseDataVendor::~TfrmBaseDataVendor() = default;

std::unique_ptr<vlt::business::TTraderEditDialog> TfrmBaseDataVendor::CreateEditDialog() const {
  return vlt::templates::CreateForm<TfrmBaseDataVendorEdit>();
}
