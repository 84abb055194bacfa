#include "uBaseDataForm.h"

#include <QActionGroup>
#include <QToolButton>

#include "tplwidgets.h"
#include "vlt/sqltext.h"

VLT_REGISTER_CLASS(uBaseDataForm, TfrmBaseDataForm);

using namespace vlt;
using namespace vlt::host;
using namespace vlt::templates;

TfrmBaseDataForm::TfrmBaseDataForm(QWidget* owner) : TfrmBaseFormEx(owner) {
  actNew = MakeAction(this, "actNew", "新增", {QKeySequence(Qt::CTRL | Qt::Key_N)},
                      [this] { actNewExecute(); });
  actEdit = MakeAction(this, "actEdit", "修改", {QKeySequence(Qt::CTRL | Qt::Key_M)},
                       [this] { actEditExecute(); });
  actDel = MakeAction(this, "actDel", "删除", {QKeySequence(Qt::CTRL | Qt::Key_D)},
                      [this] { actDelExecute(); });
  actRefresh = MakeAction(this, "actRefresh", "刷新", {QKeySequence(Qt::CTRL | Qt::Key_R)},
                          [this] { actRefreshExecute(); });
  actlst = new QActionGroup(this);
  actlst->setObjectName("actlst");
  actlst->setExclusionPolicy(QActionGroup::ExclusionPolicy::None);
  for (QAction* a : {actNew, actEdit, actDel, actRefresh})
    actlst->addAction(a);

  btnNew = ToolButton(actNew, lytTop, "btnNew", "imgNew", ToolIcon::New, 105);
  btnEdit = ToolButton(actEdit, lytTop, "btnEdit", "imgCanel", ToolIcon::Edit, 113);
  btnDel = ToolButton(actDel, lytTop, "btnDel", "imgDel", ToolIcon::Delete, 105);
  btnRefresh = ToolButton(actRefresh, lytTop, "btnRefresh", "imgRefresh", ToolIcon::Refresh, 120);
  for (QWidget* b : {btnNew, btnEdit, btnDel, btnRefresh})
    AddTopWidget(b);
}

TfrmBaseDataForm::~TfrmBaseDataForm() = default;

void TfrmBaseDataForm::FormCreate() {
  TfrmBaseFormEx::FormCreate();
  RefreBaseData();
}

void TfrmBaseDataForm::RefreBaseData() {
  cdsBaseData.LoadFromPacket(
      doServerMethods().GetUserDBDataBySql(CurUserInfo().UserDBID, FOpenBaseDataSql));
}

void TfrmBaseDataForm::actRefreshExecute() {
  RefreBaseData();
}

void TfrmBaseDataForm::CheckBeforeEdit() {
  if (!cdsBaseData.Active() || cdsBaseData.IsEmpty() || cdsBaseData.RecNo() <= 0) {
    ShowMessage("没检测到需要修改的数据，请选择！");
    Abort();
  }
}

void TfrmBaseDataForm::actDelExecute() {
  if (!cdsBaseData.Active() || cdsBaseData.IsEmpty()) {
    ShowMessage("未发现可以删除的资料！");
    return;
  }
  if (!ConfirmWarning("删除无法恢复，请确认是否真的删除？")) return;
  const std::string sql = "delete from " + FBaseDataTableName +
                          " where ID=" + quotedStr(cdsBaseData.FieldByName("ID").AsString());
  CheckStatus(doServerMethods().doUserDBDataBySql(CurUserInfo().UserDBID, sql),
              BaseDataStatusTexts());
  RefreBaseData();
}

void TfrmBaseDataForm::ShowEditDialog(std::unique_ptr<TForm> dialog, const QString& mode) {
  RunEditDialog(std::move(dialog), mode, [this] { RefreBaseData(); });
}
