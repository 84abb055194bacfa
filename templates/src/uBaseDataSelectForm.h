#pragma once
// TfrmBaseDataSelectForm: the small pop-up list from which the user picks one base-data record
// for a field of another window. It loads the rows of one table when shown, filters them
// locally while the user types (the chosen column containing the trimmed text), and lets Down
// in the filter box go to the list and Up on the first row come back.
//
// How a descendant uses it:
// - In FormCreate(): set the caption, FBaseDataTableName, FOpenBaseDataSql ("select * from " +
//   table), FFilterStr ("Name like "), bind the grid (grd->Bind(&cdsSelectData, {...}); FlnkGrd is
//   that binding), usually BindGridPick(actOK) so a double click or Enter picks, then call the
//   inherited FormCreate().
// - Override actOKExecute() to hand the current row of cdsSelectData to Target.Deliver() (id,
//   name, then what the header documents) and close(). Override actModifyExecute() to open the
//   matching base-data list.
// - A filter choice (radio buttons) calls ClearFilterState() and then sets FFilterStr.
// - The opener creates it (vlt::templates::CreateForm), sets Target (a box, fields of a data set,
//   or left alone for GlobalDM().cdsSelectResult; see picktarget.h), places it, shows it modally
//   and frees it; it does not free itself. Escape closes it.

#include <string>
#include <vector>

#include "picktarget.h"
#include "tplwidgets.h"
#include "uBaseForm.h"
#include "vlt/components.h"

class QAction;
class QActionGroup;
class QFrame;
class QLineEdit;
class QPushButton;
class QToolButton;

class TfrmBaseDataSelectForm : public TfrmBaseForm {
  Q_OBJECT
 public:
  explicit TfrmBaseDataSelectForm(QWidget* owner = nullptr);
  ~TfrmBaseDataSelectForm() override;

  QFrame* pnlSelect_Main;
  QWidget* layTop;
  QLineEdit* edtfilter;
  QToolButton* btnSearch;
  QToolButton* btnclear;
  vlt::components::TNxStringGrid* grd;
  QWidget* LytSelecct_Bottom;
  QPushButton* btnModify;
  QPushButton* btnRefresh;
  QPushButton* btn1;
  QToolButton* btnExport;  // "导出": the list as filtered, to Excel or CSV
  QActionGroup* actBDSelect;
  QAction* actOK;               // "确定"
  QAction* actModify;           // "编辑"
  QAction* actSearch;           // filters now
  QAction* actClearFilterText;  // empties the box and shows every row
  QAction* actRefresh;          // "刷新"
  vlt::ClientDataSet cdsSelectData;

  // Set by the opener: where the picked row goes.
  vlt::templates::TPickTarget Target;

  // A selection dialog is shown modally and freed by its opener.
  void FormClose() override {}
  void FormShow() override;
  void RefreBaseData();

  // Picking and editing are the descendant's; the template only connects the actions to them.
  virtual void actOKExecute() {}
  virtual void actModifyExecute() {}
  void actRefreshExecute();
  void actSearchExecute();
  void actClearFilterTextExecute();

  void CdsFilter();
  // Empties the filter box and shows every row again.
  void ClearFilterState();
  void edtfilterKeyUp(int key, Qt::KeyboardModifiers shift);
  // Up on the first row returns to the filter box.
  void grdKeyDown(int key, Qt::KeyboardModifiers shift, bool& handled);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

  // A double click in the list or Enter in it (after the template's own key handling) triggers
  // the action.
  void BindGridPick(QAction* action);

  std::string FBaseDataTableName;
  std::string FOpenBaseDataSql;
  std::string FFilterStr;  // "Name like ": column and operator the filter text is put after
  vlt::components::DataSetTableModel* FlnkGrd;
};
