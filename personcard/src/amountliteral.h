#pragma once
// The amount of a person-card entry as typed, checked, and the number literal a statement gets
// for it: never the typed text itself. Standard C++ only (the fuzz target builds it alone).

#include <string>
#include <string_view>

namespace vlt::persioncard {

enum class AmountVerdict { Ok, Empty, NotNumber, Negative, TooManyDecimals, TooLarge };

struct TAmount {
  AmountVerdict verdict = AmountVerdict::Empty;
  std::string literal;  // Ok only: digits, the point and two decimals ("12.50")
};

// Blanks around the text are ignored. The amount column is DECIMAL(13,2): at most eleven digits
// before the point and two after it (trailing zeros beyond are fine), not negative.
TAmount CheckAmount(std::string_view typed);

}  // namespace vlt::persioncard
