#pragma once
// The goods-type edit window: the type's name and its parent, chosen in the goods-type
// selection dialog. A new type gets a fresh level code under its parent; moving a type under
// another parent gives it and its whole sub-tree codes under the new parent.

#include <string>

#include "uBaseDataEditForm.h"
#include "uBusinessClasses.h"

class QLineEdit;
class QToolButton;

class TfrmBaseDataGoodsTypeEdit : public TfrmBaseDataEdit {
  Q_OBJECT
 public:
  explicit TfrmBaseDataGoodsTypeEdit(QWidget* owner = nullptr);
  ~TfrmBaseDataGoodsTypeEdit() override;

  // The edited type ("Edit" mode), filled by the list window.
  TBaseDataInfo_GoodsType FGoodsTypeInfo;

  // "类别名称"; in "Edit" mode its tag is the edited type's tree tag.
  QLineEdit* edtType;
  // "上级类别": the parent's name; its tag is the parent's tree tag, empty for none.
  QLineEdit* edtParent;
  QAction* actSelectParentType;
  QAction* actClearParentType;
  QToolButton* btnSelectParentType;
  QToolButton* btnClearParentType;

  void FormShow() override;
  void Vlt_BeforeSaveData() override;
  std::string Vlt_GetInsertStr() override;
  std::string Vlt_GetUpdateStr() override;
  void Vlt_AfterSaveData() override;

  void actSelectParentTypeExecute();
  void actClearParentTypeExecute();

 private:
  // Parent id ("-1" for none) and parent level code (empty for none) from the parent box.
  std::string parentId() const;
  std::string parentLevelCode() const;
  std::string typeName() const;
};
