// Bars and lines of a grid's rows.

#include "vlt/charts.h"

#include <QBarCategoryAxis>
#include <QBarSeries>
#include <QBarSet>
#include <QChart>
#include <QChartView>
#include <QDateTime>
#include <QDateTimeAxis>
#include <QDir>
#include <QHorizontalBarSeries>
#include <QLineSeries>
#include <QPixmap>
#include <QVBoxLayout>
#include <QValueAxis>
#include <algorithm>
#include <map>

#include "vlt/gridexport.h"
#include "vlt/host.h"

namespace vlt::components {

namespace {

bool numberOf(const Value& v, Decimal& out) {
  TShownColumn number;
  number.def.display = TColumnDef::Display::Number;
  return CellDecimal(number, v, out);
}

bool dateOf(const Value& v, Date& out) {
  switch (v.type()) {
    case DataType::Date:
      out = v.date();
      return true;
    case DataType::DateTime:
      out = v.dateTime().date();
      return true;
    case DataType::String:
      return v.string().size() >= 10 && Date::tryParse(v.string().substr(0, 10), out);
    default:
      return false;
  }
}

QString labelOf(const Value& v) {
  return host::qs(v.toText()).trimmed();
}

}  // namespace

TChartData ChartDataOf(const ClientDataSet& dataSet, const TChartSetup& setup) {
  TChartData data;
  if (!dataSet.Active()) return data;
  const FieldDefs& defs = dataSet.Fields();
  const int label = defs.indexOf(host::ss(setup.labelMember));
  const int value = defs.indexOf(host::ss(setup.valueMember));
  const int series = setup.seriesMember.isEmpty() ? -1 : defs.indexOf(host::ss(setup.seriesMember));
  if (label < 0 || value < 0) return data;
  const int rows = dataSet.DisplayRowCount();
  const int seriesName =
      setup.seriesNameMember.isEmpty() ? -1 : defs.indexOf(host::ss(setup.seriesNameMember));
  std::map<QString, std::size_t> barOf, lineOf;
  std::map<QString, QString> nameOf;  // series value -> its name, from its first row
  for (int r = 0; r < rows; ++r) {
    const Value& l = dataSet.DisplayValue(r, static_cast<std::size_t>(label));
    const QString key = series >= 0
                            ? labelOf(dataSet.DisplayValue(r, static_cast<std::size_t>(series)))
                            : setup.valueCaption;
    if (seriesName >= 0 && !nameOf.count(key))
      nameOf[key] = labelOf(dataSet.DisplayValue(r, static_cast<std::size_t>(seriesName)));
    Decimal d;
    if (!numberOf(dataSet.DisplayValue(r, static_cast<std::size_t>(value)), d)) continue;
    if (setup.includeRow && !setup.includeRow(dataSet, r)) continue;
    if (setup.kind == TChartSetup::Kind::Bars) {
      const QString name = labelOf(l);
      if (name.isEmpty()) continue;
      auto [it, fresh] = barOf.emplace(name, data.bars.size());
      if (fresh)
        data.bars.push_back({name, d});
      else
        data.bars[it->second].value = data.bars[it->second].value + d;
    } else {
      Date day;
      if (!dateOf(l, day)) {
        if (!setup.openingDate) continue;
        day = *setup.openingDate;
      }
      auto [it, fresh] = lineOf.emplace(key, data.lines.size());
      if (fresh) {
        const auto named = nameOf.find(key);
        data.lines.push_back(
            {named != nameOf.end() && !named->second.isEmpty() ? named->second : key, {}});
      }
      data.lines[it->second].points.push_back({day, d});
    }
  }
  if (setup.maxBars > 0 && static_cast<int>(data.bars.size()) > setup.maxBars) {
    // The largest stay, in their order; the others become one bar.
    std::vector<std::size_t> order(data.bars.size());
    for (std::size_t i = 0; i < order.size(); ++i)
      order[i] = i;
    auto size = [&](std::size_t i) {
      const Decimal& v = data.bars[i].value;
      return v.isNegative() ? -v : v;
    };
    std::stable_sort(order.begin(), order.end(),
                     [&](std::size_t a, std::size_t b) { return size(b) < size(a); });
    std::vector<bool> keep(data.bars.size(), false);
    const auto kept = static_cast<std::size_t>(setup.maxBars - 1);
    for (std::size_t i = 0; i < kept; ++i)
      keep[order[i]] = true;
    std::vector<TChartData::Bar> bars;
    Decimal rest;
    for (std::size_t i = 0; i < data.bars.size(); ++i) {
      if (keep[i])
        bars.push_back(data.bars[i]);
      else
        rest = rest + data.bars[i].value;
    }
    bars.push_back({QStringLiteral("其他"), rest});
    data.bars = std::move(bars);
  }
  return data;
}

TGridChart::TGridChart(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("GridChart"));
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
}

TGridChart::~TGridChart() = default;

void TGridChart::SetSetup(TChartSetup setup) {
  setup_ = std::move(setup);
  stale_ = true;
}

void TGridChart::Refresh(const ClientDataSet* dataSet) {
  data_ = dataSet ? ChartDataOf(*dataSet, setup_) : TChartData{};
  stale_ = true;
  if (isVisible()) draw();
}

QChartView* TGridChart::View() const {
  draw();
  return view_;
}

void TGridChart::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  draw();
}

