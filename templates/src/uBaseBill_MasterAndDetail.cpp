#include "uBaseBill_MasterAndDetail.h"

#include <QDateTime>
#include <QFrame>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>
#include <map>
#include <tuple>

#include "formrows.h"
#include "tplwidgets.h"
#include "uBaseBill_Master.h"
#include "vlt/errors.h"
#include "vlt/sqltext.h"

using namespace vlt;
using namespace vlt::host;
using namespace vlt::templates;
using vlt::components::TNxStringGrid;

namespace {

const QString kNewBillNoDelete = QStringLiteral("当前为新增状态，不允许删除");
const QString kDeleteConfirm = QStringLiteral("删除后无法恢复，请确认");
const QString kNoBills = QStringLiteral("无业务单据发生，请制作业务单据！");
const QString kFirstBill = QStringLiteral("已经是首单！");
const QString kNoLines = QStringLiteral("明细表数据为空，请添加数据后保存或直接关闭窗体");
const QString kDropChanges = QStringLiteral("当前单据已修改尚未保存，放弃修改吗？");
const QString kReferenced = QStringLiteral("单据已被引用，请先删除引用该单的单据后，再修改");

const char* const kTradeTables[] = {"tb_pur_purchase", "tb_pur_back",  "tb_sal_sale",
                                    "tb_sal_back",     "tb_pur_order", "tb_sal_order"};
const char* const kPurchaseSide[] = {"tb_pur_purchase", "tb_pur_back", "tb_pur_order"};
// Bills whose stock option makes them move stock themselves.
const char* const kStockingTables[] = {"tb_pur_purchase", "tb_pur_back", "tb_sal_sale",
                                       "tb_sal_back"};

std::string lowerAscii(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return s;
}

template <std::size_t N>
bool oneOf(const std::string& table, const char* const (&names)[N]) {
  for (const char* n : names)
    if (lowerAscii(table) == n) return true;
  return false;
}

Decimal decimalOf(const Field& f) {
  return f.IsNull() ? Decimal() : f.AsDecimal();
}

Decimal decimalOf(const Value& v) {
  if (v.isNull()) return Decimal();
  Decimal d;
  return Decimal::tryParse(v.toText(), d) ? d : Decimal();
}

// qty * price * (1 + rate / 100) at two decimals.
Decimal lineAmount(const Decimal& qty, const Decimal& price, const Decimal& rate) {
  return (qty * price * (Decimal(100, 0) + rate) * Decimal(1, 2)).rescaled(2);
}

// Copies a value into a field of whatever type, through its text (a source may hand over a
// number as text).
void put(Field& f, const Value& v) {
  if (v.isNull())
    f.Clear();
  else
    f.SetAsString(v.toText());
}

QString quantityText(const Value& v) {
  return v.isNull() ? QStringLiteral("0") : qs(decimalOf(v).toShortString());
}

}  // namespace

// Follows both data sets for what the bindings do not keep: the date box, the totals, the
// numbering of a bill shown anew.
class TfrmBaseBill_MasterAndDetail::Watcher : public DataSetObserver {
 public:
  Watcher(TfrmBaseBill_MasterAndDetail& form) : form_(form) {
    form_.cdsMaster.AddObserver(this);
    form_.cdsDetail.AddObserver(this);
  }
  ~Watcher() override {
    if (master_) form_.cdsMaster.RemoveObserver(this);
    if (detail_) form_.cdsDetail.RemoveObserver(this);
  }
  Watcher(const Watcher&) = delete;
  Watcher& operator=(const Watcher&) = delete;

  void dataSetChanged(ClientDataSet& d) override { changed(d, true); }
  void recordChanged(ClientDataSet& d, int) override { changed(d, false); }
  void recordMoved(ClientDataSet& d) override { changed(d, true); }
  void stateChanged(ClientDataSet& d) override { changed(d, false); }
  void layoutChanged(ClientDataSet& d) override { changed(d, true); }
  void dataSetDestroying(ClientDataSet& d) override {
    if (&d == &form_.cdsMaster) master_ = false;
    if (&d == &form_.cdsDetail) detail_ = false;
  }

 private:
  void changed(ClientDataSet& d, bool moved) {
    if (busy_) return;
    busy_ = true;
    if (&d == &form_.cdsMaster) {
      if (moved) form_.FDetailMaxBno = 0;  // another bill: its own lines number it
      Field* date = form_.cdsMaster.FindField("BDate");
      const bool row =
          form_.cdsMaster.DisplayRow() >= 0 || form_.cdsMaster.State() == DataSetState::Insert;
      if (date) ShowText(form_.edtBdate, row ? qs(date->AsString()) : QString());
      form_.BillShown();
    }
    form_.ShowTotals();
    busy_ = false;
  }

  TfrmBaseBill_MasterAndDetail& form_;
  bool master_ = true;
  bool detail_ = true;
  bool busy_ = false;
};

