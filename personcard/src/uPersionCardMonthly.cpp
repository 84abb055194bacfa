#include "uPersionCardMonthly.h"

#include <QDate>
#include <QHBoxLayout>
#include <QLabel>
#include <QSpinBox>
#include <QToolButton>
#include <QVBoxLayout>
#include <QtCharts/QBarCategoryAxis>
#include <QtCharts/QBarSeries>
#include <QtCharts/QBarSet>
#include <QtCharts/QChartView>
#include <QtCharts/QValueAxis>
#include <array>

#include "persioncardkinds.h"
#include "tplwidgets.h"
#include "vlt/components.h"
#include "vlt/errors.h"
#include "vlt/sqltext.h"

VLT_REGISTER_CLASS(uPersionCardMonthly, TfrmPersionCardMonthly);

using namespace vlt;
using namespace vlt::host;
using namespace vlt::templates;
using namespace vlt::persioncard;
using vlt::components::TColumnDef;
using vlt::components::TNxStringGrid;

namespace {

// The amounts of a month, in column order, with their headers.
const std::array<std::pair<const char*, const char*>, 5> kAmounts = {{
    {"InAmt", "收入"},
    {"OutAmt", "支出"},
    {"CardAmt", "信用卡消费"},
    {"RepayAmt", "信用卡还款"},
    {"NetAmt", "现金净额"},
}};
// The first three are drawn.
constexpr std::size_t kCharted = 3;
const char* const kBarColours[kCharted] = {"#2e9a68", "#d6453d", "#c7832a"};

}  // namespace

TfrmPersionCardMonthly::TfrmPersionCardMonthly(QWidget* owner) : TfrmBaseFormEx(owner) {
  resize(1000, 640);
  auto* lblYear = new QLabel("年份", lytTop);
  lblYear->setObjectName("lblYear");
  spnYear = new QSpinBox(lytTop);
  spnYear->setObjectName("spnYear");
  spnYear->setRange(1900, 9999);
  spnYear->setFixedWidth(90);
  lblYear->setBuddy(spnYear);
  spnYear->setAccessibleName("年份");
  actQuery = MakeAction(this, "actQuery", "查询", {QKeySequence(Qt::Key_F5)},
                        [this] { actQueryExecute(); });
  btnQuery = ToolButton(actQuery, lytTop, "btnQuery", "imgQuery", ToolIcon::Refresh, 90);
  for (QWidget* w : {static_cast<QWidget*>(lblYear), static_cast<QWidget*>(spnYear),
                     static_cast<QWidget*>(btnQuery)})
    AddTopWidget(w);

  FieldDefs& defs = cdsMonth.FieldDefinitions();
  defs.add("Mon", DataType::String, 8);
  for (const auto& [field, header] : kAmounts)
    defs.addDecimal(field, 25, 2);
  cdsMonth.CreateDataSet();

  grdMonth = new TNxStringGrid(lytMainArea);
  grdMonth->setObjectName("grdMonth");
  grdMonth->setEditTriggers(QAbstractItemView::NoEditTriggers);
  std::vector<TColumnDef> columns = {{"Mon", "月份", 70}};
  for (const auto& [field, header] : kAmounts)
    columns.push_back(TColumnDef(field, QString::fromUtf8(header), 110).Number(2));
  grdMonth->Bind(&cdsMonth, columns);
  grdMonth->setMinimumHeight(14 * 24 + 30);

  chtMonth = new QChartView(lytMainArea);
  chtMonth->setObjectName("chtMonth");
  chtMonth->setRenderHint(QPainter::Antialiasing);
  chtMonth->setMinimumHeight(260);
  MainAreaLayout()->addWidget(grdMonth);
  MainAreaLayout()->addWidget(chtMonth, 1);
}

TfrmPersionCardMonthly::~TfrmPersionCardMonthly() {
  delete grdMonth;  // the grid goes before the data set it shows
}

void TfrmPersionCardMonthly::FormCreate() {
  setWindowTitle("月度收支概览");
  spnYear->setValue(QDate::currentDate().year());
  TfrmBaseFormEx::FormCreate();
}

void TfrmPersionCardMonthly::FormShow() {
  actQueryExecute();
}

