// The amount a user types into a person-card entry: whatever the text, only a plain number
// literal of two decimals comes out, and it is the typed number.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "amountliteral.h"
#include "vlt/decimal.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view typed(reinterpret_cast<const char*>(data), size);
  const vlt::persioncard::TAmount a = vlt::persioncard::CheckAmount(typed);
  if (a.verdict != vlt::persioncard::AmountVerdict::Ok) {
    if (!a.literal.empty()) std::abort();
    return 0;
  }
  // Digits, one point, exactly two decimals, at most eleven digits before the point.
  const std::size_t point = a.literal.find('.');
  if (point == std::string_view::npos || point == 0 || point > 11 || a.literal.size() != point + 3)
    std::abort();
  for (std::size_t i = 0; i < a.literal.size(); ++i)
    if (i != point && (a.literal[i] < '0' || a.literal[i] > '9')) std::abort();
  // The same number as typed.
  std::string_view t = typed;
  while (!t.empty() &&
         (t.front() == ' ' || t.front() == '\t' || t.front() == '\r' || t.front() == '\n'))
    t.remove_prefix(1);
  while (!t.empty() &&
         (t.back() == ' ' || t.back() == '\t' || t.back() == '\r' || t.back() == '\n'))
    t.remove_suffix(1);
  if (vlt::Decimal::parse(t) != vlt::Decimal::parse(a.literal)) std::abort();
  return 0;
}