TfrmBaseBill_MasterAndDetail::TfrmBaseBill_MasterAndDetail(QWidget* owner) : TfrmBaseFormEx(owner) {
  resize(1000, 640);
  actSaveAndNew =
      MakeAction(this, "actSaveAndNew", "保存新增",
                 {QKeySequence(Qt::CTRL | Qt::Key_Return), QKeySequence(Qt::CTRL | Qt::Key_Enter)},
                 [this] { actSaveAndNewExecute(); });
  actSaveAndClose =
      MakeAction(this, "actSaveAndClose", "保存退出", {QKeySequence(Qt::CTRL | Qt::Key_Q)},
                 [this] { actSaveAndCloseExecute(); });
  // Page Up and Page Down page through the bills wherever the focus is (the line grid too).
  actPrior = MakeAction(this, "actPrior", "前单", {QKeySequence(Qt::Key_PageUp)},
                        [this] { actPriorExecute(); });
  actNext = MakeAction(this, "actNext", "后单", {QKeySequence(Qt::Key_PageDown)},
                       [this] { actNextExecute(); });
  actDelBill = MakeAction(this, "actDelBill", "删除", {QKeySequence(Qt::CTRL | Qt::Key_D)},
                          [this] { actDelBillExecute(); });
  actSelectGoods =
      MakeAction(this, "actSelectGoods", "选择货品", {QKeySequence(Qt::CTRL | Qt::Key_G)},
                 [this] { actSelectGoodsExecute(); });
  actCheckData =
      MakeAction(this, "actCheckData", "actCheckData", [this] { actCheckDataExecute(); });
  actSelectBill =
      MakeAction(this, "actSelectBill", "选择单据", {QKeySequence(Qt::CTRL | Qt::Key_B)},
                 [this] { actSelectBillExecute(); });
  actDelDetailItem =
      MakeAction(this, "actDelDetailItem", "删除明细", [this] { actDelDetailItemExecute(); });
  actNewDetailItem =
      MakeAction(this, "actNewDetailItem", "新增明细", [this] { actNewDetailItemExecute(); });
  actPreview = MakeAction(this, "actPreview", "预览", {QKeySequence(Qt::CTRL | Qt::Key_W)},
                          [this] { components::ShowPrintPreview(BillPrintDoc(), this); });
  actPrint = MakeAction(this, "actPrint", "打印", {QKeySequence(Qt::CTRL | Qt::Key_P)},
                        [this] { components::PrintWithDialog(BillPrintDoc(), this); });
  actExportPdf = MakeAction(this, "actExportPdf", "导出PDF",
                            [this] { components::ExportPdf(BillPrintDoc(), this); });

  btnPrior = ToolButton(actPrior, lytTop, "btnPrior", "imgPrior", ToolIcon::Prior, 73);
  btnNext = ToolButton(actNext, lytTop, "btnNext", "imgNext", ToolIcon::Next, 72);
  btnDel = ToolButton(actDelBill, lytTop, "btnDel", "imgDelBill", ToolIcon::Delete, 80);
  btnSelectGoods =
      ToolButton(actSelectGoods, lytTop, "btnSelectGoods", "imgSelectGoods", ToolIcon::Search, 96);
  btnSelectBill =
      ToolButton(actSelectBill, lytTop, "btnSelectBill", "imgSelectBill", ToolIcon::New, 96);
  btnPreview = ToolButton(actPreview, lytTop, "btnPreview", "imgPreview", ToolIcon::Refresh, 80);
  btnPrint = ToolButton(actPrint, lytTop, "btnPrint", "imgPrint", ToolIcon::Edit, 80);
  for (QWidget* b :
       {btnPrior, btnNext, btnDel, btnSelectGoods, btnSelectBill, btnPreview, btnPrint})
    AddTopWidget(b);

  pnlBill = new QFrame(lytMainArea);
  pnlBill->setObjectName("pnlBill");
  pnlBill->setProperty("styleLookup", "pnlbill");
  auto* bill = new QVBoxLayout(pnlBill);
  bill->setContentsMargins(7, 7, 7, 8);

  lytBillHeader = new QWidget(pnlBill);
  lytBillHeader->setObjectName("lytBillHeader");
  lblBillName = new QLabel(lytBillHeader);
  lblBillName->setObjectName("lblBillName");
  edtBdate = new TDateBox(lytBillHeader, "edtBdate", "日期");
  edtBcode = new QLineEdit(lytBillHeader);
  edtBcode->setObjectName("edtBcode");
  edtBcode->setReadOnly(true);
  auto* dateAndCode = new QWidget(lytBillHeader);
  TFormRows header(dateAndCode, 2);
  header.Grid()->setContentsMargins(0, 0, 0, 0);
  lblBillDate = header.DateRow("lblBillDate", "日期", edtBdate);
  lblBillcode = header.Row("lblBillcode", "单号", edtBcode);
  auto* headerLine = new QHBoxLayout(lytBillHeader);
  headerLine->setContentsMargins(0, 0, 0, 0);
  headerLine->addWidget(lblBillName);
  headerLine->addStretch(1);
  headerLine->addWidget(dateAndCode);

  lytBillMasterArea = new QWidget(pnlBill);
  lytBillMasterArea->setObjectName("lytBillMasterArea");

  GrdDetail = new TNxStringGrid(pnlBill);
  GrdDetail->setObjectName("GrdDetail");
  GrdDetail->SetRowHeight(21);
  GrdDetail->setContextMenuPolicy(Qt::CustomContextMenu);
  pmDetail = new QMenu(this);
  pmDetail->setObjectName("pmDetail");
  pmDetail->addAction(actPrior);
  pmDetail->addAction(actNext);
  pmDetail->addAction(actSelectGoods);
  pmDetail->addAction(actNewDetailItem);
  pmDetail->addAction(actDelDetailItem);
  pmDetail->addSeparator();
  pmDetail->addAction(actPreview);
  pmDetail->addAction(actPrint);
  pmDetail->addAction(actExportPdf);
  connect(GrdDetail, &QWidget::customContextMenuRequested, this,
          guarded([this](const QPoint& at) { pmDetail->popup(GrdDetail->mapToGlobal(at)); }));

  lytTotal = new QWidget(pnlBill);
  lytTotal->setObjectName("lytTotal");
  edtTotalQty = new QLineEdit(lytTotal);
  edtTotalQty->setObjectName("edtTotalQty");
  edtTotalAmount = new QLineEdit(lytTotal);
  edtTotalAmount->setObjectName("edtTotalAmount");
  auto* totals = new QHBoxLayout(lytTotal);
  totals->setContentsMargins(0, 0, 0, 0);
  totals->addStretch(1);
  for (auto [name, caption, box] : {std::tuple{"lblQry", "数量合计：", edtTotalQty},
                                    std::tuple{"lblAmount", "金额合计：", edtTotalAmount}}) {
    box->setReadOnly(true);
    box->setEnabled(false);
    box->setAlignment(Qt::AlignRight);
    box->setFixedWidth(120);
    auto* label = new QLabel(QString::fromUtf8(caption), lytTotal);
    label->setObjectName(name);
    NameBox(label, box);
    totals->addWidget(label);
    totals->addWidget(box);
  }

  lytBillfooter = new QWidget(pnlBill);
  lytBillfooter->setObjectName("lytBillfooter");
  lytBillfooter->setFixedHeight(54);
  mmoReMark = new QPlainTextEdit(lytBillfooter);
  mmoReMark->setObjectName("mmoReMark");
  lblRemark = new QLabel("备   注：", lytBillfooter);
  lblRemark->setObjectName("lblRemark");
  NameBox(lblRemark, mmoReMark);
  btnSaveAndNew = ActionButton(actSaveAndNew, lytBillfooter, "btnSaveAndNew", 89);
  btnSaveAndClose = ActionButton(actSaveAndClose, lytBillfooter, "btnSaveAndClose", 89);
  auto* footer = new QHBoxLayout(lytBillfooter);
  footer->setContentsMargins(0, 0, 0, 0);
  footer->addWidget(lblRemark, 0, Qt::AlignTop);
  footer->addWidget(mmoReMark, 1);
  footer->addWidget(btnSaveAndNew, 0, Qt::AlignBottom);
  footer->addWidget(btnSaveAndClose, 0, Qt::AlignBottom);

  bill->addWidget(lytBillHeader);
  bill->addWidget(lytBillMasterArea);
  bill->addWidget(GrdDetail, 1);
  bill->addWidget(lytTotal);
  bill->addWidget(lytBillfooter);

  const TBillFooter made = MakeBillFooter(lytMainArea, "：");
  lytBillBottom = made.row;
  lytBillBottom->setFixedHeight(24);
  edtCreateOp = made.createOp;
  edtCreateTime = made.createTime;
  edtUpdateOp = made.updateOp;
  edtUpdateTime = made.updateTime;
  MainAreaLayout()->addWidget(pnlBill, 1);
  MainAreaLayout()->addWidget(lytBillBottom);

  connect(edtBdate, &QLineEdit::editingFinished, this, guarded([this] { edtBdateExit(); }));
  if (auto* calendar = lytBillHeader->findChild<components::TNxImgCalendarBtn*>(
          edtBdate->objectName() + "Calendar"))
    connect(calendar, &components::TNxImgCalendarBtn::ClosePopup, this,
            guarded([this] { edtBdateExit(); }));
  connect(GrdDetail, &TNxStringGrid::EditingDone, this,
          guarded([this](int column, int row) { GrdDetailEditingDone(column, row); }));
  connect(GrdDetail, &TNxStringGrid::CodeEntered, this,
          guarded([this](int, int row, const QString& text) { GrdDetailCodeEntered(row, text); }));
  connect(GrdDetail, &TNxStringGrid::CellDblClick, this,
          guarded([this](int column, int row) { GrdDetailDblClick(column, row); }));
  connect(GrdDetail, &TNxStringGrid::KeyDown, this,
          [this](int key, Qt::KeyboardModifiers, bool& handled) {
            // Enter walks to the next cell; Insert, or Down on the last line, opens a new line.
            if (key == Qt::Key_Return || key == Qt::Key_Enter) {
              const int column = GrdDetail->SelectedColumn();
              const auto& columns = GrdDetail->Link().Columns();
              for (int c = column + 1; c < static_cast<int>(columns.size()); ++c)
                if (columns[static_cast<std::size_t>(c)].visible) {
                  GrdDetail->SelectCell(c, GrdDetail->SelectedRow());
                  break;
                }
              handled = true;
            } else if (key == Qt::Key_Insert ||
                       (key == Qt::Key_Down &&
                        GrdDetail->SelectedRow() + 1 >= cdsDetail.DisplayRowCount())) {
              guarded([this] { actNewDetailItemExecute(); })();
              handled = true;
            }
          });

  cdsMaster.PacketRecords = kPageSize;
  cdsMaster.OnNewRecord = [this](ClientDataSet&) { cdsMasterNewRecord(); };
  cdsDetail.OnNewRecord = [this](ClientDataSet&) {
    try {
      cdsDetailNewRecord();
    } catch (const EAbort&) {
      throw;
    } catch (const std::exception& e) {
      ShowMessage(QString::fromUtf8(e.what()));
    }
  };
}

