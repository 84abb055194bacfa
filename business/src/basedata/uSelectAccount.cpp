#include "uSelectAccount.h"

#include <QRadioButton>

VLT_REGISTER_CLASS(uSelectAccount, TfrmSelectAccount);

using namespace vlt;
using namespace vlt::host;

TfrmSelectAccount::TfrmSelectAccount(QWidget* owner) : TBaseDataPickForm(owner) {
  rbDName = AddFilterRadio("rbDName", "帐户名称", "Name like ", true);
}

TfrmSelectAccount::~TfrmSelectAccount() = default;

void TfrmSelectAccount::FormCreate() {
  setWindowTitle("帐户选择");
  FBaseDataTableName = "td_Account";
  FOpenBaseDataSql = "select * from " + FBaseDataTableName;
  FFilterStr = "Name like ";
  grd->Bind(&cdsSelectData, {{"Id", "", 0, false}, {"Name", "帐号名称", 200}});
  BindGridPick(actOK);
  TBaseDataPickForm::FormCreate();
}

void TfrmSelectAccount::actOKExecute() {
  if (!HasCurrentRow()) return;
  Target.Deliver({PickText("ID"), PickText("Name")});
  close();
}

void TfrmSelectAccount::actModifyExecute() {
  OpenBaseDataList(QStringLiteral("uBaseDataAccount.TfrmBaseDataAccount"));
}
