#include "uBaseReportForm.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

#include "reportoutput.h"
#include "tplwidgets.h"
#include "vlt/likepattern.h"
#include "vlt/sqltext.h"

VLT_REGISTER_CLASS(uBaseReportForm, TfrmBaseReportForm);

using namespace vlt;
using namespace vlt::host;
using namespace vlt::templates;

namespace {

const QString kDateReversed = QStringLiteral("单据开始日期不能大于结束日期");

QLabel* stripLabel(QWidget* parent, const char* name, const char* text) {
  auto* l = new QLabel(QString::fromUtf8(text), parent);
  l->setObjectName(QString::fromLatin1(name));
  return l;
}

// Leaves the controls of cdsM frozen for as long as it lives, unless released.
class FrozenDisplay {
 public:
  explicit FrozenDisplay(ClientDataSet& ds) : ds_(&ds) { ds_->DisableControls(); }
  ~FrozenDisplay() {
    if (ds_) ds_->EnableControls();
  }
  FrozenDisplay(const FrozenDisplay&) = delete;
  FrozenDisplay& operator=(const FrozenDisplay&) = delete;
  void release() { ds_ = nullptr; }

 private:
  ClientDataSet* ds_;
};

}  // namespace

TfrmBaseReportForm::TfrmBaseReportForm(QWidget* owner) : TfrmBaseFormEx(owner) {
  resize(1000, 600);
  actMakeReport = MakeAction(this, "actMakeReport", "生成报表", [this] { actMakeReportExecute(); });

  cbbDatefitler = new QComboBox(lytTop);
  cbbDatefitler->setObjectName("cbbDatefitler");
  cbbDatefitler->addItems({"本日", "本周", "本月", "本年"});
  cbbDatefitler->setFixedWidth(65);
  cbbDatefitler->setAccessibleName("日期范围");
  lblStart = stripLabel(lytTop, "lblStart", "开始日期");
  edtStartDate = new TDateBox(lytTop, "edtStartDate", "开始日期");
  lblEndDate = stripLabel(lytTop, "lblEndDate", "结束日期");
  edtEndDate = new TDateBox(lytTop, "edtEndDate", "结束日期");
  NameBox(lblStart, edtStartDate);
  NameBox(lblEndDate, edtEndDate);
  lblFilter = stripLabel(lytTop, "lblFilter", "查找");
  cbbFiterName = new QComboBox(lytTop);
  cbbFiterName->setObjectName("cbbFiterName");
  cbbFiterName->addItem("全部");
  cbbFiterName->setFixedWidth(105);
  NameBox(lblFilter, cbbFiterName);
  edtFilterValue = new QLineEdit(lytTop);
  edtFilterValue->setObjectName("edtFilterValue");
  edtFilterValue->setFixedWidth(116);
  edtFilterValue->setEnabled(false);
  edtFilterValue->setAccessibleName("查找内容");
  btnMakeReport =
      ToolButton(actMakeReport, lytTop, "btnMakeReport", "imgMakeRpt", ToolIcon::Search, 100);

  AddTopWidget(cbbDatefitler);
  for (auto [label, box] : {std::pair<QLabel*, TDateBox*>{lblStart, edtStartDate},
                            std::pair<QLabel*, TDateBox*>{lblEndDate, edtEndDate}}) {
    auto* calendar = new components::TNxImgCalendarBtn(lytTop);
    calendar->setObjectName(box->objectName() + "Calendar");
    calendar->setFocusPolicy(Qt::NoFocus);
    calendar->setAccessibleName(label->text());
    connect(calendar, &components::TNxImgCalendarBtn::ClosePopup, box,
            guarded([box](const QDate& date) { box->SetDate(date); }));
    box->setFixedWidth(100);
    AddTopWidget(label);
    AddTopWidget(box);
    AddTopWidget(calendar);
  }
  AddTopWidget(lblFilter);
  AddTopWidget(cbbFiterName);
  AddTopWidget(edtFilterValue);
  AddTopWidget(btnMakeReport);
  // The tools of other packages line up after the report's own button.
  auto* tools = new QWidget(lytTop);
  tools->setObjectName("lytReportTools");
  tools_ = new QHBoxLayout(tools);
  tools_->setContentsMargins(0, 0, 0, 0);
  tools_->setSpacing(2);
  AddTopWidget(tools);

  GrdMain = new components::TNxStringGrid(lytMainArea);
  GrdMain->setObjectName("GrdMain");
  GrdMain->setAlternatingRowColors(true);
  GrdMain->setEditTriggers(QAbstractItemView::NoEditTriggers);
  GrdMain->SetRowHeight(21);

  lytBottom = new QWidget(lytMainArea);
  lytBottom->setObjectName("lytBottom");
  auto* bottom = new QHBoxLayout(lytBottom);
  bottom->setContentsMargins(8, 2, 8, 2);
  lblTotal = stripLabel(lytBottom, "lblTotal", "总  合  计：");
  lblTotalNum = stripLabel(lytBottom, "lblTotalNum", "");
  lblTotalNum->setTextInteractionFlags(Qt::TextSelectableByMouse);
  bottom->addWidget(lblTotal);
  bottom->addWidget(lblTotalNum);
  bottom->addStretch(1);
  lytBottom->setVisible(false);

  MainAreaLayout()->addWidget(GrdMain, 1);
  MainAreaLayout()->addWidget(lytBottom);

  AttachReportOutput(this);  // export, print, chart

  connect(cbbDatefitler, &QComboBox::currentIndexChanged, this,
          guarded([this](int) { cbbDatefitlerChange(); }));
  // A choice made with the keyboard counts as much as one made in the popup.
  connect(cbbFiterName, &QComboBox::currentIndexChanged, this,
          guarded([this](int) { cbbFiterNameClosePopup(); }));
}

