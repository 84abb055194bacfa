#pragma once
// Choosing function modules to grant: the catalogue without the modules the operator already
// holds in the account set. The ticked modules are handed over through cdsSelectResult
// ("id", "name", "other1" = group).

#include <QString>

#include "vlt/components.h"
#include "vlt/dataset.h"
#include "vlt/host.h"

class QAction;
class QRadioButton;

class TfrmUserDBSelectModule : public vlt::host::TForm {
  Q_OBJECT
 public:
  explicit TfrmUserDBSelectModule(QWidget* owner = nullptr);
  ~TfrmUserDBSelectModule() override;

  void FormShow() override;

  vlt::ClientDataSet cds;
  vlt::components::TNxStringGrid* grdModule;
  QRadioButton* rbAll;
  QRadioButton* rbDB;
  QRadioButton* rbYW;
  QRadioButton* rbRP;

  QAction* actOK;
  QAction* actClose;
  QAction* actSelectAll;
  QAction* actInvertSelect;

  void actOKExecute();
  // The list shows the chosen group only.
  void ApplyGroupFilter();
};
