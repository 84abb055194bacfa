#include "uBusinessFrame.h"

#include <QFont>
#include <QGridLayout>
#include <QIcon>
#include <QKeyEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QScrollArea>
#include <QStyledItemDelegate>
#include <QTabBar>
#include <QTabWidget>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <memory>

#include "uBusinessClasses.h"

using namespace vlt::host;

VLT_REGISTER_CLASS(uBusinessFrame, TfrmBusiness);

namespace {

const std::vector<TBusinessFunction> kFunctions = {
    // Base data.
    {"act_BD_Goods", "货品档案", "DB_10001", "uBaseDataGoods.TfrmBaseDataGoods"},
    {"act_BD_GoodsType", "货品类别", "DB_10002", "uBaseDataGoodsType.TfrmBaseDataGoodsType"},
    {"act_BD_Store", "仓库档案", "DB_10003", "uBaseDataStore.TfrmBaseDataStore"},
    {"act_BD_Account", "结算帐户", "DB_10004", "uBaseDataAccount.TfrmBaseDataAccount"},
    {"act_BD_Unit", "计量单位", "DB_10005", "uBaseDataUnit.TfrmBaseDataUnit"},
    {"act_BD_Client", "客户档案", "DB_10006", "uBaseDataClient.TfrmBaseDataClient"},
    {"act_BD_Vendor", "供货商档案", "DB_10007", "uBaseDataVendor.TfrmBaseDataVendor"},
    {"act_BD_AccIOType", "收支类别", "DB_10008", "uBaseDataAccIOType.TfrmBaseDataAccIOType"},
    {"act_BD_Client_Init", "客户应收款初始化", "DB_50001",
     "uBaseDataClientInit.TfrmBaseDataClientInit"},
    {"act_BD_Vendor_Init", "供货商应付款初始化", "DB_50002",
     "uBaseDataVendorInit.TfrmBaseDataVendorInit"},
    {"act_BD_Account_Init", "结算帐户余额初始化", "DB_50003",
     "uBaseDataAccountInit.TfrmBaseDataAccountInit"},
    // Bills.
    {"act_Bill_Pur_Order", "采购订货单", "YW_10001", "uBill_Pur_Order.TfrmBill_Pur_Order"},
    {"act_Bill_Pur_Purchase", "采购收货单", "YW_10002", "uBill_Pur_Purchase.TfrmBill_Pur_Purchase"},
    {"act_Bill_Pur_Back", "采购退货单", "YW_10003", "uBill_Pur_Back.TfrmBill_Pur_Back"},
    {"act_Bill_Sal_Order", "销售订货单", "YW_11001", "uBill_Sal_Order.TfrmBill_Sal_Order"},
    {"act_Bill_Sal_Sale", "销售发货单", "YW_11002", "uBill_Sal_Sale.TfrmBill_Sal_Sale"},
    {"act_Bill_Sal_Back", "销售退货单", "YW_11003", "uBill_Sal_Back.TfrmBill_Sal_Back"},
    {"act_Bill_Sto_StoreIN", "货品入库单", "YW_12001", "uBill_Sto_StoreIN.TfrmBill_Sto_StoreIN"},
    {"act_Bill_Sto_StoreOut", "货品出库单", "YW_12002", "uBill_Sto_StoreOut.TfrmBill_Sto_StoreOut"},
    {"act_Bill_Bal_Payment", "付款单", "YW_13001", "uBill_Bal_Payment.TfrmBill_Bal_Payment"},
    {"act_Bill_Bal_Gathering", "收款单", "YW_13002", "uBill_Bal_Gathering.TfrmBill_Bal_Gathering"},
    {"act_Bill_Cas_Out", "费用支出单", "YW_14001", "uBill_Cas_Mgr.TfrmBill_Cas_Mgr", -1},
    {"act_Bill_Cas_In", "其他收入单", "YW_14002", "uBill_Cas_Mgr.TfrmBill_Cas_Mgr", 1},
    // Reports.
    {"vItemPurOrderM", "采购订货单汇总表", "RP_10001", "uReport_PurOrderM.TfrmRptPurOrderM"},
    {"vItemPurOrderD", "采购订货单明细表", "RP_10002", "uReport_PurOrderD.TfrmRptPurOrderD"},
    {"vItemPurchaseM", "采购收货单汇总表", "RP_10003", "uReport_PurchaseM.TfrmRptPurchaseM"},
    {"vItemPurchaseD", "采购收货单明细表", "RP_10004", "uReport_PurchaseD.TfrmRptPurchaseD"},
    {"vItemPurBackM", "采购退货单汇总表", "RP_10005", "uReport_PurBackM.TfrmRptPurBackM"},
    {"vItemPurBackD", "采购退货单明细表", "RP_10006", "uReport_PurBackD.TfrmRptPurBackD"},
    {"vItemSalOrderM", "销售订货单汇总表", "RP_11001", "uReport_SalOrderM.TfrmRptSalOrderM"},
    {"vItemSalOrderD", "销售订货单明细表", "RP_11002", "uReport_SalOrderD.TfrmRptSalOrderD"},
    {"vItemSaleM", "销售发货单汇总表", "RP_11003", "uReport_SaleM.TfrmRptSaleM"},
    {"vItemSaleD", "销售发货单明细表", "RP_11004", "uReport_SaleD.TfrmRptSaleD"},
    {"vItemSalBackM", "销售退货单汇总表", "RP_11005", "uReport_SalBackM.TfrmRptSalBackM"},
    {"vItemSalBackD", "销售退货单明细表", "RP_11006", "uReport_SalBackD.TfrmRptSalBackD"},
    {"vItemStoreFlowM", "库存货品出入库汇总表", "RP_12001",
     "uReport_StoreFlowM.TfrmRptStoreFlowM"},
    {"vItemStoreFlowD", "库存货品出入库明细表", "RP_12002",
     "uReport_StoreFlowD.TfrmRptStoreFlowD"},
    {"vItemPaymentFlow", "供应商往来结算流水表", "RP_13001",
     "uReport_BalPaymentflow.TfrmRptBalPaymentflow"},
    {"vItemGatheringFlow", "客户往来结算流水表", "RP_13002",
     "uReport_BalGatheringflow.TfrmRptBalGatheringflow"},
    {"vItemAccIn", "其他收入流水表", "RP_14001", "uReport_CashInFlow.TfrmRptCashInflow"},
    {"vItemAccout", "费用支出流水表", "RP_14002", "uReport_CashOutFlow.TfrmRptCashOutFlow"},
};

// ---- layout of the three tabs -----------------------------------------------------------------

struct TExpanderDef {
  const char* name;
  const char* text;
  std::vector<const char*> actions;
};

const TExpanderDef kExpanders[] = {
    {"expPur",
     "采购进货管理",
     {"act_Bill_Pur_Order", "act_Bill_Pur_Purchase", "act_Bill_Pur_Back"}},
    {"expSale", "销售出货管理", {"act_Bill_Sal_Order", "act_Bill_Sal_Sale", "act_Bill_Sal_Back"}},
    {"expStore", "货品库存管理", {"act_Bill_Sto_StoreIN", "act_Bill_Sto_StoreOut"}},
    {"expSettle", "货款结算管理", {"act_Bill_Bal_Payment", "act_Bill_Bal_Gathering"}},
    {"expAccountIO", "费用收支管理", {"act_Bill_Cas_Out", "act_Bill_Cas_In"}},
};

struct TReportGroupDef {
  const char* text;
  std::vector<const char*> items;  // "-" separates
};

const TReportGroupDef kReportGroups[] = {
    {"采购业务报表",
     {"vItemPurOrderM", "vItemPurOrderD", "-", "vItemPurchaseM", "vItemPurchaseD", "-",
      "vItemPurBackM", "vItemPurBackD"}},
    {"销售业务报表",
     {"vItemSalOrderM", "vItemSalOrderD", "-", "vItemSaleM", "vItemSaleD", "-", "vItemSalBackM",
      "vItemSalBackD"}},
    {"库存管理报表", {"vItemStoreFlowM", "vItemStoreFlowD"}},
    {"货款结算报表", {"vItemPaymentFlow", "vItemGatheringFlow"}},
    {"费用收支报表", {"vItemAccIn", "vItemAccout"}},
};

// Two columns, row by row.
const char* const kBaseDataTiles[] = {
    "act_BD_Store",   "act_BD_Goods",     "act_BD_Client", "act_BD_Vendor",
    "act_BD_Account", "act_BD_GoodsType", "act_BD_Unit",   "act_BD_AccIOType",
};
// Present with their actions, not shown.
const char* const kBaseDataHidden[] = {"act_BD_Client_Init", "act_BD_Vendor_Init",
                                       "act_BD_Account_Init"};

constexpr int kFunctionRole = Qt::UserRole + 1;  // tree item -> function name
const QString kSeparator = QStringLiteral("-");
const QString kNotYetOpen = QStringLiteral("该功能尚未开放，敬请期待！");

// ---- icons: a calm tile in the colour of the function's area with one character on it -----------

QColor areaColour(const std::string& moduleId) {
  if (moduleId.rfind("DB_5", 0) == 0) return QColor("#8a6d3b");  // opening balances
  if (moduleId.rfind("DB_", 0) == 0) return QColor("#4f6b8a");   // base data
  const std::string area = moduleId.size() >= 6 ? moduleId.substr(3, 3) : std::string();
  if (area == "100") return QColor("#2b7bd6");  // purchase
  if (area == "110") return QColor("#2e9a68");  // sales
  if (area == "120") return QColor("#c7832a");  // stock
  if (area == "130") return QColor("#178f95");  // settlement
  if (area == "140") return QColor("#7b5cc4");  // cash
  return QColor("#5b6773");
}

// The character a function's icon shows.
QString iconGlyph(const QString& name) {
  static const std::pair<const char*, const char*> glyphs[] = {
      {"act_BD_Goods", "货"},
      {"act_BD_GoodsType", "类"},
      {"act_BD_Store", "仓"},
      {"act_BD_Account", "帐"},
      {"act_BD_Unit", "量"},
      {"act_BD_Client", "客"},
      {"act_BD_Vendor", "供"},
      {"act_BD_AccIOType", "费"},
      {"act_BD_Client_Init", "应"},
      {"act_BD_Vendor_Init", "付"},
      {"act_BD_Account_Init", "余"},
      {"act_Bill_Pur_Order", "订"},
      {"act_Bill_Pur_Purchase", "收"},
      {"act_Bill_Pur_Back", "退"},
      {"act_Bill_Sal_Order", "订"},
      {"act_Bill_Sal_Sale", "发"},
      {"act_Bill_Sal_Back", "退"},
      {"act_Bill_Sto_StoreIN", "入"},
      {"act_Bill_Sto_StoreOut", "出"},
      {"act_Bill_Bal_Payment", "付"},
      {"act_Bill_Bal_Gathering", "收"},
      {"act_Bill_Cas_Out", "支"},
      {"act_Bill_Cas_In", "收"},
  };
  for (const auto& [action, glyph] : glyphs)
    if (name == QLatin1String(action)) return QString::fromUtf8(glyph);
  return QString();
}

QPixmap drawTile(const QColor& colour, const QString& glyph, int size) {
  QPixmap pixmap(size, size);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  const qreal unit = size / 32.0;
  QPainterPath tile;
  tile.addRoundedRect(QRectF(2 * unit, 2 * unit, 28 * unit, 28 * unit), 7 * unit, 7 * unit);
  QLinearGradient fill(0, 0, 0, size);
  fill.setColorAt(0, colour.lighter(112));
  fill.setColorAt(1, colour);
  p.fillPath(tile, fill);
  QFont font;
  font.setPixelSize(static_cast<int>(16 * unit));
  font.setBold(true);
  p.setFont(font);
  p.setPen(Qt::white);
  p.drawText(QRectF(0, 0, size, size), Qt::AlignCenter, glyph);
  return pixmap;
}

QIcon functionIcon(const TBusinessFunction& f) {
  const QColor colour = areaColour(f.moduleId);
  const QString glyph = iconGlyph(QString::fromLatin1(f.name));
  QIcon icon;
  icon.addPixmap(drawTile(colour, glyph, 32));
  icon.addPixmap(drawTile(colour, glyph, 64));
  return icon;
}

// Separators of the report tree are drawn as a thin rule instead of their "-".
class TReportItemDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;

