#include "uBaseSelectBillform.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSplitter>
#include <QVBoxLayout>
#include <map>

#include "formrows.h"
#include "tplwidgets.h"
#include "uBaseBill_MasterAndDetail.h"
#include "vlt/sqltext.h"

using namespace vlt;
using namespace vlt::host;
using namespace vlt::templates;
using vlt::components::TColumnDef;
using vlt::components::TNxStringGrid;

namespace {

const QString kMark = QStringLiteral("√");
const QString kAlreadySelected = QStringLiteral("该明细已经加入【选择区】！");

QDate mondayOf(const QDate& d) {
  return d.addDays(1 - d.dayOfWeek());
}

}  // namespace

// Shows the lines of the source bill under the cursor (the page's lines came with the bills).
class TFrmBaseSelectBillform::Lines : public DataSetObserver {
 public:
  explicit Lines(TFrmBaseSelectBillform& form) : form_(form) { form_.cdsMaster.AddObserver(this); }
  ~Lines() override {
    if (attached_) form_.cdsMaster.RemoveObserver(this);
  }
  Lines(const Lines&) = delete;
  Lines& operator=(const Lines&) = delete;

  void Load(Packet page, const std::string& nestedName) {
    lines_.clear();
    lineFields_ = FieldDefs();
    const int nested = page.fields.indexOf(nestedName);
    const int bid = page.fields.indexOf("bid");
    if (nested >= 0) {
      lineFields_ = FieldDefs(page.fields[static_cast<std::size_t>(nested)].children);
      for (Row& r : page.rows) {
        const Value& v = r[static_cast<std::size_t>(nested)];
        if (bid >= 0 && !v.isNull() && v.nested())
          lines_[r[static_cast<std::size_t>(bid)].toText()] = *v.nested();
        r.erase(r.begin() + nested);
      }
      FieldDefs rest;
      for (std::size_t i = 0; i < page.fields.size(); ++i)
        if (static_cast<int>(i) != nested) rest.add(page.fields[i]);
      page.fields = rest;
    }
    form_.cdsMaster.Close();
    form_.cdsMaster.FieldDefinitions().clear();
    form_.cdsMaster.LoadFromPacket(std::move(page));
    Show();
  }
  void Show() {
    Packet p;
    p.fields = lineFields_;
    p.fields.add("SelectMark", DataType::String, 24);
    if (form_.cdsMaster.Active() && !form_.cdsMaster.IsEmpty()) {
      auto it = lines_.find(form_.cdsMaster.FieldByName("bid").AsString());
      if (it != lines_.end())
        for (Row r : it->second) {
          r.emplace_back();
          p.rows.push_back(std::move(r));
        }
    }
    form_.cdsDetail.Close();
    form_.cdsDetail.FieldDefinitions().clear();
    if (lineFields_.empty()) {
      form_.cdsDetail.FieldDefinitions() = p.fields;
      form_.cdsDetail.CreateDataSet();
    } else {
      form_.cdsDetail.LoadFromPacket(std::move(p));
    }
  }

  void recordMoved(ClientDataSet&) override { Show(); }
  void dataSetDestroying(ClientDataSet&) override { attached_ = false; }

 private:
  TFrmBaseSelectBillform& form_;
  FieldDefs lineFields_;
  std::map<std::string, NestedRows> lines_;
  bool attached_ = true;
};

