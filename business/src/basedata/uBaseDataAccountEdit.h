#pragma once
// The edit dialog of a settlement account. Only the name is entered here: the balance is the
// service's (opening balances have their own window).

#include "simplebasedata.h"
#include "uBusinessClasses.h"

class TfrmBaseDataAccountEdit : public vlt::business::TNameEditDialog {
  Q_OBJECT
 public:
  explicit TfrmBaseDataAccountEdit(QWidget* owner = nullptr);
  ~TfrmBaseDataAccountEdit() override;

  TBaseDataInfo_Account FAccountInfo;

  std::string Vlt_GetInsertStr() override;
  std::string Vlt_GetUpdateStr() override;

 protected:
  QString EditedName() const override { return FAccountInfo.Name; }
};