  void paint(QPainter* painter, const QStyleOptionViewItem& option,
             const QModelIndex& index) const override {
    if (index.data(Qt::DisplayRole).toString() != kSeparator) {
      QStyledItemDelegate::paint(painter, option, index);
      return;
    }
    painter->save();
    painter->setPen(QPen(QColor("#c5d0db"), 1, Qt::DashLine));
    const int y = option.rect.center().y();
    painter->drawLine(option.rect.left() + 4, y, option.rect.right() - 16, y);
    painter->restore();
  }

  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    QSize size = QStyledItemDelegate::sizeHint(option, index);
    if (index.data(Qt::DisplayRole).toString() == kSeparator) size.setHeight(9);
    return size;
  }
};

// Enter on a report leaf opens it, as a click does.
class TReportKeys : public QObject {
 public:
  explicit TReportKeys(TfrmBusiness* frame) : QObject(frame), frame_(frame) {}

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::KeyPress) {
      const int key = static_cast<QKeyEvent*>(event)->key();
      if (key == Qt::Key_Return || key == Qt::Key_Enter) {
        QTreeWidgetItem* item = frame_->tvReport->currentItem();
        if (item && item->childCount() == 0) {
          guarded([this, item] { frame_->tvReportClick(item); })();
          return true;
        }
      }
    }
    return QObject::eventFilter(watched, event);
  }

 private:
  TfrmBusiness* frame_;
};

}  // namespace

