#include "uPersionCardEdit.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QToolButton>
#include <QVBoxLayout>

#include "amountliteral.h"
#include "formrows.h"
#include "persioncardkinds.h"
#include "persioncardparts.h"
#include "tplwidgets.h"
#include "vlt/errors.h"
#include "vlt/sqltext.h"
#include "vlt/status.h"

VLT_REGISTER_CLASS(uPersionCardEdit, TfrmPersionCardEdit);

using namespace vlt;
using namespace vlt::host;
using namespace vlt::templates;
using namespace vlt::persioncard;

TfrmPersionCardEdit::TfrmPersionCardEdit(QWidget* owner) : TfrmBaseForm(owner) {
  resize(520, 380);
  const TSaveStrip strip = MakeSaveStrip(
      *this, [this] { actSaveAndNewExecute(); }, [this] { actSaveAndCloseExecute(); });
  actSaveAndNew = strip.actSaveAndNew;
  actSaveAndClose = strip.actSaveAndClose;

  auto* area = new QWidget(this);
  area->setObjectName("pnlMain");
  edtCardType = new QComboBox(area);
  edtCardType->setObjectName("edtCardType");
  edtCardType->setEditable(true);
  // What is typed stays typed: it is not added to the drop-down nor replaced by an item.
  edtCardType->setInsertPolicy(QComboBox::NoInsert);
  edtCardType->setCompleter(nullptr);
  edtCardType->lineEdit()->setMaxLength(kCategoryLength);
  edtdate = new TDateBox(area, "edtdate", "日期");
  edtAmt = new QLineEdit(area);
  edtAmt->setObjectName("edtAmt");
  edtAmt->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  edtAmt->setMaxLength(20);
  mmoMemo = new QPlainTextEdit(area);
  mmoMemo->setObjectName("mmoMemo");
  TFormRows rows(area, 1);
  lblCardType = rows.Row("lblCardType", "类别", edtCardType);
  rows.DateRow("lblDate", "日期", edtdate);
  lblAmt = rows.Row("lblAmt", "金额", edtAmt);
  rows.MemoRow("lblMemo", "附注说明", mmoMemo);

  for (QObject* box : {static_cast<QObject*>(edtCardType->lineEdit()),
                       static_cast<QObject*>(edtdate), static_cast<QObject*>(edtAmt)})
    box->installEventFilter(this);

  auto* root = new QVBoxLayout(this);
  root->setContentsMargins(0, 0, 0, 0);
  root->addWidget(strip.lytTop);
  root->addWidget(area, 1);
}

TfrmPersionCardEdit::~TfrmPersionCardEdit() = default;

bool TfrmPersionCardEdit::IsAppend() const {
  return TagString.compare("Append", Qt::CaseInsensitive) == 0;
}

void TfrmPersionCardEdit::FormShow() {
  ClientDataSet& handOver = GlobalDM().cdsSelectResult;
  if (!IsAppend() && handOver.Active() && !handOver.IsEmpty()) {
    handOver.First();
    auto text = [&handOver](const char* f) { return qs(handOver.FieldByName(f).AsString()); };
    FcurRecID = ss(text("id"));
    edtCardType->setEditText(text("name"));
    edtdate->setText(text("other1"));
    edtAmt->setText(text("other2"));
    mmoMemo->setPlainText(text("other3"));
    handOver.EmptyDataSet();
  }
  if (IsAppend()) edtdate->SetDate(QDate::currentDate());

  cdsPersionIOType.LoadFromPacket(doServerMethods().GetSysMainDBDataBySql(
      CurUserInfo().UserID,
      "select Id,UserID,IOKind,IODirect,IOType from UserPersionIOType where UserID=" +
          QuotedLogin()));

  const TEntryKind& kind = EntryKind(Tag);
  lblCardType->setText(QString::fromUtf8(kind.typeLabel));
  lblAmt->setText(QString::fromUtf8(kind.amtLabel));
  edtCardType->setAccessibleName(lblCardType->text());
  edtAmt->setAccessibleName(lblAmt->text());
  setWindowTitle(QString::fromUtf8(kind.caption));
  FIODirect = kind.direct;

  const QString typed = edtCardType->currentText();
  edtCardType->clear();
  cdsPersionIOType.SetFilter("Iokind=" + std::to_string(kind.categoryKind));
  cdsPersionIOType.SetFiltered(true);
  for (cdsPersionIOType.First(); !cdsPersionIOType.Eof(); cdsPersionIOType.Next())
    doAddComboEditItem(qs(cdsPersionIOType.FieldByName("IoType").AsString()));
  cdsPersionIOType.SetFiltered(false);
  edtCardType->setEditText(typed);
  edtCardType->setFocus();
}

