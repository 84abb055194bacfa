#pragma once
// Income, expense, credit-card spending and repayment per month of one year, with the month's
// cash effect, as a table and as a bar chart, from one grouped statement over the signed-in
// user's entries.

#include <string>

#include "uBaseFormEx.h"
#include "vlt/dataset.h"

class QAction;
class QSpinBox;
class QToolButton;
class QChartView;
class QChart;
namespace vlt::components {
class TNxStringGrid;
}

class TfrmPersionCardMonthly : public TfrmBaseFormEx {
  Q_OBJECT
 public:
  explicit TfrmPersionCardMonthly(QWidget* owner = nullptr);
  ~TfrmPersionCardMonthly() override;

  QSpinBox* spnYear;
  QAction* actQuery;  // "查询" F5
  QToolButton* btnQuery;
  vlt::ClientDataSet cdsMonth;  // twelve months and the year's total
  vlt::components::TNxStringGrid* grdMonth;
  QChartView* chtMonth;

  void FormCreate() override;
  void FormShow() override;
  void actQueryExecute();

  // The grouped statement of the user's entries of the year.
  static std::string MonthStatement(int year);

 private:
  void fillChart();
};
