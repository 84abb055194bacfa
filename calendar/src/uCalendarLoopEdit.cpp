#include "uCalendarLoopEdit.h"

#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>
#include <memory>

#include "uCalendarFrame.h"
#include "vlt/components.h"
#include "vlt/sqltext.h"

VLT_REGISTER_CLASS(uCalendarLoopEdit, TfrmCalendarLoopEdit);

using namespace vlt;
using namespace vlt::host;
using vlt::components::TColumnDef;

TfrmCalendarLoopEdit::TfrmCalendarLoopEdit(QWidget* owner) : TForm(owner) {
  setObjectName("frmCalendarLoopEdit");
  setWindowTitle(QStringLiteral("重复任务编辑"));
  auto* column = new QVBoxLayout(this);
  grdLoop = new components::TNxStringGrid(this);
  grdLoop->setObjectName("grdLoop");
  grdLoop->setEditTriggers(QAbstractItemView::NoEditTriggers);
  grdLoop->setSelectionBehavior(QAbstractItemView::SelectRows);
  column->addWidget(grdLoop, 1);
  actModify = components::MakeAction(this, "actModify", QStringLiteral("修改"),
                                     [this] { actModifyExecute(); });
  actDelete = components::MakeAction(this, "actDelete", QStringLiteral("删除"),
                                     [this] { actDeleteExecute(); });
  actClose = components::MakeAction(this, "actClose", QStringLiteral("关闭"), [this] { close(); });
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  btnModify = components::ActionButton(actModify, this, "btnModify");
  btnDelete = components::ActionButton(actDelete, this, "btnDelete");
  btnClose = components::ActionButton(actClose, this, "btnClose");
  for (QPushButton* b : {btnModify, btnDelete, btnClose})
    buttons->addWidget(b);
  column->addLayout(buttons);
  connect(grdLoop, &components::TNxStringGrid::CellDblClick, this,
          guarded([this] { actModifyExecute(); }));
  resize(760, 360);
}

TfrmCalendarLoopEdit::~TfrmCalendarLoopEdit() {
  grdLoop->Bind(nullptr, {});
}

void TfrmCalendarLoopEdit::FormShow() {
  RefreshLoop();
}

void TfrmCalendarLoopEdit::RefreshLoop() {
  ClientDataSet& loops = GlobalDM().cdsCaleLoopDW;
  grdLoop->Bind(nullptr, {});
  if (loops.Active() && !loops.IsEmpty()) loops.EmptyDataSet();
  loops.LoadFromPacket(doServerMethods().GetSysMainDBDataBySql(
      CurUserInfo().UserID, calendar::TemplatesSql(CurUserInfo().UserID)));
  grdLoop->Bind(&loops, {{"ID", "", 0, false},
                         {"UserID", "", 0, false},
                         {"Date", "开始日期", 90},
                         {"Title", "标题", 160},
                         {"Level", "任务级别", 70},
                         {"IsAlarm", "闹钟", 50},
                         {"AlarmTime", "闹钟时间", 80},
                         {"RepeatMode", "复重任务方式", 90},
                         {"RepeatValue", "重复任务设置", 100},
                         {"Remark", "说明", 200}});
}

void TfrmCalendarLoopEdit::actModifyExecute() {
  ClientDataSet& loops = GlobalDM().cdsCaleLoopDW;
  if (!loops.Active() || loops.IsEmpty()) return;
  std::unique_ptr<TForm> window(CreateRttiForm(
      QStringLiteral("VltCalendar.bpl"), QStringLiteral("uAddCalendar.TfrmAddCalendar"), this));
  window->TagString = QStringLiteral("OsEdit");
  window->Tag = 201;
  ShowModal(*window);
  window.reset();
  RefreshLoop();
}

void TfrmCalendarLoopEdit::actDeleteExecute() {
  ClientDataSet& loops = GlobalDM().cdsCaleLoopDW;
  if (!loops.Active() || loops.IsEmpty()) return;
  if (!ConfirmWarning(QStringLiteral("删除无法恢复，请确认是否真的删除？"))) return;
  const std::string status = doServerMethods().doSysMainDBDataBySql(
      "delete from  usercalendar_ex where id=" + quotedStr(loops.FieldByName("ID").AsString()));
  // A refused delete is said, not passed over as if the template were gone.
  if (status != "0") ShowMessage(QStringLiteral("删除失败！---") + qs(status));
  RefreshLoop();
}
