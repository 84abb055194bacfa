#include "uBill_Cas_Mgr.h"

#include <QDate>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QToolButton>
#include <QVBoxLayout>

#include "formrows.h"
#include "periodchoice.h"
#include "picktarget.h"
#include "tplwidgets.h"
#include "uBill_Cas_InOut.h"
#include "vlt/sqltext.h"

VLT_REGISTER_CLASS(uBill_Cas_Mgr, TfrmBill_Cas_Mgr);

using namespace vlt;
using namespace vlt::host;
using namespace vlt::templates;
using vlt::components::TColumnDef;
using vlt::components::TNxStringGrid;

TfrmBill_Cas_Mgr::TfrmBill_Cas_Mgr(QWidget* owner) : TfrmBaseFormEx(owner) {
  actAdd = MakeAction(this, "actAdd", "新增", {QKeySequence(Qt::CTRL | Qt::Key_N)},
                      [this] { actAddExecute(); });
  actModify = MakeAction(this, "actModify", "修改", {QKeySequence(Qt::CTRL | Qt::Key_M)},
                         [this] { actModifyExecute(); });
  actDel = MakeAction(this, "actDel", "删除", {QKeySequence(Qt::CTRL | Qt::Key_D)},
                      [this] { actDelExecute(); });
  btnNew = ToolButton(actAdd, lytTop, "btnNew", "imgNew", ToolIcon::New, 105);
  btnModify = ToolButton(actModify, lytTop, "btnModify", "imgModify", ToolIcon::Edit, 105);
  btnDel = ToolButton(actDel, lytTop, "btnDel", "imgDel", ToolIcon::Delete, 105);
  for (QWidget* b : {btnNew, btnModify, btnDel})
    AddTopWidget(b);

  const TPeriodRadios periods = MakePeriodRadios(lytMainArea, [this](TPeriod period) {
    if (period == TPeriod::Day) rbCurdayChange();
    if (period == TPeriod::Week) rbCurWeekChange();
    if (period == TPeriod::Month) rbCurMonthChange();
  });
  lytDateSelect = periods.lytDateSelect;
  rbCurday = periods.rbCurday;
  rbCurWeek = periods.rbCurWeek;
  rbCurMonth = periods.rbCurMonth;

  grdMain = new TNxStringGrid(lytMainArea);
  grdMain->setObjectName("grdMain");
  grdMain->setAlternatingRowColors(true);
  grdMain->setEditTriggers(QAbstractItemView::NoEditTriggers);
  grdMain->viewport()->installEventFilter(this);
  MainAreaLayout()->addWidget(lytDateSelect);
  MainAreaLayout()->addWidget(grdMain, 1);
}

TfrmBill_Cas_Mgr::~TfrmBill_Cas_Mgr() {
  grdMain->viewport()->removeEventFilter(this);
  delete grdMain;  // the grid goes before the data set it shows
}

void TfrmBill_Cas_Mgr::FormCreate() {
  TfrmBaseFormEx::FormCreate();
  MasterTableName = "tb_acc_io";
  FOpenDateStr = PeriodCondition(TPeriod::Month, QDate::currentDate());
}

void TfrmBill_Cas_Mgr::FormShow() {
  FIodirect = Tag;
  const bool income = FIodirect == 1;
  setWindowTitle(income ? "其他收入" : "费用支出");
  grdMain->Bind(&cdsMaster, {{"Bid", "", 0, false},
                             {"BDate", "日期", 90},
                             {"AccIoTypeName", income ? "收入类别" : "支出类别", 120},
                             {"AccName", income ? "收入帐户" : "支出帐户", 120},
                             TColumnDef("AccAmt", income ? "收入金额" : "支出金额", 90).Number(2),
                             {"ReMark", "附注说明", 200},
                             {"UpdateTime", "修改日期", 140},
                             {"CreateTime", "创建日期", 140},
                             {"UpdateOP", "修改人", 80},
                             {"CreateOp", "创建人", 80}});
  const QSignalBlocker quiet(rbCurMonth);
  rbCurMonth->setChecked(true);
  opendata();
}

