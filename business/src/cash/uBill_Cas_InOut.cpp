#include "uBill_Cas_InOut.h"

#include <QDateTime>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QToolButton>
#include <QVBoxLayout>

#include "basedata/uSelectAccount.h"
#include "formrows.h"
#include "picktarget.h"
#include "tplwidgets.h"
#include "uBaseBill_Master.h"
#include "uSelectCashIoType.h"
#include "vlt/sqltext.h"

VLT_REGISTER_CLASS(uBill_Cas_InOut, TfrmBill_Cas_InOut);

using namespace vlt;
using namespace vlt::host;
using namespace vlt::templates;

namespace {

constexpr int kRemarkLength = 1024;

QString nowText() {
  return QDateTime::currentDateTime().toString("yyyy-MM-dd HH:mm:ss");
}

std::string tagOf(const QLineEdit& box) {
  return ss(box.property(kTagStringProperty).toString());
}

// Shows the selection dialog below the box; the choice goes into the box and its tag.
void pickInto(TfrmBaseDataSelectForm& dialog, QLineEdit& box) {
  dialog.move(box.mapToGlobal(QPoint(0, box.height())));
  dialog.Target = TPickTarget::IntoBox(box);
  ShowModal(dialog);
}

}  // namespace

TfrmBill_Cas_InOut::TfrmBill_Cas_InOut(QWidget* owner) : TfrmBaseForm(owner) {
  resize(560, 420);
  actSaveAndNew =
      MakeAction(this, "actSaveAndNew", "保存新增",
                 {QKeySequence(Qt::CTRL | Qt::Key_Return), QKeySequence(Qt::CTRL | Qt::Key_Enter)},
                 [this] { actSaveAndNewExecute(); });
  actSaveAndClose =
      MakeAction(this, "actSaveAndClose", "保存退出", {QKeySequence(Qt::CTRL | Qt::Key_Q)},
                 [this] { actSaveAndCloseExecute(); });
  actSelectCashIoType =
      MakeAction(this, "actSelectCashIoType", "+", [this] { actSelectCashIoTypeExecute(); });
  actSelectAccount =
      MakeAction(this, "actSelectAccount", "+", [this] { actSelectAccountExecute(); });

  auto* top = new QWidget(this);
  top->setObjectName("lytTop");
  top->setFixedHeight(36);
  top->setAttribute(Qt::WA_StyledBackground, true);
  auto* strip = new QHBoxLayout(top);
  strip->setContentsMargins(4, 2, 4, 2);
  strip->addWidget(
      ToolButton(actSaveAndNew, top, "btnSaveAndNew", "imgSaveAndNew", ToolIcon::SaveNew, 120));
  strip->addWidget(ToolButton(actSaveAndClose, top, "btnSaveAndClose", "imgSaveAndClose",
                              ToolIcon::SaveClose, 120));
  strip->addStretch(1);

  auto* area = new QWidget(this);
  area->setObjectName("pnlMain");
  edtAccIoType = new QLineEdit(area);
  edtAccIoType->setObjectName("edtAccIoType");
  edtAccIoType->setReadOnly(true);
  edtdate = new TDateBox(area, "edtdate", "日期");
  edtAccount = new QLineEdit(area);
  edtAccount->setObjectName("edtAccount");
  edtAccount->setReadOnly(true);
  edtAmt = new TNumberBox(area, "edtAmt", "金额", 2, 18, false);
  mmoRemark = new QPlainTextEdit(area);
  mmoRemark->setObjectName("mmoRemark");
  TFormRows rows(area, 1);
  lblAccIoType = rows.PickRow("lblAccIoType", "收支类别", edtAccIoType, actSelectCashIoType,
                              "btnSelectCashIoType");
  rows.DateRow("lblDate", "日期", edtdate);
  lblAccID = rows.PickRow("lblAccID", "帐户名称", edtAccount, actSelectAccount, "btnSelectAccount");
  lblAmt = rows.Row("lblAmt", "金额", edtAmt);
  rows.MemoRow("lblRemark", "附注说明", mmoRemark);

  const TBillFooter footer = MakeBillFooter(this, QString());
  edtCreateOp = footer.createOp;
  edtCreateTime = footer.createTime;
  edtUpdateOp = footer.updateOp;
  edtUpdateTime = footer.updateTime;

  auto* root = new QVBoxLayout(this);
  root->setContentsMargins(0, 0, 0, 0);
  root->addWidget(top);
  root->addWidget(area, 1);
  root->addWidget(footer.row);
}

TfrmBill_Cas_InOut::~TfrmBill_Cas_InOut() = default;

bool TfrmBill_Cas_InOut::IsAppend() const {
  return TagString.compare("Append", Qt::CaseInsensitive) == 0;
}

