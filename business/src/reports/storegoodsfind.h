#pragma once
// The find choices of the stock reports: goods code, name or spec.

#include <string>

class QComboBox;

namespace vlt::business::reports {

void AddGoodsFindItems(QComboBox& combo);
// The column of td_goods the find choice looks in ("code", "name", "spec"); empty for "全部".
std::string GoodsFindColumn(int findIndex);

}  // namespace vlt::business::reports
