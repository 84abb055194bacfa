#include "uSelectGoods.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "tplwidgets.h"

VLT_REGISTER_CLASS(uSelectGoods, TfrmSelectGoods);

using namespace vlt;
using namespace vlt::host;
using vlt::components::TColumnDef;
using vlt::components::TNxStringGrid;
using vlt::templates::ActionButton;
using vlt::templates::MakeAction;

namespace {

// The list's columns; the selection area shows the same.
std::vector<TColumnDef> GoodsColumns() {
  return {{"Id", "", 0, false},       {"Code", "货品编码", 90},   {"Name", "货品名称", 160},
          {"Spec", "规格", 100},      {"TypeId", "", 0, false},   {"UnitID", "", 0, false},
          {"PurPrice", "", 0, false}, {"SalPrice", "", 0, false}, {"WsaPrice", "", 0, false},
          {"Kind", "", 0, false},     {"Pause", "", 0, false},    {"ReMark", "附注说明", 300}};
}

// The fields of a hand-over row, in the order they are taken from the goods row.
const char* const kHandOverFields[] = {"id",     "code",   "name",     "spec",
                                       "typeId", "UnitID", "purPrice", "SalPrice"};

}  // namespace

TfrmSelectGoods::TfrmSelectGoods(QWidget* owner) : TBaseDataPickForm(owner) {
  setFixedSize(700, 600);
  rbGcode = AddFilterRadio("rbGcode", "货品编码", "Code like ");
  rbGname = AddFilterRadio("rbGname", "货品名称", "Name like ", true);
  rbGspec = AddFilterRadio("rbGspec", "规格", "Spec like ");

  actAddSelectArea = MakeAction(this, "actAddSelectArea", "添加到选择区", {},
                                [this] { actAddSelectAreaExecute(); });
  actSelectAreaDel =
      MakeAction(this, "actSelectAreaDel", "从选区删除", {}, [this] { actSelectAreaDelExecute(); });
  actClearSelectArea = MakeAction(this, "actClearSelectArea", "清空选区", {},
                                  [this] { actClearSelectAreaExecute(); });

  lytSelectArea = new QWidget(pnlSelect_Main);
  lytSelectArea->setObjectName("lytSelectArea");
  lytSelectArea->setFixedHeight(28);
  btnAddSelectArea = ActionButton(actAddSelectArea, lytSelectArea, "btnAddSelectArea", 100);
  btnSelectAreaDel = ActionButton(actSelectAreaDel, lytSelectArea, "btnSelectAreaDel", 90);
  btnClearSelectArea = ActionButton(actClearSelectArea, lytSelectArea, "btnClearSelectArea", 80);
  lblError = new QLabel(lytSelectArea);
  lblError->setObjectName("lblError");
  lblError->setProperty("vltRole", "warning");
  auto* bar = new QHBoxLayout(lytSelectArea);
  bar->setContentsMargins(0, 0, 0, 0);
  bar->setSpacing(6);
  bar->addWidget(btnAddSelectArea);
  bar->addWidget(btnSelectAreaDel);
  bar->addWidget(btnClearSelectArea);
  bar->addWidget(lblError, 1);

  grdSelect = new TNxStringGrid(pnlSelect_Main);
  grdSelect->setObjectName("grdSelect");
  grdSelect->setEditTriggers(QAbstractItemView::NoEditTriggers);
  grdSelect->SetRowHeight(21);

  // The list above, the selection area below it, the dialog's buttons last.
  auto* main = static_cast<QVBoxLayout*>(pnlSelect_Main->layout());
  main->insertWidget(main->indexOf(LytSelecct_Bottom), lytSelectArea);
  main->insertWidget(main->indexOf(LytSelecct_Bottom), grdSelect, 1);

  connect(grd, &TNxStringGrid::CellClick, this, guarded([this] { lblError->clear(); }));
}

TfrmSelectGoods::~TfrmSelectGoods() = default;

ClientDataSet& TfrmSelectGoods::SelectGoods() {
  ClientDataSet& goods = GlobalDM().cdsSelectGoods;  // defined by the host
  if (!goods.Active()) goods.CreateDataSet();
  return goods;
}

void TfrmSelectGoods::FormCreate() {
  FSelectOK = false;
  setWindowTitle("货品选择");
  FBaseDataTableName = "td_Goods";
  FOpenBaseDataSql = "select * from " + FBaseDataTableName;
  FFilterStr = "Name like ";
  grd->Bind(&cdsSelectData, GoodsColumns());
  grdSelect->Bind(&SelectGoods(), GoodsColumns());
  // Picking in the list gathers the goods; confirming is the OK button's.
  BindGridPick(actAddSelectArea);
  TBaseDataPickForm::FormCreate();
}

void TfrmSelectGoods::FormClose() {
  TBaseDataPickForm::FormClose();
  // A dialog left without confirming hands nothing to the bill.
  if (!FSelectOK) SelectGoods().EmptyDataSet();
}

void TfrmSelectGoods::actOKExecute() {
  FSelectOK = true;
  close();
}

void TfrmSelectGoods::actModifyExecute() {
  OpenBaseDataList(QStringLiteral("uBaseDataGoods.TfrmBaseDataGoods"));
}

void TfrmSelectGoods::actAddSelectAreaExecute() {
  lblError->clear();
  if (!HasCurrentRow()) return;
  ClientDataSet& goods = SelectGoods();
  const std::string id = PickText("Id");
  if (goods.Locate("id", Value(id))) {
    lblError->setText("该货品已经加入【货品选择区】！");
    return;
  }
  static const char* const kFrom[] = {"Id",     "Code",   "Name",     "Spec",
                                      "typeId", "UnitID", "purPrice", "SalPrice"};
  vlt::components::DataSetTableModel& link = grdSelect->Link();
  link.SetActive(false);
  try {
    goods.Append();
    for (std::size_t i = 0; i < std::size(kFrom); ++i)
      goods.FieldByName(kHandOverFields[i]).SetValue(cdsSelectData.FieldByName(kFrom[i]).AsValue());
    goods.Post();
  } catch (...) {
    if (goods.State() == DataSetState::Insert) goods.Cancel();
    link.SetActive(true);
    throw;
  }
  link.SetActive(true);
}

void TfrmSelectGoods::actSelectAreaDelExecute() {
  ClientDataSet& goods = SelectGoods();
  if (!goods.IsEmpty()) goods.Delete();
}

void TfrmSelectGoods::actClearSelectAreaExecute() {
  SelectGoods().EmptyDataSet();
}
