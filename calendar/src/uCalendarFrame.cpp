#include "uCalendarFrame.h"

#include <QDate>
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <numeric>

#include "uAddCalendar.h"
#include "uCalendarLoopEdit.h"
#include "vlt/calendar.h"
#include "vlt/components.h"
#include "vlt/sqltext.h"

VLT_REGISTER_CLASS(uCalendarFrame, TfrmSchedule);

using namespace vlt;
using namespace vlt::host;
using namespace vlt::calendar;

namespace vlt::calendar {

std::string EntriesSql(const std::string& first, const std::string& last,
                       const std::string& userId) {
  return "select ID,UserID,Title,Date,Remark,Level,Finished,IsAlarm,AlarmTime,RepeatMode,"
         "RepeatValue,loopID from usercalendar where  (date between" +
         quotedStr(first) + " and " + quotedStr(last) + ") and userid = " + quotedStr(userId);
}

std::string TemplatesSql(const std::string& userId) {
  return "select ID,UserID,Title,Date,Remark,Level,IsAlarm,AlarmTime,RepeatMode,RepeatValue "
         "from usercalendar_ex where userid = " +
         quotedStr(userId);
}

std::vector<TCalendarRow> LoadPeriod(Date first, Date last) {
  const std::string& user = CurUserInfo().UserID;
  const Packet stored = doServerMethods().GetSysMainDBDataBySql(
      user, EntriesSql(first.toString(), last.toString(), user));
  const Packet templates = doServerMethods().GetSysMainDBDataBySql(user, TemplatesSql(user));
  return ExpandPeriod(RowsOfPacket(stored), RowsOfPacket(templates), first, last);
}

}  // namespace vlt::calendar

namespace {

constexpr int kAlarmTickMs = 15000;
constexpr int kHeaderRole = Qt::UserRole + 1;

const char* const kEntryFields[] = {"ID",        "UserID",     "Title",       "Date",
                                    "Remark",    "Level",      "Finished",    "IsAlarm",
                                    "AlarmTime", "RepeatMode", "RepeatValue", "LoopID"};

Date fromQDate(const QDate& d) {
  return Date::fromYmd(d.year(), d.month(), d.day());
}

// The entries as the data set holds them: every column as text.
Packet entryPacket(const std::vector<TCalendarRow>& rows) {
  Packet p;
  for (const char* name : kEntryFields)
    p.fields.add(name, DataType::String);
  p.rows.reserve(rows.size());
  for (const TCalendarRow& r : rows)
    p.rows.push_back({Value(r.ID), Value(r.UserID), Value(r.Title), Value(r.Date), Value(r.Remark),
                      Value(r.Level), Value(r.Finished), Value(r.IsAlarm), Value(r.AlarmTime),
                      Value(r.RepeatMode), Value(r.RepeatValue), Value(r.LoopID)});
  return p;
}

std::vector<TCalendarRow> entryRows(ClientDataSet& ds) {
  if (!ds.Active() || ds.FieldCount() == 0) return {};
  Packet p = ds.Data();
  return RowsOfPacket(p);
}

}  // namespace

