#include "storegoodsfind.h"

#include <QComboBox>

namespace vlt::business::reports {

void AddGoodsFindItems(QComboBox& combo) {
  combo.addItems({"货品编码", "货品名称", "货品规格"});
}

std::string GoodsFindColumn(int findIndex) {
  switch (findIndex) {
    case 1:
      return "code";
    case 2:
      return "name";
    case 3:
      return "spec";
    default:
      return {};
  }
}

}  // namespace vlt::business::reports
