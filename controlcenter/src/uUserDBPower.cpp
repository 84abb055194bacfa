#include "uUserDBPower.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>
#include <algorithm>
#include <memory>

#include "ccwidgets.h"
#include "uSelectUserDB.h"
#include "vlt/sqltext.h"
#include "vlt/status.h"

VLT_REGISTER_CLASS(uUserDBPower, TfrmUserDBPower);

using namespace vlt;
using namespace vlt::host;

namespace vlt::controlcenter {

QStringList SplitCommaText(const QString& text) {
  QStringList items;
  // Text ends at a NUL, as it did for the platform's string lists.
  const qsizetype nul = text.indexOf(QChar(0));
  const qsizetype n = nul < 0 ? text.size() : nul;
  auto blank = [&](qsizetype i) { return i < n && text[i].unicode() <= ' '; };
  qsizetype p = 0;
  while (blank(p))
    ++p;
  while (p < n) {
    QString item;
    if (text[p] == '"') {
      // A quoted item; "" inside stands for one quote.
      for (++p; p < n; ++p) {
        if (text[p] == '"') {
          if (p + 1 < n && text[p + 1] == '"') {
            item += '"';
            ++p;
            continue;
          }
          ++p;
          break;
        }
        item += text[p];
      }
    } else {
      const qsizetype start = p;
      while (p < n && text[p].unicode() > ' ' && text[p] != ',')
        ++p;
      item = text.mid(start, p - start);
    }
    items << item;
    while (blank(p))
      ++p;
    if (p < n && text[p] == ',') {
      if (p + 1 == n) items << QString();
      do {
        ++p;
      } while (blank(p));
    }
  }
  return items;
}

void ForVisibleRows(ClientDataSet& list, const std::function<void()>& f) {
  if (!list.Active() || list.IsEmpty()) return;
  list.CheckBrowseMode();
  const Bookmark here = list.GetBookmark();
  list.DisableControls();
  try {
    for (list.First(); !list.Eof(); list.Next())
      f();
    if (list.BookmarkValid(here)) list.GotoBookmark(here);
  } catch (...) {
    list.EnableControls();
    throw;
  }
  list.EnableControls();
}

bool IsTicked(ClientDataSet& list, std::string_view tickField) {
  return !list.FieldByName(tickField).AsString().empty();
}

namespace {

void setTick(ClientDataSet& list, std::string_view tickField, bool on) {
  const bool began = list.State() == DataSetState::Browse;
  if (began) list.Edit();
  list.FieldByName(tickField).SetAsString(on ? kTickMark : "");
  if (began) list.Post();
}

}  // namespace

void ToggleTick(ClientDataSet& list, std::string_view tickField) {
  if (!list.Active() || list.IsEmpty()) return;
  setTick(list, tickField, !IsTicked(list, tickField));
}

void TickAll(ClientDataSet& list, std::string_view tickField) {
  ForVisibleRows(list, [&] { setTick(list, tickField, true); });
}

void InvertTicks(ClientDataSet& list, std::string_view tickField) {
  ForVisibleRows(list, [&] { setTick(list, tickField, !IsTicked(list, tickField)); });
}

void ConnectTicking(components::TNxStringGrid* grid, ClientDataSet& list,
                    std::string_view tickField) {
  QObject::connect(grid, &components::TNxStringGrid::CellClick, grid,
                   guarded([&list, field = std::string(tickField)](int column, int row) {
                     // Only the first column ("选择") ticks.
                     if (column != 0 || !list.Active() || list.IsEmpty()) return;
                     if (row >= 0 && row < list.RecordCount() && list.DisplayRow() != row)
                       list.SetRecNo(row + 1);
                     ToggleTick(list, field);
                   }));
}

Delta StoredChanges(const ClientDataSet& list) {
  Delta delta = list.GetDelta();
  std::erase_if(delta.rows, [](const DeltaRow& r) {
    return r.kind == ChangeKind::Modify && r.details.empty() && r.oldValues == r.newValues;
  });
  return delta;
}

bool IsLoginID(const QString& text) {
  return !text.isEmpty() &&
         std::all_of(text.begin(), text.end(), [](QChar c) { return c >= '0' && c <= '9'; });
}

QString ModuleQueryRefusal(const QString& userDBID, const QString& operatorID) {
  if (!IsUserDBID(userDBID)) return "帐套ID『" + userDBID + "』无效！";
  if (!IsLoginID(operatorID)) return "操作员帐号『" + operatorID + "』无效！";
  return QString();
}

}  // namespace vlt::controlcenter

