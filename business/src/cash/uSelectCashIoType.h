#pragma once
// The income or expense categories of one direction (the dialog's Tag: 1 income, -1 expense),
// from which an income or expense entry takes its category.

#include "basedata/selectdialogs.h"

class TfrmSelectCashIOType : public vlt::business::TBaseDataPickForm {
  Q_OBJECT
 public:
  explicit TfrmSelectCashIOType(QWidget* owner = nullptr);
  ~TfrmSelectCashIOType() override;

  QRadioButton* rbDName;

  void FormCreate() override;
  // Narrows the list to the direction in Tag, then loads it.
  void FormShow() override;
  // Offers the category's id and name.
  void actOKExecute() override;
  void actModifyExecute() override;
};
