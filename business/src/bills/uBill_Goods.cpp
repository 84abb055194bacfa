#include "uBill_Goods.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QRadioButton>

#include "basedata/selectdialogs.h"
#include "basedata/uSelectAccount.h"
#include "basedata/uSelectClient.h"
#include "basedata/uSelectVendor.h"
#include "formrows.h"
#include "picktarget.h"
#include "tplwidgets.h"
#include "uBusinessClasses.h"
#include "vlt/sqltext.h"

VLT_REGISTER_CLASS(uBill_Pur_Order, TfrmBill_Pur_Order);
VLT_REGISTER_CLASS(uBill_Pur_Purchase, TfrmBill_Pur_Purchase);
VLT_REGISTER_CLASS(uBill_Pur_Back, TfrmBill_Pur_Back);
VLT_REGISTER_CLASS(uBill_Sal_Order, TfrmBill_Sal_Order);
VLT_REGISTER_CLASS(uBill_Sal_Sale, TfrmBill_Sal_Sale);
VLT_REGISTER_CLASS(uBill_Sal_Back, TfrmBill_Sal_Back);
VLT_REGISTER_CLASS(uBill_Sto_StoreIN, TfrmBill_Sto_StoreIN);
VLT_REGISTER_CLASS(uBill_Sto_StoreOut, TfrmBill_Sto_StoreOut);

using namespace vlt;
using namespace vlt::host;
using namespace vlt::templates;
using vlt::business::TGoodsBillKind;
using vlt::components::TColumnDef;

namespace {

using K = TGoodsBillKind;
const K kPurOrder = {"采购订货单",
                     "tb_pur_order",
                     "PO",
                     K::Purchase,
                     nullptr,
                     false,
                     "停止收货",
                     "已收数量",
                     nullptr,
                     nullptr,
                     true,
                     false,
                     {"tb_bal_payment", "tb_pur_purchase"}};
const K kPurchase = {"采购收货单",
                     "tb_pur_purchase",
                     "PC",
                     K::Purchase,
                     "自动入库",
                     false,
                     "停止入库",
                     "已入数量",
                     "uSelectPurOrder.TFrmSelectPurOrder",
                     nullptr,
                     true,
                     true,
                     {"tb_bal_payment", "tb_pur_purchase", "tb_pur_back", "tb_sto_in"}};
const K kPurBack = {"采购退货单",  "tb_pur_back", "PB",
                    K::Purchase,   "自动出库",    true,
                    "停止出库",    "已出数量",    "uSelectPurchase.TFrmSelectPurchase",
                    nullptr,       false,         true,
                    {"tb_sto_out"}};
const K kSalOrder = {"销售订货单",
                     "tb_sal_order",
                     "SO",
                     K::Sales,
                     nullptr,
                     false,
                     "停止发货",
                     "已发数量",
                     nullptr,
                     nullptr,
                     true,
                     false,
                     {"tb_bal_gathering", "tb_sal_sale"}};
const K kSale = {"销售发货单",
                 "tb_sal_sale",
                 "SA",
                 K::Sales,
                 "自动出库",
                 true,
                 "停止出库",
                 "已出数量",
                 "uSelectSalOrder.TFrmSelectSalOrder",
                 nullptr,
                 true,
                 true,
                 {"tb_bal_gathering", "tb_sal_sale", "tb_sal_back", "tb_sto_out"}};
const K kSalBack = {"销售退货单", "tb_sal_back", "SK",
                    K::Sales,     "自动入库",    false,
                    "停止入库",   "已入数量",    "uSelectSale.TFrmSelectSale",
                    nullptr,      false,         true,
                    {"tb_sto_in"}};
const K kStoreIn = {"货品入库单",
                    "tb_sto_in",
                    "TI",
                    K::Stock,
                    nullptr,
                    false,
                    nullptr,
                    nullptr,
                    "uSelectStoreIOSource.TFrmSelectStoreIOSource",
                    ",in",
                    false,
                    false,
                    {}};
const K kStoreOut = {"货品出库单",
                     "tb_sto_out",
                     "TO",
                     K::Stock,
                     nullptr,
                     true,
                     nullptr,
                     nullptr,
                     "uSelectStoreIOSource.TFrmSelectStoreIOSource",
                     ",out",
                     false,
                     false,
                     {}};

const char* const kMainStoreId = "100000000000001";
const char* const kMainStoreName = "主仓库";
// The widths the tables keep (characters) and the number columns' digits.
constexpr int kAmountIntegerDigits = 18;

// The store dialog: the stores of the account set; offers id and name.
class TSelectStoreForm : public vlt::business::TBaseDataPickForm {
 public:
  explicit TSelectStoreForm(QWidget* owner) : TBaseDataPickForm(owner) {
    AddFilterRadio("rbSName", "仓库名称", "Name like ", true);
  }
  void FormCreate() override {
    setWindowTitle("仓库选择");
    FBaseDataTableName = "td_Store";
    FOpenBaseDataSql = "select * from " + FBaseDataTableName;
    FFilterStr = "Name like ";
    grd->Bind(&cdsSelectData, {{"Id", "", 0, false}, {"Name", "仓库名称", 200}});
    BindGridPick(actOK);
    TBaseDataPickForm::FormCreate();
  }
  void actOKExecute() override {
    if (!HasCurrentRow()) return;
    Target.Deliver({PickText("ID"), PickText("Name")});
    close();
  }
  void actModifyExecute() override {
    OpenBaseDataList(QStringLiteral("uBaseDataStore.TfrmBaseDataStore"));
  }
};

std::string quotedField(ClientDataSet& set, const char* field) {
  return quotedStr(set.FieldByName(field).AsString());
}

}  // namespace