using namespace vlt::controlcenter;

namespace {

const char* const kPackage = "VltControlCenter.bpl";

// Empties the selection hand-over when the action ends, however it ends: a row left behind
// would be read by the next window that looks at it as its own choice.
struct HandOverCleared {
  ~HandOverCleared() { GlobalDM().cdsSelectResult.EmptyDataSet(); }
};

}  // namespace

TfrmUserDBPower::TfrmUserDBPower(QWidget* owner) : TForm(owner) {
  setObjectName("frmUserDBPower");
  setWindowTitle("操作员及权限");
  resize(860, 520);

  FieldDefs& operators = cdsDBOperator.FieldDefinitions();
  operators.add("UserDBID", DataType::String, 240);
  operators.add("UserID", DataType::Int64);
  operators.add("NickName", DataType::String, 120);

  // The columns of ts_userpower, and the client's own tick column, which never travels.
  FieldDefs& grants = cdsModule.FieldDefinitions();
  grants.add("UserID", DataType::Int64);
  grants.add("ModuleID", DataType::String, 45, true);
  grants.add("ModuleCnName", DataType::String, 765);
  grants.add("groupID", DataType::String, 3);
  grants.add("SelectModule", DataType::String, 3).kind = FieldKind::InternalCalc;

  actAddUser = MakeAction(this, "actAddUser", "添加操作员", [this] { actAddUserExecute(); });
  actDelUser = MakeAction(this, "actDelUser", "删除操作员", [this] { actDelUserExecute(); });
  actAddModule =
      MakeAction(this, "actAddModule", "添加权限模块", [this] { actAddModuleExecute(); });
  actDelModule =
      MakeAction(this, "actDelModule", "删除权限模块", [this] { actDelModuleExecute(); });
  actSelectAll = MakeAction(this, "actSelectAll", "全选", [this] { actSelectAllExecute(); });
  actInvertSelect =
      MakeAction(this, "actInvertSelect", "反选", [this] { actInvertSelectExecute(); });
  actClose = MakeAction(this, "actClose", "关闭", [this] { close(); });

  edtUserDBID = new QLineEdit(this);
  edtUserDBID->setObjectName("edtUserDBID");
  edtUserDBID->setReadOnly(true);
  edtUserDBName = new QLineEdit(this);
  edtUserDBName->setObjectName("edtUserDBName");
  edtUserDBName->setReadOnly(true);
  auto* header = new QHBoxLayout;
  header->addWidget(new QLabel("帐套ID", this));
  edtUserDBID->setFixedWidth(140);
  edtUserDBName->setFixedWidth(280);
  header->addWidget(edtUserDBID);
  header->addSpacing(16);
  header->addWidget(new QLabel("帐套名称", this));
  header->addWidget(edtUserDBName);
  header->addStretch(1);

  // Operators on the left.
  auto* operatorBox = new QGroupBox("操作员", this);
  grdOperator = new components::TNxStringGrid(operatorBox);
  grdOperator->setObjectName("grdOperator");
  grdOperator->Bind(
      &cdsDBOperator,
      {{"UserDBID", "帐套ID", 80, false}, {"UserID", "帐号ID", 90}, {"NickName", "昵称", 150}});
  grdOperator->horizontalHeader()->setStretchLastSection(true);
  auto* operatorButtons = new QHBoxLayout;
  operatorButtons->addWidget(ActionButton(actAddUser, operatorBox, "btnAddUser"));
  operatorButtons->addWidget(ActionButton(actDelUser, operatorBox, "btnDelUser"));
  auto* operatorLayout = new QVBoxLayout(operatorBox);
  operatorLayout->addWidget(grdOperator, 1);
  operatorLayout->addLayout(operatorButtons);

  // The current operator's grants on the right.
  auto* grantBox = new QGroupBox("权限模块", this);
  const ModuleGroupButtons groups =
      MakeModuleGroupButtons(this, grantBox, [this] { ApplyGrantFilter(); });
  rbAll = groups.rbAll;
  rbDB = groups.rbDB;
  rbYW = groups.rbYW;
  rbRP = groups.rbRP;
  // All groups to begin with; no operator is loaded yet, so nothing is filtered now.
  rbAll->setChecked(true);

  grdModule = new components::TNxStringGrid(grantBox);
  grdModule->setObjectName("grdModule");
  grdModule->Bind(&cdsModule, {{"SelectModule", "选择", 44},
                               {"ModuleID", "模块ID", 100},
                               {"ModuleCnName", "模块名称", 260},
                               {"UserID", "帐号ID", 80, false},
                               {"groupID", "组", 40, false}});
  grdModule->horizontalHeader()->setStretchLastSection(true);
  ConnectTicking(grdModule, cdsModule, "SelectModule");

  auto* grantButtons = new QHBoxLayout;
  grantButtons->addWidget(ActionButton(actSelectAll, grantBox, "btnSelectAll"));
  grantButtons->addWidget(ActionButton(actInvertSelect, grantBox, "btnInvertSelect"));
  grantButtons->addStretch(1);
  grantButtons->addWidget(ActionButton(actAddModule, grantBox, "btnAddModule"));
  grantButtons->addWidget(ActionButton(actDelModule, grantBox, "btnDelModule"));
  auto* grantLayout = new QVBoxLayout(grantBox);
  grantLayout->addLayout(groups.row);
  grantLayout->addWidget(grdModule, 1);
  grantLayout->addLayout(grantButtons);

  auto* body = new QHBoxLayout;
  body->addWidget(operatorBox, 2);
  body->addWidget(grantBox, 3);

  auto* footer = new QHBoxLayout;
  footer->addStretch(1);
  footer->addWidget(ActionButton(actClose, this, "btnClose"));

  auto* root = new QVBoxLayout(this);
  root->addLayout(header);
  root->addLayout(body, 1);
  root->addLayout(footer);

  // Moving to another operator shows that operator's grants.
  cdsDBOperator.AfterScroll = [this](ClientDataSet&) { guarded([this] { ApplyGrantFilter(); })(); };
}