const std::vector<TBusinessFunction>& BusinessFunctions() {
  return kFunctions;
}

const TBusinessFunction* FindBusinessFunction(const QString& name) {
  for (const TBusinessFunction& f : kFunctions)
    if (name == QLatin1String(f.name)) return &f;
  return nullptr;
}

// ---- TExpander ----------------------------------------------------------------------------------

TExpander::TExpander(const QString& name, const QString& text, QWidget* parent) : QWidget(parent) {
  setObjectName(name);
  header_ = new QToolButton(this);
  header_->setObjectName(name + "Header");
  header_->setText(text);
  header_->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
  header_->setArrowType(Qt::DownArrow);
  header_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
  header_->setMinimumHeight(32);
  header_->setFocusPolicy(Qt::TabFocus);
  content_ = new QWidget(this);
  content_->setObjectName(name + "Content");
  contentLayout_ = new QVBoxLayout(content_);
  contentLayout_->setContentsMargins(6, 4, 6, 6);
  contentLayout_->setSpacing(2);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->addWidget(header_);
  layout->addWidget(content_);
  connect(header_, &QToolButton::clicked, this, guarded([this] { Expand(); }));
}

void TExpander::SetIsExpanded(bool expanded) {
  expanded_ = expanded;
  header_->setArrowType(expanded ? Qt::DownArrow : Qt::RightArrow);
  content_->setVisible(expanded);
}