void TfrmBill_Cas_Mgr::opendata() {
  cdsMaster.LoadFromPacket(doServerMethods().GetUserDBDataBySql(
      CurUserInfo().UserDBID,
      "SELECT M.Bid,M.BDate,M.BKind,M.BState,M.BIoDirect,M.AccountId,m.AccIoTypeID,M.AccAmt,"
      "M.ReMark,M.UpdateTime,M.CreateTime,M.UpdateOP,M.CreateOp,M.BDiary,T.Name as AccName,"
      "a.Name as AccIoTypeName FROM tb_acc_io AS M LEFT JOIN td_account AS T ON M.AccountId = "
      "T.Id LEFT JOIN td_accountiotype A on m.AccIoTypeID=a.Id where biodirect=" +
          std::to_string(FIodirect) + " and (" + FOpenDateStr + ")"));
}

void TfrmBill_Cas_Mgr::rbCurdayChange() {
  FOpenDateStr = PeriodCondition(TPeriod::Day, QDate::currentDate());
  opendata();
}

void TfrmBill_Cas_Mgr::rbCurWeekChange() {
  FOpenDateStr = PeriodCondition(TPeriod::Week, QDate::currentDate());
  opendata();
}

void TfrmBill_Cas_Mgr::rbCurMonthChange() {
  FOpenDateStr = PeriodCondition(TPeriod::Month, QDate::currentDate());
  opendata();
}

namespace {

// Shows the entry window below the button and reloads the list when it saved (also when the
// showing ended in an error, which then goes on).
void runEntry(TfrmBill_Cas_Mgr& list, TfrmBill_Cas_InOut& entry, const QToolButton& below) {
  entry.move(below.mapToGlobal(QPoint(0, below.height())));
  struct Reload {
    TfrmBill_Cas_Mgr& list;
    ~Reload() {
      const bool saved = FModalResult() == 27;
      FModalResult() = 0;
      if (saved) guarded([this] { list.opendata(); })();
    }
  } reload{list};
  ShowModal(entry);
}

}  // namespace

void TfrmBill_Cas_Mgr::actAddExecute() {
  cdsMaster.CancelUpdates();
  auto entry = CreateForm<TfrmBill_Cas_InOut>(this);
  entry->TagString = "Append";
  entry->Tag = FIodirect;
  runEntry(*this, *entry, *btnNew);
}

void TfrmBill_Cas_Mgr::actModifyExecute() {
  cdsMaster.CancelUpdates();
  if (!cdsMaster.Active() || cdsMaster.IsEmpty() || cdsMaster.RecNo() <= 0) {
    ShowMessage("没检测到需要修改的数据，请选择！");
    return;
  }
  auto entry = CreateForm<TfrmBill_Cas_InOut>(this);
  try {
    entry->TagString = "Edit";
    entry->Tag = FIodirect;
    auto text = [this](const char* field) { return qs(cdsMaster.FieldByName(field).AsString()); };
    entry->FBid = cdsMaster.FieldByName("BID").AsString();
    SetBoxChoice(*entry->edtAccIoType, text("AccIoTypeName"), text("AccIoTypeID"));
    SetBoxChoice(*entry->edtAccount, text("AccName"), text("accountid"));
    entry->edtdate->setText(text("BDate"));
    entry->edtAmt->setText(text("AccAmt"));
    entry->mmoRemark->setPlainText(text("ReMark"));
    entry->edtCreateOp->setText(text("CreateOp"));
    entry->edtCreateTime->setText(text("CreateTime"));
    entry->edtUpdateOp->setText(text("UpdateOP"));
    entry->edtUpdateTime->setText(text("UpdateTime"));
  } catch (const EAbort&) {
    throw;
  } catch (const std::exception& e) {
    ShowMessage(QString::fromUtf8(e.what()));
    return;
  }
  runEntry(*this, *entry, *btnModify);
}

void TfrmBill_Cas_Mgr::actDelExecute() {
  if (!cdsMaster.Active() || cdsMaster.IsEmpty()) {
    ShowMessage("未发现可以删除的资料！");
    return;
  }
  if (!ConfirmWarning("删除无法恢复，请确认是否真的删除？")) return;
  const std::string bid = cdsMaster.FieldByName("BID").AsString();
  CheckStatus(doServerMethods().doUserDBDataBySql(
                  CurUserInfo().UserDBID,
                  "delete from " + MasterTableName + " where BID=" + quotedStr(bid)),
              {"保存失败，错误原因："});
  opendata();
}

bool TfrmBill_Cas_Mgr::eventFilter(QObject* watched, QEvent* event) {
  if (watched == grdMain->viewport() && event->type() == QEvent::MouseButtonDblClick &&
      static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
    actModify->trigger();
    return true;
  }
  return TfrmBaseFormEx::eventFilter(watched, event);
}
