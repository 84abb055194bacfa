#pragma once
// A chart of a grid's rows, drawn with QtCharts: bars (one per label: trader, goods) or lines
// over time (a running balance, one line per trader). Values are read as exact decimals, summed
// exactly where a label repeats, and turned into floating point only to be drawn.

#include <QSize>
#include <QString>
#include <QStringList>
#include <QWidget>
#include <functional>
#include <optional>
#include <vector>

#include "vlt/components.h"

QT_BEGIN_NAMESPACE
class QChart;
class QChartView;
QT_END_NAMESPACE

namespace vlt::components {

struct TChartSetup {
  enum class Kind { Bars, Lines };
  Kind kind = Kind::Bars;
  QString title;
  QString labelMember;   // bars: the label; lines: the date
  QString valueMember;   // the number drawn
  QString seriesMember;  // lines: one line per distinct value; empty: one line
  // lines: a series' name is this member of its first row (a heading row that carries the
  // trader's name); empty: the series value itself.
  QString seriesNameMember;
  QString valueCaption;  // the value axis' title (the value column's header when empty)
  // lines: where a row with a value but no date stands (a trader's opening balance at the
  // start of the range); none: such rows are left out.
  std::optional<Date> openingDate;
  int maxBars = 20;  // the largest bars by size; the rest go into one "其他" bar
  // Which display rows count; null: every row whose label is not empty and whose value is a
  // number (heading, subtotal and separator rows of a detail report carry none).
  std::function<bool(const ClientDataSet&, int row)> includeRow;
};

// What a chart draws, exact.
struct TChartData {
  struct Bar {
    QString label;
    Decimal value;
  };
  struct Point {
    Date date;
    Decimal value;
  };
  struct Line {
    QString name;
    std::vector<Point> points;  // in row order
  };
  std::vector<Bar> bars;
  std::vector<Line> lines;
  bool empty() const { return bars.empty() && lines.empty(); }
};
TChartData ChartDataOf(const ClientDataSet& dataSet, const TChartSetup& setup);

// The chart widget: Refresh() draws the data set's rows as the setup says; SavePng writes what
// it shows.
class TGridChart : public QWidget {
  Q_OBJECT
 public:
  explicit TGridChart(QWidget* parent = nullptr);
  ~TGridChart() override;

  void SetSetup(TChartSetup setup);
  const TChartSetup& Setup() const { return setup_; }
  // Draws the rows (none drawn for a null or closed data set: the chart says so).
  void Refresh(const ClientDataSet* dataSet);
  const TChartData& Data() const { return data_; }
  // The chart view is made and drawn when first shown or asked for: a report that is never
  // charted does not pay for it.
  QChartView* View() const;
  // Writes the chart as PNG (the widget's size, or `size`); an empty text on success, else the
  // user's message.
  QString SavePng(const QString& path, QSize size = QSize()) const;
  // Asks for a file name, writes the PNG and tells the user where it went or why it failed.
  void ExportPng();

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void draw() const;

  TChartSetup setup_;
  TChartData data_;
  mutable QChartView* view_ = nullptr;
  mutable bool stale_ = true;  // the view does not show data_ yet
};

}  // namespace vlt::components