// ---- TfrmBusiness -------------------------------------------------------------------------------

TfrmBusiness::TfrmBusiness(QWidget* owner) : QWidget(owner) {
  setObjectName("frmBusiness");
  setWindowTitle(QStringLiteral("业务"));

  // Buttons trigger actions; report items run their function directly.
  for (const TBusinessFunction& f : kFunctions)
    if (QLatin1String(f.name).startsWith(QLatin1String("act_"))) makeAction(f);

  lytBusiness = new QWidget(this);
  lytBusiness->setObjectName("lytBusiness");
  BSPageControl = new QTabWidget(lytBusiness);
  BSPageControl->setObjectName("BSPageControl");
  BSPageControl->setDocumentMode(true);
  BSPageControl->tabBar()->setExpanding(true);
  BSPageControl->setUsesScrollButtons(false);
  BSPageControl->addTab(buildNavigationTab(), QStringLiteral("业务导航"));
  BSPageControl->addTab(buildReportTab(), QStringLiteral("报表中心"));
  BSPageControl->addTab(buildBaseDataTab(), QStringLiteral("基础资料"));
  auto* root = new QVBoxLayout(lytBusiness);
  root->setContentsMargins(0, 0, 0, 0);
  root->addWidget(BSPageControl);
}

QAction* TfrmBusiness::makeAction(const TBusinessFunction& f) {
  auto* action = new QAction(functionIcon(f), QString::fromUtf8(f.text), this);
  action->setObjectName(QString::fromLatin1(f.name));
  addAction(action);
  connect(action, &QAction::triggered, this, guarded([this, &f] { RunFunction(f); }));
  return action;
}

