#include "uBaseDataGoodsTypeEdit.h"

#include <QLineEdit>
#include <QToolButton>

#include "formrows.h"
#include "tplwidgets.h"
#include "uGoodsTypeTree.h"
#include "uSelectGoodsType.h"
#include "vlt/sqltext.h"

VLT_REGISTER_CLASS(uBaseDataGoodsTypeEdit, TfrmBaseDataGoodsTypeEdit);

using namespace vlt;
using namespace vlt::host;
using namespace vlt::business;
using namespace vlt::templates;

TfrmBaseDataGoodsTypeEdit::TfrmBaseDataGoodsTypeEdit(QWidget* owner) : TfrmBaseDataEdit(owner) {
  setWindowTitle("货品类别编辑");
  actSelectParentType =
      MakeAction(this, "actSelectParentType", "+", {}, [this] { actSelectParentTypeExecute(); });
  actSelectParentType->setToolTip("选择上级类别");
  actClearParentType =
      MakeAction(this, "actClearParentType", "清除", {}, [this] { actClearParentTypeExecute(); });
  actClearParentType->setToolTip("不设上级类别");

  edtType = AddBox("edtType", "类别名称", 80);
  edtParent = new QLineEdit(pnlMain);
  edtParent->setObjectName("edtParent");
  edtParent->setReadOnly(true);
  SetBoxTagString(edtParent, QString());
  btnSelectParentType = BoxButton(actSelectParentType, pnlMain, "btnSelectParentType");
  btnSelectParentType->setFixedWidth(28);
  btnClearParentType = BoxButton(actClearParentType, pnlMain, "btnClearParentType");
  AddRow(
      "上级类别", edtParent,
      BoxWithButtons(pnlMain, "lytParent", edtParent, {btnSelectParentType, btnClearParentType}));
}

TfrmBaseDataGoodsTypeEdit::~TfrmBaseDataGoodsTypeEdit() = default;

void TfrmBaseDataGoodsTypeEdit::FormShow() {
  TfrmBaseDataEdit::FormShow();
  edtType->setFocus();
  if (IsMode("Edit")) edtType->setText(FGoodsTypeInfo.Name);
}

std::string TfrmBaseDataGoodsTypeEdit::typeName() const {
  return ss(edtType->text().trimmed());
}

std::string TfrmBaseDataGoodsTypeEdit::parentId() const {
  const QString tag = BoxTagString(edtParent);
  return tag.isEmpty() ? std::string("-1") : ss(SplitGoodsTypeTag(tag).Id);
}

std::string TfrmBaseDataGoodsTypeEdit::parentLevelCode() const {
  const QString tag = BoxTagString(edtParent);
  return tag.isEmpty() ? std::string() : ss(SplitGoodsTypeTag(tag).LevelCode);
}

void TfrmBaseDataGoodsTypeEdit::Vlt_BeforeSaveData() {
  TfrmBaseDataEdit::Vlt_BeforeSaveData();
  if (edtType->text().trimmed().isEmpty()) {
    ShowMessage("请输入货品类别信息");
    edtType->setFocus();
    Abort();
  }
}

std::string TfrmBaseDataGoodsTypeEdit::Vlt_GetInsertStr() {
  const std::string id = GetNewID();
  const std::string levelCode = GetLevelCode(parentLevelCode());
  return "Insert into td_goodstype (Id,Name,PId,LevelCode) value (" + quotedStr(id) + "," +
         quotedStr(typeName()) + "," + quotedStr(parentId()) + "," + quotedStr(levelCode) + ")";
}

std::string TfrmBaseDataGoodsTypeEdit::Vlt_GetUpdateStr() {
  const std::string name = typeName();
  const std::string pid = parentId();
  const bool renamed = qs(name) != FGoodsTypeInfo.Name;
  const bool moved = qs(pid) != FGoodsTypeInfo.PId;
  const std::string id = quotedStr(ss(FGoodsTypeInfo.ID));
  if (!renamed && !moved) return {};
  if (!moved) return "update td_GoodsType set Name=" + quotedStr(name) + " where Id=" + id;

  const std::string newCode = GetLevelCode(parentLevelCode());
  const std::string oldCode = ss(FGoodsTypeInfo.LevelCode);
  if (oldCode.empty()) {
    // No code to carry the sub-tree by: only the row itself moves.
    std::string sets;
    if (renamed) sets = "Name=" + quotedStr(name) + ",";
    sets += "Pid=" + quotedStr(pid) + ",LevelCode=" + quotedStr(newCode);
    return "update td_GoodsType set " + sets + " where Id=" + id;
  }
  // The sub-types move with the type: their codes keep their own tail behind the type's new
  // code. Otherwise the goods of a sub-type would drop out of the type's list, and a later
  // move of the type under its former sub-type (no longer recognised by code) would make a loop
  // that hides both from the tree.
  const std::string length = std::to_string(FGoodsTypeInfo.LevelCode.size());
  const std::string tailFrom = std::to_string(FGoodsTypeInfo.LevelCode.size() + 1);
  std::string sets;
  if (renamed) sets = "Name=if(Id=" + id + "," + quotedStr(name) + ",Name),";
  sets += "Pid=if(Id=" + id + "," + quotedStr(pid) + ",Pid),LevelCode=concat(" +
          quotedStr(newCode) + ",substr(LevelCode," + tailFrom + "))";
  return "update td_GoodsType set " + sets + " where left(LevelCode," + length +
         ")=" + quotedStr(oldCode);
}

void TfrmBaseDataGoodsTypeEdit::Vlt_AfterSaveData() {
  TfrmBaseDataEdit::Vlt_AfterSaveData();
  edtType->clear();
  SetBoxTagString(edtType, QString());
  edtType->setFocus();
  TagString = "Append";
}

void TfrmBaseDataGoodsTypeEdit::actSelectParentTypeExecute() {
  std::unique_ptr<TfrmSelectGoodsType> dialog = CreateForm<TfrmSelectGoodsType>(this);
  dialog->Target = TPickTarget::IntoBox(*edtParent, 2);
  if (IsMode("Edit"))
    dialog->ExcludedType = {FGoodsTypeInfo.ID, FGoodsTypeInfo.PId, FGoodsTypeInfo.LevelCode};
  dialog->move(edtParent->mapToGlobal(QPoint(0, 0)));
  // Beside this window, not in front of it: it frees itself when closed.
  dialog.release()->show();
}

void TfrmBaseDataGoodsTypeEdit::actClearParentTypeExecute() {
  edtParent->clear();
  SetBoxTagString(edtParent, QString());
}
