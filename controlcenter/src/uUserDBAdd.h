#pragma once
// Creating an account set ("OsAppend", with the proposed id in FMaxDBID) or renaming one
// ("OsEdit", the id and name handed over through cdsSelectResult).

#include <QString>

#include "vlt/host.h"

class QAction;
class QLineEdit;

class TfrmUserDBAdd : public vlt::host::TForm {
  Q_OBJECT
 public:
  explicit TfrmUserDBAdd(QWidget* owner = nullptr);

  void FormShow() override;

  // The id proposed for a new account set.
  QString FMaxDBID;

  QLineEdit* edtUserDBID;
  QLineEdit* edtUserDBName;
  QAction* actSave;
  QAction* actClose;

  void actSaveExecute();
};
