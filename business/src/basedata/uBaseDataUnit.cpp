#include "uBaseDataUnit.h"

#include "uBaseDataUnitEdit.h"

VLT_REGISTER_CLASS(uBaseDataUnit, TfrmBaseDataUnit);

using namespace vlt::host;
using vlt::templates::CreateForm;

TfrmBaseDataUnit::TfrmBaseDataUnit(QWidget* owner) : TfrmBaseDataGridForm(owner) {}

TfrmBaseDataUnit::~TfrmBaseDataUnit() = default;

void TfrmBaseDataUnit::FormCreate() {
  setWindowTitle("基础资料 -> 计量单位");
  FBaseDataTableName = "td_Unit";
  FOpenBaseDataSql = "select * from " + FBaseDataTableName;
  GrdMain->Bind(&cdsBaseData, {{"Id", "", 0, false}, {"Name", "单位名称", 160}});
  TfrmBaseDataGridForm::FormCreate();
}

void TfrmBaseDataUnit::actNewExecute() {
  ShowEditDialog(CreateForm<TfrmBaseDataUnitEdit>(), "Append");
}

void TfrmBaseDataUnit::actEditExecute() {
  CheckBeforeEdit();
  auto dialog = CreateForm<TfrmBaseDataUnitEdit>();
  dialog->FUnitInfo.ID = qs(cdsBaseData.FieldByName("ID").AsString());
  dialog->FUnitInfo.Name = qs(cdsBaseData.FieldByName("Name").AsString());
  ShowEditDialog(std::move(dialog), "Edit");
}
