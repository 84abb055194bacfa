#pragma once
// The goods-type list: the types as a tree, with adding a type beside or under the selected
// one and modifying it in the goods-type edit window. The system type "-9999" gets no children
// and is not modified.

#include <memory>
#include <string>

#include "uBaseFormEx.h"
#include "uGoodsTypeTree.h"
#include "vlt/dataset.h"

class QAction;
class QActionGroup;
class QToolButton;
class QTreeWidget;
class QTreeWidgetItem;
class TfrmBaseDataGoodsTypeEdit;

class TfrmBaseDataGoodsType : public TfrmBaseFormEx {
  Q_OBJECT
 public:
  explicit TfrmBaseDataGoodsType(QWidget* owner = nullptr);
  ~TfrmBaseDataGoodsType() override;

  QActionGroup* actlst;
  QAction* actAddSameLevel;   // "增加同级"
  QAction* actAddChildLevel;  // "增加下级"
  QAction* actMofify;         // "修改"; also a double click or Enter in the tree
  QAction* actDel;            // "删除"
  QAction* actRefresh;        // "刷新"
  QToolButton* btnAddSameLevel;
  QToolButton* btnAddChildLevel;
  QToolButton* btnMofify;
  QToolButton* btnDel;
  QToolButton* btnRefresh;
  QTreeWidget* tvGoodsType;
  vlt::ClientDataSet cdsBaseData;
  vlt::business::TGoodsTypeItemList FTtreeItemList;

  void FormCreate() override;
  // Loads the types and builds the tree again.
  void RefreBaseData();

  void actAddSameLevelExecute();
  void actAddChildLevelExecute();
  void actMofifyExecute();
  void actRefreshExecute();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

  std::string FBaseDataTableName;
  std::string FOpenBaseDataSql;

 private:
  // The selected item, after the checks every action makes first.
  QTreeWidgetItem* CheckSelected();
  // Shows the parent of `item` in the dialog's parent box (empty for a top-level item).
  static void ShowParentOf(TfrmBaseDataGoodsTypeEdit& dialog, QTreeWidgetItem* item);
  // Runs the edit window modally, frees it and rebuilds the tree, also when something raised.
  void ShowEditDialog(std::unique_ptr<TfrmBaseDataGoodsTypeEdit> dialog, const QString& mode);
};
