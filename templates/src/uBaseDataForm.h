#pragma once
// TfrmBaseDataForm: the list of one base-data table of the current account set, with new,
// modify, delete and refresh. The template loads the rows and deletes; adding and modifying are
// the descendant's, usually through an edit dialog built on TfrmBaseDataEdit.
//
// How a descendant uses it (most derive from TfrmBaseDataGridForm, which adds the grid):
// - In FormCreate(): set the caption, FBaseDataTableName ("td_Unit") and FOpenBaseDataSql
//   ("select * from " + table), bind the grid, then call the inherited FormCreate(), which
//   loads the list. The rows must carry the key column "ID" as text.
// - Override actNewExecute() and actEditExecute(); start actEditExecute() with CheckBeforeEdit().
//   ShowEditDialog() runs the edit dialog modally, frees it and reloads the list (also when
//   something raised meanwhile):
//     void actEditExecute() override {
//       CheckBeforeEdit();
//       auto dlg = vlt::templates::CreateForm<TfrmBaseDataUnitEdit>();
//       dlg->FUnitInfo.ID = cdsBaseData.FieldByName("ID").AsString();  ...
//       ShowEditDialog(std::move(dlg), "Edit");
//     }
// - Override RefreBaseData() only to load differently; delete and refresh need nothing.

#include <memory>
#include <string>

#include "tplwidgets.h"
#include "uBaseFormEx.h"

class QAction;
class QActionGroup;
class QLabel;
class QToolButton;

class TfrmBaseDataForm : public TfrmBaseFormEx {
  Q_OBJECT
 public:
  explicit TfrmBaseDataForm(QWidget* owner = nullptr);
  ~TfrmBaseDataForm() override;

  QActionGroup* actlst;
  QAction* actNew;      // "新增" Ctrl+N
  QAction* actEdit;     // "修改" Ctrl+M
  QAction* actDel;      // "删除" Ctrl+D
  QAction* actRefresh;  // "刷新" Ctrl+R
  QToolButton* btnEdit;
  QToolButton* btnRefresh;
  QToolButton* btnDel;
  QToolButton* btnNew;
  vlt::ClientDataSet cdsBaseData;

  // Loads the rows of FOpenBaseDataSql from the current account set, replacing the list.
  virtual void RefreBaseData();
  void FormCreate() override;

  // New and modify are the descendant's; the template only connects the actions to them.
  virtual void actNewExecute() {}
  virtual void actEditExecute() {}
  // Confirms, deletes the current row by key and reloads; a window with other rules overrides.
  virtual void actDelExecute();
  void actRefreshExecute();

  // Stops a modify handler with a message when no row is selected.
  void CheckBeforeEdit();

 protected:
  // Shows the edit dialog modally in `mode` ("Append" or "Edit", its TagString), frees it and
  // reloads the list, also when something raised while it was up.
  void ShowEditDialog(std::unique_ptr<vlt::host::TForm> dialog, const QString& mode);

  std::string FBaseDataTableName;
  std::string FOpenBaseDataSql;
};
