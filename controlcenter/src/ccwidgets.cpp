#include "ccwidgets.h"

#include <QButtonGroup>
#include <QHBoxLayout>
#include <QRadioButton>

using namespace vlt::host;

namespace vlt::controlcenter {

ModuleGroupButtons MakeModuleGroupButtons(QWidget* window, QWidget* parent,
                                          std::function<void()> chosen) {
  ModuleGroupButtons b;
  b.rbAll = new QRadioButton("全部", parent);
  b.rbAll->setObjectName("rbAll");
  b.rbDB = new QRadioButton("基础资料(DB)", parent);
  b.rbDB->setObjectName("rbDB");
  b.rbYW = new QRadioButton("业务模块(YW)", parent);
  b.rbYW->setObjectName("rbYW");
  b.rbRP = new QRadioButton("报表模块(RP)", parent);
  b.rbRP->setObjectName("rbRP");
  auto* groups = new QButtonGroup(window);
  b.row = new QHBoxLayout;
  for (QRadioButton* rb : {b.rbAll, b.rbDB, b.rbYW, b.rbRP}) {
    groups->addButton(rb);
    b.row->addWidget(rb);
    QObject::connect(rb, &QRadioButton::toggled, window, guarded([chosen](bool on) {
                       if (on) chosen();
                     }));
  }
  b.row->addStretch(1);
  return b;
}

std::string ModuleGroupCondition(const QRadioButton* rbDB, const QRadioButton* rbYW,
                                 const QRadioButton* rbRP) {
  return rbDB->isChecked()   ? "groupid=1"
         : rbYW->isChecked() ? "groupid=2"
         : rbRP->isChecked() ? "groupid=3"
                             : "";
}

void HandOverChoice(const std::string& id, const std::string& name) {
  ClientDataSet& handOver = GlobalDM().cdsSelectResult;
  handOver.EmptyDataSet();
  handOver.Append();
  handOver.FieldByName("id").SetAsString(id);
  handOver.FieldByName("name").SetAsString(name);
  handOver.Post();
}

}  // namespace vlt::controlcenter
