#include "uBill_Bal.h"

#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QVBoxLayout>

#include "basedata/uSelectAccount.h"
#include "basedata/uSelectClient.h"
#include "basedata/uSelectVendor.h"
#include "formrows.h"
#include "picktarget.h"
#include "tplwidgets.h"

VLT_REGISTER_CLASS(uBill_Bal_Gathering, TfrmBill_Bal_Gathering);
VLT_REGISTER_CLASS(uBill_Bal_Payment, TfrmBill_Bal_Payment);

using namespace vlt;
using namespace vlt::host;
using namespace vlt::templates;

namespace {

const vlt::business::TBalanceBillKind kReceipt = {"收款单",
                                                  "tb_bal_gathering",
                                                  "BG",
                                                  true,
                                                  "客户",
                                                  "客户名称",
                                                  "收款帐户",
                                                  "本次实收金额",
                                                  "收款金额",
                                                  "收款说明",
                                                  "截至制作本单时为止，该客户的实际欠款金额为："};
const vlt::business::TBalanceBillKind kPayment = {"付款单",
                                                  "tb_bal_payment",
                                                  "PM",
                                                  false,
                                                  "供货商",
                                                  "供货商",
                                                  "付款帐户",
                                                  "本次实付金额",
                                                  "付款金额",
                                                  "付款说明",
                                                  "截至制作本单时为止，该供货商的实际欠款金额为："};

// The widths the table keeps (characters).
constexpr int kRevMemoLength = 512;
constexpr int kRemarkLength = 1024;
// Amounts are DECIMAL(20, 2).
constexpr int kAmountIntegerDigits = 18;

}  // namespace

