#include "uSelectAccount.h"

#include <QRadioButton>

#include "vlt/errors.h"

VLT_REGISTER_CLASS(uSelectAccount, TfrmSelectAccount);

using namespace vlt;
using namespace vlt::host;

namespace {

// The income/expense entry window, which keeps its account in a box rather than a data set.
bool IsCashEntryWindow(QWidget* form) {
  auto* window = qobject_cast<TForm*>(form);
  return window && window->ClassName() == QLatin1String("TfrmBill_Cas_InOut");
}

}  // namespace

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
  const std::string id = PickText("ID");
  const std::string name = PickText("Name");
  if (!ParentForm) {
    HandOverChoice({id, name});
  } else if (IsCashEntryWindow(ParentForm)) {
    QObject* box = GetFormComponent(ParentForm, QStringLiteral("edtAccount"));
    if (!box) throw Error("The opening window has no component named edtAccount");
    vlt::business::SetBoxChoice(*box, qs(name), qs(id));
  } else {
    ClientDataSet& master = ParentMasterForEdit();
    master.FieldByName("AccountID").SetAsString(id);
    master.FieldByName("AccName").SetAsString(name);
  }
  close();
}

void TfrmSelectAccount::actModifyExecute() {
  OpenBaseDataList(QStringLiteral("uBaseDataAccount.TfrmBaseDataAccount"));
}
