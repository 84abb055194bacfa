#include "uBaseDataGoodsType.h"

#include <QActionGroup>
#include <QKeyEvent>
#include <QLineEdit>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "tplwidgets.h"
#include "uBaseDataGoodsTypeEdit.h"

VLT_REGISTER_CLASS(uBaseDataGoodsType, TfrmBaseDataGoodsType);

using namespace vlt;
using namespace vlt::host;
using namespace vlt::business;
using namespace vlt::templates;

namespace {

const char* const kSystemTypeId = "-9999";

}  // namespace

TfrmBaseDataGoodsType::TfrmBaseDataGoodsType(QWidget* owner) : TfrmBaseFormEx(owner) {
  resize(720, 520);
  actAddSameLevel =
      MakeAction(this, "actAddSameLevel", "增加同级", {QKeySequence(Qt::CTRL | Qt::Key_N)},
                 [this] { actAddSameLevelExecute(); });
  actAddChildLevel =
      MakeAction(this, "actAddChildLevel", "增加下级", {}, [this] { actAddChildLevelExecute(); });
  actMofify = MakeAction(this, "actMofify", "修改", {QKeySequence(Qt::CTRL | Qt::Key_M)},
                         [this] { actMofifyExecute(); });
  // Types are not deleted: goods and sub-types would lose their type. The action stays in its
  // place, switched off.
  actDel = MakeAction(this, "actDel", "删除");
  actDel->setEnabled(false);
  actRefresh = MakeAction(this, "actRefresh", "刷新", {QKeySequence(Qt::CTRL | Qt::Key_R)},
                          [this] { actRefreshExecute(); });
  actlst = new QActionGroup(this);
  actlst->setObjectName("actlst");
  actlst->setExclusionPolicy(QActionGroup::ExclusionPolicy::None);
  for (QAction* a : {actAddSameLevel, actAddChildLevel, actMofify, actDel, actRefresh})
    actlst->addAction(a);

  btnAddSameLevel =
      ToolButton(actAddSameLevel, lytTop, "btnAddSameLevel", "imgAddSameLevel", ToolIcon::New, 110);
  btnAddChildLevel = ToolButton(actAddChildLevel, lytTop, "btnAddChildLevel", "imgAddChildLevel",
                                ToolIcon::New, 110);
  btnMofify = ToolButton(actMofify, lytTop, "btnMofify", "imgMofify", ToolIcon::Edit, 100);
  btnDel = ToolButton(actDel, lytTop, "btnDel", "imgDel", ToolIcon::Delete, 100);
  btnRefresh = ToolButton(actRefresh, lytTop, "btnRefresh", "imgRefresh", ToolIcon::Refresh, 100);
  for (QWidget* b : {btnAddSameLevel, btnAddChildLevel, btnMofify, btnDel, btnRefresh})
    AddTopWidget(b);

  tvGoodsType = new QTreeWidget(lytMainArea);
  tvGoodsType->setObjectName("tvGoodsType");
  tvGoodsType->setHeaderHidden(true);
  tvGoodsType->setColumnCount(1);
  tvGoodsType->setExpandsOnDoubleClick(false);
  tvGoodsType->installEventFilter(this);
  MainAreaLayout()->addWidget(tvGoodsType, 1);
  connect(tvGoodsType, &QTreeWidget::itemDoubleClicked, this,
          guarded([this] { actMofify->trigger(); }));
}

TfrmBaseDataGoodsType::~TfrmBaseDataGoodsType() {
  tvGoodsType->removeEventFilter(this);
}

void TfrmBaseDataGoodsType::FormCreate() {
  setWindowTitle("基础资料 -> 货品类别");
  FBaseDataTableName = "td_GoodsType";
  FOpenBaseDataSql = "select * from " + FBaseDataTableName;
  TfrmBaseFormEx::FormCreate();
  RefreBaseData();
}