TfrmBaseBill_MasterAndDetail::~TfrmBaseBill_MasterAndDetail() {
  QObject::disconnect(edtBdate, nullptr, this, nullptr);
  watcher_.reset();
  FBndLst.reset();
}

bool TfrmBaseBill_MasterAndDetail::IsTradeBill() const {
  return oneOf(MasterTableName, kTradeTables);
}

ClientDataSet& TfrmBaseBill_MasterAndDetail::SelectBillD() {
  ClientDataSet& set = GlobalDM().cdsSelectBillD;
  if (set.Active()) return set;
  FieldDefs& defs = set.FieldDefinitions();
  if (defs.empty()) {
    for (const char* name : {"bid", "goodsid", "goodscode", "goodsname", "goodsspec", "unitid",
                             "DetailRemark", "pause", "selectmark"})
      defs.add(name, DataType::String, 512);
    defs.add("bno", DataType::Int32);
    defs.add("RelationKind", DataType::Int16);
    defs.addDecimal("qty", 13, 4);
    defs.addDecimal("price", 11, 2);
    defs.add("taxrate", DataType::Int16);
    defs.addDecimal("amount", 20, 2);
    defs.addDecimal("UnFinishedQty", 13, 4);
  }
  set.CreateDataSet();
  return set;
}

