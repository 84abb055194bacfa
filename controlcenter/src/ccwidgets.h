#pragma once
// Small pieces the control-center windows are built from: named actions and the buttons that
// trigger them, the row of module group buttons, and the one-row selection hand-over.

#include <QString>
#include <functional>
#include <string>

#include "vlt/components.h"
#include "vlt/host.h"

class QHBoxLayout;
class QRadioButton;

namespace vlt::controlcenter {

using vlt::components::ActionButton;
using vlt::components::MakeAction;

// The buttons that narrow a module list to one group: "全部", "基础资料(DB)", "业务模块(YW)" and
// "报表模块(RP)" (groups 1 to 3), named rbAll, rbDB, rbYW and rbRP, exclusive, side by side in
// `row`.
struct ModuleGroupButtons {
  QRadioButton* rbAll;
  QRadioButton* rbDB;
  QRadioButton* rbYW;
  QRadioButton* rbRP;
  QHBoxLayout* row;
};
// The buttons are children of `parent`; the window owns their group and runs `chosen` through
// the guard whenever one of them becomes checked. None is checked yet.
ModuleGroupButtons MakeModuleGroupButtons(QWidget* window, QWidget* parent,
                                          std::function<void()> chosen);
// The filter condition of the chosen group ("groupid=1" .. "groupid=3"); empty for all.
std::string ModuleGroupCondition(const QRadioButton* rbDB, const QRadioButton* rbYW,
                                 const QRadioButton* rbRP);

// Replaces what cdsSelectResult holds with one chosen row ("id", "name").
void HandOverChoice(const std::string& id, const std::string& name);

}  // namespace vlt::controlcenter