void TfrmBaseDataGoodsType::RefreBaseData() {
  // The user stays on the type they worked on when it is still there.
  const QString keep = ItemTag(tvGoodsType->currentItem()).Id;
  cdsBaseData.LoadFromPacket(
      doServerMethods().GetUserDBDataBySql(CurUserInfo().UserDBID, FOpenBaseDataSql));
  BuildGoodsTypeTree(tvGoodsType, cdsBaseData, FTtreeItemList);
  if (tvGoodsType->topLevelItemCount() == 0) return;
  QTreeWidgetItem* current = tvGoodsType->topLevelItem(0);
  if (!keep.isEmpty())
    for (QTreeWidgetItem* item : FTtreeItemList.Items())
      if (ItemTag(item).Id == keep && item->treeWidget()) {
        current = item;
        break;
      }
  tvGoodsType->setFocus();
  tvGoodsType->setCurrentItem(current);
}

void TfrmBaseDataGoodsType::actRefreshExecute() {
  RefreBaseData();
}

QTreeWidgetItem* TfrmBaseDataGoodsType::CheckSelected() {
  if (!cdsBaseData.Active() || cdsBaseData.IsEmpty()) Abort();
  QTreeWidgetItem* item = tvGoodsType->currentItem();
  if (!item) {
    ShowMessage("请先选择一个目标类别");
    Abort();
  }
  return item;
}

void TfrmBaseDataGoodsType::ShowParentOf(TfrmBaseDataGoodsTypeEdit& dialog, QTreeWidgetItem* item) {
  QTreeWidgetItem* parent = item->parent();
  dialog.edtParent->setText(parent ? parent->text(0) : QString());
  SetBoxTagString(dialog.edtParent, parent ? ItemTagString(parent) : QString());
}

void TfrmBaseDataGoodsType::actAddChildLevelExecute() {
  QTreeWidgetItem* item = CheckSelected();
  if (ItemTag(item).Id == kSystemTypeId) {
    ShowMessage("系统数据，禁止增加子类！");
    Abort();
  }
  auto dialog = CreateForm<TfrmBaseDataGoodsTypeEdit>();
  dialog->edtParent->setText(item->text(0));
  SetBoxTagString(dialog->edtParent, ItemTagString(item));
  dialog->edtType->clear();
  ShowEditDialog(std::move(dialog), "Append");
}

void TfrmBaseDataGoodsType::actAddSameLevelExecute() {
  QTreeWidgetItem* item = CheckSelected();
  auto dialog = CreateForm<TfrmBaseDataGoodsTypeEdit>();
  ShowParentOf(*dialog, item);
  dialog->edtType->clear();
  ShowEditDialog(std::move(dialog), "Append");
}

void TfrmBaseDataGoodsType::actMofifyExecute() {
  QTreeWidgetItem* item = CheckSelected();
  const TGoodsTypeTag tag = ItemTag(item);
  if (tag.Id == kSystemTypeId) {
    ShowMessage("系统数据，禁止修改！");
    Abort();
  }
  auto dialog = CreateForm<TfrmBaseDataGoodsTypeEdit>();
  dialog->FGoodsTypeInfo.ID = tag.Id;
  dialog->FGoodsTypeInfo.PId = tag.PId;
  dialog->FGoodsTypeInfo.LevelCode = tag.LevelCode;
  dialog->FGoodsTypeInfo.Name = item->text(0);
  ShowParentOf(*dialog, item);
  dialog->edtType->setText(item->text(0));
  SetBoxTagString(dialog->edtType, ItemTagString(item));
  ShowEditDialog(std::move(dialog), "Edit");
}

void TfrmBaseDataGoodsType::ShowEditDialog(std::unique_ptr<TfrmBaseDataGoodsTypeEdit> dialog,
                                           const QString& mode) {
  vlt::templates::RunEditDialog(std::move(dialog), mode, [this] { RefreBaseData(); });
}

bool TfrmBaseDataGoodsType::eventFilter(QObject* watched, QEvent* event) {
  if (watched == tvGoodsType && event->type() == QEvent::KeyPress) {
    auto* key = static_cast<QKeyEvent*>(event);
    if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) &&
        (key->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
      guarded([this] { actMofify->trigger(); })();
      return true;
    }
  }
  return TfrmBaseFormEx::eventFilter(watched, event);
}