void TfrmBaseBill_MasterAndDetail::FormCreate() {
  TfrmBaseFormEx::FormCreate();
  try {
    btnSelectGoods->setVisible(FBillNeedGoods);
    actSelectGoods->setEnabled(FBillNeedGoods);
    lblBillName->setText(windowTitle());
    FieldDefs master = MasterFields;
    FieldDef nested;
    nested.name = DetailTableName;
    nested.type = DataType::DataSet;
    nested.children = DetailFields.list();
    master.add(nested);
    cdsMaster.Close();
    cdsMaster.FieldDefinitions() = master;
    FieldDefs& lineDefs = cdsDetail.FieldDefinitions();
    lineDefs.clear();
    FieldDef total;
    total.kind = FieldKind::Aggregate;
    total.type = DataType::Decimal;
    total.name = "TotalQty";
    total.expression = "sum(qty)";
    lineDefs.add(total);
    if (DetailFields.indexOf("amount") >= 0) {
      total.name = "TotalAmount";
      total.expression = "sum(amount)";
      lineDefs.add(total);
    }
    cdsDetail.SetDataSetField(cdsMaster, DetailTableName);
    cdsMaster.CreateDataSet();
    FBndLst = std::make_unique<components::TBindingList>(cdsMaster);
    watcher_ = std::make_unique<Watcher>(*this);
    AppendBill();
    BindData(mmoReMark, "ReMark");
    BindData(edtCreateOp, "CreateOp");
    BindData(edtCreateTime, "CreateTime");
    BindData(edtUpdateOp, "UpdateOP");
    BindData(edtUpdateTime, "UpdateTime");
    BindData(edtBcode, "BCode");
  } catch (const EAbort&) {
    throw;
  } catch (const std::exception& e) {
    ShowMessage(QString::fromUtf8(e.what()));
  }
}

void TfrmBaseBill_MasterAndDetail::FormClose() {
  TfrmBaseFormEx::FormClose();
  if (cdsDetail.Active() && cdsDetail.State() != DataSetState::Browse) cdsDetail.Cancel();
  if (cdsMaster.Active() && cdsMaster.State() != DataSetState::Browse) cdsMaster.Cancel();
}

void TfrmBaseBill_MasterAndDetail::BindData(QWidget* control, const QString& field) {
  BindBillControl(*FBndLst, control, field);
}

void TfrmBaseBill_MasterAndDetail::CheckFieldIsNotNull(ClientDataSet& dataSet,
                                                       const std::string& field,
                                                       const QString& caption) {
  TfrmBaseBill_Master::CheckFieldIsNotNull(dataSet, field, caption);
}

void TfrmBaseBill_MasterAndDetail::CheckFieldIsNotNull(ClientDataSet& dataSet,
                                                       const std::vector<std::string>& fields,
                                                       const QStringList& captions) {
  if (fields.size() != static_cast<std::size_t>(captions.size())) {
    ShowMessage("非空数据检查参数错误");
    Abort();
  }
  dataSet.CheckBrowseMode();
  for (dataSet.First(); !dataSet.Eof(); dataSet.Next())
    for (std::size_t i = 0; i < fields.size(); ++i)
      TfrmBaseBill_Master::CheckFieldIsNotNull(dataSet, fields[i], captions[static_cast<int>(i)]);
}

QString TfrmBaseBill_MasterAndDetail::UpdateBoolToCN(const Value& value) {
  return lowerAscii(value.toText()) == "true" ? QStringLiteral("是") : QStringLiteral("否");
}

Packet TfrmBaseBill_MasterAndDetail::Select(const std::string& sql) {
  return doServerMethods().GetUserDBDataBySql(CurUserInfo().UserDBID, sql);
}

void TfrmBaseBill_MasterAndDetail::RefuseReferenced() {
  ShowMessage(kReferenced);
  Abort();
}

TBillHeader TfrmBaseBill_MasterAndDetail::Header() {
  return TBillHeader{cdsMaster, prefix, MasterTableName};
}

void TfrmBaseBill_MasterAndDetail::cdsMasterNewRecord() {
  Header().Defaults();
  FBcodeIsModifyed = false;
  BillDefaults();
}

void TfrmBaseBill_MasterAndDetail::cdsDetailNewRecord() {
  cdsDetail.FieldByName("bid").SetValue(cdsMaster.FieldByName("Bid").AsValue());
  // Numbered after every line present, also after lines deleted since the bill was shown, so
  // that no key is used twice in one save.
  const std::size_t bno = cdsDetail.FieldByName("bno").Index();
  for (int r = 0; r < cdsDetail.DisplayRowCount(); ++r) {
    const Value& v = cdsDetail.DisplayValue(r, bno);
    if (!v.isNull()) FDetailMaxBno = std::max(FDetailMaxBno, static_cast<int>(v.toInt64()));
  }
  cdsDetail.FieldByName("bno").SetAsInteger(++FDetailMaxBno);
  cdsDetail.FieldByName("pause").SetAsString("False");
  if (IsTradeBill()) {
    if (Field* rate = cdsMaster.FindField("taxrate"); rate && !rate->IsNull())
      cdsDetail.FieldByName("taxrate").SetValue(rate->AsValue());
  }
}

void TfrmBaseBill_MasterAndDetail::AppendBill() {
  cdsMaster.Append();
  FOperateState = "Append";
  FDetailMaxBno = 0;
  newBillDefaults_.clear();
  for (std::size_t i = 0; i < cdsMaster.FieldCount(); ++i)
    newBillDefaults_.push_back(cdsMaster.FieldByIndex(i).AsValue());
  BillShown();
}

bool TfrmBaseBill_MasterAndDetail::BillChanged() {
  if (cdsDetail.State() != DataSetState::Browse) cdsDetail.CheckBrowseMode();
  if (cdsMaster.State() == DataSetState::Insert) {
    if (!cdsDetail.IsEmpty()) return true;
    for (std::size_t i = 0; i < cdsMaster.FieldCount() && i < newBillDefaults_.size(); ++i) {
      if (cdsMaster.FieldByIndex(i).Def().type == DataType::DataSet) continue;
      if (!(cdsMaster.FieldByIndex(i).AsValue() == newBillDefaults_[i])) return true;
    }
    return false;
  }
  return cdsMaster.State() == DataSetState::Edit || cdsMaster.ChangeCount() > 0;
}