TFrmBaseSelectBillform::TFrmBaseSelectBillform(QWidget* owner) : TForm(owner) {
  resize(640, 480);
  actSelectClick =
      MakeAction(this, "actSelectClick", "添加到已选区", [this] { actSelectClickExecute(); });
  actClearSltArea =
      MakeAction(this, "actClearSltArea", "清空选区", [this] { actClearSltAreaExecute(); });
  actDeleteSelect =
      MakeAction(this, "actDeleteSelect", "从选区删除", [this] { actDeleteSelectExecute(); });
  actSearch = MakeAction(this, "actSearch", "查询", [this] {
    try {
      actSearchExecute();
    } catch (const EAbort&) {
      throw;
    } catch (const std::exception& e) {
      ShowMessage(QString::fromUtf8(e.what()));
    }
  });

  auto* page = new QVBoxLayout(this);
  page->setContentsMargins(6, 6, 6, 6);
  layTop = new QWidget(this);
  layTop->setObjectName("layTop");
  cbbDatefitler = new QComboBox(layTop);
  cbbDatefitler->setObjectName("cbbDatefitler");
  cbbDatefitler->addItems({"本日", "本周", "本月", "本年"});
  cbbDatefitler->setFixedWidth(65);
  edtStartDate = new TDateBox(layTop, "edtStartDate", "开始日期");
  edtEndDate = new TDateBox(layTop, "edtEndDate", "结束日期");
  chkOtherFilter = new QCheckBox("更多条件", layTop);
  chkOtherFilter->setObjectName("chkOtherFilter");
  btnSearch = ActionButton(actSearch, layTop, "btnSearch", 70);
  auto* top = new QHBoxLayout(layTop);
  top->setContentsMargins(0, 0, 0, 0);
  top->addWidget(cbbDatefitler);
  for (auto [label, box] :
       {std::pair{"开始日期", edtStartDate}, std::pair{"结束日期", edtEndDate}}) {
    auto* l = new QLabel(QString::fromUtf8(label), layTop);
    NameBox(l, box);
    box->setFixedWidth(100);
    top->addWidget(l);
    top->addWidget(box);
  }
  top->addWidget(chkOtherFilter);
  top->addStretch(1);
  top->addWidget(btnSearch);

  lytOtherFilter = new QWidget(this);
  lytOtherFilter->setObjectName("lytOtherFilter");
  rbGCode = new QRadioButton("货品编码", lytOtherFilter);
  rbGCode->setObjectName("rbGCode");
  rbGname = new QRadioButton("货品名称", lytOtherFilter);
  rbGname->setObjectName("rbGname");
  rbGSpec = new QRadioButton("规格", lytOtherFilter);
  rbGSpec->setObjectName("rbGSpec");
  edtOtherFilter = new QLineEdit(lytOtherFilter);
  edtOtherFilter->setObjectName("edtOtherFilter");
  auto* other = new QHBoxLayout(lytOtherFilter);
  other->setContentsMargins(0, 0, 0, 0);
  for (QWidget* w : {static_cast<QWidget*>(rbGCode), static_cast<QWidget*>(rbGname),
                     static_cast<QWidget*>(rbGSpec)})
    other->addWidget(w);
  other->addWidget(edtOtherFilter, 1);
  lytOtherFilter->setVisible(false);

  auto makeGrid = [this](const char* name) {
    auto* g = new TNxStringGrid(this);
    g->setObjectName(name);
    g->setEditTriggers(QAbstractItemView::NoEditTriggers);
    g->SetRowHeight(21);
    return g;
  };
  grdMaster = makeGrid("grdMaster");
  grdMaster->setMinimumWidth(153);
  grdmain = makeGrid("grdmain");
  grdSlt = makeGrid("grdSlt");
  grdSlt->setFixedHeight(128);
  auto* split = new QSplitter(this);
  split->addWidget(grdMaster);
  split->addWidget(grdmain);
  split->setStretchFactor(1, 1);

  auto* layAdd = new QWidget(this);
  layAdd->setObjectName("layAdd");
  lblError = new QLabel(layAdd);
  lblError->setObjectName("lblError");
  lblError->setProperty("vltRole", "warning");
  btnAdd = ActionButton(actSelectClick, layAdd, "btnAdd");
  auto* add = new QHBoxLayout(layAdd);
  add->setContentsMargins(0, 0, 0, 0);
  add->addWidget(lblError, 1);
  add->addWidget(btnAdd);

  auto* laybottom = new QWidget(this);
  laybottom->setObjectName("laybottom");
  btnDel = ActionButton(actDeleteSelect, laybottom, "btnDel");
  btnClearSelect = ActionButton(actClearSltArea, laybottom, "btnClearSelect");
  btnOk = new QPushButton("确定", laybottom);
  btnOk->setObjectName("btnOk");
  btnOk->setFixedWidth(110);
  btnOk->setAutoDefault(false);
  auto* bottom = new QHBoxLayout(laybottom);
  bottom->setContentsMargins(0, 0, 0, 0);
  bottom->addWidget(btnDel);
  bottom->addWidget(btnClearSelect);
  bottom->addStretch(1);
  bottom->addWidget(btnOk);

  page->addWidget(layTop);
  page->addWidget(lytOtherFilter);
  page->addWidget(split, 1);
  page->addWidget(layAdd);
  page->addWidget(grdSlt);
  page->addWidget(laybottom);

  connect(cbbDatefitler, &QComboBox::currentIndexChanged, this,
          guarded([this] { cbbDatefitlerChange(); }));
  connect(chkOtherFilter, &QCheckBox::toggled, this, guarded([this](bool on) {
            lytOtherFilter->setVisible(on);
            if (on)
              edtOtherFilter->setFocus();
            else
              edtOtherFilter->clear();
          }));
  connect(btnOk, &QPushButton::clicked, this, guarded([this] { btnOkClick(); }));
  connect(grdmain, &TNxStringGrid::CellClick, this, guarded([this](int column, int) {
            if (!lblError->text().isEmpty()) lblError->clear();
            grdmainMouseUp(column);
          }));
  connect(grdmain, &TNxStringGrid::CellDblClick, this, guarded([this] { grdmainDblClick(); }));
  connect(grdSlt, &TNxStringGrid::CellClick, this,
          guarded([this](int column, int) { grdSltMouseUp(column); }));
  lines_ = std::make_unique<Lines>(*this);
}

