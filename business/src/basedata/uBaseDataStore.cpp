#include "uBaseDataStore.h"

#include <QAction>

VLT_REGISTER_CLASS(uBaseDataStore, TfrmBaseDataStore);

using namespace vlt::host;

TfrmBaseDataStore::TfrmBaseDataStore(QWidget* owner) : TfrmBaseDataGridForm(owner) {
  // No store can be entered here: a new action without a handler stays greyed.
  actNew->setEnabled(false);
}

TfrmBaseDataStore::~TfrmBaseDataStore() = default;

void TfrmBaseDataStore::FormCreate() {
  setWindowTitle("基础资料 -> 仓库档案");
  FBaseDataTableName = "td_Store";
  FOpenBaseDataSql = "select * from " + FBaseDataTableName;
  GrdMain->Bind(&cdsBaseData, {{"Id", "", 0, false}, {"Name", "仓库名称", 160}});
  TfrmBaseDataGridForm::FormCreate();
}

void TfrmBaseDataStore::actEditExecute() {
  ShowMessage("系统数据，不允许修改！");
  Abort();
}

void TfrmBaseDataStore::actDelExecute() {
  ShowMessage("系统数据，不允许删除！");
  Abort();
}