void TfrmBaseBill_MasterAndDetail::LeaveBill() {
  if (BillChanged() && !ConfirmWarning(kDropChanges)) Abort();
  if (cdsDetail.State() != DataSetState::Browse) cdsDetail.Cancel();
  if (cdsMaster.State() != DataSetState::Browse) cdsMaster.Cancel();
  if (cdsMaster.ChangeCount() > 0) cdsMaster.CancelUpdates();
}

bool TfrmBaseBill_MasterAndDetail::GetMasterData(const std::string& masterSql) {
  try {
    std::optional<Packet> page = doServerMethods().GetMasterAndDetailData(
        CurUserInfo().UserDBID, MasterTableName, masterSql, DetailDataSql + " where Bid=:Bid");
    if (!page || page->rows.empty()) return false;
    cdsMaster.LoadFromPacket(std::move(*page));
    return true;
  } catch (const EAbort&) {
    throw;
  } catch (const std::exception& e) {
    ShowMessage(QString::fromUtf8(e.what()));
    return false;
  }
}

namespace {
std::string limitText() {
  return " LIMIT " + std::to_string(TfrmBaseBill_MasterAndDetail::kPageSize);
}

// Runs `work` with the grids and boxes of both data sets told once, at the end, instead of at
// every step (a page load and the move to its first bill would each show everything again).
template <typename Work>
bool WithControlsHeld(ClientDataSet& master, ClientDataSet& detail, Work work) {
  master.DisableControls();
  detail.DisableControls();
  bool result = false;
  try {
    result = work();
  } catch (...) {
    try {
      detail.EnableControls();
      master.EnableControls();
    } catch (...) {
      // The first failure is the one to report.
    }
    throw;
  }
  detail.EnableControls();
  master.EnableControls();
  return result;
}
}  // namespace

bool TfrmBaseBill_MasterAndDetail::LoadPage(const std::string& masterSql, bool last) {
  return WithControlsHeld(cdsMaster, cdsDetail, [&] {
    if (!GetMasterData(masterSql)) return false;
    if (last)
      cdsMaster.Last();
    else
      cdsMaster.First();
    return true;
  });
}

void TfrmBaseBill_MasterAndDetail::actPriorExecute() {
  if (FOperateState == "Append") {
    LeaveBill();
    if (!LoadPage(MasterDataSql + " ORDER BY BCode DESC" + limitText(), false) ||
        cdsMaster.IsEmpty()) {
      ShowMessage(kNoBills);
      AppendBill();
      return;
    }
  } else {
    LeaveBill();
    if (cdsMaster.RecNo() != cdsMaster.RecordCount()) {
      cdsMaster.Next();
    } else {
      const std::string code = quotedStr(cdsMaster.FieldByName("BCode").AsString());
      if (!LoadPage(MasterDataSql + " where bcode<" + code + " ORDER BY BCode DESC" + limitText(),
                    false))
        ShowMessage(kFirstBill);
    }
  }
  FOperateState = "Edit";
  FBcodeIsModifyed = false;
}

// The page of the bills just after a code, newest first: the nearest later bills are taken in
// ascending order and turned round, so that the last row is the next bill however many follow.
static std::string laterPage(const std::string& masterSql, const std::string& code) {
  return "select * from (" + masterSql + " where bcode>" + quotedStr(code) + " ORDER BY BCode" +
         limitText() + ") as pg ORDER BY BCode DESC";
}

void TfrmBaseBill_MasterAndDetail::actNextExecute() {
  if (FOperateState == "Append" || cdsMaster.FieldByName("Bid").IsNull()) return;
  LeaveBill();
  FBcodeIsModifyed = false;
  if (cdsMaster.RecNo() != 1) {
    cdsMaster.Prior();
    return;
  }
  if (LoadPage(laterPage(MasterDataSql, cdsMaster.FieldByName("BCode").AsString()), true)) {
    FOperateState = "Edit";
  } else {
    AppendBill();
  }
}

void TfrmBaseBill_MasterAndDetail::actDelBillExecute() {
  const std::string code = cdsMaster.FieldByName("BCode").AsString();
  if (FOperateState == "Append") {
    ShowMessage(kNewBillNoDelete);
    Abort();
  }
  if (!ConfirmWarning(kDeleteConfirm)) return;
  if (cdsDetail.State() != DataSetState::Browse) cdsDetail.Cancel();
  if (cdsMaster.State() != DataSetState::Browse) cdsMaster.Cancel();
  if (cdsMaster.ChangeCount() > 0) cdsMaster.CancelUpdates();
  if (BillIsReferenced()) RefuseReferenced();
  const bool lastRow = cdsMaster.RecNo() == cdsMaster.RecordCount();
  cdsMaster.Delete();
  if (!StatusOk(doServerMethods().SaveMasterAndDetailData(CurUserInfo().UserDBID, MasterTableName,
                                                          cdsMaster.GetDelta()),
                {"删除失败，错误原因："})) {
    // Still stored: the bill comes back.
    cdsMaster.CancelUpdates();
    return;
  }
  cdsMaster.MergeChangeLog();
  FBcodeIsModifyed = false;
  // The nearest later bill on the page (the one before the deleted row), else the next page's.
  if (!cdsMaster.IsEmpty() && (lastRow || cdsMaster.RecNo() != 1)) {
    if (!lastRow) cdsMaster.Prior();
    return;
  }
  // The deleted bill was the page's newest: the next later one, if any, is on another page.
  if (LoadPage(laterPage(MasterDataSql, code), true)) {
    FOperateState = "Edit";
  } else {
    AppendBill();
  }
}

void TfrmBaseBill_MasterAndDetail::actDelDetailItemExecute() {
  if (cdsDetail.IsEmpty() && cdsDetail.State() != DataSetState::Insert) return;
  WithGridOff([this] {
    if (cdsDetail.State() == DataSetState::Insert)
      cdsDetail.Cancel();
    else
      cdsDetail.Delete();
  });
}

