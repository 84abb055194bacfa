#pragma once
// What every report window offers besides its grid: export to Excel and CSV, print with a
// preview and PDF (title, date range, find line, the columns as shown, the grand total, page
// numbers), and a chart beside the grid shown on request and exportable as PNG.
//
// The report template attaches it to each report; a report says what its chart draws with
//   TReportOutput::Of(this)->SetChart(setup);        // bars per trader, balance over time, ...
// or TReportOutput::Of(this)->SetChart(std::nullopt) for no chart. Without either, the chart
// is guessed from the columns: a running balance over the date column when the report has a
// balance column ("余额"); else, for a single-statement report, bars of the last number column
// per name column; else none (a detail report's heading and subtotal rows are no bars). The
// chart button shows only where there is a chart.

#include <QObject>
#include <optional>

#include "vlt/charts.h"
#include "vlt/printing.h"

class QAction;
class QSplitter;
class QToolButton;
class QWidget;
class TfrmBaseReportForm;

class TReportOutput : public QObject {
  Q_OBJECT
 public:
  explicit TReportOutput(TfrmBaseReportForm* form);
  // The report's output tools, null when none are attached.
  static TReportOutput* Of(QObject* form);

  QToolButton* btnExport;  // "导出": Excel, CSV
  QToolButton* btnPrint;   // "打印": preview, print, PDF
  QToolButton* btnChart;   // "图表": shows or hides the chart
  QAction* actChart;       // checkable
  QAction* actChartPng;    // "导出图表"
  vlt::components::TPrintActions Print;
  QSplitter* Split;    // the grid and the chart side by side
  QWidget* ChartPane;  // hidden until asked for
  vlt::components::TGridChart* Chart;

  void SetChart(std::optional<vlt::components::TChartSetup> setup);
  // What the chart draws for the grid's columns as they are now (the report's own, or the
  // guess); none when the report has no chart.
  std::optional<vlt::components::TChartSetup> ChartSetup() const;
  // The report on paper, as shown now.
  vlt::components::TPrintDoc PrintDoc() const;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void showChart(bool on);
  void offerChart();
  void refreshChart();

  TfrmBaseReportForm* form_;
  bool chartSet_ = false;
  std::optional<vlt::components::TChartSetup> chart_;
};

// A running balance over time, one line per trader (or goods): `series` tells the rows of one
// apart, `seriesName` of its first row names the line.
vlt::components::TChartSetup BalanceOverTime(const QString& title, const QString& date,
                                             const QString& balance, const QString& series,
                                             const QString& seriesName);

// The report template calls this once for every report window.
void AttachReportOutput(TfrmBaseReportForm* form);
