// Decimal arithmetic against an independent computation: schoolbook arithmetic on digit strings.

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <random>
#include <string>

#include "vlt/decimal.h"
#include "vlt/errors.h"
#include "vlt/expr.h"

namespace vlt {
namespace {

// ---- digit strings: magnitudes without leading zeros ("0" for zero) ----

std::string trim(std::string s) {
  std::size_t i = s.find_first_not_of('0');
  return i == std::string::npos ? "0" : s.substr(i);
}

int compareMag(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
  return a.compare(b) < 0 ? -1 : (a == b ? 0 : 1);
}

std::string addMag(const std::string& a, const std::string& b) {
  std::string out;
  int carry = 0;
  for (std::size_t i = 0; i < std::max(a.size(), b.size()) || carry; ++i) {
    int d = carry;
    if (i < a.size()) d += a[a.size() - 1 - i] - '0';
    if (i < b.size()) d += b[b.size() - 1 - i] - '0';
    out.push_back(static_cast<char>('0' + d % 10));
    carry = d / 10;
  }
  std::reverse(out.begin(), out.end());
  return trim(out);
}

// a - b for a >= b.
std::string subMag(const std::string& a, const std::string& b) {
  std::string out;
  int borrow = 0;
  for (std::size_t i = 0; i < a.size(); ++i) {
    int d = (a[a.size() - 1 - i] - '0') - borrow - (i < b.size() ? b[b.size() - 1 - i] - '0' : 0);
    borrow = d < 0 ? 1 : 0;
    out.push_back(static_cast<char>('0' + d + borrow * 10));
  }
  std::reverse(out.begin(), out.end());
  return trim(out);
}

std::string mulMag(const std::string& a, const std::string& b) {
  std::vector<int> acc(a.size() + b.size(), 0);
  for (std::size_t i = 0; i < a.size(); ++i)
    for (std::size_t j = 0; j < b.size(); ++j)
      acc[i + j + 1] += (a[i] - '0') * (b[j] - '0');
  for (std::size_t k = acc.size() - 1; k > 0; --k) {
    acc[k - 1] += acc[k] / 10;
    acc[k] %= 10;
  }
  std::string out;
  for (int d : acc)
    out.push_back(static_cast<char>('0' + d));
  return trim(out);
}

// floor(n / d), d not zero.
std::string divMag(const std::string& n, const std::string& d) {
  std::string q;
  std::string rem = "0";
  for (char c : n) {
    rem = trim(rem + c);
    int digit = 0;
    while (compareMag(rem, d) >= 0) {
      rem = subMag(rem, d);
      ++digit;
    }
    q.push_back(static_cast<char>('0' + digit));
  }
  return trim(q);
}

std::string shifted(const std::string& mag, int zeros) {
  return mag == "0" ? mag : mag + std::string(static_cast<std::size_t>(zeros), '0');
}

// A signed exact number: mag / 10^scale.
struct Exact {
  bool negative = false;
  std::string mag = "0";
  int scale = 0;
};

Exact exactOf(const Decimal& d) {
  std::string text = d.toString();
  Exact e;
  e.negative = text[0] == '-';
  if (e.negative) text.erase(0, 1);
  std::size_t point = text.find('.');
  if (point != std::string::npos) text.erase(point, 1);
  e.mag = trim(text);
  e.scale = d.scale();
  return e;
}

// mag / 10^drop rounded half away from zero (the first dropped digit decides).
std::string roundOff(const std::string& mag, int drop) {
  if (drop <= 0) return shifted(mag, -drop);
  if (static_cast<int>(mag.size()) < drop) return "0";
  std::string kept = mag.substr(0, mag.size() - static_cast<std::size_t>(drop));
  kept = kept.empty() ? "0" : trim(kept);
  return mag[mag.size() - static_cast<std::size_t>(drop)] >= '5' ? addMag(kept, "1") : kept;
}

std::string format(bool negative, const std::string& mag, int scale) {
  std::string digits = mag;
  if (static_cast<int>(digits.size()) <= scale)
    digits.insert(0, static_cast<std::size_t>(scale + 1) - digits.size(), '0');
  if (scale > 0) digits.insert(digits.size() - static_cast<std::size_t>(scale), ".");
  return (negative && mag != "0" ? "-" : "") + digits;
}

// What the arithmetic promises for an exact result: the value at the largest scale from
// maxScale down to minScale that has at most 38 digits, else nothing (an overflow).
template <typename UnitsAt>
std::optional<std::string> promised(bool negative, int maxScale, int minScale, UnitsAt unitsAt) {
  for (int t = maxScale; t >= minScale; --t) {
    std::string units = unitsAt(t);
    if (units.size() <= 38) return format(negative, units, t);
  }
  return std::nullopt;
}

std::optional<std::string> exactResult(const Exact& e) {
  return promised(e.negative, std::min(e.scale, 38), std::min(e.scale, 6),
                  [&](int t) { return roundOff(e.mag, e.scale - t); });
}

std::optional<std::string> referenceSum(const Decimal& a, const Decimal& b) {
  Exact x = exactOf(a);
  Exact y = exactOf(b);
  const int s = std::max(x.scale, y.scale);
  std::string mx = shifted(x.mag, s - x.scale);
  std::string my = shifted(y.mag, s - y.scale);
  Exact sum;
  sum.scale = s;
  if (x.negative == y.negative) {
    sum.mag = addMag(mx, my);
    sum.negative = x.negative;
  } else if (compareMag(mx, my) >= 0) {
    sum.mag = subMag(mx, my);
    sum.negative = x.negative;
  } else {
    sum.mag = subMag(my, mx);
    sum.negative = y.negative;
  }
  return exactResult(sum);
}

std::optional<std::string> referenceProduct(const Decimal& a, const Decimal& b) {
  Exact x = exactOf(a);
  Exact y = exactOf(b);
  Exact p;
  p.negative = x.negative != y.negative;
  p.mag = mulMag(x.mag, y.mag);
  p.scale = x.scale + y.scale;
  return exactResult(p);
}

std::optional<std::string> referenceQuotient(const Decimal& a, const Decimal& b, int scale) {
  Exact x = exactOf(a);
  Exact y = exactOf(b);
  scale = std::min(scale, 38);
  // a / b * 10^t = x.mag * 10^(t + y.scale - x.scale) / y.mag; one more digit decides rounding.
  auto unitsAt = [&](int t) {
    int e = t + 1 + y.scale - x.scale;
    std::string q = e >= 0 ? divMag(shifted(x.mag, e), y.mag) : divMag(x.mag, shifted(y.mag, -e));
    return roundOff(q, 1);
  };
  return promised(x.negative != y.negative, scale, std::min(scale, std::max(x.scale, y.scale)),
                  unitsAt);
}

// ---- rows ----

struct OpRow {
  const char* a;
  const char* b;
  const char* want;  // nullptr: an overflow
};

void checkRows(const char* op, const OpRow* begin, const OpRow* end,
               bool (*attempt)(const Decimal&, const Decimal&, Decimal&),
               Decimal (*apply)(const Decimal&, const Decimal&)) {
  for (const OpRow* r = begin; r != end; ++r) {
    SCOPED_TRACE(std::string(r->a) + " " + op + " " + r->b);
    const Decimal a = Decimal::parse(r->a);
    const Decimal b = Decimal::parse(r->b);
    Decimal out = Decimal(7, 0);
    if (r->want) {
      ASSERT_TRUE(attempt(a, b, out));
      EXPECT_EQ(out.toString(), r->want);
      EXPECT_EQ(apply(a, b).toString(), r->want);
    } else {
      EXPECT_FALSE(attempt(a, b, out));
      try {
        apply(a, b);
        ADD_FAILURE() << "no overflow error";
      } catch (const OverflowError& e) {
        // The message names the operation and its operands.
        EXPECT_NE(std::string(e.what()).find(std::string(" ") + op + " "), std::string::npos)
            << e.what();
        EXPECT_NE(std::string(e.what()).find("more than 38 digits"), std::string::npos);
      }
    }
  }
}

const char* const kMax = "99999999999999999999999999999999999999";

TEST(DecimalArithmeticTest, Sums) {
  const OpRow rows[] = {
      {"1.5", "2.25", "3.75"},
      {"-1.5", "1.50", "0.00"},
      // Rescaled to 37 digits after the point the sum has 39 digits: one is rounded off.
      {"9", "8.1333333333333333333333333333333333333", "17.133333333333333333333333333333333333"},
      {"-9", "-8.1333333333333333333333333333333333337",
       "-17.133333333333333333333333333333333334"},
      {"10000000000000000000000000000000", "0.0000001", "10000000000000000000000000000000.000000"},
      {"100000000000000000000000000000000", "0.0000001", nullptr},
      {kMax, kMax, nullptr},
      {kMax, "1", nullptr},
      {kMax, "0.1", nullptr},  // the first six digits after the point are never given up
      {"-99999999999999999999999999999999999999", "-1", nullptr},
      {kMax, "-99999999999999999999999999999999999999", "0"},
      {"0.00000000000000000000000000000000000001", "-0.00000000000000000000000000000000000001",
       "0.00000000000000000000000000000000000000"},
  };
  checkRows("+", std::begin(rows), std::end(rows), Decimal::tryAdd,
            [](const Decimal& a, const Decimal& b) { return a + b; });
  const OpRow differences[] = {
      {"1.5", "2.25", "-0.75"},
      {kMax, "-1", nullptr},
      {"-99999999999999999999999999999999999999", "1", nullptr},
      {"9", "-8.1333333333333333333333333333333333333", "17.133333333333333333333333333333333333"},
  };
  checkRows("-", std::begin(differences), std::end(differences), Decimal::trySubtract,
            [](const Decimal& a, const Decimal& b) { return a - b; });
}

TEST(DecimalArithmeticTest, Products) {
  const OpRow rows[] = {
      {"1.5", "2.25", "3.375"},
      {"-0.1", "0.1", "-0.01"},
      {"12.50", "3.0000", "37.500000"},
      // Scales adding up past 38: the excess is rounded off, the value stays right.
      {"0.0000000000000000012247448713915890491", "0.0000000000000000012247448713915890491",
       "0.00000000000000000000000000000000000150"},
      {"-0.0000000000000000012247448713915890491", "0.0000000000000000012247448713915890491",
       "-0.00000000000000000000000000000000000150"},
      {"0.00000000000000000000000000000000000001", "0.1",
       "0.00000000000000000000000000000000000000"},
      {"1234567890123456789.0123456789012345678", "9", "11111111011111111101.111111110111111110"},
      // 2^64 * -2^63 is the most negative 128-bit value: 39 digits.
      {"18446744073709551616", "-9223372036854775808", nullptr},
      {"10000000000000000000", "10000000000000000000", nullptr},
      {"9999999999999999999", "10000000000000000000", "99999999999999999990000000000000000000"},
      {kMax, kMax, nullptr},
      {kMax, "0", "0"},
      {"-3", "0.00", "0.00"},
      // A money amount times a quantity keeps all six digits after the point or is refused.
      {"12345678901234567890123456789012.12", "10.0001", nullptr},
  };
  checkRows("*", std::begin(rows), std::end(rows), Decimal::tryMultiply,
            [](const Decimal& a, const Decimal& b) { return a * b; });
}

TEST(DecimalArithmeticTest, Quotients) {
  struct QRow {
    const char* a;
    const char* b;
    int scale;
    const char* want;
  };
  const QRow rows[] = {
      {"1", "3", 6, "0.333333"},
      {"2", "3", 6, "0.666667"},
      {"-2", "3", 6, "-0.666667"},
      {"2", "-3", 0, "-1"},
      {"1", "3", 50, "0.33333333333333333333333333333333333333"},
      {"12345678901234567890123456789", "7", 12, "1763668414462081127160493827.0000000000"},
      {"0.00000000000000000000000000000000000001", kMax, 38,
       "0.00000000000000000000000000000000000000"},
      {"1.00", "0.00000000000000000000000000000003", 6, "33333333333333333333333333333333.333333"},
      // Only the operands' own digits after the point are kept for a large quotient.
      {"9999999999999999999999999999999999.99", "0.3", 6,
       "33333333333333333333333333333333333.300"},
      {"9999999999999999999999999999999999.99", "0.003", 6, nullptr},
      {kMax, "0.00000000000000000000000000000000000001", 6, nullptr},
      {"10000000000000000000000000000000000000", "0.1", 0, nullptr},
  };
  for (const QRow& r : rows) {
    SCOPED_TRACE(std::string(r.a) + " / " + r.b);
    const Decimal a = Decimal::parse(r.a);
    const Decimal b = Decimal::parse(r.b);
    Decimal out;
    if (r.want) {
      ASSERT_TRUE(Decimal::tryDivide(a, b, r.scale, out));
      EXPECT_EQ(out.toString(), r.want);
      EXPECT_EQ(a.dividedBy(b, r.scale).toString(), r.want);
    } else {
      EXPECT_FALSE(Decimal::tryDivide(a, b, r.scale, out));
      EXPECT_THROW(a.dividedBy(b, r.scale), OverflowError);
    }
  }
  Decimal out;
  EXPECT_FALSE(Decimal::tryDivide(Decimal(1, 0), Decimal(0, 2), 6, out));
  try {
    Decimal(1, 0).dividedBy(Decimal(0, 2), 6);
    ADD_FAILURE() << "no error";
  } catch (const OverflowError&) {
    ADD_FAILURE() << "a zero divisor is not an overflow";
  } catch (const ConversionError& e) {
    EXPECT_NE(std::string(e.what()).find("Division by zero"), std::string::npos) << e.what();
  }
}

TEST(DecimalArithmeticTest, ScaleOutsideTheRangeIsRefused) {
  EXPECT_THROW(Decimal(1, 39), ConversionError);
  EXPECT_THROW(Decimal(1, -1), ConversionError);
  EXPECT_EQ(Decimal(-5, 38).scale(), 38);
}

// ---- random operands against the digit-string reference ----

class RandomDecimals {
 public:
  explicit RandomDecimals(unsigned seed) : rng_(seed) {}