namespace vlt::business {

TBalanceBill::TBalanceBill(QWidget* owner, const TBalanceBillKind& kind)
    : TfrmBaseBill_Master(owner), kind_(kind) {
  FieldDefs& defs = cdsMaster.FieldDefinitions();
  defs.add("Bid", DataType::String, 45, true);
  defs.add("BDate", DataType::Date);
  defs.add("BCode", DataType::String, 51);
  defs.add("BKind", DataType::Int16);
  defs.add("BState", DataType::Int16);
  defs.add("TraderID", DataType::String, 45);
  defs.add("RevMemo", DataType::String, 1536);
  defs.add("AccountId", DataType::String, 45);
  defs.addDecimal("AccAmt", 20, 2);
  defs.addDecimal("TrimAmt", 20, 2);
  defs.addDecimal("NowBalance", 20, 2);
  defs.add("ReMark", DataType::String, 3072);
  defs.add("UpdateTime", DataType::DateTime);
  defs.add("CreateTime", DataType::DateTime);
  defs.add("UpdateOP", DataType::Int64);
  defs.add("CreateOp", DataType::Int64);
  defs.add("BDiary", DataType::String, 12288);
  defs.add("TraderName", DataType::String, 240);
  defs.add("AccName", DataType::String, 160);

  const QString traderCaption = QString::fromUtf8(kind.traderCaption);
  actSelectTrader = MakeAction(this, kind.isReceipt ? "actselecttrader" : "actSelectTrader", "+",
                               [this] { actSelectTraderExecute(); });
  actSelectAccount = MakeAction(this, kind.isReceipt ? "actselectaccount" : "actSelectAccount", "+",
                                [this] { actSelectAccountExecute(); });

  QWidget* area = lytBillMasterArea;
  edttrader = new QLineEdit(area);
  edttrader->setObjectName("edttrader");
  edttrader->setReadOnly(true);
  edtAccount = new QLineEdit(area);
  edtAccount->setObjectName("edtAccount");
  edtAccount->setReadOnly(true);
  const QString amountCaption = QString::fromUtf8(kind.amountCaption);
  edtAccAmt = new TNumberBox(area, "edtAccAmt", amountCaption, 2, kAmountIntegerDigits, false);
  edtTrimAmt = new TNumberBox(area, "edtTrimAmt", "本次抹零金额", 2, kAmountIntegerDigits, false);
  mmoRevMemo = new QPlainTextEdit(area);
  mmoRevMemo->setObjectName("mmoRevMemo");
  lblSysNote = new QLabel(QString::fromUtf8(kind.balanceNote), area);
  lblSysNote->setObjectName("lblSysNote");
  lblBalance = new QLabel("0", area);
  lblBalance->setObjectName("lblBalance");
  lblBalance->setProperty("vltRole", "debt");

  TFormRows rows(area, 2);
  rows.PickRow("lbltrader", traderCaption, edttrader, actSelectTrader, "btnSelectTrader");
  rows.PickRow("lblAccount", QString::fromUtf8(kind.accountCaption), edtAccount, actSelectAccount,
               "btnSelectAccount");
  rows.Row("lblAccAmt", amountCaption, edtAccAmt);
  rows.Row("lblTrimAmt", "本次抹零金额", edtTrimAmt);
  rows.Cell(lblSysNote);
  rows.Cell(lblBalance);
  rows.MemoRow("lblRevMemo", QString::fromUtf8(kind.memoCaption), mmoRevMemo);
}

TBalanceBill::~TBalanceBill() = default;

void TBalanceBill::FormCreate() {
  setWindowTitle(QString::fromUtf8(kind_.caption));
  MasterTableName = kind_.table;
  prefix = kind_.prefix;
  MasterDataSql = std::string("SELECT m.*,t.Name as TraderName,a.Name as accName  from ") +
                  kind_.table +
                  " m LEFT JOIN td_trader t on m.TraderID=t.Id LEFT JOIN td_account a on "
                  "m.AccountId=a.Id";
  TfrmBaseBill_Master::FormCreate();
  BindData(edttrader, "TraderName");
  BindData(edtAccount, "AccName");
  BindNumber(edtAccAmt, "AccAmt");
  BindNumber(edtTrimAmt, "TrimAmt");
  BindData(mmoRevMemo, "RevMemo");
}

void TBalanceBill::actCheckDataExecute() {
  CheckFieldIsNotNull(cdsMaster, "TraderID", QString::fromUtf8(kind_.traderCheck));
  CheckFieldIsNotNull(cdsMaster, "AccountId", QString::fromUtf8(kind_.accountCaption));
  CheckFieldIsNotNull(cdsMaster, "AccAmt", QString::fromUtf8(kind_.amountCheck));
  CheckTextLength(*mmoRevMemo, QString::fromUtf8(kind_.memoCaption), kRevMemoLength);
  CheckTextLength(*mmoReMark, "备注", kRemarkLength);
  if (cdsMaster.FieldByName("TrimAmt").IsNull()) {
    if (cdsMaster.State() == DataSetState::Browse) cdsMaster.Edit();
    cdsMaster.FieldByName("TrimAmt").SetValue(Value(Decimal()));
  }
}

void TBalanceBill::BillShown() {
  const bool hasRow = cdsMaster.DisplayRow() >= 0 || cdsMaster.State() == DataSetState::Insert;
  Field* balance = cdsMaster.FindField("NowBalance");
  lblBalance->setText(!hasRow || !balance || balance->IsNull() ? QStringLiteral("0")
                                                               : MoneyText(*balance));
}

void TBalanceBill::Pick(TfrmBaseDataSelectForm& dialog, const QLineEdit& below,
                        std::vector<std::string> fields) {
  const QPoint corner = below.mapToGlobal(QPoint(0, below.height()));
  dialog.move(corner);
  dialog.Target = TPickTarget::IntoFields(cdsMaster, std::move(fields));
  ShowModal(dialog);
}

void TBalanceBill::actSelectTraderExecute() {
  try {
    std::unique_ptr<TfrmBaseDataSelectForm> dialog;
    if (kind_.isReceipt)
      dialog = CreateForm<TfrmSelectClient>(this);
    else
      dialog = CreateForm<TfrmSelectVendor>(this);
    Pick(*dialog, *edttrader, {"TraderID", "TraderName", "NowBalance"});
  } catch (const EAbort&) {
    throw;
  } catch (const std::exception& e) {
    ShowMessage(QString::fromUtf8(e.what()));
  }
  BillShown();
}

void TBalanceBill::actSelectAccountExecute() {
  try {
    auto dialog = CreateForm<TfrmSelectAccount>(this);
    Pick(*dialog, *edtAccount, {"AccountId", "AccName"});
  } catch (const EAbort&) {
    throw;
  } catch (const std::exception& e) {
    ShowMessage(QString::fromUtf8(e.what()));
  }
}

}  // namespace vlt::business

TfrmBill_Bal_Gathering::TfrmBill_Bal_Gathering(QWidget* owner) : TBalanceBill(owner, kReceipt) {}
TfrmBill_Bal_Gathering::~TfrmBill_Bal_Gathering() = default;

TfrmBill_Bal_Payment::TfrmBill_Bal_Payment(QWidget* owner) : TBalanceBill(owner, kPayment) {}
TfrmBill_Bal_Payment::~TfrmBill_Bal_Payment() = default;