void TGridChart::draw() const {
  if (!view_) {
    view_ = new QChartView(const_cast<TGridChart*>(this));
    view_->setObjectName(QStringLiteral("chartView"));
    view_->setRenderHint(QPainter::Antialiasing);
    layout()->addWidget(view_);
    stale_ = true;
  }
  if (!stale_) return;
  stale_ = false;
  auto* chart = new QChart();
  chart->setTitle(setup_.title);
  QFont titleFont = chart->titleFont();
  titleFont.setBold(true);
  titleFont.setPointSizeF(11);
  chart->setTitleFont(titleFont);
  chart->setAnimationOptions(QChart::NoAnimation);
  chart->legend()->setVisible(false);
  if (data_.empty()) {
    chart->setTitle(setup_.title.isEmpty() ? QStringLiteral("没有可绘制的数据")
                                           : setup_.title + QStringLiteral("（没有可绘制的数据）"));
  } else if (setup_.kind == TChartSetup::Kind::Bars) {
    // Lying bars: a trader's or goods' whole name fits beside its bar. The first row on top.
    auto* set = new QBarSet(setup_.valueCaption);
    QStringList labels;
    double low = 0, high = 0;
    for (auto b = data_.bars.rbegin(); b != data_.bars.rend(); ++b) {
      const double v = b->value.toDouble();  // only for drawing
      *set << v;
      labels << b->label;
      low = std::min(low, v);
      high = std::max(high, v);
    }
    set->setColor(QColor(58, 120, 190));
    auto* series = new QHorizontalBarSeries();
    series->append(set);
    series->setLabelsVisible(data_.bars.size() <= 12);
    series->setLabelsFormat(QStringLiteral("@value"));
    series->setLabelsPosition(QAbstractBarSeries::LabelsInsideEnd);
    series->setLabelsPrecision(15);  // whole amounts, not 1.23457e+06
    chart->addSeries(series);
    auto* names = new QBarCategoryAxis();
    names->append(labels);
    auto* values = new QValueAxis();
    values->setRange(low, high > low ? high * 1.05 : low + 1);
    values->applyNiceNumbers();
    values->setLabelFormat(QStringLiteral("%.0f"));
    values->setTitleText(setup_.valueCaption);
    chart->addAxis(names, Qt::AlignLeft);
    chart->addAxis(values, Qt::AlignBottom);
    series->attachAxis(names);
    series->attachAxis(values);
  } else {
    auto* x = new QDateTimeAxis();
    x->setFormat(QStringLiteral("yyyy-MM-dd"));
    auto* y = new QValueAxis();
    y->setTitleText(setup_.valueCaption);
    chart->addAxis(x, Qt::AlignBottom);
    chart->addAxis(y, Qt::AlignLeft);
    qint64 first = 0, last = 0;
    double low = 0, high = 0;
    bool any = false;
    for (const TChartData::Line& line : data_.lines) {
      auto* series = new QLineSeries();
      series->setName(line.name);
      series->setPointsVisible(line.points.size() <= 60);
      for (const TChartData::Point& p : line.points) {
        const Ymd ymd = p.date.ymd();
        const qint64 at =
            QDateTime(QDate(ymd.year, ymd.month, ymd.day), QTime(12, 0)).toMSecsSinceEpoch();
        const double v = p.value.toDouble();  // only for drawing
        series->append(static_cast<double>(at), v);
        first = any ? std::min(first, at) : at;
        last = any ? std::max(last, at) : at;
        low = any ? std::min(low, v) : v;
        high = any ? std::max(high, v) : v;
        any = true;
      }
      chart->addSeries(series);
      series->attachAxis(x);
      series->attachAxis(y);
    }
    constexpr qint64 kDay = 86400000;
    x->setRange(QDateTime::fromMSecsSinceEpoch(first - kDay),
                QDateTime::fromMSecsSinceEpoch(last + kDay));
    x->setTickCount(std::clamp(static_cast<int>((last - first) / kDay) + 2, 2, 7));
    // Days within one year read best without the year (the title and date range carry it).
    const QDate from = QDateTime::fromMSecsSinceEpoch(first).date();
    const QDate to = QDateTime::fromMSecsSinceEpoch(last).date();
    x->setFormat(from.year() == to.year() ? QStringLiteral("MM-dd") : QStringLiteral("yyyy-MM"));
    const double margin = high > low ? (high - low) * 0.08 : 1.0;
    y->setRange(low - margin, high + margin);
    y->applyNiceNumbers();
    y->setLabelFormat(high - low >= 10 ? QStringLiteral("%.0f") : QStringLiteral("%.2f"));
    chart->legend()->setVisible(data_.lines.size() > 1);
    chart->legend()->setAlignment(Qt::AlignBottom);
  }
  QChart* old = view_->chart();
  view_->setChart(chart);
  delete old;
}

QString TGridChart::SavePng(const QString& path, QSize size) const {
  if (QString refused = CheckWritable(path); !refused.isEmpty()) return refused;
  draw();
  QPixmap picture;
  if (size.isValid() && size != view_->size()) {
    // Drawn at the asked size without disturbing the window.
    QChartView offscreen;
    offscreen.setRenderHint(QPainter::Antialiasing);
    offscreen.resize(size);
    QChart* chart = view_->chart();
    offscreen.setChart(chart);
    picture = offscreen.grab();
    offscreen.setChart(new QChart());
    view_->setChart(chart);
  } else {
    picture = view_->grab();
  }
  if (picture.isNull() || !picture.save(path, "PNG")) return NotWritableMessage(path);
  return QString();
}

void TGridChart::ExportPng() {
  QString title = setup_.title.isEmpty() ? QStringLiteral("图表") : setup_.title;
  const QString path = ChooseSaveFile(this, QStringLiteral("导出图表"), title + ".png",
                                      QStringLiteral("PNG 图片 (*.png)"));
  if (path.isEmpty()) return;
  const QString error = SavePng(path);
  if (!error.isEmpty()) {
    host::ShowMessage(error);
    return;
  }
  host::ShowMessage(QStringLiteral("已导出到“%1”。").arg(QDir::toNativeSeparators(path)));
}

}  // namespace vlt::components