TfrmSchedule::TfrmSchedule(QWidget* owner) : QWidget(owner) {
  setObjectName("frmSchedule");
  setWindowTitle(QStringLiteral("日程"));

  lytCalendar = new QWidget(this);
  lytCalendar->setObjectName("lytCalendar");
  root_ = lytCalendar;
  auto* column = new QVBoxLayout(lytCalendar);
  column->setContentsMargins(4, 4, 4, 4);
  column->setSpacing(4);

  tbcCale = new QTabWidget(lytCalendar);
  tbcCale->setObjectName("tbcCale");
  auto tab = [this](const char* name, const QString& caption, QLabel*& label, const char* labelName,
                    components::TNxImgCalendarBtn*& picker, const char* pickerName) {
    auto* page = new QWidget(tbcCale);
    page->setObjectName(name);
    auto* row = new QHBoxLayout(page);
    row->setContentsMargins(6, 4, 6, 4);
    label = new QLabel(page);
    label->setObjectName(labelName);
    picker = new components::TNxImgCalendarBtn(page);
    picker->setObjectName(pickerName);
    row->addWidget(label, 1);
    row->addWidget(picker);
    tbcCale->addTab(page, caption);
    return page;
  };
  tbtmday = tab("tbtmday", QStringLiteral("天"), lbltoDay, "lbltoDay", NxImgBtnSelectDay,
                "NxImgBtnSelectDay");
  tbtmWeek = tab("tbtmWeek", QStringLiteral("周"), lbltoWeek, "lbltoWeek", NxImgBtnSelectWeek,
                 "NxImgBtnSelectWeek");
  tbcCale->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Maximum);
  column->addWidget(tbcCale);

  lstCale = new QListWidget(lytCalendar);
  lstCale->setObjectName("lstCale");
  lstCale->setSelectionMode(QAbstractItemView::SingleSelection);
  lstCale->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
  lstCale->viewport()->installEventFilter(this);
  column->addWidget(lstCale, 1);

  actAddCale = components::MakeAction(lytCalendar, "actAddCale", QStringLiteral("新建任务"),
                                      [this] { actAddCaleExecute(); });
  actModify = components::MakeAction(lytCalendar, "actModify", QStringLiteral("修改"),
                                     [this] { actModifyExecute(); });
  actLoopDW = components::MakeAction(lytCalendar, "actLoopDW", QStringLiteral("重复任务"),
                                     [this] { actLoopDWExecute(); });
  auto* buttons = new QHBoxLayout;
  btnAddCale = components::ActionButton(actAddCale, lytCalendar, "btnAddCale");
  btnModify = components::ActionButton(actModify, lytCalendar, "btnModify");
  btnLoopDW = components::ActionButton(actLoopDW, lytCalendar, "btnLoopDW");
  for (QPushButton* b : {btnAddCale, btnModify, btnLoopDW})
    buttons->addWidget(b);
  column->addLayout(buttons);

  // Handlers that take the signal's argument: the guard runs inside a lambda of fixed arguments,
  // which Qt can count with every compiler.
  connect(NxImgBtnSelectDay, &components::TNxImgCalendarBtn::ClosePopup, this,
          [this](const QDate& d) { guarded([this, d] { NxImgBtnSelectDayClosePopup(d); })(); });
  connect(NxImgBtnSelectWeek, &components::TNxImgCalendarBtn::ClosePopup, this,
          [this](const QDate& d) { guarded([this, d] { NxImgBtnSelectWeekClosePopup(d); })(); });
  connect(tbcCale, &QTabWidget::currentChanged, this, guarded([this] { tbcCaleChange(); }));
  connect(lstCale, &QListWidget::itemActivated, this, [this](QListWidgetItem* item) {
    guarded([this, item] { EditEntry(qobject_cast<TCaleListItem*>(lstCale->itemWidget(item))); })();
  });

  // The page is made while the main window loads its packages: a service that fails here
  // shows its message and leaves an empty page, not a missing one.
  guarded([this] {
    const Date today = Today();
    Fday = today.toString();
    setWeek(today);
    lbltoDay->setText(qs(formatChineseDay(today)));
    NxImgBtnSelectDay->SetDate(ToQDate(today));
    NxImgBtnSelectWeek->SetDate(ToQDate(today));
    OpenDwData(Fday, Fday);
    UpdateCaleList();
  })();

  bell_ = MakeAlarmBell();
  alarms_ = std::make_unique<TAlarmWatch>(&LoadPeriod, *bell_, AlarmMemory());
  guarded([this] { alarms_->Start(); })();
  alarmTimer_ = new QTimer(this);
  alarmTimer_->setInterval(kAlarmTickMs);
  connect(alarmTimer_, &QTimer::timeout, this, guarded([this] { alarms_->Check(); }));
  alarmTimer_->start();
}

TfrmSchedule::~TfrmSchedule() {
  alarmTimer_->stop();
  if (root_) lstCale->viewport()->removeEventFilter(this);
  // The list's items show entries of the shared data set; they go before the frame's alarms.
  delete root_.data();
}

void TfrmSchedule::setWeek(Date day) {
  const DateRange week = weekRange(day);
  FBWeek = week.first.toString();
  FEWeek = week.last.toString();
  lbltoWeek->setText(qs(FBWeek) + QStringLiteral("  -  ") + qs(FEWeek));
}

void TfrmSchedule::OpenDwData(const std::string& first, const std::string& last) {
  // Read everything before replacing anything: a failing service leaves the shown entries.
  const std::string& user = CurUserInfo().UserID;
  const Packet stored =
      doServerMethods().GetSysMainDBDataBySql(user, EntriesSql(first, last, user));
  Packet templates = doServerMethods().GetSysMainDBDataBySql(user, TemplatesSql(user));
  std::vector<TCalendarRow> rows = ExpandPeriod(RowsOfPacket(stored), RowsOfPacket(templates),
                                                Date::parse(first), Date::parse(last));
  ClientDataSet& loops = GlobalDM().cdsCaleLoopDW;
  if (loops.Active() && !loops.IsEmpty()) loops.EmptyDataSet();
  loops.LoadFromPacket(std::move(templates));
  ClientDataSet& entries = GlobalDM().cdsCaleDW;
  if (entries.Active() && !entries.IsEmpty()) entries.EmptyDataSet();
  entries.LoadFromPacket(entryPacket(rows));
}

