#include "uSelectUserDB.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>
#include <memory>

#include "ccwidgets.h"
#include "uUserDBAdd.h"
#include "uUserDBPower.h"
#include "vlt/sqltext.h"

VLT_REGISTER_CLASS(uSelectUserDB, TfrmSelectUserDB);

using namespace vlt;
using namespace vlt::host;

namespace vlt::controlcenter {

QString UserDBIDOf(const QString& loginId, int number) {
  if (number < 1 || number > kMaxUserDBNumber) return QString();
  return loginId + (number < 10 ? "_0" : "_") + QString::number(number);
}

bool IsUserDBID(const QString& id) {
  const qsizetype n = id.size();
  if (n < 4 || id[n - 3] != '_') return false;
  for (qsizetype i = 0; i < n; ++i) {
    if (i == n - 3) continue;
    if (id[i] < '0' || id[i] > '9') return false;
  }
  return id.right(2) != "00";
}

namespace {

// The last two characters of an id as a number; 0 when they are not two digits.
int numberOf(const QString& userDBID) {
  if (userDBID.size() < 2) return 0;
  const QChar tens = userDBID[userDBID.size() - 2];
  const QChar ones = userDBID[userDBID.size() - 1];
  if (tens < '0' || tens > '9' || ones < '0' || ones > '9') return 0;
  return (tens.unicode() - '0') * 10 + (ones.unicode() - '0');
}

}  // namespace

int NextUserDBNumber(ClientDataSet& accountSets) {
  if (!accountSets.Active() || accountSets.IsEmpty()) return 1;
  accountSets.CheckBrowseMode();
  // Every row carries the signed-in user's ID; sets of other owners that this user operates
  // do not begin with it and its "_" (IDs differ in width: 10000 does not own 100000_01).
  const QString owner = qs(accountSets.FieldByName("UserID").AsString()) + '_';
  int largest = 0;
  ForVisibleRows(accountSets, [&] {
    const QString id = qs(accountSets.FieldByName("UserDBID").AsString());
    if (id.left(owner.size()).compare(owner, Qt::CaseInsensitive) != 0) return;
    largest = std::max(largest, numberOf(id));
  });
  return largest + 1;
}

}  // namespace vlt::controlcenter

using namespace vlt::controlcenter;

namespace {

const char* const kPackage = "VltControlCenter.bpl";

// Sets the user owns plus the sets the user was admitted to as an operator.
const char* const kUserDBListSql =
    "select * from (SELECT UserID,UserDBID,UserDBName,IsDefault from userdatabase UNION ALL "
    "SELECT UO.UserID,UO.UserDBID,UD.UserDBName,'False' as IsDefault from userdatabaseoperator UO "
    "LEFT JOIN userdatabase UD ON UO.UserDBID=UD.UserDBID) as dlt where UserID=";

}  // namespace

TfrmSelectUserDB::TfrmSelectUserDB(QWidget* owner) : TForm(owner) {
  setObjectName("frmSelectUserDB");
  setWindowTitle("帐套管理");
  resize(600, 380);

  actSelectDB = MakeAction(this, "actSelectDB", "选择帐套", [this] { actSelectDBExecute(); });
  actNewDB = MakeAction(this, "actNewDB", "新建帐套", [this] { actNewDBExecute(); });
  actModifyDB = MakeAction(this, "actModifyDB", "修改帐套", [this] { actModifyDBExecute(); });
  actDelDB = MakeAction(this, "actDelDB", "删除帐套", [this] { actDelDBExecute(); });
  actUserAndPower =
      MakeAction(this, "actUserAndPower", "用户权限", [this] { actUserAndPowerExecute(); });

  grdUserDB = new components::TNxStringGrid(this);
  grdUserDB->setObjectName("grdUserDB");
  grdUserDB->Bind(&cdsUB, {{"UserID", "帐号ID", 80, false},
                           {"UserDBID", "帐套ID", 130},
                           {"UserDBName", "帐套名称", 290},
                           {"IsDefault", "默认", 50, false}});
  grdUserDB->horizontalHeader()->setStretchLastSection(true);

  lblNoUserDB = new QLabel("您还没有可以使用的帐套；请创建一个或申请加入其他人的帐套", this);
  lblNoUserDB->setObjectName("lblNoUserDB");
  lblNoUserDB->setProperty("vltRole", "warning");
  lblNoUserDB->setWordWrap(true);
  lblNoUserDB->hide();

  auto* buttons = new QVBoxLayout;
  buttons->addWidget(ActionButton(actSelectDB, this, "btnSelectDB"));
  buttons->addSpacing(12);
  buttons->addWidget(ActionButton(actNewDB, this, "btnNewDB"));
  buttons->addWidget(ActionButton(actModifyDB, this, "btnModifyDB"));
  buttons->addWidget(ActionButton(actDelDB, this, "btnDelDB"));
  buttons->addSpacing(12);
  buttons->addWidget(ActionButton(actUserAndPower, this, "btnUserAndPower"));
  buttons->addStretch(1);

  auto* left = new QVBoxLayout;
  left->addWidget(grdUserDB, 1);
  left->addWidget(lblNoUserDB);

  auto* root = new QHBoxLayout(this);
  root->addLayout(left, 1);
  root->addLayout(buttons);
}

