#pragma once
// A chart of a grid's rows, drawn with QtCharts: bars (one per label: trader, goods) or lines
// over time (a running balance, one line per trader). Values are read as exact decimals, summed
// exactly where a label repeats, and turned into floating point only to be drawn.

#include <QSize>
#include <QString>
#include <QStringList>
#include <QWidget>
#include <functional>
#include <vector>

#include "vlt/components.h"

QT_BEGIN_NAMESPACE
class QChart;
class QChartView;
QT_END_NAMESPACE

namespace vlt::components {

struct TChartSpec {
  enum class Kind { Bars, Lines };
  Kind kind = Kind::Bars;
  QString title;
  QString labelMember;   // bars: the label; lines: the date
  QString valueMember;   // the number drawn
  QString seriesMember;  // lines: one line per distinct value; empty: one line
  QString valueCaption;  // the value axis' title (the value column's header when empty)
  int maxBars = 20;      // the largest bars by size; the rest go into one "其他" bar
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
TChartData ChartDataOf(const ClientDataSet& dataSet, const TChartSpec& spec);

// The chart widget: Refresh() draws the data set's rows as the spec says; SavePng writes what
// it shows.
class TGridChart : public QWidget {
  Q_OBJECT
 public:
  explicit TGridChart(QWidget* parent = nullptr);
  ~TGridChart() override;

  void SetSpec(TChartSpec spec);
  const TChartSpec& Spec() const { return spec_; }
  // Draws the rows (none drawn for a null or closed data set: the chart says so).
  void Refresh(const ClientDataSet* dataSet);
  const TChartData& Data() const { return data_; }
  QChartView* View() const { return view_; }
  // Writes the chart as PNG (the widget's size, or `size`); an empty text on success, else the
  // user's message.
  QString SavePng(const QString& path, QSize size = QSize()) const;
  // Asks for a file name, writes the PNG and tells the user where it went or why it failed.
  void ExportPng();

 private:
  void draw();

  TChartSpec spec_;
  TChartData data_;
  QChartView* view_;
};

}  // namespace vlt::components