void TfrmBaseBill_MasterAndDetail::actNewDetailItemExecute() {
  if (cdsDetail.State() != DataSetState::Browse) cdsDetail.Post();
  cdsDetail.Append();
  cdsDetail.Post();
  const auto& columns = GrdDetail->Link().Columns();
  for (std::size_t c = 0; c < columns.size(); ++c)
    if (lowerAscii(ss(columns[c].member)) == "goodscode") {
      GrdDetail->SelectCell(static_cast<int>(c), cdsDetail.DisplayRowCount() - 1);
      GrdDetail->setFocus();
    }
}

void TfrmBaseBill_MasterAndDetail::CalcAmount(ClientDataSet& dataSet) {
  if (dataSet.State() == DataSetState::Browse) dataSet.Edit();
  for (const char* name : {"qty", "price", "taxrate", "amount"})
    if (dataSet.FieldByName(name).IsNull()) dataSet.FieldByName(name).SetValue(Value(Decimal()));
  dataSet.FieldByName("amount").SetValue(Value(
      lineAmount(decimalOf(dataSet.FieldByName("qty")), decimalOf(dataSet.FieldByName("price")),
                 decimalOf(dataSet.FieldByName("taxrate")))));
}

void TfrmBaseBill_MasterAndDetail::UpdateDetailTaxRate() {
  if (!cdsMaster.Active() || cdsDetail.IsEmpty()) return;
  Field* rate = cdsMaster.FindField("taxrate");
  if (!rate || rate->IsNull()) return;
  const Value r = rate->AsValue();
  WithGridOff([&] {
    const Bookmark at = cdsDetail.GetBookmark();
    for (cdsDetail.First(); !cdsDetail.Eof(); cdsDetail.Next()) {
      if (cdsDetail.State() == DataSetState::Browse) cdsDetail.Edit();
      cdsDetail.FieldByName("taxrate").SetValue(r);
      CalcAmount(cdsDetail);
      cdsDetail.Post();
    }
    if (cdsDetail.BookmarkValid(at)) cdsDetail.GotoBookmark(at);
  });
}

void TfrmBaseBill_MasterAndDetail::GrdDetailEditingDone(int column, int /*row*/) {
  if (!IsTradeBill()) return;
  const auto& columns = GrdDetail->Link().Columns();
  if (column < 0 || column >= static_cast<int>(columns.size())) return;
  const std::string member = lowerAscii(ss(columns[static_cast<std::size_t>(column)].member));
  if (member != "qty" && member != "price" && member != "taxrate") return;
  if (cdsDetail.State() == DataSetState::Browse) cdsDetail.Edit();
  // A cleared cell stays empty; it counts as 0 in the amount.
  if (cdsDetail.FieldByName("amount").IsNull())
    cdsDetail.FieldByName("amount").SetValue(Value(Decimal()));
  cdsDetail.FieldByName("amount").SetValue(Value(
      lineAmount(decimalOf(cdsDetail.FieldByName("qty")), decimalOf(cdsDetail.FieldByName("price")),
                 decimalOf(cdsDetail.FieldByName("taxrate")))));
  cdsDetail.Post();
}

void TfrmBaseBill_MasterAndDetail::GrdDetailDblClick(int, int) {
  if (cdsDetail.IsEmpty()) Abort();
}

void TfrmBaseBill_MasterAndDetail::AddGoodsLine(const Value& goodsId, const Value& code,
                                                const Value& name, const Value& spec,
                                                const Value& unitId, const Value& purPrice,
                                                const Value& salPrice) {
  if (cdsDetail.State() == DataSetState::Browse) cdsDetail.Append();
  put(cdsDetail.FieldByName("goodsid"), goodsId);
  put(cdsDetail.FieldByName("goodscode"), code);
  put(cdsDetail.FieldByName("goodsname"), name);
  put(cdsDetail.FieldByName("goodsspec"), spec);
  put(cdsDetail.FieldByName("unitid"), unitId);
  cdsDetail.FieldByName("qty").SetValue(Value(Decimal(1, 0)));
  if (oneOf(MasterTableName, kPurchaseSide))
    put(cdsDetail.FieldByName("price"), purPrice);
  else if (IsTradeBill())
    put(cdsDetail.FieldByName("price"), salPrice);
  if (IsTradeBill()) CalcAmount(cdsDetail);
  cdsDetail.Post();
}

void TfrmBaseBill_MasterAndDetail::SetDetailGoods() {
  ClientDataSet& goods = GlobalDM().cdsSelectGoods;
  try {
    if (!FBillNeedGoods || !goods.Active()) return;
    if (cdsDetail.State() != DataSetState::Browse) cdsDetail.Post();
    for (goods.First(); !goods.Eof(); goods.Next())
      AddGoodsLine(goods.FieldByName("id").AsValue(), goods.FieldByName("code").AsValue(),
                   goods.FieldByName("name").AsValue(), goods.FieldByName("spec").AsValue(),
                   goods.FieldByName("unitid").AsValue(), goods.FieldByName("purPrice").AsValue(),
                   goods.FieldByName("salPrice").AsValue());
  } catch (const EAbort&) {
    throw;
  } catch (const std::exception& e) {
    ShowMessage(QString::fromUtf8(e.what()));
  }
  if (goods.Active() && !goods.IsEmpty()) goods.EmptyDataSet();
}

void TfrmBaseBill_MasterAndDetail::actSelectGoodsExecute() {
  if (!FBillNeedGoods) return;
  try {
    std::unique_ptr<TForm> dialog(
        CreateRttiForm("VltBusiness.bpl", "uSelectGoods.TfrmSelectGoods", this));
    const QPoint corner = btnSelectGoods->mapToGlobal(QPoint(0, btnSelectGoods->height()));
    dialog->move(corner);
    ShowModal(*dialog);
  } catch (...) {
    WithGridOff([this] { SetDetailGoods(); });
    throw;
  }
  WithGridOff([this] { SetDetailGoods(); });
}