TfrmUserDBPower::~TfrmUserDBPower() {
  cdsDBOperator.AfterScroll = nullptr;
  // The grids listen to the lists; they go first.
  delete grdOperator;
  delete grdModule;
}

std::string TfrmUserDBPower::userDBID() const {
  return ss(edtUserDBID->text());
}

void TfrmUserDBPower::FormShow() {
  const QStringList params = SplitCommaText(TagString);
  edtUserDBID->setText(params.value(0));
  edtUserDBName->setText(params.value(1));
  loadOperators();
  loadGrants();
  if (!cdsDBOperator.IsEmpty()) {
    cdsDBOperator.First();
    ApplyGrantFilter();
  }
}

void TfrmUserDBPower::loadOperators() {
  cdsDBOperator.LoadFromPacket(doServerMethods().GetSysMainDBDataBySql(
      CurUserInfo().UserID,
      "select UO.UserDBID,UO.UserID,SU.NickName from userdatabaseoperator UO LEFT JOIN "
      "sys_mainuserbaseinfo SU ON UO.UserID=SU.UserID where UO.UserDBID=" +
          quotedStr(userDBID()) + " order by UO.UserID"));
}

void TfrmUserDBPower::loadGrants() {
  cdsModule.LoadFromPacket(doServerMethods().GetUserDBDataBySql(
      userDBID(), "select * from ts_userpower order by groupid,moduleid"));
}

void TfrmUserDBPower::ApplyGrantFilter() {
  if (!cdsDBOperator.Active() || cdsDBOperator.IsEmpty()) return;
  const std::string group = ModuleGroupCondition(rbDB, rbYW, rbRP);
  cdsModule.SetFilter("UserID=" + quotedStr(cdsDBOperator.FieldByName("UserID").AsString()) +
                      (group.empty() ? "" : " and " + group));
  cdsModule.SetFiltered(true);
}

void TfrmUserDBPower::actAddUserExecute() {
  {
    std::unique_ptr<TForm> search(
        CreateRttiForm(kPackage, "uUserDBSelectOperator.TfrmUserDBSelectOperator", this));
    ShowModal(*search);
  }
  ClientDataSet& handOver = GlobalDM().cdsSelectResult;
  if (!handOver.IsEmpty()) {
    HandOverCleared cleared;
    const std::string id = handOver.FieldByName("id").AsString();
    const std::string name = handOver.FieldByName("name").AsString();
    if (id == CurUserInfo().UserID) {
      ShowMessage("本人帐号无需添加！");
      Abort();
    }
    const std::size_t userIdField = cdsDBOperator.FieldByName("UserID").Index();
    for (int row = 0; row < cdsDBOperator.DisplayRowCount(); ++row) {
      if (cdsDBOperator.DisplayValue(row, userIdField).toText() == id) {
        ShowMessage("您已添加了此操作员，无须再次添加！");
        Abort();
      }
    }
    const std::string status = doServerMethods().doSysMainDBDataBySql(
        "Insert into userdatabaseoperator (UserDBID,UserID) values (" + quotedStr(userDBID()) +
        "," + quotedStr(id) + ")");
    if (StatusOk(status)) {
      cdsDBOperator.Append();
      cdsDBOperator.FieldByName("UserDBID").SetAsString(userDBID());
      cdsDBOperator.FieldByName("UserID").SetAsString(id);
      cdsDBOperator.FieldByName("NickName").SetAsString(name);
      cdsDBOperator.Post();
    }
  }
  if (!cdsDBOperator.IsEmpty()) {
    cdsDBOperator.Last();
    ApplyGrantFilter();
  }
}