QAction* TfrmBusiness::Action(const QString& name) const {
  return findChild<QAction*>(name, Qt::FindDirectChildrenOnly);
}

namespace {

// A button for an action: the action's icon and text, and clicking triggers it.
QToolButton* functionButton(QAction* action, QWidget* parent, const char* role) {
  auto* button = new QToolButton(parent);
  button->setObjectName("btn" + action->objectName().mid(4));  // act_BD_Goods -> btnBD_Goods
  button->setProperty("vltRole", QString::fromLatin1(role));
  button->setDefaultAction(action);
  button->setIconSize(QSize(32, 32));
  button->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
  button->setCursor(Qt::PointingHandCursor);
  return button;
}

}  // namespace

QWidget* TfrmBusiness::buildNavigationTab() {
  tbNavi = new QWidget;
  tbNavi->setObjectName("tbNavi");
  vsbNavi = new QScrollArea(tbNavi);
  vsbNavi->setObjectName("vsbNavi");
  vsbNavi->setWidgetResizable(true);
  vsbNavi->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  vsbNavi->setFrameShape(QFrame::NoFrame);
  auto* content = new QWidget;
  content->setObjectName("vsbNaviContent");
  auto* column = new QVBoxLayout(content);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(0);
  TExpander** members[] = {&expPur, &expSale, &expStore, &expSettle, &expAccountIO};
  for (std::size_t i = 0; i < std::size(kExpanders); ++i) {
    const TExpanderDef& def = kExpanders[i];
    auto* expander =
        new TExpander(QString::fromLatin1(def.name), QString::fromUtf8(def.text), content);
    for (const char* name : def.actions) {
      QToolButton* button = functionButton(Action(QString::fromLatin1(name)), expander, "function");
      button->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
      button->setFixedHeight(36);
      expander->ContentLayout()->addWidget(button);
    }
    expander->SetIsExpanded(i == 0);
    *members[i] = expander;
    column->addWidget(expander);
  }
  column->addStretch(1);
  vsbNavi->setWidget(content);
  auto* layout = new QVBoxLayout(tbNavi);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(vsbNavi);
  return tbNavi;
}