void TfrmBill_Cas_InOut::FormShow() {
  if (IsAppend()) {
    edtdate->SetDate(QDate::currentDate());
    edtCreateOp->setText(qs(CurUserInfo().UserID));
    edtCreateTime->setText(nowText());
  } else {
    edtUpdateOp->setText(qs(CurUserInfo().UserID));
    edtUpdateTime->setText(nowText());
  }
  const bool income = Tag == 1;
  lblAccIoType->setText(income ? "收入类别" : "支出类别");
  lblAmt->setText(income ? "收入金额" : "支出金额");
  setWindowTitle(income ? "其他收入" : "费用支出");
  edtAccIoType->setAccessibleName(lblAccIoType->text());
  edtAmt->setAccessibleName(lblAmt->text());
  edtAccIoType->setFocus();
}

void TfrmBill_Cas_InOut::actSelectCashIoTypeExecute() {
  try {
    auto dialog = CreateForm<TfrmSelectCashIOType>(this);
    dialog->Tag = Tag;
    pickInto(*dialog, *edtAccIoType);
  } catch (const EAbort&) {
    throw;
  } catch (const std::exception& e) {
    ShowMessage(QString::fromUtf8(e.what()));
  }
}

void TfrmBill_Cas_InOut::actSelectAccountExecute() {
  try {
    auto dialog = CreateForm<TfrmSelectAccount>(this);
    pickInto(*dialog, *edtAccount);
  } catch (const EAbort&) {
    throw;
  } catch (const std::exception& e) {
    ShowMessage(QString::fromUtf8(e.what()));
  }
}

void TfrmBill_Cas_InOut::actCheckBeforeSaveExecute() {
  const std::pair<QLabel*, QWidget*> required[] = {
      {lblAccIoType, edtAccIoType}, {lblAccID, edtAccount}, {lblAmt, edtAmt}};
  for (const auto& [label, box] : required) {
    const auto* edit = static_cast<QLineEdit*>(box);
    const bool empty = edit == edtAmt ? edit->text().trimmed().isEmpty()
                                      : tagOf(*edit).empty() || edit->text().isEmpty();
    if (empty) {
      ShowMessage(label->text() + "不能为空！");
      box->setFocus();
      Abort();
    }
  }
  // The amount and the date are checked here, so only a number and a date reach the statement.
  CheckBoxes({edtdate, edtAmt});
  if (mmoRemark->toPlainText().size() > kRemarkLength) {
    ShowMessage(QString("附注说明最多%1个字！").arg(kRemarkLength));
    mmoRemark->setFocus();
    Abort();
  }
}

std::string TfrmBill_Cas_InOut::SaveStatement() const {
  // The amount as a number literal of our own making, never the typed text.
  const std::string amount = edtAmt->Number().value_or(Decimal()).toString();
  const std::string date = quotedStr(ss(edtdate->Date().toString(Qt::ISODate)));
  const std::string note = quotedStr(ss(mmoRemark->toPlainText()));
  if (IsAppend())
    return "INSERT INTO tb_acc_io (Bid,Bdate,BIoDirect,AccountId,AccIoTypeID,AccAmt,Remark,"
           "CreateOp,CreateTime) values (" +
           quotedStr(GetNewID()) + "," + date + "," + std::to_string(Tag) + "," +
           quotedStr(tagOf(*edtAccount)) + "," + quotedStr(tagOf(*edtAccIoType)) + "," + amount +
           "," + note + "," + quotedStr(ss(edtCreateOp->text())) + "," +
           quotedStr(ss(edtCreateTime->text())) + ")";
  return "Update tb_acc_io set AccIoTypeID=" + quotedStr(tagOf(*edtAccIoType)) + ",Bdate=" + date +
         ",AccountId=" + quotedStr(tagOf(*edtAccount)) + ",AccAmt=" + amount + ",Remark=" + note +
         ",UpdateOP=" + quotedStr(ss(edtUpdateOp->text())) +
         ",UpdateTime=" + quotedStr(ss(edtUpdateTime->text())) + " where BID=" + quotedStr(FBid);
}

void TfrmBill_Cas_InOut::SaveData() {
  actCheckBeforeSaveExecute();
  // A refusal keeps the window and what was typed.
  CheckStatus(doServerMethods().doUserDBDataBySql(CurUserInfo().UserDBID, SaveStatement()),
              {"插入数据失败,错误原因："});
  FModalResult() = 27;
  for (QLineEdit* box : {edtAccIoType, edtAccount})
    SetBoxChoice(*box, QString(), QString());
  edtdate->SetDate(QDate::currentDate());
  edtAmt->clear();
  mmoRemark->clear();
  edtAccIoType->setFocus();
}

void TfrmBill_Cas_InOut::actSaveAndNewExecute() {
  SaveData();
  if (!IsAppend()) {
    // The next record is a new one, made by this user now.
    edtCreateOp->setText(qs(CurUserInfo().UserID));
    edtCreateTime->setText(nowText());
  }
  TagString = "Append";
}

void TfrmBill_Cas_InOut::actSaveAndCloseExecute() {
  SaveData();
  close();
}
