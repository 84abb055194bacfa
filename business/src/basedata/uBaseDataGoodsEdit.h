#pragma once
// The goods edit window. Code must be unique, and so must name together with Spec; both are
// checked with the service before saving. The type comes from the goods-type selection dialog
// (none: the system type "-9999"), the unit from the unit selection dialog.

#include <string>

#include "formrows.h"
#include "uBaseDataEditForm.h"
#include "uBusinessClasses.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QToolButton;

class TfrmBaseDataGoodsEdit : public TfrmBaseDataEdit {
  Q_OBJECT
 public:
  explicit TfrmBaseDataGoodsEdit(QWidget* owner = nullptr);
  ~TfrmBaseDataGoodsEdit() override;

  // The edited goods ("Edit" mode), filled by the list window.
  TBaseDataInfo_Goods FGoodsInfo;

  QLabel* lblGoodsCode;
  QLabel* lblGoodsName;
  QLabel* lblGoodsUnit;
  QLineEdit* edtGoodsCode;
  QLineEdit* edtGoodsName;
  QLineEdit* edtGoodsSpec;
  QLineEdit* edtGoodsType;  // read-only; its tag is the type's Id
  QLineEdit* edtGoodsUnit;  // read-only; its tag is the unit's Id
  QComboBox* cbbGoodsKind;
  QComboBox* cbbGoodsCostKeeping;
  QLineEdit* edtBarCode;
  vlt::templates::TNumberBox* edtPurPrice;
  vlt::templates::TNumberBox* edtSalPrice;
  vlt::templates::TNumberBox* edtWsaPrice;
  QPlainTextEdit* mmoRemark;
  QCheckBox* chkPause;  // shown switched off; goods are stored active
  QAction* actSelectGoodsType;
  QAction* actSelectUnit;
  QToolButton* btnSelectGoodsType;
  QToolButton* btnSelectUnit;

  void FormShow() override;
  void Vlt_BeforeSaveData() override;
  std::string Vlt_GetInsertStr() override;
  std::string Vlt_GetUpdateStr() override;
  void Vlt_AfterSaveData() override;

  void actSelectGoodsTypeExecute();
  void actSelectUnitExecute();

 private:
  // The type box's tag, "-9999" when no type is chosen (the box is empty).
  std::string typeId();
  // The duplicate query for the mode, empty when nothing that must stay unique changed.
  std::string DuplicateQuery() const;
};
