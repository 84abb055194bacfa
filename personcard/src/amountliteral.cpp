#include "amountliteral.h"

#include "vlt/decimal.h"
#include "vlt/sqltext.h"

namespace vlt::persioncard {

namespace {

constexpr int kIntegerDigits = 11;
constexpr int kDecimals = 2;

std::string_view trimmed(std::string_view s) {
  const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
  while (!s.empty() && blank(s.front()))
    s.remove_prefix(1);
  while (!s.empty() && blank(s.back()))
    s.remove_suffix(1);
  return s;
}

}  // namespace

TAmount CheckAmount(std::string_view typed) {
  TAmount out;
  const std::string_view t = trimmed(typed);
  if (t.empty()) return out;
  Decimal d;
  if (!Decimal::tryParse(t, d)) {
    out.verdict = AmountVerdict::NotNumber;
    return out;
  }
  if (d.isNegative()) {
    out.verdict = AmountVerdict::Negative;
    return out;
  }
  if (d.scale() > kDecimals && d.rescaled(kDecimals) != d) {
    out.verdict = AmountVerdict::TooManyDecimals;
    return out;
  }
  if (d.integerDigits() > kIntegerDigits) {
    out.verdict = AmountVerdict::TooLarge;
    return out;
  }
  out.verdict = AmountVerdict::Ok;
  out.literal = sqlNumber(d.rescaled(kDecimals));
  return out;
}

}  // namespace vlt::persioncard