void TfrmSchedule::UpdateCaleList() {
  ClientDataSet& entries = GlobalDM().cdsCaleDW;
  lstCale->clear();
  if (!entries.Active() || entries.IsEmpty()) return;
  const std::vector<TCalendarRow> rows = entryRows(entries);
  // Stored rows come in the service's order and occurrences after them: shown by day (stably),
  // each day is one group under one header.
  std::vector<int> order(rows.size());
  std::iota(order.begin(), order.end(), 0);
  std::stable_sort(order.begin(), order.end(),
                   [&](int a, int b) { return rows[size_t(a)].Date < rows[size_t(b)].Date; });
  const bool week = tbcCale->currentWidget() == tbtmWeek;
  FPriorDate.clear();
  lstCale->setUpdatesEnabled(false);
  for (int index : order) {
    const TCalendarRow& row = rows[static_cast<std::size_t>(index)];
    if (week && QString::compare(qs(row.Date), qs(FPriorDate), Qt::CaseInsensitive) != 0) {
      Date day;
      auto* header = new QListWidgetItem(
          Date::tryParse(row.Date, day) ? qs(formatChineseDay(day)) : qs(row.Date), lstCale);
      header->setData(kHeaderRole, true);
      header->setFlags(Qt::ItemIsEnabled);
      QFont bold = header->font();
      bold.setBold(true);
      header->setFont(bold);
      FPriorDate = row.Date;
    }
    auto* item = new QListWidgetItem(lstCale);
    auto* entry = new TCaleListItem;
    const TCalendarInfo info = InfoOf(row, index);
    entry->SeTCalendarInfo(info);
    if (info.Finished) {
      entry->setEnabled(false);
      item->setFlags(Qt::NoItemFlags);
    }
    connect(entry->btnDel, &QPushButton::clicked, this,
            guarded([this, button = entry->btnDel] { DeleteEntry(button); }));
    connect(entry->btnFinish, &QPushButton::clicked, this,
            guarded([this, button = entry->btnFinish] { FinishEntry(button); }));
    lstCale->setItemWidget(item, entry);
  }
  fitEntries();
  lstCale->setUpdatesEnabled(true);
}

void TfrmSchedule::fitEntries() {
  const int width = lstCale->viewport()->width();
  for (int i = 0; i < lstCale->count(); ++i) {
    QListWidgetItem* item = lstCale->item(i);
    if (lstCale->itemWidget(item)) item->setSizeHint(QSize(width, 45));
  }
}

bool TfrmSchedule::eventFilter(QObject* watched, QEvent* event) {
  if (watched == lstCale->viewport() && event->type() == QEvent::Resize) fitEntries();
  return QWidget::eventFilter(watched, event);
}

void TfrmSchedule::RefreshData() {
  if (tbcCale->currentWidget() == tbtmday)
    OpenDwData(Fday, Fday);
  else
    OpenDwData(FBWeek, FEWeek);
  UpdateCaleList();
  // Today's alarms follow the change; when today is shown its entries were just read.
  const std::string today = Today().toString();
  const bool shown =
      tbcCale->currentWidget() == tbtmday ? Fday == today : FBWeek <= today && today <= FEWeek;
  if (shown)
    alarms_->Reload(entryRows(GlobalDM().cdsCaleDW));
  else
    alarms_->Reload();
}

void TfrmSchedule::NxImgBtnSelectDayClosePopup(const QDate& date) {
  const Date day = fromQDate(date);
  lbltoDay->setText(qs(formatChineseDay(day)));
  Fday = day.toString();
  RefreshData();
}

void TfrmSchedule::NxImgBtnSelectWeekClosePopup(const QDate& date) {
  setWeek(fromQDate(date));
  RefreshData();
}

void TfrmSchedule::tbcCaleChange() {
  RefreshData();
}

std::vector<TCaleListItem*> TfrmSchedule::Entries() const {
  std::vector<TCaleListItem*> items;
  for (int i = 0; i < lstCale->count(); ++i)
    if (auto* entry = qobject_cast<TCaleListItem*>(lstCale->itemWidget(lstCale->item(i))))
      items.push_back(entry);
  return items;
}

bool TfrmSchedule::run(const std::string& sql, const QString& failure) {
  const std::string status = doServerMethods().doSysMainDBDataBySql(sql);
  if (status == "0") return true;
  ShowMessage(failure + qs(status));
  return false;
}