TFrmBaseSelectBillform::~TFrmBaseSelectBillform() {
  lines_.reset();
}

std::vector<TColumnDef> TFrmBaseSelectBillform::DetailColumns() const {
  std::vector<TColumnDef> c = {
      TColumnDef("SelectMark", "选", 24), TColumnDef("GoodsCode", "货品编码", 80),
      TColumnDef("GoodsName", "货品名称", 120), TColumnDef("GoodsSpec", "规格", 80)};
  if (FPriced) {
    c.push_back(TColumnDef("Qty", "数量", 60).Number(2));
    c.push_back(TColumnDef("Price", "单价", 60).Number(2));
    c.push_back(TColumnDef("TaxRate", "税率", 40));
    c.push_back(TColumnDef("Amount", "金额", 80).Number(2));
  } else {
    c.push_back(TColumnDef("Qty", "数量", 60).Number(2));
  }
  if (!FDoneHeader.isEmpty()) c.push_back(TColumnDef("doneQty", FDoneHeader, 70).Number(2));
  if (!FOpenHeader.isEmpty()) c.push_back(TColumnDef("UnFinishedQty", FOpenHeader, 70).Number(2));
  c.push_back(TColumnDef("DetailRemark", "附注说明", 120));
  return c;
}

void TFrmBaseSelectBillform::FormCreate() {
  edtStartDate->SetDate(QDate::currentDate());
  edtEndDate->SetDate(QDate::currentDate());
  rbGname->setChecked(true);
  ClientDataSet& handOver = TfrmBaseBill_MasterAndDetail::SelectBillD();
  if (!handOver.IsEmpty()) handOver.EmptyDataSet();
  grdMaster->Bind(&cdsMaster, {TColumnDef("BDate", "日期", 75), TColumnDef("BCode", "单号", 110),
                               TColumnDef("ReMark", "备注", 80)});
  grdmain->Bind(&cdsDetail, DetailColumns());
  std::vector<TColumnDef> selected = DetailColumns();
  selected.front().member = "selectmark";
  for (TColumnDef& c : selected)
    if (c.member == "doneQty")
      c.visible = false;
    else if (c.member == "UnFinishedQty" && !FOpenSelectedHeader.isEmpty())
      c.header = FOpenSelectedHeader;
  grdSlt->Bind(&handOver, selected);
  lines_->Show();
}

void TFrmBaseSelectBillform::FormShow() {
  if (Tag == 2) {
    StoreID = ss(TagString);
    TraderID.clear();
  } else {
    TraderID = ss(TagString);
    StoreID.clear();
  }
}

