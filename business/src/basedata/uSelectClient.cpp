#include "uSelectClient.h"

VLT_REGISTER_CLASS(uSelectClient, TfrmSelectClient);

TfrmSelectClient::TfrmSelectClient(QWidget* owner) : TTraderSelectForm(owner, true) {}

TfrmSelectClient::~TfrmSelectClient() = default;
