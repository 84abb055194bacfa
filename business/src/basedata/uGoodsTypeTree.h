#pragma once
// What the goods-type windows share: the tag every tree item carries ("Id,PId,LevelCode"),
// building the tree from the flat td_goodstype rows, and drawing level codes.
//
// A level code is the parent's code followed by three characters; a type's code is therefore a
// prefix of the codes of all its sub-types, which is how the goods of a type and its sub-types
// are found and how a type is kept from being moved under itself.

#include <QString>
#include <functional>
#include <string>
#include <vector>

#include "vlt/dataset.h"

class QObject;
class QTreeWidget;
class QTreeWidgetItem;

namespace vlt::business {

// The tag of an edit box (what a selection dialog writes beside the name it shows: an id or a
// tree tag), kept in the box's "TagString" property.
QString BoxTagString(const QObject* box);
void SetBoxTagString(QObject* box, const QString& tag);

// The parts of an item's tag.
struct TGoodsTypeTag {
  QString Id;
  QString PId;
  QString LevelCode;
};

QString MakeGoodsTypeTag(const QString& id, const QString& pid, const QString& levelCode);
// Missing parts are empty.
TGoodsTypeTag SplitGoodsTypeTag(const QString& tag);

// The tag of a tree item (kept in its Qt::UserRole data); empty for none.
QString ItemTagString(const QTreeWidgetItem* item);
void SetItemTagString(QTreeWidgetItem* item, const QString& tag);
inline TGoodsTypeTag ItemTag(const QTreeWidgetItem* item) {
  return SplitGoodsTypeTag(ItemTagString(item));
}

// The tree's items in the order they were made. Items that found no place in the tree (their
// parent is missing) are kept here until the list is cleared, which frees them.
class TGoodsTypeItemList {
 public:
  TGoodsTypeItemList() = default;
  ~TGoodsTypeItemList();
  TGoodsTypeItemList(const TGoodsTypeItemList&) = delete;
  TGoodsTypeItemList& operator=(const TGoodsTypeItemList&) = delete;

  // Empties the tree and the list.
  void Clear(QTreeWidget* tree);
  const std::vector<QTreeWidgetItem*>& Items() const { return items_; }
  std::vector<QTreeWidgetItem*>& Items() { return items_; }

 private:
  void freeDetached();
  std::vector<QTreeWidgetItem*> items_;
};

// Rebuilds `tree` from the goods-type rows: one item per row (in "id" order) with the tag
// "id,Pid,levelcode" and the text "name"; an item whose Pid is "-1" is a top-level item (or
// hangs under `root` when one is given, e.g. "全部货品"), any other hangs under the first item
// whose id is its Pid. A type whose parent is missing, or that would end up inside its own
// sub-tree, is not shown. The tree is fully expanded. `root`, when given, is taken over by the
// tree and comes first in the list.
void BuildGoodsTypeTree(QTreeWidget* tree, ClientDataSet& types, TGoodsTypeItemList& items,
                        QTreeWidgetItem* root = nullptr);

// Three characters, each one of the first 35 of "a..z0..9" (so '9' never occurs: the system
// type's code "999" cannot be drawn).
std::string MakeThreeCharCode();
// The parent's code followed by a fresh three-character part that no type of the current
// account set uses yet (the service is asked for each candidate).
std::string GetLevelCode(const std::string& parentLevelCode);
// Replaces the random source: it returns an index below `bound`. An empty function restores
// the default; returns the previous one. For tests that need known codes.
using TCodeDraw = std::function<int(int bound)>;
TCodeDraw SetLevelCodeDraw(TCodeDraw draw);

}  // namespace vlt::business
