#pragma once
// The entries of one kind (TagString "1" income, "2" expense, "3" credit-card spending, "4"
// credit-card repayment) of today, this week or this month, the signed-in user's only, with
// adding, changing and deleting through the entry window.

#include <QDate>
#include <string>

#include "uBaseFormEx.h"
#include "vlt/dataset.h"

class QAction;
class QRadioButton;
class QToolButton;
class TfrmPersionCardEdit;
namespace vlt::components {
class TNxStringGrid;
}

class TfrmPersionCardForm : public TfrmBaseFormEx {
  Q_OBJECT
 public:
  explicit TfrmPersionCardForm(QWidget* owner = nullptr);
  ~TfrmPersionCardForm() override;

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

  int FIOKind = 0;
  std::string FOpenDateStr;  // the period condition of the list statement

  void FormCreate() override;
  void FormShow() override;
  void FormClose() override;
  void opendata();
  void rbCurdayChange();
  void rbCurWeekChange();
  void rbCurMonthChange();
  void actAddExecute();
  void actModifyExecute();
  void actDelExecute();
  void grdMainDblClick();

 private:
  // Shows the entry window in this mode, frees it and reloads when it saved (also when the
  // showing ended in an error, which then goes on).
  void runEntry(const QString& mode, QToolButton& below);
};
