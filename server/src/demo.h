#pragma once
// Sample base data and bills for the demo account set, so that a newcomer sees a working shop.

#include <string>

#include "service.h"

namespace vlt::server {

// Fills the (empty) account set with units, stores, accounts, categories, clients, vendors,
// goods types, goods, opening balances, a purchase, a sale, a receipt and an expense. Returns
// "0" or the first refusal.
std::string seedDemoData(DataService& service, const Caller& owner, const std::string& setId);

}  // namespace vlt::server
