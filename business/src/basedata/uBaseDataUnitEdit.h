#pragma once
// The edit dialog of a unit of measure.

#include "simplebasedata.h"
#include "uBusinessClasses.h"

class TfrmBaseDataUnitEdit : public vlt::business::TNameEditDialog {
  Q_OBJECT
 public:
  explicit TfrmBaseDataUnitEdit(QWidget* owner = nullptr);
  ~TfrmBaseDataUnitEdit() override;

  TBaseDataInfo_Unit FUnitInfo;

  std::string Vlt_GetInsertStr() override;
  std::string Vlt_GetUpdateStr() override;

 protected:
  QString EditedName() const override { return FUnitInfo.Name; }
};
