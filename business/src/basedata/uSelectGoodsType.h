#pragma once
// The goods-type selection dialog: the type tree, from which the goods-type edit window takes
// a parent and the goods edit window a goods' type. A type cannot become the parent of itself
// or of one of its ancestors: choosing it or one of its sub-types shows a warning instead.
//
// The opener creates it owned by itself, sets ParentForm, places it and shows it; the dialog
// writes the choice into ParentForm and frees itself when closed. An opener that shows it
// modally frees it itself instead (FreeOnClose false).

#include <string>

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

  // The window the choice goes to: a goods-type edit window or a goods edit window.
  QWidget* ParentForm = nullptr;
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
