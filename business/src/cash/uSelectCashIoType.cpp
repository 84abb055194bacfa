#include "uSelectCashIoType.h"

#include <string>

VLT_REGISTER_CLASS(uSelectCashIoType, TfrmSelectCashIOType);

using namespace vlt;
using namespace vlt::host;

TfrmSelectCashIOType::TfrmSelectCashIOType(QWidget* owner) : TBaseDataPickForm(owner) {
  rbDName = AddFilterRadio("rbDName", "类别名称", "Name like ", true);
}

TfrmSelectCashIOType::~TfrmSelectCashIOType() = default;

void TfrmSelectCashIOType::FormCreate() {
  setWindowTitle("收支类别选择");
  FBaseDataTableName = "td_accountiotype";
  FOpenBaseDataSql = "select * from " + FBaseDataTableName;
  FFilterStr = "Name like ";
  grd->Bind(&cdsSelectData, {{"Id", "", 0, false}, {"Name", "类别名称", 200}});
  BindGridPick(actOK);
  TBaseDataPickForm::FormCreate();
}

void TfrmSelectCashIOType::FormShow() {
  // The direction is a number the opener set, never text.
  FOpenBaseDataSql =
      "select * from " + FBaseDataTableName + " where IODirect=" + std::to_string(Tag);
  TBaseDataPickForm::FormShow();
}

void TfrmSelectCashIOType::actOKExecute() {
  if (!HasCurrentRow()) return;
  Target.Deliver({PickText("ID"), PickText("Name")});
  close();
}

void TfrmSelectCashIOType::actModifyExecute() {
  OpenBaseDataList(QStringLiteral("uBaseDataAccIOType.TfrmBaseDataAccIOType"));
}
