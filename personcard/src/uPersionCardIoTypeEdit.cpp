#include "uPersionCardIoTypeEdit.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

#include "formrows.h"
#include "persioncardkinds.h"
#include "persioncardparts.h"
#include "tplwidgets.h"
#include "vlt/sqltext.h"
#include "vlt/status.h"

VLT_REGISTER_CLASS(uPersionCardIoTypeEdit, TfrmPersionCardIoTypeEdit);

using namespace vlt;
using namespace vlt::host;
using namespace vlt::templates;
using namespace vlt::persioncard;

TfrmPersionCardIoTypeEdit::TfrmPersionCardIoTypeEdit(QWidget* owner) : TfrmBaseForm(owner) {
  setFixedSize(420, 150);
  const TSaveStrip strip = MakeSaveStrip(
      *this, [this] { actSaveAndNewExecute(); }, [this] { actSaveAndCloseExecute(); });
  actSaveAndNew = strip.actSaveAndNew;
  actSaveAndClose = strip.actSaveAndClose;

  auto* area = new QWidget(this);
  area->setObjectName("pnlMain");
  edtName = new QLineEdit(area);
  edtName->setObjectName("edtName");
  edtName->setMaxLength(kCardTypeNameLength);
  TFormRows rows(area, 1);
  lblName = rows.Row("lblName", "名称", edtName);

  auto* root = new QVBoxLayout(this);
  root->setContentsMargins(0, 0, 0, 0);
  root->addWidget(strip.lytTop);
  root->addWidget(area, 1);
}

TfrmPersionCardIoTypeEdit::~TfrmPersionCardIoTypeEdit() = default;

bool TfrmPersionCardIoTypeEdit::IsAppend() const {
  return TagString.compare("Append", Qt::CaseInsensitive) == 0;
}

void TfrmPersionCardIoTypeEdit::FormShow() {
  const TCategoryKind& kind = CategoryKind(Tag);
  lblName->setText(QString::fromUtf8(kind.nameLabel));
  edtName->setAccessibleName(lblName->text());
  FIODirect = kind.direct;
  setWindowTitle(QString::fromUtf8(kind.editCaption));
  if (!IsAppend()) edtName->setText(IOTypeName);
  edtName->setFocus();
}

std::string TfrmPersionCardIoTypeEdit::SaveStatement() const {
  const std::string name = quotedStr(ss(edtName->text()));
  if (IsAppend())
    return "INSERT INTO userpersioniotype (UserID,IoKind,IoDirect,IoType) values (" +
           QuotedLogin() + "," + std::to_string(Tag) + "," + std::to_string(FIODirect) + "," +
           name + ")";
  return "Update userpersioniotype set IoType=" + name + " where UserID=" + QuotedLogin() +
         " and ID=" + std::to_string(IoTypeID);
}

void TfrmPersionCardIoTypeEdit::SaveData() {
  if (edtName->text().trimmed().isEmpty()) {
    ShowMessage("『" + lblName->text() + "』不能为空！");
    edtName->setFocus();
    Abort();
  }
  CheckStatus(doServerMethods().doSysMainDBDataBySql(SaveStatement()), {"保存失败，错误原因："});
  edtName->clear();
  edtName->setFocus();
}

void TfrmPersionCardIoTypeEdit::actSaveAndNewExecute() {
  SaveData();
  TagString = "Append";
}

void TfrmPersionCardIoTypeEdit::actSaveAndCloseExecute() {
  SaveData();
  close();
}

void TfrmPersionCardIoTypeEdit::keyPressEvent(QKeyEvent* event) {
  const Qt::KeyboardModifiers mods = event->modifiers() & ~Qt::KeypadModifier;
  // Enter alone does not press a button: the two saves have their own keys.
  if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && mods == Qt::NoModifier) {
    event->accept();
    return;
  }
  TfrmBaseForm::keyPressEvent(event);
}
