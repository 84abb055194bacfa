#include "uSelectGoodsType.h"

#include <QActionGroup>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <memory>

#include "tplwidgets.h"
#include "uBusinessClasses.h"

VLT_REGISTER_CLASS(uSelectGoodsType, TfrmSelectGoodsType);

using namespace vlt;
using namespace vlt::host;
using namespace vlt::business;
using namespace vlt::templates;

TfrmSelectGoodsType::TfrmSelectGoodsType(QWidget* owner) : TfrmBaseForm(owner) {
  setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                 Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
  setFixedSize(315, 412);

  actOK = MakeAction(this, "actOK", "确定", {}, [this] { actOKExecute(); });
  actRefresh = MakeAction(this, "actRefresh", "刷新", {}, [this] { actRefreshExecute(); });
  actModify = MakeAction(this, "actModify", "编辑", {}, [this] { actModifyExecute(); });
  actlst = new QActionGroup(this);
  actlst->setObjectName("actlst");
  actlst->setExclusionPolicy(QActionGroup::ExclusionPolicy::None);
  for (QAction* a : {actOK, actRefresh, actModify})
    actlst->addAction(a);

  tvGoodsType = new QTreeWidget(this);
  tvGoodsType->setObjectName("tvGoodsType");
  tvGoodsType->setHeaderHidden(true);
  tvGoodsType->setColumnCount(1);
  tvGoodsType->setExpandsOnDoubleClick(false);
  tvGoodsType->installEventFilter(this);
  connect(tvGoodsType, &QTreeWidget::itemDoubleClicked, this,
          guarded([this] { actOK->trigger(); }));
  connect(tvGoodsType, &QTreeWidget::currentItemChanged, this,
          guarded([this] { tvGoodsTypeChange(); }));

  lblWarning = new QLabel("错误！不能选择原类别及其子类别！", this);
  lblWarning->setObjectName("lblWarning");
  lblWarning->setProperty("vltRole", "warning");
  lblWarning->setWordWrap(true);
  lblWarning->setVisible(false);

  auto* bottom = new QWidget(this);
  bottom->setObjectName("lytBottom");
  bottom->setFixedHeight(30);
  btnModify = ActionButton(actModify, bottom, "btnModify", 80);
  btnRefresh = ActionButton(actRefresh, bottom, "btnRefresh", 100);
  btnOK = ActionButton(actOK, bottom, "btnOK", 100);
  auto* buttons = new QHBoxLayout(bottom);
  buttons->setContentsMargins(0, 0, 0, 0);
  buttons->setSpacing(6);
  buttons->addWidget(btnModify);
  buttons->addStretch(1);
  buttons->addWidget(btnRefresh);
  buttons->addWidget(btnOK);

  auto* root = new QVBoxLayout(this);
  root->setContentsMargins(6, 6, 6, 6);
  root->setSpacing(6);
  root->addWidget(tvGoodsType, 1);
  root->addWidget(lblWarning);
  root->addWidget(bottom);
}

TfrmSelectGoodsType::~TfrmSelectGoodsType() {
  tvGoodsType->removeEventFilter(this);
}

void TfrmSelectGoodsType::FormCreate() {
  setWindowTitle("货品类别选择");
  FBaseDataTableName = "td_GoodsType";
  FOpenBaseDataSql = "select * from " + FBaseDataTableName;
  TfrmBaseForm::FormCreate();
  RefreBaseData();
}

void TfrmSelectGoodsType::FormClose() {
  if (FreeOnClose) TfrmBaseForm::FormClose();
}

void TfrmSelectGoodsType::RefreBaseData() {
  lblWarning->setVisible(false);
  cdsGoodsType.LoadFromPacket(
      doServerMethods().GetUserDBDataBySql(CurUserInfo().UserDBID, FOpenBaseDataSql));
  BuildGoodsTypeTree(tvGoodsType, cdsGoodsType, FTtreeItemList);
  // Building moves the selection; the warning belongs to no choice now.
  lblWarning->setVisible(false);
}

void TfrmSelectGoodsType::actRefreshExecute() {
  RefreBaseData();
}

void TfrmSelectGoodsType::tvGoodsTypeChange() {
  lblWarning->setVisible(false);
}

void TfrmSelectGoodsType::actModifyExecute() {
  std::unique_ptr<TForm> list(
      CreateBusinessForm(QStringLiteral("uBaseDataGoodsType.TfrmBaseDataGoodsType"), nullptr));
  if (!list) return;
  list->setAttribute(Qt::WA_DeleteOnClose);
  // A plain window would take no input while a modal window runs; as the newest modal window
  // the list is usable, and this dialog is there again when it closes.
  list->setWindowModality(Qt::ApplicationModal);
  list->show();
  list.release();  // frees itself when closed
}

void TfrmSelectGoodsType::actOKExecute() {
  QTreeWidgetItem* item = tvGoodsType->currentItem();
  if (!item) {
    ShowMessage("没检测到选择的货品类别！");
    return;
  }
  const TGoodsTypeTag chosen = ItemTag(item);

  if (!ExcludedType.Id.isEmpty()) {
    // The type itself or one of its sub-types: their codes begin with the type's code.
    const bool inside = chosen.Id == ExcludedType.Id ||
                        (!ExcludedType.LevelCode.isEmpty() &&
                         chosen.LevelCode.startsWith(ExcludedType.LevelCode, Qt::CaseInsensitive));
    if (inside) {
      lblWarning->setVisible(true);
      return;
    }
  }
  Target.Deliver({ss(chosen.Id), ss(item->text(0)), ss(ItemTagString(item))});
  close();
}

bool TfrmSelectGoodsType::eventFilter(QObject* watched, QEvent* event) {
  if (watched == tvGoodsType && event->type() == QEvent::KeyPress) {
    auto* key = static_cast<QKeyEvent*>(event);
    if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) &&
        (key->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
      guarded([this] { actOK->trigger(); })();
      return true;
    }
  }
  return TfrmBaseForm::eventFilter(watched, event);
}
