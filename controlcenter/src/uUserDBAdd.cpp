#include "uUserDBAdd.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "ccwidgets.h"
#include "vlt/sqltext.h"
#include "vlt/status.h"

VLT_REGISTER_CLASS(uUserDBAdd, TfrmUserDBAdd);

using namespace vlt;
using namespace vlt::host;
using namespace vlt::controlcenter;

TfrmUserDBAdd::TfrmUserDBAdd(QWidget* owner) : TForm(owner) {
  setObjectName("frmUserDBAdd");
  setWindowTitle("新增帐套");
  resize(380, 150);

  actSave = MakeAction(this, "actSave", "保存", [this] { actSaveExecute(); });
  actClose = MakeAction(this, "actClose", "关闭", [this] { close(); });

  edtUserDBID = new QLineEdit(this);
  edtUserDBID->setObjectName("edtUserDBID");
  edtUserDBID->setEnabled(false);
  edtUserDBName = new QLineEdit(this);
  edtUserDBName->setObjectName("edtUserDBName");
  edtUserDBName->setMaxLength(255);

  auto* form = new QFormLayout;
  form->addRow("帐套ID", edtUserDBID);
  form->addRow("帐套名称", edtUserDBName);

  QPushButton* btnSave = ActionButton(actSave, this, "btnSave");
  // Enter in the name box saves.
  btnSave->setDefault(true);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(btnSave);
  buttons->addWidget(ActionButton(actClose, this, "btnClose"));

  auto* root = new QVBoxLayout(this);
  root->addLayout(form);
  root->addStretch(1);
  root->addLayout(buttons);
}

void TfrmUserDBAdd::FormShow() {
  if (TagString == "OsAppend") {
    edtUserDBID->setText(FMaxDBID);
  } else if (TagString == "OsEdit") {
    ClientDataSet& handOver = GlobalDM().cdsSelectResult;
    if (!handOver.IsEmpty()) {
      edtUserDBID->setText(qs(handOver.FieldByName("id").AsString()));
      edtUserDBName->setText(qs(handOver.FieldByName("name").AsString()));
    }
    handOver.EmptyDataSet();
  }
  edtUserDBName->setFocus();
}

void TfrmUserDBAdd::actSaveExecute() {
  const QString name = edtUserDBName->text();
  if (name.trimmed().isEmpty()) {
    ShowMessage("请输入帐套名称");
    edtUserDBName->setFocus();
    Abort();
  }
  const std::string& login = CurUserInfo().UserID;
  const std::string id = ss(edtUserDBID->text());
  std::string status;
  if (TagString == "OsAppend") {
    status = doServerMethods().CreateUserDB("Main", login, id, ss(name), "False");
  } else if (TagString == "OsEdit") {
    // Only the owner's row matches: an operator's rename changes nothing.
    status = doServerMethods().doSysMainDBDataBySql(
        "update UserDataBase set UserDBName=" + quotedStr(ss(name)) +
        " where UserID=" + quotedStr(login) + " and UserDBID=" + quotedStr(id));
  }
  // A refused creation or rename stays open with the reason instead of looking done.
  if (!status.empty()) CheckStatus(status);
  close();
}
