#include "uUserDBSelectOperator.h"

#include <QButtonGroup>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "ccwidgets.h"
#include "vlt/sqltext.h"

VLT_REGISTER_CLASS(uUserDBSelectOperator, TfrmUserDBSelectOperator);

using namespace vlt;
using namespace vlt::host;
using namespace vlt::controlcenter;

TfrmUserDBSelectOperator::TfrmUserDBSelectOperator(QWidget* owner) : TForm(owner) {
  setObjectName("frmUserDBSelectOperator");
  setWindowTitle("选择用户");
  resize(460, 420);

  actSearch = MakeAction(this, "actSearch", "开始查询", [this] { actSearchExecute(); });
  actOK = MakeAction(this, "actOK", "确定", [this] { actOKExecute(); });
  actClose = MakeAction(this, "actClose", "关闭", [this] { close(); });

  edtSearch = new QLineEdit(this);
  edtSearch->setObjectName("edtSearch");
  edtSearch->installEventFilter(this);
  // The grey hint sits inside the box and lets clicks through to it.
  lblHint = new QLabel("请输入查询内容……", edtSearch);
  lblHint->setObjectName("lblHint");
  lblHint->setProperty("vltRole", "faint");
  lblHint->setAttribute(Qt::WA_TransparentForMouseEvents);
  auto* hintLayout = new QHBoxLayout(edtSearch);
  hintLayout->setContentsMargins(6, 0, 6, 0);
  hintLayout->addWidget(lblHint);
  hintLayout->addStretch(1);
  connect(edtSearch, &QLineEdit::textChanged, this,
          guarded([this](const QString& text) { lblHint->setVisible(text.isEmpty()); }));

  rbUserID = new QRadioButton("帐号ID", this);
  rbUserID->setObjectName("rbUserID");
  rbUserID->setChecked(true);
  rbNickName = new QRadioButton("昵称", this);
  rbNickName->setObjectName("rbNickName");
  auto* searchBy = new QButtonGroup(this);
  searchBy->addButton(rbUserID);
  searchBy->addButton(rbNickName);

  grdUser = new components::TNxStringGrid(this);
  grdUser->setObjectName("grdUser");
  grdUser->Bind(&cdsUser, {{"UserID", "帐号ID", 130}, {"NickName", "昵称", 260}});
  grdUser->horizontalHeader()->setStretchLastSection(true);
  connect(grdUser, &components::TNxStringGrid::CellDblClick, this,
          guarded([this] { actOK->trigger(); }));
  connect(grdUser, &components::TNxStringGrid::KeyDown, this,
          guarded([this](int key, Qt::KeyboardModifiers, bool& handled) {
            grdUserKeyDown(key, handled);
          }));

  auto* searchRow = new QHBoxLayout;
  searchRow->addWidget(edtSearch, 1);
  searchRow->addWidget(ActionButton(actSearch, this, "btnSearch"));
  auto* byRow = new QHBoxLayout;
  byRow->addWidget(rbUserID);
  byRow->addWidget(rbNickName);
  byRow->addStretch(1);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(ActionButton(actOK, this, "btnOK"));
  buttons->addWidget(ActionButton(actClose, this, "btnClose"));

  auto* root = new QVBoxLayout(this);
  root->addLayout(searchRow);
  root->addLayout(byRow);
  root->addWidget(grdUser, 1);
  root->addLayout(buttons);
}

TfrmUserDBSelectOperator::~TfrmUserDBSelectOperator() {
  edtSearch->removeEventFilter(this);
  // The grid listens to the result list; it goes first.
  delete grdUser;
}

QString TfrmUserDBSelectOperator::SearchColumn() const {
  return rbNickName->isChecked() ? "NickName like " : "UserID like ";
}

void TfrmUserDBSelectOperator::actSearchExecute() {
  const QString text = edtSearch->text();
  if (text.isEmpty()) {
    ShowMessage("请输入查找条件");
    edtSearch->setFocus();
    Abort();
  }
  // Quoting doubles any quote the user typed; % and _ stay wildcards.
  const std::string sql = "select UserID,NickName from sys_mainuserbaseinfo where " +
                          ss(SearchColumn()) + quotedStr(ss("%" + text + "%")) + " limit 200";
  cdsUser.LoadFromPacket(doServerMethods().GetSysMainDBDataBySql(CurUserInfo().UserID, sql));
}

void TfrmUserDBSelectOperator::actOKExecute() {
  if (cdsUser.Active() && !cdsUser.IsEmpty()) {
    HandOverChoice(cdsUser.FieldByName("UserID").AsString(),
                   cdsUser.FieldByName("NickName").AsString());
  }
  close();
}

bool TfrmUserDBSelectOperator::eventFilter(QObject* watched, QEvent* event) {
  if (watched == edtSearch && event->type() == QEvent::KeyPress) {
    const int key = static_cast<QKeyEvent*>(event)->key();
    bool handled = false;
    guarded([this, key, &handled] { edtSearchKeyDown(key, handled); })();
    if (handled) return true;
  }
  return TForm::eventFilter(watched, event);
}

void TfrmUserDBSelectOperator::edtSearchKeyDown(int key, bool& handled) {
  if (key == Qt::Key_Return || key == Qt::Key_Enter) {
    handled = true;
    actSearch->trigger();
  } else if (key == Qt::Key_Down) {
    handled = true;
    if (!cdsUser.Active() || cdsUser.IsEmpty()) return;
    cdsUser.First();
    grdUser->setFocus();
    grdUser->SelectCell(0, 0);
  }
}

void TfrmUserDBSelectOperator::grdUserKeyDown(int key, bool& handled) {
  if (key == Qt::Key_Return || key == Qt::Key_Enter) {
    handled = true;
    actOK->trigger();
  } else if (key == Qt::Key_Up && cdsUser.Active() && cdsUser.RecNo() <= 1) {
    handled = true;
    edtSearch->setFocus();
  }
}
