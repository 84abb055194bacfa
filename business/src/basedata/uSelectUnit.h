#pragma once
// The unit list from which the goods edit window takes the unit of a goods. Offers the unit's
// id and name.

#include "selectdialogs.h"

class TfrmSelectUnit : public vlt::business::TBaseDataPickForm {
  Q_OBJECT
 public:
  explicit TfrmSelectUnit(QWidget* owner = nullptr);
  ~TfrmSelectUnit() override;

  QRadioButton* rbDName;

  void FormCreate() override;
  void actOKExecute() override;
  void actModifyExecute() override;
};