TfrmBaseReportForm::~TfrmBaseReportForm() {
  // The grid's link must let go of cdsM before cdsM goes.
  GrdMain->Link().SetDataSet(nullptr);
}

void TfrmBaseReportForm::FormCreate() {
  TfrmBaseFormEx::FormCreate();
  const QDate today = QDate::currentDate();
  edtStartDate->SetDate(today);
  edtEndDate->SetDate(today);
  SetFMTBcdPrecision(cdsM);
}

std::pair<QDate, QDate> TfrmBaseReportForm::DateRangeOf(int choice, const QDate& today) {
  switch (choice) {
    case dcWeek: {
      const QDate monday = today.addDays(1 - today.dayOfWeek());
      return {monday, monday.addDays(6)};
    }
    case dcMonth: {
      const QDate first(today.year(), today.month(), 1);
      return {first, first.addDays(first.daysInMonth() - 1)};
    }
    case dcYear:
      return {QDate(today.year(), 1, 1), QDate(today.year(), 12, 31)};
    default:
      return {today, today};
  }
}

void TfrmBaseReportForm::cbbDatefitlerChange() {
  const auto [start, end] = DateRangeOf(cbbDatefitler->currentIndex(), QDate::currentDate());
  edtStartDate->SetDate(start);
  edtEndDate->SetDate(end);
}

void TfrmBaseReportForm::cbbFiterNameClosePopup() {
  edtFilterValue->setEnabled(cbbFiterName->currentIndex() > 0);
}

std::string TfrmBaseReportForm::GetDateArea() const {
  // The boxes were checked: their dates are written back in the one form the server reads.
  auto text = [](const TDateBox* box) {
    const QDate d = box->Date();
    return d.isValid() ? ss(d.toString(Qt::ISODate)) : ss(box->text().trimmed());
  };
  return " and (bdate between " + quotedStr(text(edtStartDate)) + " and " +
         quotedStr(text(edtEndDate)) + ")";
}

void TfrmBaseReportForm::CheckDateValue() {
  CheckBoxes({edtStartDate, edtEndDate});
  if (edtEndDate->Date() < edtStartDate->Date()) {
    ShowMessage(kDateReversed);
    Abort();
  }
}

int TfrmBaseReportForm::FilterIndex() const {
  return cbbFiterName->currentIndex();
}

std::string TfrmBaseReportForm::FilterValue() const {
  return trimFindValue(ss(edtFilterValue->text()));
}

std::string TfrmBaseReportForm::FindPattern() const {
  return likeFindPattern(FilterValue());
}