QWidget* TfrmBusiness::buildReportTab() {
  tbBSReportCenter = new QWidget;
  tbBSReportCenter->setObjectName("tbBSReportCenter");
  tvReport = new QTreeWidget(tbBSReportCenter);
  tvReport->setObjectName("tvReport");
  tvReport->setHeaderHidden(true);
  tvReport->setAlternatingRowColors(true);
  tvReport->setIndentation(16);
  tvReport->setItemDelegate(new TReportItemDelegate(tvReport));
  tvReport->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  tvReport->setTextElideMode(Qt::ElideRight);
  QFont groupFont = tvReport->font();
  groupFont.setBold(true);
  for (const TReportGroupDef& group : kReportGroups) {
    auto* node = new QTreeWidgetItem(tvReport, {QString::fromUtf8(group.text)});
    node->setFont(0, groupFont);
    node->setFlags(Qt::ItemIsEnabled);
    for (const char* name : group.items) {
      auto* leaf = new QTreeWidgetItem(node);
      if (kSeparator == QLatin1String(name)) {
        leaf->setText(0, kSeparator);
        leaf->setFlags(Qt::ItemIsEnabled);  // a rule, not a choice
        continue;
      }
      const TBusinessFunction* f = FindBusinessFunction(QString::fromLatin1(name));
      leaf->setText(0, QString::fromUtf8(f->text));
      leaf->setData(0, kFunctionRole, QString::fromLatin1(f->name));
      leaf->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    }
  }
  tvReport->topLevelItem(0)->setExpanded(true);
  tvReport->installEventFilter(new TReportKeys(this));
  connect(tvReport, &QTreeWidget::itemClicked, this,
          guarded([this](QTreeWidgetItem* item, int) { tvReportClick(item); }));
  auto* layout = new QVBoxLayout(tbBSReportCenter);
  layout->setContentsMargins(0, 4, 0, 0);
  layout->addWidget(tvReport);
  return tbBSReportCenter;
}

QWidget* TfrmBusiness::buildBaseDataTab() {
  tbBaseData = new QWidget;
  tbBaseData->setObjectName("tbBaseData");
  auto* grid = new QGridLayout;
  grid->setContentsMargins(0, 0, 0, 0);
  grid->setSpacing(6);
  for (std::size_t i = 0; i < std::size(kBaseDataTiles); ++i) {
    QToolButton* tile =
        functionButton(Action(QString::fromLatin1(kBaseDataTiles[i])), tbBaseData, "tile");
    tile->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    tile->setFixedHeight(72);
    grid->addWidget(tile, static_cast<int>(i / 2), static_cast<int>(i % 2));
  }
  auto* layout = new QVBoxLayout(tbBaseData);
  layout->setContentsMargins(8, 10, 8, 8);
  layout->setSpacing(6);
  layout->addLayout(grid);
  for (const char* name : kBaseDataHidden) {
    QToolButton* button = functionButton(Action(QString::fromLatin1(name)), tbBaseData, "function");
    button->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    button->setFixedHeight(36);
    button->setVisible(false);
    layout->addWidget(button);
  }
  layout->addStretch(1);
  return tbBaseData;
}

void TfrmBusiness::tvReportClick(QTreeWidgetItem* item) {
  if (!item) return;
  const TBusinessFunction* f = FindBusinessFunction(item->data(0, kFunctionRole).toString());
  if (f) RunFunction(*f);
}

void TfrmBusiness::RunFunction(const TBusinessFunction& function) {
  CheckCurUserDBAndPower(function.moduleId);
  try {
    openFunctionWindow(function);
  } catch (const EAbort&) {
    throw;  // the window ended its own creation silently
  } catch (const std::exception& e) {
    ShowMessage(QString::fromUtf8(e.what()));
  }
}

void TfrmBusiness::openFunctionWindow(const TBusinessFunction& function) {
  // The cash-bill manager belongs to the frame; every other window to the application.
  QWidget* owner = function.cashTag != 0 ? this : nullptr;
  std::unique_ptr<TForm> window(
      vlt::business::CreateBusinessForm(QString::fromLatin1(function.className), owner));
  if (!window) {
    ShowMessage(kNotYetOpen);
    return;
  }
  window->setAttribute(Qt::WA_DeleteOnClose);
  if (function.cashTag != 0) window->Tag = function.cashTag;
  window->show();
  window.release();  // frees itself when closed
}