std::string TfrmPersionCardMonthly::MonthStatement(int year) {
  const std::string y = std::to_string(year);
  return "select month(bdate) as Mon,"
         "sum(case when IOKind=1 then IOAmt else 0 end) as InAmt,"
         "sum(case when IOKind=2 then IOAmt else 0 end) as OutAmt,"
         "sum(case when IOKind=3 then IOAmt else 0 end) as CardAmt,"
         "sum(case when IOKind=4 then IOAmt else 0 end) as RepayAmt,"
         "sum(IOAmt*IODirect) as NetAmt from userpersincard where UserID=" +
         QuotedLogin() + " and bdate between '" + y + "-01-01' and '" + y +
         "-12-31' group by month(bdate) order by Mon";
}

void TfrmPersionCardMonthly::actQueryExecute() {
  const Packet answer = doServerMethods().GetSysMainDBDataBySql(CurUserInfo().UserID,
                                                                MonthStatement(spnYear->value()));
  // Every month has a row, also one without entries; the last row is the year's total.
  std::array<std::array<Decimal, kAmounts.size()>, 13> sums{};
  auto column = [&answer](const char* name) {
    const int f = answer.fields.indexOf(name);
    if (f < 0) throw Error(std::string("月度汇总缺少列 ") + name);
    return static_cast<std::size_t>(f);
  };
  const std::size_t monField = column("Mon");
  std::array<std::size_t, kAmounts.size()> amountField{};
  for (std::size_t a = 0; a < kAmounts.size(); ++a)
    amountField[a] = column(kAmounts[a].first);
  for (const Row& r : answer.rows) {
    const std::int64_t month = r[monField].toInt64();
    if (month < 1 || month > 12) continue;
    for (std::size_t a = 0; a < kAmounts.size(); ++a) {
      const Value& v = r[amountField[a]];
      const Decimal d = v.isNull() ? Decimal() : Decimal::parse(v.toText());
      sums[static_cast<std::size_t>(month - 1)][a] = d;
      sums[12][a] = sums[12][a] + d;
    }
  }
  cdsMonth.DisableControls();
  cdsMonth.EmptyDataSet();
  for (std::size_t m = 0; m < 13; ++m) {
    cdsMonth.Append();
    cdsMonth.FieldByName("Mon").SetAsString(m < 12 ? std::to_string(m + 1) + "月" : "合计");
    for (std::size_t a = 0; a < kAmounts.size(); ++a)
      cdsMonth.FieldByName(kAmounts[a].first).SetValue(Value(sums[m][a].rescaled(2)));
    cdsMonth.Post();
  }
  cdsMonth.First();
  cdsMonth.EnableControls();
  fillChart();
}

void TfrmPersionCardMonthly::fillChart() {
  auto* series = new QBarSeries;
  double top = 0;
  for (std::size_t a = 0; a < kCharted; ++a) {
    auto* set = new QBarSet(QString::fromUtf8(kAmounts[a].second));
    set->setColor(QColor(QString::fromLatin1(kBarColours[a])));
    for (int m = 1; m <= 12; ++m) {
      // The chart only draws; the table keeps the exact amounts.
      const double v =
          cdsMonth.DisplayValue(m - 1, cdsMonth.FieldByName(kAmounts[a].first).Index()).toDouble();
      set->append(v);
      top = std::max(top, v);
    }
    series->append(set);
  }
  auto* chart = new QChart;
  chart->addSeries(series);
  chart->setTitle(QString("%1年每月收支").arg(spnYear->value()));
  chart->setAnimationOptions(QChart::NoAnimation);
  QStringList months;
  for (int m = 1; m <= 12; ++m)
    months << QString("%1月").arg(m);
  auto* axisX = new QBarCategoryAxis;
  axisX->append(months);
  chart->addAxis(axisX, Qt::AlignBottom);
  series->attachAxis(axisX);
  auto* axisY = new QValueAxis;
  axisY->setRange(0, top > 0 ? top * 1.1 : 100);
  axisY->setLabelFormat("%.0f");
  chart->addAxis(axisY, Qt::AlignLeft);
  series->attachAxis(axisY);
  chart->legend()->setAlignment(Qt::AlignBottom);
  QChart* old = chtMonth->chart();
  chtMonth->setChart(chart);
  delete old;
}