void TfrmBaseBill_MasterAndDetail::SetMasterAndDetailDataWithGoods() {
  ClientDataSet& source = SelectBillD();
  if (source.IsEmpty()) return;
  if (cdsDetail.State() != DataSetState::Browse) cdsDetail.Post();
  const std::string table = MasterTableName;
  const bool open = table == "tb_pur_purchase" || table == "tb_sal_sale" || table == "tb_sto_in" ||
                    table == "tb_sto_out";
  const bool returned = table == "tb_pur_back" || table == "tb_sal_back";
  for (source.First(); !source.Eof(); source.Next()) {
    cdsDetail.Append();
    for (const char* name : {"goodsid", "goodsCode", "goodsName", "goodsSpec"})
      put(cdsDetail.FieldByName(name), source.FieldByName(name).AsValue());
    // What is still open on the source line; for a return, what is still returnable.
    if (open || returned)
      put(cdsDetail.FieldByName("qty"), source.FieldByName("UnFinishedQty").AsValue());
    if (IsTradeBill() && table != "tb_pur_order" && table != "tb_sal_order") {
      put(cdsDetail.FieldByName("price"), source.FieldByName("price").AsValue());
      put(cdsDetail.FieldByName("taxrate"), source.FieldByName("taxrate").AsValue());
      CalcAmount(cdsDetail);
    }
    put(cdsDetail.FieldByName("DetailRemark"), source.FieldByName("DetailRemark").AsValue());
    put(cdsDetail.FieldByName("RelationBid"), source.FieldByName("bid").AsValue());
    put(cdsDetail.FieldByName("RelationBNo"), source.FieldByName("bno").AsValue());
    put(cdsDetail.FieldByName("RelationKind"), source.FieldByName("RelationKind").AsValue());
    cdsDetail.Post();
  }
  cdsDetail.Last();
}

int TfrmBaseBill_MasterAndDetail::GetDeltailMaxBno(ClientDataSet& dataSet) {
  int most = 0;
  for (dataSet.First(); !dataSet.Eof(); dataSet.Next())
    if (!dataSet.FieldByName("bno").IsNull())
      most = std::max(most, dataSet.FieldByName("bno").AsInteger());
  return most;
}

void TfrmBaseBill_MasterAndDetail::GrdDetailCodeEntered(int row, const QString& text) {
  const std::string code = ss(text.trimmed());
  if (row >= 0 && row < cdsDetail.DisplayRowCount()) GrdDetail->Link().MoveToRow(row);
  const std::string goodsId = cdsDetail.FieldByName("goodsid").AsString();
  if (!goodsId.empty()) {
    // Only a line without goods takes a code; one that has its goods shows their code again.
    const Packet own = Select("select Code from td_goods where Id=" + quotedStr(goodsId));
    if (own.rows.empty() || own.rows.front().empty()) return;
    if (cdsDetail.State() == DataSetState::Browse) cdsDetail.Edit();
    put(cdsDetail.FieldByName("goodscode"), own.rows.front().front());
    cdsDetail.Post();
    return;
  }
  if (code.empty()) return;
  const Packet found =
      Select("select Id,Code,Name,Spec,UnitID,PurPrice,SalPrice from td_goods where Code=" +
             quotedStr(code) + " or BarCode=" + quotedStr(code) + " LIMIT 1");
  if (found.rows.empty()) {
    if (cdsDetail.State() == DataSetState::Browse) cdsDetail.Edit();
    cdsDetail.FieldByName("goodscode").Clear();
    cdsDetail.Post();
    ShowMessage(QString("没有编码或条码为【%1】的货品").arg(qs(code)));
    return;
  }
  const Row& g = found.rows.front();
  const Value& id = g[static_cast<std::size_t>(found.fields.indexOf("Id"))];
  // The same goods scanned again: one more on its line, and the entry line goes.
  const Bookmark entry = cdsDetail.GetBookmark();
  const std::size_t goodsField = cdsDetail.FieldByName("goodsid").Index();
  for (int r = 0; r < cdsDetail.DisplayRowCount(); ++r) {
    if (r == cdsDetail.DisplayRow() || !(cdsDetail.DisplayValue(r, goodsField) == id)) continue;
    WithGridOff([&] {
      cdsDetail.Delete();
      cdsDetail.First();
      while (!cdsDetail.Eof() && !(cdsDetail.FieldByName("goodsid").AsValue() == id))
        cdsDetail.Next();
      cdsDetail.Edit();
      cdsDetail.FieldByName("qty").SetValue(
          Value(decimalOf(cdsDetail.FieldByName("qty")) + Decimal(1, 0)));
      if (IsTradeBill()) CalcAmount(cdsDetail);
      cdsDetail.Post();
    });
    return;
  }
  (void)entry;
  auto at = [&](const char* name) -> const Value& {
    return g[static_cast<std::size_t>(found.fields.indexOf(name))];
  };
  if (cdsDetail.State() == DataSetState::Browse) cdsDetail.Edit();
  AddGoodsLine(id, at("Code"), at("Name"), at("Spec"), at("UnitID"), at("PurPrice"),
               at("SalPrice"));
}

void TfrmBaseBill_MasterAndDetail::edtBdateExit() {
  if (Header().TakeDate(*edtBdate)) FBcodeIsModifyed = true;
}

components::TPrintDoc TfrmBaseBill_MasterAndDetail::BillPrintDoc() {
  GrdDetail->CloseEditor(true);
  if (cdsDetail.State() != DataSetState::Browse) cdsDetail.Post();
  components::TGridPrintOptions o;
  o.title = windowTitle();
  o.headLines << QString("日期：%1    单号：%2")
                     .arg(qs(cdsMaster.FieldByName("BDate").AsString()),
                          qs(cdsMaster.FieldByName("BCode").AsString()));
  o.headLines << PrintHeadLines();
  o.totalMembers << "Qty";
  if (cdsDetail.FindField("Amount")) o.totalMembers << "Amount";
  const QString remark = qs(cdsMaster.FieldByName("ReMark").AsString());
  if (!remark.isEmpty()) o.footLines << "备注：" + remark;
  o.footLines << QString("制单人：%1    制单日期：%2    修改人：%3    修改时间：%4")
                     .arg(qs(cdsMaster.FieldByName("CreateOp").AsString()),
                          qs(cdsMaster.FieldByName("CreateTime").AsString()),
                          qs(cdsMaster.FieldByName("UpdateOP").AsString()),
                          qs(cdsMaster.FieldByName("UpdateTime").AsString()));
  return components::PrintDocFromGrid(*GrdDetail, o);
}