namespace vlt::business {

std::string ReferenceSql(const TGoodsBillKind& kind, const std::string& bid) {
  std::string parts;
  for (const char* table : kind.referencedBy) {
    if (!parts.empty()) parts += " UNION ";
    const std::string t = table;
    if (t.rfind("tb_bal_", 0) == 0)
      parts += "select bid,BDate,BCode,RelationBid,RelationKind from " + t;
    else
      parts += "select d.bid,m.BDate,m.BCode,d.RelationBid,d.RelationKind from " + t +
               "_d D INNER JOIN " + t + " M ON d.Bid=m.Bid";
  }
  if (parts.empty()) return std::string();
  return "select * from (" + parts + ") as dlt where RelationBid=" + quotedStr(bid) + " LIMIT 1";
}

TGoodsBill::TGoodsBill(QWidget* owner, const TGoodsBillKind& kind)
    : TfrmBaseBill_MasterAndDetail(owner), kind_(kind) {
  const bool purchase = kind.side == TGoodsBillKind::Purchase;
  const bool hasStore = kind.side == TGoodsBillKind::Stock || kind.stockOption != nullptr;
  FieldDefs& m = MasterFields;
  m.add("Bid", DataType::String, 15, true);
  m.add("BDate", DataType::Date);
  m.add("BCode", DataType::String, 17);
  m.add("BKind", DataType::Int16);
  m.add("BState", DataType::Int16);
  if (trade()) {
    m.add("TraderID", DataType::String, 15);
    m.add("RevDate", DataType::Date);
    m.add("RevMemo", DataType::String, 512);
    m.add("NoteType", DataType::String, 28);
    m.add("TaxRate", DataType::Int16);
    m.add("IsPay", DataType::String, 8);
    m.add("AccountId", DataType::String, 15);
    m.addDecimal("AccAmt", 20, 2);
  }
  if (hasStore) m.add("StoreId", DataType::String, 15);
  if (kind.stockOption) m.add("IsStoreIO", DataType::String, 8);
  if (trade()) m.add("Finished", DataType::String, 8);
  m.add("ReMark", DataType::String, 1024);
  m.add("CreateOp", DataType::Int64);
  m.add("UpdateOP", DataType::Int64);
  m.add("CreateTime", DataType::DateTime);
  m.add("UpdateTime", DataType::DateTime);
  m.add("BDiary", DataType::String, 4096);
  if (trade()) {
    m.add("TraderName", DataType::String, 240);
    m.add("AccName", DataType::String, 160);
  }
  if (hasStore) m.add("StoreName", DataType::String, 160);

  FieldDefs& d = DetailFields;
  d.add("Bid", DataType::String, 15);
  d.add("BNo", DataType::Int32);
  d.add("GoodsID", DataType::String, 15);
  d.add("UnitID", DataType::String, 15);
  d.addDecimal("Qty", 13, 4);
  if (trade()) {
    d.addDecimal("Price", 11, 2);
    d.add("TaxRate", DataType::Int16);
    d.addDecimal("Amount", 20, 2);
  }
  d.add("DetailRemark", DataType::String, 512);
  d.add("Pause", DataType::String, 8);
  d.add("RelationBid", DataType::String, 15);
  d.add("RelationBNo", DataType::Int32);
  d.add("RelationKind", DataType::Int16);
  if (trade()) d.addDecimal("doneQty", 13, 4);
  d.add("GoodsCode", DataType::String, 40);
  d.add("GoodsName", DataType::String, 80);
  d.add("GoodsSpec", DataType::String, 80);

  actSelectTrader = MakeAction(this, "actSelectTrader", "+", [this] { actSelectTraderExecute(); });
  actSelectAccount =
      MakeAction(this, "actSelectAccount", "+", [this] { actSelectAccountExecute(); });
  actSelectStore = MakeAction(this, "actSelectStore", "+", [this] { actSelectStoreExecute(); });
  btnSelectBill->setVisible(kind.sourceDialog != nullptr);
  actSelectBill->setEnabled(kind.sourceDialog != nullptr);

  QWidget* area = lytBillMasterArea;
  TFormRows rows(area, 3);
  if (trade()) {
    edttrader = new QLineEdit(area);
    edttrader->setObjectName("edttrader");
    edttrader->setReadOnly(true);
    rows.PickRow("lbltrader", purchase ? "供货商" : "客户", edttrader, actSelectTrader,
                 "btnSelectTrader");
    edtRevdate = new TDateBox(area, "edtRevdate", purchase ? "收货日期" : "发货日期");
    rows.DateRow("lblRevdate", purchase ? "收货日期" : "发货日期", edtRevdate);
    cbbNoteType = new QComboBox(area);
    cbbNoteType->setObjectName("cbbNoteType");
    cbbNoteType->addItems({"收据", "普通发票", "增值税发票"});
    rows.Row("lblNoteType", "票据类型", cbbNoteType);
    edtTaxRate = new TNumberBox(area, "edtTaxRate", "税率", 0, 3, false);
    rows.Row("lblTaxRate", "税率", edtTaxRate);
    chkIsPay = new QCheckBox(purchase ? "自动付款" : "自动收款", area);
    chkIsPay->setObjectName("chkIsPay");
    rows.Cell(chkIsPay);
    edtAccount = new QLineEdit(area);
    edtAccount->setObjectName("edtAccount");
    edtAccount->setReadOnly(true);
    lblAccount_ = rows.PickRow("lblAccount", purchase ? "付款帐户" : "收款帐户", edtAccount,
                               actSelectAccount, "btnSelectAccount");
    edtAccAmt = new TNumberBox(area, "edtAccAmt", purchase ? "付款金额" : "收款金额", 2,
                               kAmountIntegerDigits, false);
    lblAccAmt_ = rows.Row("lblAccAmt", purchase ? "付款金额" : "收款金额", edtAccAmt);
  }
  if (kind.stockOption) {
    chkIsStoreIO = new QCheckBox(QString::fromUtf8(kind.stockOption), area);
    chkIsStoreIO->setObjectName("chkIsStoreIO");
    rows.Cell(chkIsStoreIO);
  }
  if (hasStore) {
    edtStore = new QLineEdit(area);
    edtStore->setObjectName("edtStore");
    edtStore->setReadOnly(true);
    lblStore_ = rows.PickRow("lblStore", "仓库名称", edtStore, actSelectStore, "btnSelectStore");
  }
  if (trade()) {
    mmoRevMemo = new QPlainTextEdit(area);
    mmoRevMemo->setObjectName("mmoRevMemo");
    mmoRevMemo->setFixedHeight(44);
    rows.MemoRow("lblRevMemo", purchase ? "收货说明" : "发货说明", mmoRevMemo);
  }
  if (!trade()) {
    edtTotalAmount->setVisible(false);
    if (auto* label = findChild<QLabel*>("lblAmount")) label->setVisible(false);
  }

  if (chkIsPay) connect(chkIsPay, &QCheckBox::toggled, this, guarded([this] { EnableChoices(); }));
  if (chkIsStoreIO)
    connect(chkIsStoreIO, &QCheckBox::toggled, this, guarded([this] { EnableChoices(); }));
  if (edtTaxRate)
    connect(edtTaxRate, &QLineEdit::textEdited, this, guarded([this] {
              // The rate goes to every line as it is typed.
              if (showing_ || edtTaxRate->text().isEmpty() || !edtTaxRate->Problem().isEmpty())
                return;
              if (cdsMaster.State() == DataSetState::Browse) cdsMaster.Edit();
              cdsMaster.FieldByName("TaxRate").SetValue(Value(*edtTaxRate->Number()));
              UpdateDetailTaxRate();
            }));
  if (edtAccAmt)
    connect(edtAccAmt, &QLineEdit::editingFinished, this, guarded([this] {
              if (!showing_ && edtAccAmt->Problem().isEmpty()) PutNumbersIntoRow();
            }));
}

TGoodsBill::~TGoodsBill() {
  for (QWidget* box : {static_cast<QWidget*>(edtTaxRate), static_cast<QWidget*>(edtAccAmt)})
    if (box) QObject::disconnect(box, nullptr, this, nullptr);
}

std::vector<TColumnDef> TGoodsBill::LineColumns() const {
  std::vector<TColumnDef> c = {
      TColumnDef("Bid", "", 0, false),
      TColumnDef("BNo", "", 0, false),
      TColumnDef("GoodsID", "", 0, false),
      TColumnDef("GoodsCode", "货品编码", trade() ? 80 : 100).Edit(TColumnDef::Editor::Code),
      TColumnDef("GoodsName", "货品名称", 160),
      TColumnDef("GoodsSpec", kind_.table == std::string("tb_pur_order") ? "规    格" : "规格",
                 trade() ? 120 : 100),
      TColumnDef("UnitID", "", 0, false),
      TColumnDef("Qty", "数量", trade() ? 50 : 80).Number(2).Edit(TColumnDef::Editor::Number)};
  if (trade()) {
    c.push_back(TColumnDef("Price", "单价", 60).Number(2).Edit(TColumnDef::Editor::Number));
    c.push_back(TColumnDef("TaxRate", "税率", 40).Edit(TColumnDef::Editor::Number));
    c.push_back(TColumnDef("Amount", "金额", 90).Number(2));
  }
  c.push_back(TColumnDef("DetailRemark", "附注说明", trade() ? 120 : 240).Edit());
  c.push_back(TColumnDef("Pause", kind_.pauseHeader ? kind_.pauseHeader : "", 60,
                         kind_.pauseHeader != nullptr)
                  .YesNo());
  c.push_back(TColumnDef("RelationBid", "", 0, false));
  c.push_back(TColumnDef("RelationBNo", "", 0, false));
  c.push_back(TColumnDef("RelationKind", "", 0, false));
  if (kind_.doneHeader) c.push_back(TColumnDef("doneQty", kind_.doneHeader, 70).Number(2));
  return c;
}

void TGoodsBill::FormCreate() {
  setWindowTitle(QString::fromUtf8(kind_.caption));
  FBillNeedGoods = true;
  MasterTableName = kind_.table;
  DetailTableName = MasterTableName + "_d";
  prefix = kind_.prefix;
  const bool hasStore = MasterFields.indexOf("StoreId") >= 0;
  if (!trade())
    MasterDataSql = "select M.*,s.Name as StoreName from " + MasterTableName +
                    " M left join td_store S on M.storeID=S.ID";
  else
    MasterDataSql = "select M.*,t.Name as Tradername,A.name as AccName" +
                    std::string(hasStore ? ",s.Name as StoreName" : "") + " from " +
                    MasterTableName +
                    " M left join td_trader T on M.traderID=T.ID left join td_account A on "
                    "M.AccountID=A.ID" +
                    (hasStore ? " left join td_store S on M.storeID=S.ID" : "");
  DetailDataSql = "select D.*,g.Code as GoodsCode,g.Name as GoodsName,g.Spec as GoodsSpec  from " +
                  DetailTableName + " D left JOIN td_goods G on D.GoodsID=G.Id";
  TfrmBaseBill_MasterAndDetail::FormCreate();
  if (edttrader) BindData(edttrader, "TraderName");
  if (edtRevdate) BindData(edtRevdate, "RevDate");
  if (cbbNoteType) FBndLst->BindCombo(cbbNoteType, "NoteType");
  if (chkIsPay) FBndLst->BindCheck(chkIsPay, "IsPay");
  if (edtAccount) BindData(edtAccount, "AccName");
  if (chkIsStoreIO) FBndLst->BindCheck(chkIsStoreIO, "IsStoreIO");
  if (edtStore) BindData(edtStore, "StoreName");
  if (mmoRevMemo) BindData(mmoRevMemo, "RevMemo");
  GrdDetail->Bind(&cdsDetail, LineColumns());
  BillShown();
}

void TGoodsBill::BillDefaults() {
  if (trade()) {
    cdsMaster.FieldByName("RevDate").SetAsString(ss(QDate::currentDate().toString(Qt::ISODate)));
    cdsMaster.FieldByName("NoteType").SetAsString("收据");
    cdsMaster.FieldByName("IsPay").SetAsString("False");
    cdsMaster.FieldByName("TaxRate").SetAsInteger(0);
    cdsMaster.FieldByName("AccAmt").SetValue(Value(Decimal()));
    cdsMaster.FieldByName("Finished").SetAsString("False");
  }
  if (kind_.stockOption) cdsMaster.FieldByName("IsStoreIO").SetAsString("False");
  if (cdsMaster.FindField("StoreId")) {
    cdsMaster.FieldByName("StoreId").SetAsString(kMainStoreId);
    cdsMaster.FieldByName("StoreName").SetAsString(kMainStoreName);
  }
}

void TGoodsBill::EnableChoices() {
  if (chkIsPay) {
    const bool pay = chkIsPay->isChecked();
    for (QWidget* w : {static_cast<QWidget*>(edtAccount), static_cast<QWidget*>(edtAccAmt)})
      w->setEnabled(pay);
    actSelectAccount->setEnabled(pay);
    for (QLabel* l : {lblAccount_, lblAccAmt_})
      l->setEnabled(pay);
  }
  if (chkIsStoreIO) {
    const bool store = chkIsStoreIO->isChecked();
    edtStore->setEnabled(store);
    actSelectStore->setEnabled(store);
    lblStore_->setEnabled(store);
  }
}

void TGoodsBill::BillShown() {
  if (showing_ || !cdsMaster.Active()) return;
  showing_ = true;
  const bool row = cdsMaster.DisplayRow() >= 0 || cdsMaster.State() == DataSetState::Insert;
  if (edtTaxRate) {
    Field& rate = cdsMaster.FieldByName("TaxRate");
    if (!edtTaxRate->hasFocus()) ShowText(edtTaxRate, row ? qs(rate.AsString()) : QString());
  }
  if (edtAccAmt) {
    Field& amount = cdsMaster.FieldByName("AccAmt");
    ShowText(edtAccAmt,
             row && !amount.IsNull() ? qs(amount.AsDecimal().rescaled(2).toString()) : QString());
  }
  showing_ = false;
  EnableChoices();
}

void TGoodsBill::PutNumbersIntoRow() {
  if (edtTaxRate) CheckBoxes({edtTaxRate});
  if (edtAccAmt) CheckBoxes({edtAccAmt});
  auto put = [this](TNumberBox* box, const char* field) {
    if (!box) return;
    Field& f = cdsMaster.FieldByName(field);
    const bool empty = box->text().trimmed().isEmpty();
    if (empty ? f.IsNull() : (!f.IsNull() && f.AsDecimal() == *box->Number())) return;
    if (cdsMaster.State() == DataSetState::Browse) cdsMaster.Edit();
    if (empty)
      cdsMaster.FieldByName(field).Clear();
    else
      cdsMaster.FieldByName(field).SetValue(Value(*box->Number()));
  };
  put(edtAccAmt, "AccAmt");
}

void TGoodsBill::actCheckDataExecute() {
  PutNumbersIntoRow();
  const bool purchase = kind_.side == TGoodsBillKind::Purchase;
  if (trade()) {
    CheckFieldIsNotNull(cdsMaster, "TraderID", purchase ? "供货商" : "客户");
    if (Flag("IsPay")) {
      CheckFieldIsNotNull(cdsMaster, "AccountId", purchase ? "付款帐户" : "收款帐户");
      CheckFieldIsNotNull(cdsMaster, "AccAmt", purchase ? "付款金额" : "收款金额");
    }
  }
  if (cdsMaster.FindField("StoreId") && (!chkIsStoreIO || Flag("IsStoreIO")))
    CheckFieldIsNotNull(cdsMaster, "StoreId", "仓库名称");
  const bool priced = trade() && kind_.table != std::string("tb_pur_order") &&
                      kind_.table != std::string("tb_sal_order");
  if (priced)
    CheckFieldIsNotNull(cdsDetail, {"goodsid", "qty", "price"}, {"货品", "数量", "单价"});
  else
    CheckFieldIsNotNull(cdsDetail, {"goodsid", "qty"}, {"货品", "数量"});
  // Quantities are above zero and prices not below it: a return is a bill of its own.
  for (cdsDetail.First(); !cdsDetail.Eof(); cdsDetail.Next()) {
    const QString goods = qs(cdsDetail.FieldByName("GoodsName").AsString());
    if (!cdsDetail.FieldByName("qty").AsDecimal().isNegative() &&
        !cdsDetail.FieldByName("qty").AsDecimal().isZero() &&
        !(priced && cdsDetail.FieldByName("price").AsDecimal().isNegative()))
      continue;
    ShowMessage(
        QString("【%1】的数量必须大于零，单价不能小于零，保存被取消，请检查数据！").arg(goods));
    Abort();
  }
  if (kind_.checksReferences && BillIsReferenced()) RefuseReferenced();
}

bool TGoodsBill::Flag(const char* field) {
  return QString::fromStdString(cdsMaster.FieldByName(field).AsString())
             .compare("True", Qt::CaseInsensitive) == 0;
}

bool TGoodsBill::BillIsReferenced() {
  const std::string sql = ReferenceSql(kind_, cdsMaster.FieldByName("Bid").AsString());
  return !sql.empty() && !Select(sql).rows.empty();
}

std::string TGoodsBill::StoreTakenFrom() {
  if (!kind_.takesOut) return std::string();
  if (chkIsStoreIO && !Flag("IsStoreIO")) return std::string();
  return cdsMaster.FieldByName("StoreId").AsString();
}

QStringList TGoodsBill::PrintHeadLines() {
  QStringList lines;
  auto text = [this](const char* field) {
    Field* f = cdsMaster.FindField(field);
    return f ? qs(f->AsString()) : QString();
  };
  if (trade()) {
    const bool purchase = kind_.side == TGoodsBillKind::Purchase;
    lines << QString("%1：%2    %3：%4    税率：%5")
                 .arg(purchase ? "供货商" : "客户", text("TraderName"),
                      purchase ? "收货日期" : "发货日期", text("RevDate"), text("TaxRate"));
  }
  if (cdsMaster.FindField("StoreName")) lines << "仓库名称：" + text("StoreName");
  if (trade() && !text("RevMemo").isEmpty())
    lines << (kind_.side == TGoodsBillKind::Purchase ? "收货说明：" : "发货说明：") +
                 text("RevMemo");
  return lines;
}

void TGoodsBill::doAfterSave() {
  if (!kind_.finishes) return;
  const std::string bid = quotedField(cdsMaster, "Bid");
  const Packet open = Select("select 1 as doneFlag from " + DetailTableName + " where bid=" + bid +
                             " and Qty >doneQty and pause='False' LIMIT 1");
  if (!open.rows.empty()) return;
  CheckStatus(doServerMethods().doUserDBDataBySql(
      CurUserInfo().UserDBID,
      "update " + MasterTableName + " set finished='True' where bid=" + bid));
  // The window's copy follows, so that the next save of this bill is not taken for stale.
  cdsMaster.Edit();
  cdsMaster.FieldByName("Finished").SetAsString("True");
  cdsMaster.Post();
}

void TGoodsBill::GrdDetailDblClick(int column, int row) {
  TfrmBaseBill_MasterAndDetail::GrdDetailDblClick(column, row);
  if (cdsDetail.State() == DataSetState::Browse) cdsDetail.Edit();
  const auto& columns = GrdDetail->Link().Columns();
  if (!kind_.pauseHeader || column < 0 || column >= static_cast<int>(columns.size()) ||
      columns[static_cast<std::size_t>(column)].member != "Pause")
    return;
  Field& pause = cdsDetail.FieldByName("Pause");
  const bool paused =
      QString::fromStdString(pause.AsString()).compare("false", Qt::CaseInsensitive);
  pause.SetAsString(paused ? "False" : "True");
  cdsDetail.Post();
}

namespace {
// Shows a selection dialog below the box, the choice going into the bill's fields.
void pickInto(TfrmBaseDataSelectForm& dialog, const QWidget& below, ClientDataSet& bill,
              std::vector<std::string> fields) {
  dialog.move(below.mapToGlobal(QPoint(0, below.height())));
  dialog.Target = TPickTarget::IntoFields(bill, std::move(fields));
  ShowModal(dialog);
}
}  // namespace

void TGoodsBill::actSelectTraderExecute() {
  std::unique_ptr<TfrmBaseDataSelectForm> dialog;
  if (kind_.side == TGoodsBillKind::Purchase)
    dialog = CreateForm<TfrmSelectVendor>(this);
  else
    dialog = CreateForm<TfrmSelectClient>(this);
  pickInto(*dialog, *edttrader, cdsMaster, {"TraderID", "TraderName"});
}

void TGoodsBill::actSelectAccountExecute() {
  auto dialog = CreateForm<TfrmSelectAccount>(this);
  pickInto(*dialog, *edtAccount, cdsMaster, {"AccountId", "AccName"});
}

void TGoodsBill::actSelectStoreExecute() {
  auto dialog = CreateForm<TSelectStoreForm>(this);
  pickInto(*dialog, *edtStore, cdsMaster, {"StoreId", "StoreName"});
}

void TGoodsBill::actSelectBillExecute() {
  if (!kind_.sourceDialog) return;
  std::string tag;
  if (trade()) {
    tag = cdsMaster.FieldByName("TraderID").AsString();
    if (tag.empty()) {
      ShowMessage("请先选择往来单位！");
      return;
    }
  } else {
    tag = cdsMaster.FieldByName("StoreId").AsString();
    if (tag.empty()) {
      ShowMessage("请先选择仓库！");
      Abort();
    }
    tag += kind_.direction;
  }
  std::unique_ptr<TForm> dialog(
      CreateRttiForm(vlt::business::kBusinessPackage, QString::fromUtf8(kind_.sourceDialog), this));
  dialog->move(btnSelectBill->mapToGlobal(QPoint(0, btnSelectBill->height())));
  dialog->TagString = qs(tag);
  if (!trade()) dialog->Tag = 2;
  ShowModal(*dialog);
  dialog.reset();
  WithGridOff([this] { SetMasterAndDetailDataWithGoods(); });
  ClientDataSet& handOver = SelectBillD();
  if (!handOver.IsEmpty()) handOver.EmptyDataSet();
}

}  // namespace vlt::business

TfrmBill_Pur_Order::TfrmBill_Pur_Order(QWidget* owner) : TGoodsBill(owner, kPurOrder) {}
TfrmBill_Pur_Purchase::TfrmBill_Pur_Purchase(QWidget* owner) : TGoodsBill(owner, kPurchase) {}
TfrmBill_Pur_Back::TfrmBill_Pur_Back(QWidget* owner) : TGoodsBill(owner, kPurBack) {}
TfrmBill_Sal_Order::TfrmBill_Sal_Order(QWidget* owner) : TGoodsBill(owner, kSalOrder) {}
TfrmBill_Sal_Sale::TfrmBill_Sal_Sale(QWidget* owner) : TGoodsBill(owner, kSale) {}
TfrmBill_Sal_Back::TfrmBill_Sal_Back(QWidget* owner) : TGoodsBill(owner, kSalBack) {}
TfrmBill_Sto_StoreIN::TfrmBill_Sto_StoreIN(QWidget* owner) : TGoodsBill(owner, kStoreIn) {}
TfrmBill_Sto_StoreOut::TfrmBill_Sto_StoreOut(QWidget* owner) : TGoodsBill(owner, kStoreOut) {}
