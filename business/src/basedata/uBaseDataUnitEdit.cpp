#include "uBaseDataUnitEdit.h"

VLT_REGISTER_CLASS(uBaseDataUnitEdit, TfrmBaseDataUnitEdit);

using namespace vlt::host;
using namespace vlt::business;

TfrmBaseDataUnitEdit::TfrmBaseDataUnitEdit(QWidget* owner)
    : TNameEditDialog(owner, "计量单位编辑", "单位名称", "计量单位名称不能为空！") {}

TfrmBaseDataUnitEdit::~TfrmBaseDataUnitEdit() = default;

std::string TfrmBaseDataUnitEdit::Vlt_GetInsertStr() {
  return NameInsertSql("td_unit", TrimmedName());
}

std::string TfrmBaseDataUnitEdit::Vlt_GetUpdateStr() {
  if (qs(TrimmedName()) == FUnitInfo.Name) return {};
  return NameUpdateSql("td_unit", TrimmedName(), ss(FUnitInfo.ID));
}
