#include "uPersionCardForm.h"

#include <QRadioButton>
#include <QToolButton>
#include <QVBoxLayout>

#include "periodchoice.h"
#include "persioncardkinds.h"
#include "persioncardparts.h"
#include "tplwidgets.h"
#include "uPersionCardEdit.h"
#include "vlt/components.h"
#include "vlt/sqltext.h"
#include "vlt/status.h"

VLT_REGISTER_CLASS(uPersionCardForm, TfrmPersionCardForm);

using namespace vlt;
using namespace vlt::host;
using namespace vlt::templates;
using namespace vlt::persioncard;
using vlt::components::TColumnDef;
using vlt::components::TNxStringGrid;

TfrmPersionCardForm::TfrmPersionCardForm(QWidget* owner) : TfrmBaseFormEx(owner) {
  const TListTools tools = AddListTools(
      *this, [this] { actAddExecute(); }, [this] { actModifyExecute(); },
      [this] { actDelExecute(); });
  actAdd = tools.actAdd;
  actModify = tools.actModify;
  actDel = tools.actDel;
  btnNew = tools.btnNew;
  btnModify = tools.btnModify;
  btnDel = tools.btnDel;

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
  grdMain->setEditTriggers(QAbstractItemView::NoEditTriggers);
  connect(grdMain, &TNxStringGrid::CellDblClick, this, guarded([this] { grdMainDblClick(); }));
  MainAreaLayout()->addWidget(lytDateSelect);
  MainAreaLayout()->addWidget(grdMain, 1);
}

TfrmPersionCardForm::~TfrmPersionCardForm() {
  delete grdMain;  // the grid goes before the data set it shows
}

void TfrmPersionCardForm::FormCreate() {
  FOpenDateStr = PeriodCondition(TPeriod::Month, QDate::currentDate());
  TfrmBaseFormEx::FormCreate();
}

void TfrmPersionCardForm::FormShow() {
  FIOKind = TagString.toInt();
  const TEntryKind& kind = EntryKind(FIOKind);
  setWindowTitle(QString::fromUtf8(kind.caption));
  grdMain->Bind(&cdsMaster, {{"ID", "", 0, false},
                             {"bdate", "日期", 100},
                             TColumnDef("IOAmt", "金额", 110).Number(2),
                             {"IOType", QString::fromUtf8(kind.typeLabel), 160},
                             {"Remark", "附注说明", 320}});
  const QSignalBlocker quiet(rbCurMonth);
  rbCurMonth->setChecked(true);
  opendata();
}

void TfrmPersionCardForm::FormClose() {
  TfrmBaseFormEx::FormClose();
  if (cdsMaster.Active()) cdsMaster.CancelUpdates();
  cdsMaster.Close();
}

void TfrmPersionCardForm::opendata() {
  cdsMaster.LoadFromPacket(doServerMethods().GetSysMainDBDataBySql(
      CurUserInfo().UserID,
      "select ID,UserID,IOType,bdate,IOAmt,Remark,IODirect,IOKind from userpersincard where "
      "(iokind=" +
          std::to_string(FIOKind) + ") and (" + FOpenDateStr + ") and (UserID=" + QuotedLogin() +
          ")"));
}

void TfrmPersionCardForm::rbCurdayChange() {
  FOpenDateStr = PeriodCondition(TPeriod::Day, QDate::currentDate());
  opendata();
}

void TfrmPersionCardForm::rbCurWeekChange() {
  FOpenDateStr = PeriodCondition(TPeriod::Week, QDate::currentDate());
  opendata();
}

void TfrmPersionCardForm::rbCurMonthChange() {
  FOpenDateStr = PeriodCondition(TPeriod::Month, QDate::currentDate());
  opendata();
}

void TfrmPersionCardForm::runEntry(const QString& mode, QToolButton& below) {
  auto entry = CreateForm<TfrmPersionCardEdit>(nullptr);
  entry->TagString = mode;
  entry->Tag = FIOKind;
  entry->move(below.mapToGlobal(QPoint(0, below.height())));
  struct Reload {
    TfrmPersionCardForm& list;
    ~Reload() {
      const bool saved = FModalResult() == 27;
      FModalResult() = 0;
      if (saved) guarded([this] { list.opendata(); })();
    }
  } reload{*this};
  ShowModal(*entry);
}

void TfrmPersionCardForm::actAddExecute() {
  if (cdsMaster.Active()) cdsMaster.CancelUpdates();
  runEntry("Append", *btnNew);
}

void TfrmPersionCardForm::actModifyExecute() {
  if (cdsMaster.Active()) cdsMaster.CancelUpdates();
  if (!cdsMaster.Active() || cdsMaster.IsEmpty() || cdsMaster.RecNo() <= 0) {
    ShowMessage("没检测到需要修改的数据，请选择！");
    return;
  }
  // The entry window takes the entry from the hand-over data set.
  ClientDataSet& handOver = GlobalDM().cdsSelectResult;
  handOver.EmptyDataSet();
  handOver.Append();
  const std::pair<const char*, const char*> values[] = {{"id", "ID"},
                                                        {"name", "IOType"},
                                                        {"other1", "bdate"},
                                                        {"other2", "IOAmt"},
                                                        {"other3", "Remark"}};
  for (const auto& [to, from] : values)
    handOver.FieldByName(to).SetAsString(cdsMaster.FieldByName(from).AsString());
  handOver.Post();
  runEntry("Edit", *btnModify);
}

void TfrmPersionCardForm::actDelExecute() {
  if (!cdsMaster.Active() || cdsMaster.IsEmpty()) {
    ShowMessage("未发现可以删除的资料！");
    return;
  }
  if (!ConfirmWarning("删除无法恢复，请确认是否真的删除？")) return;
  const std::int64_t id = cdsMaster.FieldByName("ID").AsLargeInt();
  grdMain->Link().SetActive(false);
  struct Relink {
    TNxStringGrid* grid;
    ~Relink() { grid->Link().SetActive(true); }
  } relink{grdMain};
  // A refusal is said with its reason; the entry stays in the list.
  if (StatusOk(doServerMethods().doSysMainDBDataBySql("delete from userpersincard where ID=" +
                                                      sqlNumber(id)),
               {"删除失败，错误原因："}))
    opendata();
}

void TfrmPersionCardForm::grdMainDblClick() {
  actModify->trigger();
}
