#pragma once
// Exact fixed-point decimal: a 128-bit unscaled integer and a scale (digits after the point).
// Holds up to 38 significant digits, enough for the widest column (25 digits).

#include <compare>
#include <cstdint>
#include <string>
#include <string_view>

namespace vlt {

__extension__ typedef __int128 Int128;

class Decimal {
 public:
  static constexpr int kMaxDigits = 38;

  Decimal() = default;
  // Throws ConversionError for a scale outside 0..38.
  Decimal(std::int64_t units, int scale) {
    if (scale < 0 || scale > kMaxDigits) throwBadScale(scale);
    set(units, scale);
  }

  // Parses "-12.3400", "+5", ".5", "1e3" is refused. Throws ConversionError.
  static Decimal parse(std::string_view text);
  // Non-throwing parse; false when the text is not a plain decimal number.
  static bool tryParse(std::string_view text, Decimal& out);
  // The double's shortest exact text, rounded half away from zero to `scale` digits.
  static Decimal fromDouble(double value, int scale);

  Int128 units() const { return (static_cast<Int128>(hi_) << 64) | static_cast<Int128>(lo_); }
  int scale() const { return scale_; }
  bool isZero() const { return lo_ == 0 && hi_ == 0; }
  bool isNegative() const { return hi_ < 0; }

  // Same value at another scale, rounding half away from zero when digits are dropped.
  // Throws ConversionError when the result does not fit.
  Decimal rescaled(int scale) const;
  // Number of digits before the point (0 for |x| < 1).
  int integerDigits() const;

  // Text with exactly scale() digits after the point ("23.4000").
  std::string toString() const;
  // Text without trailing zeros after the point ("23.4", "5", "0").
  std::string toShortString() const;
  double toDouble() const;
  // Integer part, truncated toward zero. Throws ConversionError when out of 64-bit range.
  std::int64_t toInt64() const;

  // Arithmetic keeps every digit of the exact result that fits 38. A result with more digits
  // loses digits after the point, rounded half away from zero, as far as needed but never within
  // the first six (as a database rounds a product's excess scale); one that still does not fit
  // throws OverflowError naming the operation and its operands.
  Decimal operator+(const Decimal& other) const;
  Decimal operator-(const Decimal& other) const;
  Decimal operator*(const Decimal& other) const;
  Decimal operator-() const;
  // The quotient with `scale` digits after the point (at most 38). One with more than 38 digits
  // gives up digits after the point as far as needed, keeping at least as many as the operands
  // have. Throws ConversionError for a zero divisor, OverflowError for a quotient that does not
  // fit.
  Decimal dividedBy(const Decimal& divisor, int scale) const;

  // The same without throwing: false when the result does not fit or the divisor is zero.
  static bool tryAdd(const Decimal& a, const Decimal& b, Decimal& out);
  static bool trySubtract(const Decimal& a, const Decimal& b, Decimal& out);
  static bool tryMultiply(const Decimal& a, const Decimal& b, Decimal& out);
  static bool tryDivide(const Decimal& a, const Decimal& b, int scale, Decimal& out);

  friend bool operator==(const Decimal& a, const Decimal& b) { return compare(a, b) == 0; }
  friend std::strong_ordering operator<=>(const Decimal& a, const Decimal& b) {
    int c = compare(a, b);
    return c < 0 ? std::strong_ordering::less
                 : (c > 0 ? std::strong_ordering::greater : std::strong_ordering::equal);
  }
  static int compare(const Decimal& a, const Decimal& b);

  static Decimal fromUnits(Int128 units, int scale);

 private:
  [[noreturn]] static void throwBadScale(int scale);
  void set(Int128 units, int scale) {
    lo_ = static_cast<std::uint64_t>(units);
    hi_ = static_cast<std::int64_t>(units >> 64);
    scale_ = static_cast<std::uint8_t>(scale);
  }
  std::uint64_t lo_ = 0;
  std::int64_t hi_ = 0;
  std::uint8_t scale_ = 0;
};

}  // namespace vlt
