#pragma once
// The business page of the main window: every function of the module (bills, reports, base
// data) as a button or report-tree item, each behind the power gate.

#include <QAction>
#include <QString>
#include <QWidget>
#include <vector>

#include "vlt/host.h"

class QScrollArea;
class QTabWidget;
class QToolButton;
class QTreeWidget;
class QTreeWidgetItem;
class QVBoxLayout;

// One function of the module: the action or report-tree item that offers it, its text, the
// module code the gate checks and the window it opens ("unit.Class" of VltBusiness).
struct TBusinessFunction {
  const char* name;
  const char* text;
  const char* moduleId;
  const char* className;
  // 0: a window of the application. 1 (income) or -1 (expense): the cash-bill manager, owned
  // by the frame, with this Tag.
  int cashTag = 0;
};

// Every function, buttons of the navigation and base-data tabs first, then the report tree.
const std::vector<TBusinessFunction>& BusinessFunctions();
// The function of an action or tree item, null for none.
const TBusinessFunction* FindBusinessFunction(const QString& name);

// A header with content below it that folds in and out; clicking the header toggles it.
class TExpander : public QWidget {
  Q_OBJECT
 public:
  TExpander(const QString& name, const QString& text, QWidget* parent);

  bool IsExpanded() const { return expanded_; }
  void SetIsExpanded(bool expanded);
  // What a click on the header does.
  void Expand() { SetIsExpanded(!expanded_); }

  QToolButton* Header() const { return header_; }
  // Where the expander's buttons go, top to bottom.
  QVBoxLayout* ContentLayout() const { return contentLayout_; }

 private:
  QToolButton* header_;
  QWidget* content_;
  QVBoxLayout* contentLayout_;
  bool expanded_ = true;
};

class TfrmBusiness : public QWidget, public vlt::host::IPluginFrame {
  Q_OBJECT
 public:
  explicit TfrmBusiness(QWidget* owner = nullptr);

  QWidget* GetBaseControl() override { return lytBusiness; }

  QWidget* lytBusiness;
  QTabWidget* BSPageControl;
  QWidget* tbNavi;
  QWidget* tbBSReportCenter;
  QWidget* tbBaseData;
  QScrollArea* vsbNavi;
  TExpander* expPur;
  TExpander* expSale;
  TExpander* expStore;
  TExpander* expSettle;
  TExpander* expAccountIO;
  QTreeWidget* tvReport;

  // The action of a function ("act_BD_Goods"); null for tree items and unknown names.
  QAction* Action(const QString& name) const;

  // The gate with the function's module code, then its window. The gate's silent abort leaves
  // the caller; a failure in creating or showing the window is shown as its message.
  void RunFunction(const TBusinessFunction& function);
  void tvReportClick(QTreeWidgetItem* item);

 private:
  QWidget* buildNavigationTab();
  QWidget* buildReportTab();
  QWidget* buildBaseDataTab();
  QAction* makeAction(const TBusinessFunction& function);
  void openFunctionWindow(const TBusinessFunction& function);
};
