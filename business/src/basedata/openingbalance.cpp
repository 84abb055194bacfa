#include "openingbalance.h"

#include <QAction>
#include <QToolButton>
#include <QVBoxLayout>

#include "tplwidgets.h"
#include "vlt/errors.h"

using namespace vlt::host;
using vlt::components::TColumnDef;
using vlt::components::TNxStringGrid;
using vlt::templates::MakeAction;
using vlt::templates::ToolButton;
using vlt::templates::ToolIcon;

namespace vlt::business {

TOpeningBalanceForm::TOpeningBalanceForm(QWidget* owner) : TfrmBaseFormEx(owner) {
  saveAction_ = MakeAction(this, "actSaveNew", "保存", {}, [this] { btnSaveNewClick(); });
  refreshAction_ = MakeAction(this, "actRefresh", "刷新", {}, [this] { btnRefreshClick(); });
  btnSaveNew = ToolButton(saveAction_, lytTop, "btnSaveNew", "imgSaveNew", ToolIcon::SaveClose, 80);
  btnRefresh =
      ToolButton(refreshAction_, lytTop, "btnRefresh", "imgRefresh", ToolIcon::Refresh, 80);
  AddTopWidget(btnSaveNew);
  AddTopWidget(btnRefresh);

  nxGrd = new TNxStringGrid(lytMainArea);
  nxGrd->setObjectName("nxGrd");
  MainAreaLayout()->addWidget(nxGrd, 1);
}

TOpeningBalanceForm::~TOpeningBalanceForm() = default;

void TOpeningBalanceForm::DefineTraderFields(ClientDataSet& dataSet) {
  FieldDefs& defs = dataSet.FieldDefinitions();
  defs.add("TraderID", DataType::String, 15);
  defs.add("traderName", DataType::String, 80);
  defs.addDecimal("IOAmount", 25, 4);
  defs.add("IsClient", DataType::String, 8);
  defs.add("Bid", DataType::String, 15);
  defs.add("IODirection", DataType::Int16);
}

void TOpeningBalanceForm::DefineAccountFields(ClientDataSet& dataSet) {
  FieldDefs& defs = dataSet.FieldDefinitions();
  defs.add("AccountID", DataType::String, 15);
  defs.add("AccountName", DataType::String, 80);
  defs.add("Bid", DataType::String, 15);
  defs.addDecimal("IOAmount", 25, 4);
  defs.add("IODirection", DataType::Int16);
}

void TOpeningBalanceForm::UseDataSet(ClientDataSet& dataSet, std::vector<TColumnDef> columns) {
  dataSet_ = &dataSet;
  nxGrd->Bind(&dataSet, std::move(columns));
}

void TOpeningBalanceForm::FormCreate() {
  if (!dataSet_) throw Error("An opening-balance window needs its data set before FormCreate");
  SetFMTBcdPrecision(*dataSet_);
  dataSet_->CreateDataSet();
  TfrmBaseFormEx::FormCreate();
  LoadRows();
}

void TOpeningBalanceForm::LoadRows() {
  dataSet_->LoadFromPacket(doServerMethods().GetUserDBDataBySql(CurUserInfo().UserDBID, SqlStr));
}

void TOpeningBalanceForm::btnSaveNewClick() {
  // An amount still being typed is part of what the user saves.
  nxGrd->CloseEditor(true);
  ClientDataSet& ds = *dataSet_;
  if (ds.State() == DataSetState::Edit || ds.State() == DataSetState::Insert) ds.Post();
  if (ds.ChangeCount() == 0) {
    ShowMessage("未发现需要保存的数据！");
    return;
  }
  // A refused save keeps the changes pending: the user may save again or drop them with refresh.
  CheckStatus(doServerMethods().SaveUserDBDataByDelta(CurUserInfo().UserDBID, FTableName, F_Fk,
                                                      ds.GetDelta()),
              {"保存失败!错误原因："});
  ds.MergeChangeLog();
}

void TOpeningBalanceForm::btnRefreshClick() {
  nxGrd->CloseEditor(false);
  ClientDataSet& ds = *dataSet_;
  ds.CancelUpdates();
  ds.EmptyDataSet();
  LoadRows();
}

}  // namespace vlt::business