void TfrmUserDBPower::actDelUserExecute() {
  if (!cdsDBOperator.Active() || cdsDBOperator.IsEmpty()) return;
  const std::string operatorID = cdsDBOperator.FieldByName("UserID").AsString();
  if (!ConfirmWarning("删除后无法恢复，请确认是否删除『" + qs(operatorID) + "』")) return;
  CheckStatus(doServerMethods().doSysMainDBDataBySql(
      "delete from userdatabaseoperator where UserDBID=" + quotedStr(userDBID()) +
      " and UserID=" + quotedStr(operatorID)));
  doServerMethods().doUserDBDataBySql(
      userDBID(), "delete from ts_userpower where UserID=" + quotedStr(operatorID));
  if (cdsDBOperator.RecordCount() == 1)
    cdsDBOperator.EmptyDataSet();
  else
    cdsDBOperator.Delete();
  // The grants of the removed operator are gone on the server; the list must not keep showing
  // them (and must not send them back) should the same user be admitted again.
  loadGrants();
  ApplyGrantFilter();
}

void TfrmUserDBPower::actAddModuleExecute() {
  const QString operatorID = cdsDBOperator.Active() && !cdsDBOperator.IsEmpty()
                                 ? qs(cdsDBOperator.FieldByName("UserID").AsString())
                                 : QString();
  if (operatorID.isEmpty()) {
    ShowMessage("未检测到操作员，请先选择操作员！");
    Abort();
  }
  if (edtUserDBID->text().isEmpty()) {
    ShowMessage("未检测到目标数据库，请检测！");
    Abort();
  }
  // The module window names the set and the operator in its statement unquoted.
  if (QString refusal = ModuleQueryRefusal(edtUserDBID->text(), operatorID); !refusal.isEmpty()) {
    ShowMessage(refusal);
    Abort();
  }
  HandOverCleared cleared;
  {
    std::unique_ptr<TForm> choose(
        CreateRttiForm(kPackage, "uUserDBSelectModule.TfrmUserDBSelectModule", this));
    choose->TagString = edtUserDBID->text() + "," + operatorID;
    ShowModal(*choose);
  }
  ClientDataSet& handOver = GlobalDM().cdsSelectResult;
  if (handOver.IsEmpty()) return;
  for (handOver.First(); !handOver.Eof(); handOver.Next()) {
    cdsModule.Append();
    cdsModule.FieldByName("UserID").SetAsString(ss(operatorID));
    cdsModule.FieldByName("ModuleID").SetAsString(handOver.FieldByName("id").AsString());
    cdsModule.FieldByName("ModuleCnName").SetAsString(handOver.FieldByName("name").AsString());
    cdsModule.FieldByName("groupID").SetAsString(handOver.FieldByName("other1").AsString());
    cdsModule.Post();
  }
  saveGrants();
}

void TfrmUserDBPower::actDelModuleExecute() {
  if (!cdsModule.Active() || cdsModule.IsEmpty()) return;
  cdsModule.CheckBrowseMode();
  cdsModule.DisableControls();
  try {
    for (int recNo = cdsModule.RecordCount(); recNo >= 1; --recNo) {
      cdsModule.SetRecNo(recNo);
      if (IsTicked(cdsModule, "SelectModule")) cdsModule.Delete();
    }
  } catch (...) {
    cdsModule.EnableControls();
    throw;
  }
  cdsModule.EnableControls();
  saveGrants();
}

void TfrmUserDBPower::saveGrants() {
  // Refused changes are kept pending: the next save sends them again.
  if (StatusOk(doServerMethods().SaveUserDBDataByDelta(userDBID(), "ts_userpower",
                                                       "UserID,ModuleID", StoredChanges(cdsModule)),
               {"保存失败!错误原因："}))
    cdsModule.MergeChangeLog();
}

void TfrmUserDBPower::actSelectAllExecute() {
  TickAll(cdsModule, "SelectModule");
}

void TfrmUserDBPower::actInvertSelectExecute() {
  InvertTicks(cdsModule, "SelectModule");
}
