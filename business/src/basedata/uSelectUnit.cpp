#include "uSelectUnit.h"

#include <QRadioButton>

VLT_REGISTER_CLASS(uSelectUnit, TfrmSelectUnit);

using namespace vlt::host;

TfrmSelectUnit::TfrmSelectUnit(QWidget* owner) : TBaseDataPickForm(owner) {
  rbDName = AddFilterRadio("rbDName", "单位名称", "Name like ", true);
}

TfrmSelectUnit::~TfrmSelectUnit() = default;

void TfrmSelectUnit::FormCreate() {
  setWindowTitle("计量单位选择");
  FBaseDataTableName = "td_Unit";
  FOpenBaseDataSql = "select * from " + FBaseDataTableName;
  FFilterStr = "Name like ";
  grd->Bind(&cdsSelectData, {{"Id", "", 0, false}, {"Name", "单位名称", 160}});
  BindGridPick(actOK);
  TBaseDataPickForm::FormCreate();
}

void TfrmSelectUnit::actOKExecute() {
  if (!HasCurrentRow()) return;
  Target.Deliver({PickText("ID"), PickText("Name")});
  close();
}

void TfrmSelectUnit::actModifyExecute() {
  OpenBaseDataList(QStringLiteral("uBaseDataUnit.TfrmBaseDataUnit"));
}