void TfrmBaseBill_MasterAndDetail::ShowTotals() {
  if (!cdsDetail.Active()) return;
  if (Field* q = cdsDetail.FindField("TotalQty")) ShowText(edtTotalQty, quantityText(q->AsValue()));
  if (Field* a = cdsDetail.FindField("TotalAmount"))
    ShowText(edtTotalAmount, qs(decimalOf(a->AsValue()).rescaled(2).toString()));
}

void TfrmBaseBill_MasterAndDetail::doUpdateDoneQtyByAutoStoreIO() {
  Field* flag = cdsMaster.FindField("IsStoreIO");
  if (!flag) return;
  const std::string on = lowerAscii(flag->AsString());
  const bool switchedOff = on == "false" && !(flag->AsValue() == flag->OldValue());
  if (on != "true" && !switchedOff) return;
  for (cdsDetail.First(); !cdsDetail.Eof(); cdsDetail.Next()) {
    const Decimal qty = decimalOf(cdsDetail.FieldByName("qty"));
    const Decimal done = decimalOf(cdsDetail.FieldByName("doneqty"));
    const Decimal want = on == "true" ? qty : Decimal();
    if (done == want && !cdsDetail.FieldByName("doneqty").IsNull()) continue;
    cdsDetail.Edit();
    cdsDetail.FieldByName("doneqty").SetValue(Value(want));
    cdsDetail.Post();
  }
}

void TfrmBaseBill_MasterAndDetail::CheckNegativeStock() {
  const std::string store = StoreTakenFrom();
  if (store.empty() || cdsDetail.IsEmpty()) return;
  // What this bill takes out, per goods.
  std::map<std::string, std::pair<Decimal, std::string>> out;
  for (cdsDetail.First(); !cdsDetail.Eof(); cdsDetail.Next()) {
    auto& [qty, name] = out[cdsDetail.FieldByName("goodsid").AsString()];
    qty = qty + decimalOf(cdsDetail.FieldByName("qty"));
    name = cdsDetail.FieldByName("goodsname").AsString();
  }
  std::string ids;
  for (const auto& [id, line] : out)
    ids += (ids.empty() ? "" : ",") + quotedStr(id);
  // One statement for every line; the bill's own stored lines do not count.
  const Packet onHand =
      Select("select GoodsID,sum(qty*ioDirect) as OnHand from view_storebillflow where StoreId=" +
             quotedStr(store) + " and bid<>" + quotedStr(cdsMaster.FieldByName("Bid").AsString()) +
             " and GoodsID in (" + ids + ") group by GoodsID");
  std::map<std::string, Decimal> have;
  const int idAt = onHand.fields.indexOf("GoodsID");
  const int qtyAt = onHand.fields.indexOf("OnHand");
  if (idAt >= 0 && qtyAt >= 0)
    for (const Row& r : onHand.rows)
      have[r[static_cast<std::size_t>(idAt)].toText()] =
          decimalOf(r[static_cast<std::size_t>(qtyAt)]);
  QStringList short_;
  for (const auto& [id, line] : out) {
    const Decimal now = have.count(id) ? have[id] : Decimal();
    if ((now - line.first).isNegative())
      short_ << QString("%1：库存%2，本单出库%3")
                    .arg(qs(line.second), qs(now.toShortString()), qs(line.first.toShortString()));
  }
  if (short_.isEmpty()) return;
  if (!ConfirmWarning("以下货品出库后库存将小于零：\n" + short_.join("\n") + "\n确定保存吗？"))
    Abort();
}

void TfrmBaseBill_MasterAndDetail::CdsMasterApplyUpdate() {
  GrdDetail->CloseEditor(true);
  if (cdsDetail.State() != DataSetState::Browse) cdsDetail.Post();
  actCheckDataExecute();
  if (cdsDetail.IsEmpty()) {
    ShowMessage(kNoLines);
    Abort();
  }
  CheckNegativeStock();
  // A new bill (also one whose earlier save was refused) or a new date takes the code the
  // service gives now: another clerk may have taken the one shown.
  const bool newBill =
      FOperateState == "Append" || cdsMaster.RecordUpdateStatus() == UpdateStatus::Inserted;
  if (newBill || FBcodeIsModifyed) Header().RenewCode();
  WithGridOff([this, newBill] {
    if (cdsMaster.State() == DataSetState::Edit || cdsMaster.State() == DataSetState::Insert) {
      Header().Stamp();
      if (oneOf(MasterTableName, kStockingTables)) doUpdateDoneQtyByAutoStoreIO();
      cdsMaster.Post();
    }
    if (cdsMaster.ChangeCount() == 0) return;
    if (!StatusOk(doServerMethods().SaveMasterAndDetailData(CurUserInfo().UserDBID, MasterTableName,
                                                            cdsMaster.GetDelta()),
                  {"保存失败，错误原因："}))
      Abort();  // the bill stays as typed, its changes pending
    doAfterSave();
    cdsMaster.MergeChangeLog();
    if (newBill || FBcodeIsModifyed) Header().TakeStoredCode();
    FOperateState = "Edit";
    FBcodeIsModifyed = false;
  });
}

void TfrmBaseBill_MasterAndDetail::actSaveAndNewExecute() {
  CdsMasterApplyUpdate();
  AppendBill();
}

void TfrmBaseBill_MasterAndDetail::actSaveAndCloseExecute() {
  CdsMasterApplyUpdate();
  close();
}
