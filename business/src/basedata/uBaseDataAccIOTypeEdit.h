#pragma once
// The edit dialog of an income or expense category: the name and whether it is an other-income
// or an expense category. The list that opens it ticks the direction its filter shows.

#include <QRadioButton>

#include "simplebasedata.h"
#include "uBusinessClasses.h"

class TfrmBaseDataAccIOTypeEdit : public vlt::business::TNameEditDialog {
  Q_OBJECT
 public:
  explicit TfrmBaseDataAccIOTypeEdit(QWidget* owner = nullptr);
  ~TfrmBaseDataAccIOTypeEdit() override;

  QRadioButton* rbEditAccIN;   // "其他收入类别"
  QRadioButton* rbEditAccOut;  // "费用支出类别"
  TBaseDataInfo_AccountIOType FAccountIOTypeInfo;

  std::string Vlt_GetInsertStr() override;
  std::string Vlt_GetUpdateStr() override;

  // The ticked direction: 1 income, -1 expense, 0 neither.
  int Direction() const;

 protected:
  QString EditedName() const override { return FAccountIOTypeInfo.Name; }
};
