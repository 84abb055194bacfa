#pragma once
// The other incomes (Tag 1) or the expenses (Tag -1) of today, this week or this month, with
// adding, changing and deleting through the entry window.

#include <QString>
#include <string>

#include "uBaseFormEx.h"
#include "vlt/dataset.h"

class QAction;
class QRadioButton;
class QToolButton;
namespace vlt::components {
class TNxStringGrid;
}

class TfrmBill_Cas_Mgr : public TfrmBaseFormEx {
  Q_OBJECT
 public:
  explicit TfrmBill_Cas_Mgr(QWidget* owner = nullptr);
  ~TfrmBill_Cas_Mgr() override;

  QAction* actAdd;     // "新增" Ctrl+N
  QAction* actModify;  // "修改" Ctrl+M
  QAction* actDel;     // "删除" Ctrl+D
  QToolButton* btnNew;
  QToolButton* btnModify;
  QToolButton* btnDel;
  QWidget* lytDateSelect;
  QRadioButton* rbCurday;
  QRadioButton* rbCurWeek;
  QRadioButton* rbCurMonth;
  vlt::ClientDataSet cdsMaster;
  vlt::components::TNxStringGrid* grdMain;

  int FIodirect = 0;
  std::string MasterTableName;
  std::string FOpenDateStr;  // the period condition of the list statement

  void FormCreate() override;
  void FormShow() override;
  void opendata();
  void rbCurdayChange();
  void rbCurWeekChange();
  void rbCurMonthChange();
  void actAddExecute();
  void actModifyExecute();
  void actDelExecute();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
};
