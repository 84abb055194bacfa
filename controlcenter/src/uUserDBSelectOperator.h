#pragma once
// Finding a registered user by login ID or nickname, to admit as an operator. The chosen user
// is handed over through cdsSelectResult ("id", "name").

#include <QString>

#include "vlt/components.h"
#include "vlt/dataset.h"
#include "vlt/host.h"

class QAction;
class QLabel;
class QLineEdit;
class QRadioButton;

class TfrmUserDBSelectOperator : public vlt::host::TForm {
  Q_OBJECT
 public:
  explicit TfrmUserDBSelectOperator(QWidget* owner = nullptr);
  ~TfrmUserDBSelectOperator() override;

  QLineEdit* edtSearch;
  QLabel* lblHint;
  QRadioButton* rbUserID;
  QRadioButton* rbNickName;
  vlt::ClientDataSet cdsUser;
  vlt::components::TNxStringGrid* grdUser;

  QAction* actSearch;
  QAction* actOK;
  QAction* actClose;

  void actSearchExecute();
  void actOKExecute();
  // "UserID like " or "NickName like ", after the radio buttons.
  QString SearchColumn() const;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void edtSearchKeyDown(int key, bool& handled);
  void grdUserKeyDown(int key, bool& handled);
};
