#include "uGoodsTypeTree.h"

#include <QHash>
#include <QStringList>
#include <QTreeWidget>
#include <algorithm>
#include <random>

#include "tplwidgets.h"
#include "vlt/host.h"
#include "vlt/sqltext.h"

using namespace vlt::host;

namespace vlt::business {

QString BoxTagString(const QObject* box) {
  return box ? box->property(templates::kTagStringProperty).toString() : QString();
}

void SetBoxTagString(QObject* box, const QString& tag) {
  box->setProperty(templates::kTagStringProperty, tag);
}

QString MakeGoodsTypeTag(const QString& id, const QString& pid, const QString& levelCode) {
  return id + "," + pid + "," + levelCode;
}

TGoodsTypeTag SplitGoodsTypeTag(const QString& tag) {
  const QStringList parts = tag.split(',');
  TGoodsTypeTag t;
  if (!parts.isEmpty()) t.Id = parts[0];
  if (parts.size() > 1) t.PId = parts[1];
  if (parts.size() > 2) t.LevelCode = parts[2];
  return t;
}

QString ItemTagString(const QTreeWidgetItem* item) {
  return item ? item->data(0, Qt::UserRole).toString() : QString();
}

void SetItemTagString(QTreeWidgetItem* item, const QString& tag) {
  item->setData(0, Qt::UserRole, tag);
}

// ---- item list --------------------------------------------------------------------------------

TGoodsTypeItemList::~TGoodsTypeItemList() {
  // Items in the tree go with the tree; the others are only ours.
  freeDetached();
}

void TGoodsTypeItemList::Clear(QTreeWidget* tree) {
  freeDetached();
  tree->clear();
  items_.clear();
}

void TGoodsTypeItemList::freeDetached() {
  std::vector<QTreeWidgetItem*> tops;
  for (QTreeWidgetItem* item : items_) {
    QTreeWidgetItem* top = item;
    while (top->parent())
      top = top->parent();
    if (!top->treeWidget() && std::find(tops.begin(), tops.end(), top) == tops.end())
      tops.push_back(top);
  }
  // A top frees its children with it.
  for (QTreeWidgetItem* top : tops)
    delete top;
  items_.clear();
}

// ---- building ---------------------------------------------------------------------------------

namespace {

// True when `item` is `node` or one of its ancestors: hanging `item` under `node` would make
// a loop (rows whose Pid point at each other).
bool isSelfOrAncestor(const QTreeWidgetItem* item, const QTreeWidgetItem* node) {
  for (const QTreeWidgetItem* n = node; n; n = n->parent())
    if (n == item) return true;
  return false;
}

// Restores the data set's order when the tree is built, also when building fails.
class IndexScope {
 public:
  IndexScope(ClientDataSet& ds, std::string_view index) : ds_(ds), old_(ds.IndexFieldNames()) {
    ds_.SetIndexFieldNames(index);
  }
  ~IndexScope() {
    try {
      ds_.SetIndexFieldNames(old_);
    } catch (...) {
      // The old order named a field the rows no longer have; natural order then.
    }
  }
  IndexScope(const IndexScope&) = delete;
  IndexScope& operator=(const IndexScope&) = delete;

 private:
  ClientDataSet& ds_;
  std::string old_;
};

class UpdatesOff {
 public:
  explicit UpdatesOff(QWidget* w) : w_(w) { w_->setUpdatesEnabled(false); }
  ~UpdatesOff() { w_->setUpdatesEnabled(true); }
  UpdatesOff(const UpdatesOff&) = delete;
  UpdatesOff& operator=(const UpdatesOff&) = delete;

 private:
  QWidget* w_;
};

}  // namespace

void BuildGoodsTypeTree(QTreeWidget* tree, ClientDataSet& types, TGoodsTypeItemList& items,
                        QTreeWidgetItem* root) {
  items.Clear(tree);
  std::vector<QTreeWidgetItem*>& list = items.Items();
  if (root) {
    tree->addTopLevelItem(root);
    list.push_back(root);
  }
  if (!types.Active() || types.IsEmpty()) {
    tree->expandAll();
    return;
  }

  {
    IndexScope byId(types, "id");
    types.DisableControls();
    try {
      for (types.First(); !types.Eof(); types.Next()) {
        auto* item = new QTreeWidgetItem();
        SetItemTagString(item, MakeGoodsTypeTag(qs(types.FieldByName("id").AsString()),
                                                qs(types.FieldByName("Pid").AsString()),
                                                qs(types.FieldByName("levelcode").AsString())));
        item->setText(0, qs(types.FieldByName("name").AsString()));
        list.push_back(item);
      }
    } catch (...) {
      types.EnableControls();
      throw;
    }
    types.EnableControls();
  }

  // The first item of each id, as the parent lookup wants it.
  QHash<QString, QTreeWidgetItem*> firstOfId;
  for (QTreeWidgetItem* item : list) {
    const QString id = ItemTag(item).Id;
    if (!firstOfId.contains(id)) firstOfId.insert(id, item);
  }

  UpdatesOff quiet(tree);
  for (QTreeWidgetItem* item : list) {
    if (item == root) continue;
    const QString pid = ItemTag(item).PId;
    if (pid == "-1") {
      if (root)
        root->addChild(item);
      else
        tree->addTopLevelItem(item);
      continue;
    }
    QTreeWidgetItem* parent = firstOfId.value(pid, nullptr);
    if (parent && !isSelfOrAncestor(item, parent)) parent->addChild(item);
  }
  tree->expandAll();
}

// ---- level codes ------------------------------------------------------------------------------

namespace {

TCodeDraw& codeDraw() {
  static TCodeDraw draw;
  return draw;
}

int drawIndex(int bound) {
  if (const TCodeDraw& draw = codeDraw()) return draw(bound);
  // Seeded once: seeding from the clock on every call would repeat a code drawn within the
  // same clock tick.
  static std::mt19937 engine{std::random_device{}()};
  return std::uniform_int_distribution<int>(0, bound - 1)(engine);
}

}  // namespace

TCodeDraw SetLevelCodeDraw(TCodeDraw draw) {
  TCodeDraw old = std::move(codeDraw());
  codeDraw() = std::move(draw);
  return old;
}

std::string MakeThreeCharCode() {
  static const char kChars[] = "abcdefghijklmnopqrstuvwxyz0123456789";
  constexpr int kUsable = 35;  // without the final '9'
  std::string code;
  for (int i = 0; i < 3; ++i) {
    const int k = std::clamp(drawIndex(kUsable), 0, kUsable - 1);
    code += kChars[k];
  }
  return code;
}

std::string GetLevelCode(const std::string& parentLevelCode) {
  // Codes are drawn from tens of thousands per level; a service that finds every one taken is
  // broken, and the window must not hang on it.
  for (int attempt = 0; attempt < 1000; ++attempt) {
    std::string code = parentLevelCode + MakeThreeCharCode();
    if (!doServerMethods().CheckValueIsExistBySql(
            CurUserInfo().UserDBID,
            "select * from td_goodstype where levelcode=" + quotedStr(code)))
      return code;
  }
  ShowMessage(QStringLiteral("无法为货品类别生成新的层级编码，请稍后重试！"));
  Abort();
}

}  // namespace vlt::business
