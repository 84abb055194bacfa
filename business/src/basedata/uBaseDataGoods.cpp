#include "uBaseDataGoods.h"

#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QSplitter>
#include <QSplitterHandle>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "tplwidgets.h"
#include "uBaseDataGoodsEdit.h"
#include "vlt/sqltext.h"

VLT_REGISTER_CLASS(uBaseDataGoods, TfrmBaseDataGoods);

using namespace vlt;
using namespace vlt::host;
using namespace vlt::business;
using namespace vlt::templates;

namespace {

constexpr int kTreePanelWidth = 145;

}  // namespace

TfrmBaseDataGoods::TfrmBaseDataGoods(QWidget* owner) : TfrmBaseDataGridForm(owner) {
  resize(1180, 620);

  lytGoodsType = new QWidget(lytMainArea);
  lytGoodsType->setObjectName("lytGoodsType");
  tvGtype = new QTreeWidget(lytGoodsType);
  tvGtype->setObjectName("tvGtype");
  tvGtype->setHeaderHidden(true);
  tvGtype->setColumnCount(1);
  auto* panel = new QVBoxLayout(lytGoodsType);
  panel->setContentsMargins(0, 0, 0, 0);
  panel->addWidget(tvGtype);
  connect(tvGtype, &QTreeWidget::currentItemChanged, this, guarded([this] { tvGtypeChange(); }));

  // The grid moves from the work area into the splitter, right of the tree.
  MainAreaLayout()->removeWidget(GrdMain);
  splleft = new QSplitter(Qt::Horizontal, lytMainArea);
  splleft->setObjectName("splleft");
  splleft->setChildrenCollapsible(true);
  splleft->addWidget(lytGoodsType);
  splleft->addWidget(GrdMain);
  splleft->setStretchFactor(1, 1);
  splleft->setSizes({kTreePanelWidth, 1000});
  splleft->handle(1)->installEventFilter(this);
  MainAreaLayout()->addWidget(splleft, 1);
}

TfrmBaseDataGoods::~TfrmBaseDataGoods() {
  splleft->handle(1)->removeEventFilter(this);
}

void TfrmBaseDataGoods::FormCreate() {
  setWindowTitle("基础资料 -> 货品档案");
  FBaseDataTableName = "td_Goods";
  FOpenBaseDataSql = "select g.*,t.name as GtypeName,t.levelcode,u.name as unitname from " +
                     FBaseDataTableName +
                     " g INNER JOIN td_goodstype t on g.TypeId=t.Id INNER JOIN td_unit u on "
                     "g.UnitID=u.Id";
  GrdMain->Bind(&cdsBaseData, {{"Id", "", 0, false},
                               {"Code", "货品编码", 80},
                               {"Name", "货品名称", 160},
                               {"Spec", "规格", 90},
                               {"UnitID", "", 0, false},
                               {"TypeId", "", 0, false},
                               {"BarCode", "条形码", 90},
                               {"Kind", "货品属性", 90},
                               {"CostKeeping", "成本核算", 100},
                               {"PurPrice", "采购价"},
                               {"SalPrice", "销售价"},
                               {"WsaPrice", "批发价"},
                               {"Pause", "停用", 80, false},
                               {"ReMark", "附注说明", 300}});
  TfrmBaseDataGridForm::FormCreate();
  RefreGoodsType();
}

void TfrmBaseDataGoods::RefreGoodsType() {
  cdsGoodsType.LoadFromPacket(
      doServerMethods().GetUserDBDataBySql(CurUserInfo().UserDBID, "select * from td_GoodsType"));
  auto* root = new QTreeWidgetItem();
  root->setText(0, "全部货品");
  SetItemTagString(root, MakeGoodsTypeTag("-1", "-1", "-1"));
  BuildGoodsTypeTree(tvGtype, cdsGoodsType, FTtreeItemList, root);
  tvGtype->setCurrentItem(root);
}

void TfrmBaseDataGoods::tvGtypeChange() {
  QTreeWidgetItem* item = tvGtype->currentItem();
  if (!item || !cdsBaseData.Active()) return;
  if (!item->parent()) {
    // "全部货品"
    cdsBaseData.SetFiltered(false);
    cdsBaseData.SetFilter("");
    return;
  }
  // The type's code begins the codes of all its sub-types.
  cdsBaseData.SetFilter("levelcode like " + quotedStr(ss(ItemTag(item).LevelCode) + "%"));
  cdsBaseData.SetFiltered(true);
}

void TfrmBaseDataGoods::splleftDblClick() {
  QList<int> sizes = splleft->sizes();
  const int total = sizes.value(0) + sizes.value(1);
  const int panel = sizes.value(0) == 0 ? kTreePanelWidth : 0;
  splleft->setSizes({panel, std::max(0, total - panel)});
}

void TfrmBaseDataGoods::actNewExecute() {
  auto dialog = CreateForm<TfrmBaseDataGoodsEdit>();
  if (QTreeWidgetItem* item = tvGtype->currentItem()) {
    SetBoxTagString(dialog->edtGoodsType, ItemTag(item).Id);
    // "全部货品" is no type: the box stays empty and the goods gets the system type.
    if (item->parent()) dialog->edtGoodsType->setText(item->text(0));
  }
  ShowEditDialog(std::move(dialog), "Append");
}

void TfrmBaseDataGoods::actEditExecute() {
  CheckBeforeEdit();
  auto dialog = CreateForm<TfrmBaseDataGoodsEdit>();
  auto text = [this](const char* field) { return qs(cdsBaseData.FieldByName(field).AsString()); };
  auto money = [this](const char* field) { return cdsBaseData.FieldByName(field).AsDecimal(); };
  TBaseDataInfo_Goods& info = dialog->FGoodsInfo;
  info.ID = text("ID");
  info.Code = text("Code");
  info.Name = text("Name");
  info.Spec = text("Spec");
  info.TypeId = text("TypeId");
  info.TypeName = text("GtypeName");
  info.UnitID = text("UnitID");
  info.UnitName = text("unitname");
  info.Kind = text("Kind");
  info.CostKeeping = text("CostKeeping");
  info.BarCode = text("BarCode");
  info.PurPrice = money("PurPrice");
  info.SalPrice = money("SalPrice");
  info.WsaPrice = money("WsaPrice");
  info.Pause = text("Pause");
  info.ReMark = text("ReMark");
  info.ExistPic = text("ExistPic");
  ShowEditDialog(std::move(dialog), "Edit");
}

bool TfrmBaseDataGoods::eventFilter(QObject* watched, QEvent* event) {
  if (watched == splleft->handle(1) && event->type() == QEvent::MouseButtonDblClick &&
      static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
    guarded([this] { splleftDblClick(); })();
    return true;
  }
  return TfrmBaseDataGridForm::eventFilter(watched, event);
}
