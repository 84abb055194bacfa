#include "uBaseDataClientEdit.h"

VLT_REGISTER_CLASS(uBaseDataClientEdit, TfrmBaseDataClientEdit);

TfrmBaseDataClientEdit::TfrmBaseDataClientEdit(QWidget* owner)
    : TTraderEditDialog(owner, vlt::business::ClientKind()) {}

TfrmBaseDataClientEdit::~TfrmBaseDataClientEdit() = default;
