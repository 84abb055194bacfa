#include "uUserDBSelectModule.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "ccwidgets.h"
#include "uUserDBPower.h"

VLT_REGISTER_CLASS(uUserDBSelectModule, TfrmUserDBSelectModule);

using namespace vlt;
using namespace vlt::host;
using namespace vlt::controlcenter;

TfrmUserDBSelectModule::TfrmUserDBSelectModule(QWidget* owner) : TForm(owner) {
  setObjectName("frmUserDBSelectModule");
  setWindowTitle("功能模块选择");
  resize(520, 460);

  // The tick is the client's own column: it is never loaded or saved.
  FieldDefs& defs = cds.FieldDefinitions();
  defs.add("ID", DataType::String, 45, true);
  defs.add("ModuleCnName", DataType::String, 765);
  defs.add("groupID", DataType::String, 3);
  defs.add("SelectMark", DataType::String, 3).kind = FieldKind::InternalCalc;

  actOK = MakeAction(this, "actOK", "确定", [this] { actOKExecute(); });
  actClose = MakeAction(this, "actClose", "关闭", [this] { close(); });
  actSelectAll = MakeAction(this, "actSelectAll", "全选", [this] { TickAll(cds, "SelectMark"); });
  actInvertSelect =
      MakeAction(this, "actInvertSelect", "反选", [this] { InvertTicks(cds, "SelectMark"); });

  const ModuleGroupButtons groups =
      MakeModuleGroupButtons(this, this, [this] { ApplyGroupFilter(); });
  rbAll = groups.rbAll;
  rbDB = groups.rbDB;
  rbYW = groups.rbYW;
  rbRP = groups.rbRP;

  grdModule = new components::TNxStringGrid(this);
  grdModule->setObjectName("grdModule");
  grdModule->Bind(&cds, {{"SelectMark", "选择", 44},
                         {"ID", "模块ID", 100},
                         {"ModuleCnName", "模块名称", 280},
                         {"groupID", "组", 40, false}});
  grdModule->horizontalHeader()->setStretchLastSection(true);
  ConnectTicking(grdModule, cds, "SelectMark");

  auto* buttons = new QHBoxLayout;
  buttons->addWidget(ActionButton(actSelectAll, this, "btnSelectAll"));
  buttons->addWidget(ActionButton(actInvertSelect, this, "btnInvertSelect"));
  buttons->addStretch(1);
  buttons->addWidget(ActionButton(actOK, this, "btnOK"));
  buttons->addWidget(ActionButton(actClose, this, "btnClose"));

  auto* root = new QVBoxLayout(this);
  root->addLayout(groups.row);
  root->addWidget(grdModule, 1);
  root->addLayout(buttons);
}

TfrmUserDBSelectModule::~TfrmUserDBSelectModule() {
  // The grid listens to the list; it goes first.
  delete grdModule;
}

void TfrmUserDBSelectModule::FormShow() {
  rbAll->setChecked(true);
  ApplyGroupFilter();
  const QStringList params = SplitCommaText(TagString);
  const QString userDBID = params.value(0);
  const QString operatorID = params.value(1);
  // Both go into the statement unquoted, as a database name and a number.
  if (QString refusal = ModuleQueryRefusal(userDBID, operatorID); !refusal.isEmpty()) {
    ShowMessage(refusal);
    return;
  }
  cds.LoadFromPacket(doServerMethods().GetSysMainDBDataBySql(
      CurUserInfo().UserID,
      "select ID,ModuleCnName,groupID from UserdatabasePowerModule where not id in (select "
      "ModuleID from " +
          ss(userDBID) + ".ts_userpower where UserID=" + ss(operatorID) + ") order by groupid,id"));
}

void TfrmUserDBSelectModule::ApplyGroupFilter() {
  const std::string filter = ModuleGroupCondition(rbDB, rbYW, rbRP);
  cds.SetFilter(filter);
  cds.SetFiltered(!filter.empty());
}

void TfrmUserDBSelectModule::actOKExecute() {
  if (cds.Active() && !cds.IsEmpty()) {
    ClientDataSet& handOver = GlobalDM().cdsSelectResult;
    handOver.EmptyDataSet();
    // Only what the user sees: ticked rows of another group stay behind.
    ForVisibleRows(cds, [&] {
      if (!IsTicked(cds, "SelectMark")) return;
      handOver.Append();
      handOver.FieldByName("id").SetAsString(cds.FieldByName("ID").AsString());
      handOver.FieldByName("name").SetAsString(cds.FieldByName("ModuleCnName").AsString());
      handOver.FieldByName("other1").SetAsString(cds.FieldByName("groupid").AsString());
      handOver.Post();
    });
  }
  close();
}