void TfrmBaseReportForm::actMakeReportExecute() {
  // A second click while a report is still coming in must not start another.
  if (running_) return;
  running_ = true;
  struct Reset {
    bool& flag;
    ~Reset() { flag = false; }
  } reset{running_};
  CheckDateValue();
  if (FilterValue().empty()) {
    cbbFiterName->setCurrentIndex(0);
    edtFilterValue->clear();
    edtFilterValue->setEnabled(false);
  }
  SetOpenWhereStr();
  // The total runs on a connection of its own while the rows come in.
  std::future<Packet> total;
  if (const std::string sql = GrandTotalStatement(); !sql.empty()) {
    ShowTotalStrip();
    total = ReadsSystemDatabase()
                ? doServerMethods().GetSysMainDBDataBySqlAside("Main", sql)
                : doServerMethods().GetUserDBDataBySqlAside(CurUserInfo().UserDBID, sql);
  }
  OpenData(FcommStrMaster, FOrderByStr);
  if (total.valid()) ShowGrandTotal(total);
}

std::string TfrmBaseReportForm::AssembledStatement(const std::string& tail) const {
  std::string s;
  if (FrptType == rtMaster) {
    s = FcommStrMaster + F_Master_WhereStr;
  } else {
    if (!FcommStrMaster.empty()) s = "select * from ((" + FcommStrMaster + F_Master_WhereStr + ")";
    const std::pair<const std::string*, const std::string*> parts[] = {
        {&FcommStrHeader, &F_Header_WhereStr},
        {&FcommStrTotal, &F_Total_WhereStr},
        {&FcommStrSeparate, &F_Separate_WhereStr}};
    for (const auto& [select, where] : parts)
      if (!select->empty()) s += " union all (" + *select + *where + FGroupBystr + ")";
    s += ") as rlt ";
  }
  return s + tail;
}

bool TfrmBaseReportForm::ReadsSystemDatabase() const {
  return TagString.compare("MainData", Qt::CaseInsensitive) == 0;
}

Packet TfrmBaseReportForm::RunSelect(const std::string& sql) const {
  if (ReadsSystemDatabase()) return doServerMethods().GetSysMainDBDataBySql("Main", sql);
  return doServerMethods().GetUserDBDataBySql(CurUserInfo().UserDBID, sql);
}

void TfrmBaseReportForm::ShowGrandTotal(std::future<Packet>& answer) {
  // The label is set once, and only when its text changes: a selectable label builds a text
  // control anew for each text it is given.
  QString text;
  try {
    ClientDataSet total;
    total.LoadFromPacket(answer.get());
    total.First();
    const Field* amount = total.IsEmpty() ? nullptr : total.FindField("Amount");
    if (amount && !amount->IsNull()) {
      // Money shows its cents even when the server sends fewer digits ("751.7").
      if (amount->Type() == DataType::Decimal) {
        const Decimal d = amount->AsDecimal();
        text = qs(d.rescaled(std::max(2, d.scale())).toString());
      } else {
        text = qs(amount->AsString());
      }
    }
  } catch (const EAbort&) {
    lblTotalNum->clear();
    throw;
  } catch (const std::exception& e) {
    lblTotalNum->clear();
    ShowMessage(QString::fromUtf8(e.what()));
    return;
  }
  if (lblTotalNum->text() != text) lblTotalNum->setText(text);
}

void TfrmBaseReportForm::OpenData(const std::string&, const std::string& tail) {
  CheckDateValue();
  FrozenDisplay frozen(cdsM);
  cdsM.Close();
  const std::string s = AssembledStatement(tail);
  cdsM.LoadFromPacket(RunSelect(s));
  frozen.release();
  doCdsEnableControls();
  emit ReportOpened();
}

void TfrmBaseReportForm::doCdsEnableControls() {
  // The link takes the packet's columns only when it is attached anew.
  GrdMain->Link().SetActive(false);
  cdsM.EnableControls();
  GrdMain->Link().SetActive(true);
}

void TfrmBaseReportForm::AddReportTool(QWidget* widget) {
  widget->setParent(tools_->parentWidget());
  tools_->addWidget(widget);
}

void TfrmBaseReportForm::ShowTotalStrip(bool visible) {
  lytBottom->setVisible(visible);
}

QString TfrmBaseReportForm::DateRangeText() const {
  return edtStartDate->text().trimmed() + QStringLiteral(" 至 ") + edtEndDate->text().trimmed();
}

QString TfrmBaseReportForm::FilterText() const {
  if (FilterIndex() <= 0 || FilterValue().empty()) return {};
  return cbbFiterName->currentText() + QStringLiteral(": ") + qs(FilterValue());
}

QString TfrmBaseReportForm::TotalText() const {
  return lytBottom->isVisibleTo(const_cast<TfrmBaseReportForm*>(this)) ? lblTotalNum->text()
                                                                       : QString();
}
