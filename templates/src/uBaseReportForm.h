#pragma once
// TfrmBaseReportForm: a read-only report. A date range (with quick choices), an optional find
// column with its value, "生成报表" and one grid. The report is one select statement that this
// template assembles from pieces its descendant sets, runs on the account set (or the system
// database when TagString is "MainData") and shows in GrdMain through cdsM.
//
// How a descendant uses it:
// - In FormCreate() set FrptType, FcommStrMaster (and for rtDeltail the header, total and
//   separate selects, FGroupBystr), FOrderByStr and the caption, add the find items after
//   "全部" to cbbFiterName, bind GrdMain to cdsM, then call the inherited FormCreate().
// - Override SetOpenWhereStr() to build the where clauses from GetDateArea() and the find
//   choice. Put the find value into a statement only through FindPattern() (a quoted LIKE
//   pattern that finds exactly what was typed, quotes and wildcards included).
// - Override doCdsEnableControls() to work on the loaded rows before they are shown (and call
//   this one last).
// - A report with a grand total calls ShowTotalStrip() and writes lblTotalNum.
//
// Extension points for tools that work on any report (export, print, charts):
// - AddReportTool(widget): a widget in the top strip after "生成报表".
// - the signal ReportOpened(), emitted after each run that loaded rows into cdsM;
// - ReportTitle(), DateRangeText(), FilterText(), TotalText() describe what is shown.

#include <QDate>
#include <QString>
#include <future>
#include <string>
#include <utility>

#include "formrows.h"
#include "uBaseFormEx.h"
#include "vlt/components.h"
#include "vlt/dataset.h"

class QAction;
class QComboBox;
class QHBoxLayout;
class QLabel;
class QLineEdit;
class QToolButton;

enum TRtpType { rtMaster, rtDeltail };

class TfrmBaseReportForm : public TfrmBaseFormEx {
  Q_OBJECT
 public:
  explicit TfrmBaseReportForm(QWidget* owner = nullptr);
  ~TfrmBaseReportForm() override;

  // The quick date choices, in the order of cbbDatefitler's items.
  enum TDateChoice { dcToday = 0, dcWeek = 1, dcMonth = 2, dcYear = 3 };

  QComboBox* cbbDatefitler;
  QLabel* lblStart;
  vlt::templates::TDateBox* edtStartDate;
  QLabel* lblEndDate;
  vlt::templates::TDateBox* edtEndDate;
  QLabel* lblFilter;
  QComboBox* cbbFiterName;
  QLineEdit* edtFilterValue;
  QToolButton* btnMakeReport;
  QAction* actMakeReport;  // "生成报表"
  vlt::components::TNxStringGrid* GrdMain;
  vlt::ClientDataSet cdsM;

  // Below the grid, hidden until ShowTotalStrip(): "总  合  计：" and the value.
  QWidget* lytBottom;
  QLabel* lblTotal;
  QLabel* lblTotalNum;

  void FormCreate() override;
  virtual void actMakeReportExecute();
  // " and (bdate between 'start' and 'end')".
  std::string GetDateArea() const;
  // Stops with the user's message when a date box does not hold a date or the range runs
  // backwards.
  void CheckDateValue();
  void cbbDatefitlerChange();
  void cbbFiterNameClosePopup();
  // Assembles the statement (tail text last), runs it and loads the answer into cdsM.
  void OpenData(const std::string& mainSql, const std::string& tail);
  // The statement OpenData runs for the pieces as they are now.
  std::string AssembledStatement(const std::string& tail) const;

  // The first and last day of a quick choice, seen from `today` (weeks run Monday to Sunday).
  static std::pair<QDate, QDate> DateRangeOf(int choice, const QDate& today);

  void AddReportTool(QWidget* widget);
  void ShowTotalStrip(bool visible = true);
  QString ReportTitle() const { return windowTitle(); }
  QString DateRangeText() const;
  QString FilterText() const;  // "货品名称: 螺丝"; empty without a find choice
  QString TotalText() const;   // the grand total shown below the grid; empty without one
  TRtpType ReportKind() const { return FrptType; }

 signals:
  void ReportOpened();

 protected:
  // Builds the where clauses (F_*_WhereStr) and whatever the find choice adds; empty here.
  virtual void SetOpenWhereStr() {}
  // Shows the freshly loaded rows of cdsM (the grid takes the columns of the new packet).
  virtual void doCdsEnableControls();

  // The find column chosen (0: "全部") and the find value without blanks around it.
  int FilterIndex() const;
  std::string FilterValue() const;
  // The find value as a quoted LIKE pattern with its escape clause (vlt/likepattern.h).
  std::string FindPattern() const;
  // The system database or the account set, by TagString.
  vlt::Packet RunSelect(const std::string& sql) const;
  // A select of one row whose field "Amount" is the report's grand total, built from the where
  // clauses; empty (here) when the report has none. It runs beside the report's own statement
  // and is shown below the grid (empty when nothing qualified). A failure is shown as a
  // message; the grid stays.
  virtual std::string GrandTotalStatement() const { return {}; }

  TRtpType FrptType = rtMaster;
  std::string FcommStrMaster;
  std::string FcommStrHeader;
  std::string FcommStrTotal;
  std::string FcommStrSeparate;
  std::string F_Master_WhereStr;
  std::string F_Header_WhereStr;
  std::string F_Total_WhereStr;
  std::string F_Separate_WhereStr;
  std::string FOrderByStr;
  std::string FGroupBystr;

 private:
  // "MainData" in TagString: the report reads the system database, not the account set.
  bool ReadsSystemDatabase() const;
  void ShowGrandTotal(std::future<vlt::Packet>& total);

  QHBoxLayout* tools_;
  bool running_ = false;
};
