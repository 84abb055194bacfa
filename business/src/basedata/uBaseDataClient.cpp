#include "uBaseDataClient.h"

#include "uBaseDataClientEdit.h"

VLT_REGISTER_CLASS(uBaseDataClient, TfrmBaseDataClient);

TfrmBaseDataClient::TfrmBaseDataClient(QWidget* owner)
    : TTraderListForm(owner, vlt::business::ClientKind()) {}

TfrmBaseDataClient::~TfrmBaseDataClient() = default;

std::unique_ptr<vlt::business::TTraderEditDialog> TfrmBaseDataClient::CreateEditDialog() const {
  return vlt::templates::CreateForm<TfrmBaseDataClientEdit>();
}