void TFrmBaseSelectBillform::cbbDatefitlerChange() {
  const QDate today = QDate::currentDate();
  QDate start = today, end = today;
  switch (cbbDatefitler->currentIndex()) {
    case 1:
      start = mondayOf(today);
      end = start.addDays(6);
      break;
    case 2:
      start = QDate(today.year(), today.month(), 1);
      end = start.addMonths(1).addDays(-1);
      break;
    case 3:
      start = QDate(today.year(), 1, 1);
      end = QDate(today.year(), 12, 31);
      break;
    default:
      break;
  }
  edtStartDate->SetDate(start);
  edtEndDate->SetDate(end);
}

std::string TFrmBaseSelectBillform::GetDateArea() const {
  return " and ((bdate>=" + quotedStr(ss(edtStartDate->text())) +
         ") and (bdate<=" + quotedStr(ss(edtEndDate->text())) + "))";
}

namespace {
std::string goodsFilter(const TFrmBaseSelectBillform& f) {
  const std::string text = ss(f.edtOtherFilter->text());
  if (!f.chkOtherFilter->isChecked() || text.empty()) return std::string();
  const char* column = f.rbGCode->isChecked()   ? " and goodscode like "
                       : f.rbGSpec->isChecked() ? " and goodsspec like "
                                                : " and goodsname like ";
  return column + quotedStr("%" + text + "%");
}
}  // namespace

std::string TFrmBaseSelectBillform::MasterStatement() const {
  std::string w = " where (1=1)";
  if (FOnlyUnfinished) w += " and (finished='False')";
  w += GetDateArea();
  if (!TraderID.empty()) w += " and (traderID=" + quotedStr(TraderID) + ")";
  if (!StoreID.empty()) {
    const std::string store = StoreID.substr(0, StoreID.find(','));
    w += " and (storeid=" + quotedStr(store) + ")";
  }
  return "select * from (select m.*,g.code as goodscode,g.name as goodsname,g.spec as goodsspec "
         "from " +
         FMasterTable + " m left join " + FMasterTable +
         "_d d on m.bid=d.bid left join td_goods g on d.goodsid=g.id) as MTable" + w +
         goodsFilter(*this) + " group by bcode";
}

std::string TFrmBaseSelectBillform::DetailStatement() const {
  return "select * from (select d.*,g.code as goodscode,g.name as goodsname,g.spec as goodsspec,"
         "(" +
         FOpenQtySql + ") as UnFinishedQty from " + FMasterTable +
         "_d d left join td_goods g on d.goodsid=g.id) as Dtable where bid=:bid and "
         "UnFinishedQty>0 and pause='false'" +
         goodsFilter(*this);
}

void TFrmBaseSelectBillform::actSearchExecute() {
  lblError->clear();
  ClientDataSet& handOver = TfrmBaseBill_MasterAndDetail::SelectBillD();
  if (!handOver.IsEmpty()) handOver.EmptyDataSet();
  for (const TDateBox* box : {edtStartDate, edtEndDate})
    if (!box->Problem().isEmpty()) {
      ShowMessage(box->Problem());
      Abort();
    }
  if (edtEndDate->Date() < edtStartDate->Date()) {
    ShowMessage("单据开始日期不能大于结束日期");
    Abort();
  }
  OpenData();
}

void TFrmBaseSelectBillform::OpenData() {
  std::optional<Packet> page = doServerMethods().GetMasterAndDetailData(
      CurUserInfo().UserDBID, FMasterTable, MasterStatement(), DetailStatement());
  Packet p = page ? std::move(*page) : Packet();
  if (!page) {
    p.fields.add("bid", DataType::String, 15);
    p.fields.add("BDate", DataType::Date);
    p.fields.add("BCode", DataType::String, 17);
    p.fields.add("ReMark", DataType::String, 1024);
  }
  lines_->Load(std::move(p), FMasterTable + "_d");
}

