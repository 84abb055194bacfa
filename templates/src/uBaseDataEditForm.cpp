#include "uBaseDataEditForm.h"

#include <QActionGroup>
#include <QFormLayout>
#include <QFrame>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QToolButton>
#include <QVBoxLayout>

#include "formrows.h"
#include "tplwidgets.h"

VLT_REGISTER_CLASS(uBaseDataEditForm, TfrmBaseDataEdit);

using namespace vlt;
using namespace vlt::host;
using namespace vlt::templates;

TfrmBaseDataEdit::TfrmBaseDataEdit(QWidget* owner) : TForm(owner) {
  // A small fixed dialog with the system menu only.
  setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                 Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
  setFixedSize(460, 256);

  actSaveAndNew =
      MakeAction(this, "actSaveAndNew", "保存新增",
                 {QKeySequence(Qt::CTRL | Qt::Key_Return), QKeySequence(Qt::CTRL | Qt::Key_Enter)},
                 [this] { actSaveAndNewExecute(); });
  actSaveAndClose =
      MakeAction(this, "actSaveAndClose", "保存退出", {QKeySequence(Qt::CTRL | Qt::Key_Q)},
                 [this] { actSaveAndCloseExecute(); });
  actlst1 = new QActionGroup(this);
  actlst1->setObjectName("actlst1");
  actlst1->setExclusionPolicy(QActionGroup::ExclusionPolicy::None);
  actlst1->addAction(actSaveAndNew);
  actlst1->addAction(actSaveAndClose);

  lytTop = new QWidget(this);
  lytTop->setObjectName("lytTop");
  lytTop->setFixedHeight(36);
  lytTop->setAttribute(Qt::WA_StyledBackground, true);
  btnSaveAndNew =
      ToolButton(actSaveAndNew, lytTop, "btnSaveAndNew", "imgSaveAndNew", ToolIcon::SaveNew, 120);
  btnSaveAndNew->setProperty("styleLookup", "VltToolBtn_SaveNew");
  btnSaveAndClose = ToolButton(actSaveAndClose, lytTop, "btnSaveAndClose", "imgSaveAndClose",
                               ToolIcon::SaveClose, 120);
  btnSaveAndClose->setProperty("styleLookup", "VltToolBtn_SaveClose");
  auto* strip = new QHBoxLayout(lytTop);
  strip->setContentsMargins(4, 2, 4, 2);
  strip->setSpacing(2);
  strip->addWidget(btnSaveAndNew);
  strip->addWidget(btnSaveAndClose);
  strip->addStretch(1);

  pnlMain = new QFrame(this);
  pnlMain->setObjectName("pnlMain");
  pnlMain->setProperty("styleLookup", "VltPanelBill");
  editRows_ = new QFormLayout(pnlMain);
  editRows_->setContentsMargins(24, 20, 24, 16);
  editRows_->setHorizontalSpacing(10);
  editRows_->setVerticalSpacing(12);
  editRows_->setLabelAlignment(Qt::AlignRight | Qt::AlignVCenter);

  auto* root = new QVBoxLayout(this);
  root->setContentsMargins(0, 0, 0, 0);
  root->setSpacing(0);
  root->addWidget(lytTop);
  root->addWidget(pnlMain, 1);
}

TfrmBaseDataEdit::~TfrmBaseDataEdit() = default;

QLabel* TfrmBaseDataEdit::AddRow(const QString& caption, QWidget* box, QWidget* place) {
  auto* label = new QLabel(caption, pnlMain);
  NameBox(label, box);
  editRows_->addRow(label, place ? place : box);
  return label;
}

QLineEdit* TfrmBaseDataEdit::AddBox(const char* name, const QString& caption, int maxLength) {
  auto* box = new QLineEdit(pnlMain);
  box->setObjectName(QString::fromLatin1(name));
  if (maxLength > 0) box->setMaxLength(maxLength);
  AddRow(caption, box);
  return box;
}

bool TfrmBaseDataEdit::IsMode(const QString& mode) const {
  return TagString.compare(mode, Qt::CaseInsensitive) == 0;
}

void TfrmBaseDataEdit::actSaveAndCloseExecute() {
  SaveData(true);
}

void TfrmBaseDataEdit::actSaveAndNewExecute() {
  SaveData(false);
}

void TfrmBaseDataEdit::SaveData(bool closeAfter) {
  Vlt_BeforeSaveData();
  if (IsMode("Append")) SendAndFinish(Vlt_GetInsertStr(), closeAfter);
  // The mode as the insert left it: a saved new record stays "Append" and is not updated too.
  if (IsMode("Edit")) {
    const std::string sql = Vlt_GetUpdateStr();
    if (sql.empty())
      ShowMessage("没检测到需要保存的数据！");
    else
      SendAndFinish(sql, closeAfter);
  }
}

void TfrmBaseDataEdit::SendAndFinish(const std::string& sql, bool closeAfter) {
  CheckStatus(doServerMethods().doUserDBDataBySql(CurUserInfo().UserDBID, sql),
              BaseDataStatusTexts());
  if (closeAfter)
    close();
  else
    Vlt_AfterSaveData();
}

void TfrmBaseDataEdit::keyPressEvent(QKeyEvent* event) {
  const Qt::KeyboardModifiers mods = event->modifiers() & ~Qt::KeypadModifier;
  if (event->key() == Qt::Key_Escape && mods == Qt::NoModifier) {
    event->accept();
    close();
    return;
  }
  // Enter that a box left alone moves on to the next box instead of pressing a button.
  if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && mods == Qt::NoModifier) {
    event->accept();
    focusNextChild();
    return;
  }
  TForm::keyPressEvent(event);
}
