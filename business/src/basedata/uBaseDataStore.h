#pragma once
// The list of the stores of the current account set. The main store is system data: the list
// shows the stores and refreshes, but refuses to modify or delete and has no edit dialog.

#include "uBaseDataGridForm.h"

class TfrmBaseDataStore : public TfrmBaseDataGridForm {
  Q_OBJECT
 public:
  explicit TfrmBaseDataStore(QWidget* owner = nullptr);
  ~TfrmBaseDataStore() override;

  void FormCreate() override;
  void actEditExecute() override;
  // Refuses: stores are system data.
  void actDelExecute() override;
};
