#pragma once
// TfrmBaseDataGridForm: the base-data list with a read-only grid filling the work area. A double
// click or Enter in the grid does what the modify action does. The export button takes the list
// out as shown, to Excel or CSV.
//
// How a descendant uses it: in FormCreate() set the caption and the two fields of
// TfrmBaseDataForm, bind the grid to the list, then call the inherited FormCreate() (it loads the
// list and gives the grid the focus):
//   GrdMain->Bind(&cdsBaseData, {{"Id", "", 0, false}, {"Name", "单位名称", 160}});
// Then override actNewExecute() and actEditExecute() as TfrmBaseDataForm describes.

#include "uBaseDataForm.h"
#include "vlt/components.h"

class TfrmBaseDataGridForm : public TfrmBaseDataForm {
  Q_OBJECT
 public:
  explicit TfrmBaseDataGridForm(QWidget* owner = nullptr);
  ~TfrmBaseDataGridForm() override;

  vlt::components::TNxStringGrid* GrdMain;
  QToolButton* btnExport;  // "导出": the list to Excel or CSV (also the grid's context menu)

  void FormCreate() override;
  void GrdMainDblClick();
  // Enter runs the modify action; other keys are the grid's.
  void GrdMainKeyDown(int key, Qt::KeyboardModifiers shift, bool& handled);

 protected:
  // Descendants that watch events themselves pass the rest on to this one.
  bool eventFilter(QObject* watched, QEvent* event) override;
};