  Decimal next() {
    const int length = pick(1, 38);
    std::string digits;
    switch (pick(0, 7)) {
      case 0:
        digits.assign(static_cast<std::size_t>(length), '9');
        break;
      case 1:
        digits = "1" + std::string(static_cast<std::size_t>(length - 1), '0');
        break;
      default:
        for (int i = 0; i < length; ++i)
          digits.push_back(static_cast<char>('0' + pick(0, 9)));
    }
    const int scale = pick(0, 7) == 0 ? 0 : pick(0, 38);
    std::string text = pick(0, 1) ? "-" : "";
    if (scale >= length) {
      text += "0." + std::string(static_cast<std::size_t>(scale - length), '0') + digits;
    } else {
      text += digits.substr(0, static_cast<std::size_t>(length - scale));
      if (scale > 0) text += "." + digits.substr(static_cast<std::size_t>(length - scale));
    }
    return Decimal::parse(text);
  }

  int pick(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng_); }

 private:
  std::mt19937 rng_;
};

template <typename Reference, typename Attempt>
void compareWithReference(const char* op, Reference reference, Attempt attempt) {
  RandomDecimals random(20261208);
  int overflows = 0;
  for (int i = 0; i < 3000; ++i) {
    const Decimal a = random.next();
    const Decimal b = random.next();
    const int scale = random.pick(0, 44);
    std::optional<std::string> want = reference(a, b, scale);
    Decimal out;
    const bool fits = attempt(a, b, scale, out);
    ASSERT_EQ(fits, want.has_value()) << a.toString() << " " << op << " " << b.toString();
    if (fits) {
      ASSERT_EQ(out.toString(), *want) << a.toString() << " " << op << " " << b.toString();
    } else {
      ++overflows;
    }
  }
  // Both outcomes are exercised.
  EXPECT_GT(overflows, 0);
  EXPECT_LT(overflows, 3000);
}

TEST(DecimalArithmeticTest, RandomSumsMatchDigitArithmetic) {
  compareWithReference(
      "+", [](const Decimal& a, const Decimal& b, int) { return referenceSum(a, b); },
      [](const Decimal& a, const Decimal& b, int, Decimal& out) {
        return Decimal::tryAdd(a, b, out);
      });
}

TEST(DecimalArithmeticTest, RandomProductsMatchDigitArithmetic) {
  compareWithReference(
      "*", [](const Decimal& a, const Decimal& b, int) { return referenceProduct(a, b); },
      [](const Decimal& a, const Decimal& b, int, Decimal& out) {
        return Decimal::tryMultiply(a, b, out);
      });
}

TEST(DecimalArithmeticTest, RandomQuotientsMatchDigitArithmetic) {
  compareWithReference(
      "/",
      [](const Decimal& a, const Decimal& b, int scale) -> std::optional<std::string> {
        if (b.isZero()) return std::nullopt;
        return referenceQuotient(a, b, scale);
      },
      [](const Decimal& a, const Decimal& b, int scale, Decimal& out) {
        return Decimal::tryDivide(a, b, scale, out);
      });
}

// ---- the expression language over the same values ----

TEST(DecimalArithmeticTest, ExpressionsNeverWrapAround) {
  FieldDefs fields;
  fields.addDecimal("a", 38, 37);
  fields.addDecimal("Huge", 38, 0);
  fields.addDecimal("Tiny", 38, 38);
  const Row row{Decimal::parse("0.0000000000000000012247448713915890491"), Decimal::parse(kMax),
                Decimal::parse("-0.00000000000000000000000000000000000001")};
  struct Case {
    const char* text;
    bool want;
  };
  const Case cases[] = {
      {"a * a < 0", false},
      {"a * a > 0", true},
      {"a * a = 0.0000000000000000000000000000000000015", true},
      {"-a * a < 0", true},
      {"9 + 8.1333333333333333333333333333333333333 > 17", true},
      {"Huge + Huge > Huge", true},
      {"-Huge - Huge < -Huge", true},
      {"Huge * Huge > Huge", true},
      {"18446744073709551616 * -9223372036854775808 < 0", true},
      {"Huge / Tiny < 0", true},
      {"Tiny * Tiny = 0", true},
      {"Tiny / 3 = 0", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(Expression::parse(c.text, fields).matches(row), c.want);
  }
}

TEST(DecimalArithmeticTest, AggregateOverflowIsNamed) {
  FieldDefs fields;
  fields.addDecimal("Amount", 38, 2);
  const Row big{Decimal::parse("999999999999999999999999999999999999.99")};
  try {
    AggregateExpression::parse("sum(Amount)", fields).compute({&big, &big});
    ADD_FAILURE() << "no error";
  } catch (const OverflowError& e) {
    EXPECT_NE(std::string(e.what()).find("sum(Amount)"), std::string::npos) << e.what();
  }
  // The average of values near the limit is computed exactly while their total fits.
  const Row half{Decimal::parse("499999999999999999999999999999999999.99")};
  Value avg = AggregateExpression::parse("avg(Amount)", fields).compute({&half, &half});
  ASSERT_EQ(avg.type(), DataType::Decimal);
  EXPECT_EQ(avg.decimal().toShortString(), "499999999999999999999999999999999999.99");
}

}  // namespace
}  // namespace vlt