void TfrmPersionCardEdit::doAddComboEditItem(const QString& text) {
  edtCardType->addItem(text);
}

bool TfrmPersionCardEdit::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() != QEvent::KeyPress) return TfrmBaseForm::eventFilter(watched, event);
  auto* key = static_cast<QKeyEvent*>(event);
  const Qt::KeyboardModifiers mods = key->modifiers() & ~Qt::KeypadModifier;
  const bool enter = key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
  if (enter && !(mods & (Qt::ControlModifier | Qt::AltModifier))) {
    focusNextChild();  // Enter walks the boxes
    return true;
  }
  if (watched == edtCardType->lineEdit() && key->key() == Qt::Key_Down &&
      mods == Qt::ControlModifier) {
    edtCardType->showPopup();
    return true;
  }
  if (watched == edtAmt && !key->text().isEmpty() && key->text().at(0).isPrint()) {
    // Only digits and the point reach the amount.
    const QChar c = key->text().at(0);
    if (!(c.isDigit() && c.unicode() < 128) && c != '.') return true;
  }
  return TfrmBaseForm::eventFilter(watched, event);
}

void TfrmPersionCardEdit::CheckBeforeSave() {
  auto refuse = [](const QString& text, QWidget* box) {
    ShowMessage(text);
    box->setFocus();
    Abort();
  };
  const QString amountProblem = AmountProblem(lblAmt->text(), edtAmt->text());
  if (!amountProblem.isEmpty()) refuse(amountProblem, edtAmt);
  const TEntryKind& kind = EntryKind(Tag);
  if (kind.categoryKind == 3 && edtCardType->currentText().trimmed().isEmpty())
    refuse("『" + lblCardType->text() + "』不能为空！", edtCardType);
  if (edtCardType->currentText().size() > kCategoryLength)
    refuse(QString("『%1』最多%2个字！").arg(lblCardType->text()).arg(kCategoryLength),
           edtCardType);
  CheckBoxes({edtdate});
  if (mmoMemo->toPlainText().size() > kRemarkLength)
    refuse(QString("『附注说明』最多%1个字！").arg(kRemarkLength), mmoMemo);
  if (!IsAppend() && FcurRecID.find_first_not_of("0123456789") != std::string::npos)
    refuse("没检测到需要修改的数据，请选择！", edtCardType);
  if (!IsAppend() && FcurRecID.empty()) refuse("没检测到需要修改的数据，请选择！", edtCardType);
}

std::string TfrmPersionCardEdit::SaveStatement() const {
  // The amount as a number literal of our own making, never the typed text.
  const TAmount amount = CheckAmount(ss(edtAmt->text()));
  if (amount.verdict != AmountVerdict::Ok) throw Error("unchecked amount");
  const std::string& amt = amount.literal;
  const std::string type = quotedStr(ss(edtCardType->currentText()));
  const std::string date = quotedStr(ss(edtdate->Date().toString(Qt::ISODate)));
  const std::string note = quotedStr(ss(mmoMemo->toPlainText()));
  if (IsAppend())
    return "INSERT INTO userpersincard (UserID,IoType,Bdate,IoAmt,Remark,IoDirect,IoKind) values "
           "(" +
           QuotedLogin() + "," + type + "," + date + "," + amt + "," + note + "," +
           std::to_string(FIODirect) + "," + std::to_string(Tag) + ")";
  // Direction and kind stay as the entry has them.
  return "Update userpersincard set IoType=" + type + ",Bdate=" + date + ",IoAmt=" + amt +
         ",Remark=" + note + " where UserID=" + QuotedLogin() + " and ID=" + FcurRecID;
}

void TfrmPersionCardEdit::SaveData() {
  CheckBeforeSave();
  CheckStatus(doServerMethods().doSysMainDBDataBySql(SaveStatement()), {"保存失败，错误原因："});
  FModalResult() = 27;
  edtCardType->setEditText(QString());
  edtAmt->clear();
  mmoMemo->clear();
  edtdate->SetDate(QDate::currentDate());
  edtCardType->setFocus();
}

void TfrmPersionCardEdit::actSaveAndNewExecute() {
  SaveData();
  TagString = "Append";
}

void TfrmPersionCardEdit::actSaveAndCloseExecute() {
  SaveData();
  close();
}
