#include "uBaseDataAccountEdit.h"

VLT_REGISTER_CLASS(uBaseDataAccountEdit, TfrmBaseDataAccountEdit);

using namespace vlt::host;
using namespace vlt::business;

TfrmBaseDataAccountEdit::TfrmBaseDataAccountEdit(QWidget* owner)
    : TNameEditDialog(owner, "结算帐户编辑", "帐户名称", "帐户名称不能为空！") {}

TfrmBaseDataAccountEdit::~TfrmBaseDataAccountEdit() = default;

std::string TfrmBaseDataAccountEdit::Vlt_GetInsertStr() {
  return NameInsertSql("td_Account", TrimmedName());
}

std::string TfrmBaseDataAccountEdit::Vlt_GetUpdateStr() {
  if (qs(TrimmedName()) == FAccountInfo.Name) return {};
  return NameUpdateSql("td_Account", TrimmedName(), ss(FAccountInfo.ID));
}