TfrmSelectUserDB::~TfrmSelectUserDB() {
  // The grid listens to the list; it goes first.
  delete grdUserDB;
}

void TfrmSelectUserDB::FormShow() {
  RefreshUserDB();
}

void TfrmSelectUserDB::RefreshUserDB() {
  const std::string& login = CurUserInfo().UserID;
  cdsUB.LoadFromPacket(
      doServerMethods().GetSysMainDBDataBySql(login, kUserDBListSql + quotedStr(login)));
  lblNoUserDB->setVisible(cdsUB.IsEmpty());
}

void TfrmSelectUserDB::actSelectDBExecute() {
  if (!cdsUB.Active() || cdsUB.IsEmpty()) {
    ShowMessage("无帐套可选！");
    Abort();
  }
  HandOverChoice(cdsUB.FieldByName("UserDbID").AsString(),
                 cdsUB.FieldByName("userdbname").AsString());
  close();
}

void TfrmSelectUserDB::actNewDBExecute() {
  const int number = NextUserDBNumber(cdsUB);
  if (number > kMaxUserDBNumber) {
    ShowMessage("帐套数量已达上限（99个），无法再新建帐套！");
    Abort();
  }
  showAddWindow("OsAppend", UserDBIDOf(qs(CurUserInfo().UserID), number));
  RefreshUserDB();
}

void TfrmSelectUserDB::actModifyDBExecute() {
  // Nothing to rename in an empty list.
  if (!cdsUB.Active() || cdsUB.IsEmpty()) return;
  HandOverChoice(cdsUB.FieldByName("UserDBID").AsString(),
                 cdsUB.FieldByName("UserDBName").AsString());
  showAddWindow("OsEdit", QString());
  RefreshUserDB();
}

void TfrmSelectUserDB::actDelDBExecute() {
  ShowMessage("删除帐套，下一版本提供！");
}

void TfrmSelectUserDB::actUserAndPowerExecute() {
  if (!cdsUB.Active() || cdsUB.IsEmpty()) {
    ShowMessage("请先新建帐套！");
    Abort();
  }
  std::unique_ptr<TForm> power(CreateRttiForm(kPackage, "uUserDBPower.TfrmUserDBPower", this));
  power->TagString = qs(cdsUB.FieldByName("UserDBID").AsString()) + "," +
                     qs(cdsUB.FieldByName("UserDBName").AsString());
  ShowModal(*power);
}

void TfrmSelectUserDB::showAddWindow(const QString& mode, const QString& maxDBID) {
  std::unique_ptr<TForm> form(CreateRttiForm(kPackage, "uUserDBAdd.TfrmUserDBAdd", this));
  auto* add = qobject_cast<TfrmUserDBAdd*>(form.get());
  if (!add) throw Error("uUserDBAdd.TfrmUserDBAdd is not the account-set add window");
  add->TagString = mode;
  add->FMaxDBID = maxDBID;
  ShowModal(*add);
}
