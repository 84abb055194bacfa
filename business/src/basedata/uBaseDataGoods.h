#pragma once
// The goods list beside the goods-type tree: choosing a type lists the goods of that type and
// of all its sub-types, "全部货品" lists every goods. New and modify open the goods edit window.

#include "uBaseDataGridForm.h"
#include "uGoodsTypeTree.h"
#include "vlt/dataset.h"

class QSplitter;
class QTreeWidget;

class TfrmBaseDataGoods : public TfrmBaseDataGridForm {
  Q_OBJECT
 public:
  explicit TfrmBaseDataGoods(QWidget* owner = nullptr);
  ~TfrmBaseDataGoods() override;

  QSplitter* splleft;
  QWidget* lytGoodsType;  // the left panel with the tree
  QTreeWidget* tvGtype;
  vlt::ClientDataSet cdsGoodsType;
  vlt::business::TGoodsTypeItemList FTtreeItemList;

  void FormCreate() override;
  // Loads the goods types and builds the tree under "全部货品", which it selects.
  void RefreGoodsType();

  void actNewExecute() override;
  void actEditExecute() override;
  void tvGtypeChange();
  // Hides the tree panel, or shows it again.
  void splleftDblClick();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
};