void TfrmSchedule::FinishEntry(QObject* button) {
  auto* item = qobject_cast<TCaleListItem*>(FindItemParent(button, "TCaleListItem"));
  if (!item) return;
  const TCalendarInfo info = item->CalendarInfo();
  std::string sql;
  if (info.Repeating()) {
    sql =
        "INSERT INTO usercalendar (UserID,Title,Date,Remark,Level,Finished,IsAlarm,AlarmTime,"
        "RepeatMode,RepeatValue,LoopID) VALUES (" +
        quotedStr(info.UserID) + "," + quotedStr(info.Title) + "," + quotedStr(info.Date) + "," +
        quotedStr(info.ReMark) + "," +
        quotedStr(FlagText(info.Important) + "," + FlagText(info.Urgent)) + "," + "'True'" + "," +
        quotedStr(FlagText(info.IsAlarm)) + "," +
        (info.AlarmTime.empty() ? std::string("null") : quotedStr(info.AlarmTime)) + "," +
        quotedStr(info.RepeatMode) + "," + quotedStr(info.RepeatValue) + "," +
        quotedStr(info.LoopID) + ")";
  } else {
    sql = "update usercalendar set finished='True' where ID=" + quotedStr(info.ID);
  }
  if (run(sql, QStringLiteral("设置完成失败！---"))) RefreshData();
}

void TfrmSchedule::DeleteEntry(QObject* button) {
  auto* item = qobject_cast<TCaleListItem*>(FindItemParent(button, "TCaleListItem"));
  if (!item) return;
  const TCalendarInfo info = item->CalendarInfo();
  if (info.Repeating()) {
    ShowMessage(QStringLiteral("此任务为重复性任务，请在重复任务编辑中操作！"));
    return;
  }
  const std::string status = doServerMethods().doSysMainDBDataBySql(
      "delete from usercalendar where ID=" + quotedStr(info.ID));
  if (status != "0") {
    ShowMessage(QStringLiteral("删除失败！"));
    return;
  }
  RefreshData();
}

void TfrmSchedule::EditEntry(TCaleListItem* item) {
  if (!item) return;
  if (!item->isEnabled()) {
    ShowMessage(QStringLiteral("已经完成，不能编辑！"));
    return;
  }
  // The entry's own row, by its place: an occurrence's id is unique only within one load.
  const TCalendarInfo& info = item->CalendarInfo();
  ClientDataSet& entries = GlobalDM().cdsCaleDW;
  bool found = entries.Active() && info.RowIndex >= 0 && info.RowIndex < entries.RecordCount();
  if (found) {
    entries.SetRecNo(info.RowIndex + 1);
    found = entries.FieldByName("ID").AsString() == info.ID &&
            entries.FieldByName("LoopID").AsString() == info.LoopID &&
            entries.FieldByName("Date").AsString() == info.Date;
  }
  if (!found) {
    ShowMessage(QStringLiteral("程序定位目标有误！"));
    return;
  }
  std::unique_ptr<TForm> window(CreateRttiForm(QStringLiteral("VltCalendar.bpl"),
                                               QStringLiteral("uAddCalendar.TfrmAddCalendar"),
                                               lytCalendar));
  window->TagString = QStringLiteral("OsEdit");
  window->Tag = 101;
  if (ShowModal(*window) == QDialog::Accepted) RefreshData();
}

void TfrmSchedule::actModifyExecute() {
  QListWidgetItem* current = lstCale->currentItem();
  auto* entry = current ? qobject_cast<TCaleListItem*>(lstCale->itemWidget(current)) : nullptr;
  if (!entry) {
    ShowMessage(QStringLiteral("请选择修改的目标项！"));
    return;
  }
  EditEntry(entry);
}

void TfrmSchedule::actAddCaleExecute() {
  std::unique_ptr<TForm> window(CreateRttiForm(QStringLiteral("VltCalendar.bpl"),
                                               QStringLiteral("uAddCalendar.TfrmAddCalendar"),
                                               lytCalendar));
  window->TagString = QStringLiteral("OsAppend");
  if (ShowModal(*window) == QDialog::Accepted) RefreshData();
}

void TfrmSchedule::actLoopDWExecute() {
  std::unique_ptr<TForm> window(
      CreateRttiForm(QStringLiteral("VltCalendar.bpl"),
                     QStringLiteral("uCalendarLoopEdit.TfrmCalendarLoopEdit"), lytCalendar));
  try {
    ShowModal(*window);
  } catch (...) {
    window.reset();
    guarded([this] { RefreshData(); })();
    throw;
  }
  window.reset();
  RefreshData();
}
