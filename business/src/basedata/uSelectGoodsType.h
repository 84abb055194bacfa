#pragma once
// The goods-type selection dialog: the type tree, from which the goods-type edit window takes
// a parent and the goods edit window a goods' type. A type cannot become the parent of itself
// or of one of its ancestors: choosing it or one of its sub-types shows a warning instead.
//
// Offers the type's id, name and tree tag ("Id,PId,LevelCode"). The opener creates it owned by
// itself, sets Target (the goods window: TPickTarget::IntoBox(*edtGoodsType); the goods-type
// window: IntoBox(*edtParent, 2) and, for a type being changed, ExcludedType), places it and
// shows it; the dialog frees itself when closed. An opener that shows it modally frees it
// itself instead (FreeOnClose false).

#include <string>

#include "picktarget.h"
#include "uBaseForm.h"
#include "uGoodsTypeTree.h"
#include "vlt/dataset.h"

class QAction;
class QActionGroup;
class QLabel;
class QPushButton;
class QTreeWidget;

class TfrmSelectGoodsType : public TfrmBaseForm {
  Q_OBJECT
 public:
  explicit TfrmSelectGoodsType(QWidget* owner = nullptr);
  ~TfrmSelectGoodsType() override;

  QTreeWidget* tvGoodsType;
  QLabel* lblWarning;  // "错误！不能选择原类别及其子类别！", hidden until such a choice
  QActionGroup* actlst;
  QAction* actOK;       // "确定"; also a double click or Enter in the tree
  QAction* actRefresh;  // "刷新"
  QAction* actModify;   // "编辑": the goods-type list, to add what is missing
  QPushButton* btnModify;
  QPushButton* btnRefresh;
  QPushButton* btnOK;
  vlt::ClientDataSet cdsGoodsType;
  vlt::business::TGoodsTypeItemList FTtreeItemList;

  // Where the choice goes.
  vlt::templates::TPickTarget Target;
  // A type that may not be chosen, nor any type under it (a type being changed cannot become
  // its own parent); empty Id for none.
  vlt::business::TGoodsTypeTag ExcludedType;
  bool FreeOnClose = true;

  void FormCreate() override;
  void FormClose() override;
  void RefreBaseData();

  void actOKExecute();
  void actRefreshExecute();
  void actModifyExecute();
  void tvGoodsTypeChange();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

  std::string FBaseDataTableName;
  std::string FOpenBaseDataSql;
};
