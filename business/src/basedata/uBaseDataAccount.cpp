#include "uBaseDataAccount.h"

#include "uBaseDataAccountEdit.h"

VLT_REGISTER_CLASS(uBaseDataAccount, TfrmBaseDataAccount);

using namespace vlt::host;
using vlt::templates::CreateForm;

TfrmBaseDataAccount::TfrmBaseDataAccount(QWidget* owner) : TfrmBaseDataGridForm(owner) {}

TfrmBaseDataAccount::~TfrmBaseDataAccount() = default;

void TfrmBaseDataAccount::FormCreate() {
  setWindowTitle("基础资料 -> 结算账户");
  FBaseDataTableName = "td_Account";
  FOpenBaseDataSql = "select * from " + FBaseDataTableName;
  GrdMain->Bind(&cdsBaseData,
                {{"Id", "", 0, false}, {"Name", "帐户名称", 160}, {"Balance", "帐户余额", 100}});
  TfrmBaseDataGridForm::FormCreate();
}

void TfrmBaseDataAccount::actNewExecute() {
  ShowEditDialog(CreateForm<TfrmBaseDataAccountEdit>(), "Append");
}

void TfrmBaseDataAccount::actEditExecute() {
  CheckBeforeEdit();
  auto dialog = CreateForm<TfrmBaseDataAccountEdit>();
  dialog->FAccountInfo.ID = qs(cdsBaseData.FieldByName("ID").AsString());
  dialog->FAccountInfo.Name = qs(cdsBaseData.FieldByName("Name").AsString());
  ShowEditDialog(std::move(dialog), "Edit");
}