bool TFrmBaseSelectBillform::InSelection() const {
  auto& self = const_cast<TFrmBaseSelectBillform&>(*this);
  ClientDataSet& handOver = TfrmBaseBill_MasterAndDetail::SelectBillD();
  const Value bid = self.cdsDetail.FieldByName("bid").AsValue();
  const Value bno = self.cdsDetail.FieldByName("bno").AsValue();
  const std::size_t b = handOver.FieldByName("bid").Index();
  const std::size_t n = handOver.FieldByName("bno").Index();
  for (int r = 0; r < handOver.DisplayRowCount(); ++r)
    if (handOver.DisplayValue(r, b).toText() == bid.toText() &&
        handOver.DisplayValue(r, n).toText() == bno.toText())
      return true;
  return false;
}

void TFrmBaseSelectBillform::ToggleMark() {
  if (InSelection()) {
    lblError->setText(kAlreadySelected);
    Abort();
  }
  Field& mark = cdsDetail.FieldByName("SelectMark");
  const bool marked = qs(mark.AsString()) == kMark;
  cdsDetail.Edit();
  cdsDetail.FieldByName("SelectMark").SetAsString(marked ? "" : ss(kMark));
  cdsDetail.Post();
}

void TFrmBaseSelectBillform::grdmainMouseUp(int column) {
  if (!cdsDetail.Active() || cdsDetail.IsEmpty() || column != 0) return;
  ToggleMark();
}

void TFrmBaseSelectBillform::grdmainDblClick() {
  if (!cdsDetail.Active() || cdsDetail.IsEmpty()) return;
  if (InSelection()) {
    lblError->setText(kAlreadySelected);
    Abort();
  }
  AddDetailSelectedToCltArea();
}

void TFrmBaseSelectBillform::AddDetailSelectedToCltArea() {
  ClientDataSet& handOver = TfrmBaseBill_MasterAndDetail::SelectBillD();
  handOver.Append();
  for (const char* name :
       {"bid", "bno", "goodsid", "goodscode", "goodsname", "goodsspec", "unitid", "qty", "price",
        "taxrate", "amount", "DetailRemark", "pause", "UnFinishedQty"})
    if (Field* f = cdsDetail.FindField(name)) {
      if (f->IsNull())
        handOver.FieldByName(name).Clear();
      else
        handOver.FieldByName(name).SetAsString(f->AsString());
    }
  handOver.FieldByName("RelationKind").SetAsString(FBillKind);
  handOver.Post();
}

void TFrmBaseSelectBillform::actSelectClickExecute() {
  if (!cdsDetail.Active() || cdsDetail.IsEmpty()) return;
  for (cdsDetail.First(); !cdsDetail.Eof(); cdsDetail.Next()) {
    if (qs(cdsDetail.FieldByName("SelectMark").AsString()) != kMark || InSelection()) continue;
    lblError->clear();
    AddDetailSelectedToCltArea();
  }
}

void TFrmBaseSelectBillform::grdSltMouseUp(int column) {
  ClientDataSet& handOver = TfrmBaseBill_MasterAndDetail::SelectBillD();
  if (handOver.IsEmpty() || column != 0) return;
  const bool marked = qs(handOver.FieldByName("selectmark").AsString()) == kMark;
  handOver.Edit();
  handOver.FieldByName("selectmark").SetAsString(marked ? "" : ss(kMark));
  handOver.Post();
}

void TFrmBaseSelectBillform::actDeleteSelectExecute() {
  ClientDataSet& handOver = TfrmBaseBill_MasterAndDetail::SelectBillD();
  if (handOver.IsEmpty()) return;
  handOver.Delete();
  handOver.First();
  while (!handOver.Eof()) {
    if (qs(handOver.FieldByName("selectmark").AsString()) == kMark)
      handOver.Delete();
    else
      handOver.Next();
  }
}

void TFrmBaseSelectBillform::actClearSltAreaExecute() {
  ClientDataSet& handOver = TfrmBaseBill_MasterAndDetail::SelectBillD();
  if (!handOver.IsEmpty()) handOver.EmptyDataSet();
}

void TFrmBaseSelectBillform::btnOkClick() {
  FSelectOK = true;
  close();
}

void TFrmBaseSelectBillform::closeEvent(QCloseEvent* event) {
  // Closed any other way than OK: nothing is handed back.
  if (!FSelectOK) actClearSltAreaExecute();
  TForm::closeEvent(event);
}
