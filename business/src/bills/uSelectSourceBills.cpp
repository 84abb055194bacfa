#include "uSelectSourceBills.h"

#include <QButtonGroup>
#include <QHBoxLayout>
#include <QRadioButton>
#include <QVBoxLayout>

#include "vlt/host.h"

VLT_REGISTER_CLASS(uSelectPurOrder, TFrmSelectPurOrder);
VLT_REGISTER_CLASS(uSelectPurchase, TFrmSelectPurchase);
VLT_REGISTER_CLASS(uSelectSalOrder, TFrmSelectSalOrder);
VLT_REGISTER_CLASS(uSelectSale, TFrmSelectSale);
VLT_REGISTER_CLASS(uSelectStoreIOSource, TFrmSelectStoreIOSource);

using namespace vlt::host;

namespace {

// What is still returnable of a line of `table`: its quantity less the quantity of the return
// lines (of `returns`) taken from it.
std::string returnableSql(const char* returns, const char* kind) {
  return std::string("IFNULL(d.qty,0)-IFNULL((select sum(r.Qty) from ") + returns +
         "_d r where r.RelationBid=d.Bid and r.RelationBNo=d.BNo and r.RelationKind=" + kind +
         "),0)";
}

}  // namespace

TFrmSelectPurOrder::TFrmSelectPurOrder(QWidget* owner) : TFrmBaseSelectBillform(owner) {}
void TFrmSelectPurOrder::FormCreate() {
  setWindowTitle("选择采购订货单");
  FMasterTable = "tb_pur_order";
  FBillKind = "3000";
  FDoneHeader = "已收数量";
  FOpenHeader = "未收数量";
  TFrmBaseSelectBillform::FormCreate();
}

TFrmSelectPurchase::TFrmSelectPurchase(QWidget* owner) : TFrmBaseSelectBillform(owner) {}
void TFrmSelectPurchase::FormCreate() {
  setWindowTitle("选择采购收货单");
  FMasterTable = "tb_pur_purchase";
  FBillKind = "3100";
  // A purchase stocked in full is finished and still returnable.
  FOnlyUnfinished = false;
  FOpenQtySql = returnableSql("tb_pur_back", "3100");
  FDoneHeader.clear();
  FOpenHeader = "可退数量";
  TFrmBaseSelectBillform::FormCreate();
}

TFrmSelectSalOrder::TFrmSelectSalOrder(QWidget* owner) : TFrmBaseSelectBillform(owner) {}
void TFrmSelectSalOrder::FormCreate() {
  setWindowTitle("选择销售订货单");
  FMasterTable = "tb_sal_order";
  FBillKind = "3300";
  FDoneHeader = "已发货数量";
  FOpenHeader = "未发货数量";
  TFrmBaseSelectBillform::FormCreate();
}

TFrmSelectSale::TFrmSelectSale(QWidget* owner) : TFrmBaseSelectBillform(owner) {}
void TFrmSelectSale::FormCreate() {
  setWindowTitle("选择销售收货单");
  FMasterTable = "tb_sal_sale";
  FBillKind = "3400";
  FOnlyUnfinished = false;
  FOpenQtySql = returnableSql("tb_sal_back", "3400");
  FDoneHeader = "已发货数量";
  FOpenHeader = "可退数量";
  TFrmBaseSelectBillform::FormCreate();
}

TFrmSelectStoreIOSource::TFrmSelectStoreIOSource(QWidget* owner) : TFrmBaseSelectBillform(owner) {
  auto* row = new QWidget(this);
  row->setObjectName("lytSource");
  auto* line = new QHBoxLayout(row);
  line->setContentsMargins(0, 0, 0, 0);
  auto* group = new QButtonGroup(row);
  group->setObjectName("SelectStoIOSource");
  struct Source {
    QRadioButton** button;
    const char* name;
    const char* text;
    const char* table;
    const char* kind;
  };
  const Source sources[] = {{&rbPurchase, "rbPurchase", "采购收货单", "tb_pur_purchase", "3100"},
                            {&rbSalBack, "rbSalBack", "销售退货单", "tb_sal_back", "3500"},
                            {&rbSale, "rbSale", "销售出库单", "tb_sal_sale", "3400"},
                            {&rbPurBack, "rbPurBack", "采购退货单", "tb_pur_back", "3200"}};
  for (const Source& s : sources) {
    auto* b = new QRadioButton(QString::fromUtf8(s.text), row);
    b->setObjectName(s.name);
    group->addButton(b);
    line->addWidget(b);
    *s.button = b;
    connect(b, &QRadioButton::toggled, this,
            guarded([this, table = std::string(s.table), kind = std::string(s.kind)](bool on) {
              if (!on) return;
              FMasterTable = table;
              FBillKind = kind;
            }));
  }
  line->addStretch(1);
  static_cast<QVBoxLayout*>(layout())->insertWidget(2, row);
}

void TFrmSelectStoreIOSource::FormCreate() {
  FMasterTable = "tb_sal_sale";
  FBillKind = "3400";
  FPriced = false;
  FDoneHeader = "完成数量";
  FOpenHeader = "未完成数量";
  FOpenSelectedHeader = "未执行数量";
  TFrmBaseSelectBillform::FormCreate();
}

void TFrmSelectStoreIOSource::FormShow() {
  TFrmBaseSelectBillform::FormShow();
  const QStringList parts = TagString.split(',');
  const bool in = parts.size() > 1 && parts[1].compare("in", Qt::CaseInsensitive) == 0;
  setWindowTitle(in ? "货品「入」库源单" : "货品「出」库源单");
  (in ? rbPurchase : rbSale)->setChecked(true);
  rbPurchase->setEnabled(in);
  rbSalBack->setEnabled(in);
  rbPurBack->setEnabled(!in);
  rbSale->setEnabled(!in);
}
