#include "vlt/decimal.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <system_error>

#include "vlt/errors.h"

namespace vlt {

namespace {

__extension__ typedef unsigned __int128 UInt128;

constexpr int kMaxScale = Decimal::kMaxDigits;

struct Pow10Table {
  UInt128 v[Decimal::kMaxDigits + 1];
  constexpr Pow10Table() : v() {
    v[0] = 1;
    for (int i = 1; i <= Decimal::kMaxDigits; ++i)
      v[i] = v[i - 1] * 10;
  }
};
constexpr Pow10Table kPow10;

// Largest magnitude a Decimal holds: 38 nines.
constexpr UInt128 kMaxUnits = kPow10.v[Decimal::kMaxDigits] - 1;

UInt128 magnitude(Int128 v) {
  return v < 0 ? UInt128(0) - static_cast<UInt128>(v) : static_cast<UInt128>(v);
}

Int128 withSign(UInt128 mag, bool negative) {
  return negative ? -static_cast<Int128>(mag) : static_cast<Int128>(mag);
}

bool isBlank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

std::string_view trimBlanks(std::string_view s) {
  while (!s.empty() && isBlank(s.front()))
    s.remove_prefix(1);
  while (!s.empty() && isBlank(s.back()))
    s.remove_suffix(1);
  return s;
}

enum class ParseResult { kOk, kMalformed, kTooManyDigits };

// Plain decimal text only: optional sign, digits, optional point and digits. No exponent, no
// grouping, no locale. Runs on every numeric cell of a loaded packet, so it stays allocation-free.
ParseResult parseText(std::string_view text, UInt128& mag, bool& negative, int& scale) {
  std::string_view s = trimBlanks(text);
  const char* p = s.data();
  const char* const end = p + s.size();
  negative = false;
  if (p != end && (*p == '+' || *p == '-')) {
    negative = *p == '-';
    ++p;
  }
  // Up to 19 digits fit a uint64 whatever they are; the rest go to 128 bits.
  std::uint64_t small = 0;
  UInt128 big = 0;
  int significant = 0;  // digits counted after leading zeros
  int digits = 0;       // all digits seen
  int fraction = 0;
  bool seenPoint = false;
  for (; p != end; ++p) {
    char c = *p;
    if (c >= '0' && c <= '9') {
      ++digits;
      if (seenPoint) ++fraction;
      unsigned d = static_cast<unsigned>(c - '0');
      if (significant == 0 && d == 0) continue;
      ++significant;
      if (significant <= 19) {
        small = small * 10 + d;
      } else if (significant <= Decimal::kMaxDigits) {
        if (significant == 20) big = small;
        big = big * 10 + d;
      }
    } else if (c == '.' && !seenPoint) {
      seenPoint = true;
    } else {
      return ParseResult::kMalformed;
    }
  }
  if (digits == 0) return ParseResult::kMalformed;
  if (significant > Decimal::kMaxDigits || fraction > kMaxScale) {
    return ParseResult::kTooManyDigits;
  }
  mag = significant <= 19 ? UInt128(small) : big;
  scale = fraction;
  return ParseResult::kOk;
}

[[noreturn]] void throwInvalid(std::string_view text) {
  throw ConversionError("'" + std::string(text) + "' is not a valid decimal number");
}

void checkScale(int scale) {
  if (scale < 0 || scale > kMaxScale) {
    throw ConversionError("decimal scale " + std::to_string(scale) + " is outside 0.." +
                          std::to_string(kMaxScale));
  }
}

// Writes the digits of `mag` backwards ending at `end`; returns the first digit.
char* writeDigits(UInt128 mag, char* end) {
  char* p = end;
  // Peel 19 digits at a time so most of the work is 64-bit division.
  constexpr std::uint64_t kChunk = 10000000000000000000ULL;
  while (mag >= kChunk) {
    auto chunk = static_cast<std::uint64_t>(mag % kChunk);
    mag /= kChunk;
    for (int i = 0; i < 19; ++i) {
      *--p = static_cast<char>('0' + chunk % 10);
      chunk /= 10;
    }
  }
  auto rest = static_cast<std::uint64_t>(mag);
  do {
    *--p = static_cast<char>('0' + rest % 10);
    rest /= 10;
  } while (rest != 0);
  return p;
}

// Fixed text of a decimal into buf (at least 42 bytes); returns its length.
std::size_t formatFixed(Int128 units, int scale, char* buf) {
  char digits[48];
  char* const dend = digits + sizeof digits;
  char* dbeg = writeDigits(magnitude(units), dend);
  // At least one digit before the point.
  while (dend - dbeg < scale + 1)
    *--dbeg = '0';
  char* out = buf;
  if (units < 0) *out++ = '-';
  std::size_t intLen = static_cast<std::size_t>(dend - dbeg - scale);
  std::memcpy(out, dbeg, intLen);
  out += intLen;
  if (scale > 0) {
    *out++ = '.';
    std::memcpy(out, dbeg + intLen, static_cast<std::size_t>(scale));
    out += scale;
  }
  return static_cast<std::size_t>(out - buf);
}

// An unsigned 384-bit integer in 64-bit limbs, least significant first: room for the exact
// intermediate of any operation on two decimals, the widest being a 38-digit dividend times
// 10^76 (below 2^379).
class Wide {
 public:
  static constexpr int kLimbs = 6;

  Wide() = default;
  explicit Wide(UInt128 v) {
    limb_[0] = static_cast<std::uint64_t>(v);
    limb_[1] = static_cast<std::uint64_t>(v >> 64);
  }

  bool isZero() const {
    for (std::uint64_t l : limb_)
      if (l != 0) return false;
    return true;
  }

  // The value when it fits 128 bits.
  bool narrow(UInt128& out) const {
    for (int i = 2; i < kLimbs; ++i)
      if (limb_[i] != 0) return false;
    out = (static_cast<UInt128>(limb_[1]) << 64) | limb_[0];
    return true;
  }

  // *= m; false when the product would not fit (the callers stay far below).
  bool multiply(std::uint64_t m) {
    UInt128 carry = 0;
    for (std::uint64_t& l : limb_) {
      UInt128 t = static_cast<UInt128>(l) * m + carry;
      l = static_cast<std::uint64_t>(t);
      carry = t >> 64;
    }
    return carry == 0;
  }

  bool multiply(UInt128 m) {
    Wide high = *this;
    if (!multiply(static_cast<std::uint64_t>(m))) return false;
    if (!high.multiply(static_cast<std::uint64_t>(m >> 64)) || high.limb_[kLimbs - 1] != 0)
      return false;
    for (int i = kLimbs - 1; i > 0; --i)
      high.limb_[i] = high.limb_[i - 1];
    high.limb_[0] = 0;
    return add(high);
  }

  bool multiplyPow10(int n) {
    for (; n > 0; n -= 19) {
      if (!multiply(static_cast<std::uint64_t>(kPow10.v[n < 19 ? n : 19]))) return false;
    }
    return true;
  }

  bool add(const Wide& o) {
    std::uint64_t carry = 0;
    for (int i = 0; i < kLimbs; ++i) {
      UInt128 t = static_cast<UInt128>(limb_[i]) + o.limb_[i] + carry;
      limb_[i] = static_cast<std::uint64_t>(t);
      carry = static_cast<std::uint64_t>(t >> 64);
    }
    return carry == 0;
  }

  // *this -= o, for o <= *this.
  void subtract(const Wide& o) {
    std::uint64_t borrow = 0;
    for (int i = 0; i < kLimbs; ++i) {
      std::uint64_t a = limb_[i];
      std::uint64_t d = a - o.limb_[i] - borrow;
      borrow = (a < o.limb_[i] || (a == o.limb_[i] && borrow)) ? 1 : 0;
      limb_[i] = d;
    }
  }

  static int compare(const Wide& a, const Wide& b) {
    for (int i = kLimbs - 1; i >= 0; --i) {
      if (a.limb_[i] != b.limb_[i]) return a.limb_[i] < b.limb_[i] ? -1 : 1;
    }
    return 0;
  }

  // Quotient and remainder of n / d (d not zero): bit by bit, as only results that do not
  // fit 128 bits come this way.
  static void divide(const Wide& n, const Wide& d, Wide& quotient, Wide& remainder) {
    quotient = Wide();
    remainder = Wide();
    for (int bit = kLimbs * 64 - 1; bit >= 0; --bit) {
      remainder.shiftLeftOne();
      remainder.limb_[0] |= (n.limb_[bit / 64] >> (bit % 64)) & 1;
      if (compare(remainder, d) >= 0) {
        remainder.subtract(d);
        quotient.limb_[bit / 64] |= std::uint64_t(1) << (bit % 64);
      }
    }
  }

  int digits() const {
    Wide rest = *this;
    int n = 0;
    UInt128 small = 0;
    while (!rest.narrow(small)) {
      rest.divideBy(static_cast<std::uint64_t>(kPow10.v[19]));
      n += 19;
    }
    while (small != 0) {
      small /= 10;
      ++n;
    }
    return n;
  }

 private:
  void shiftLeftOne() {
    for (int i = kLimbs - 1; i > 0; --i)
      limb_[i] = (limb_[i] << 1) | (limb_[i - 1] >> 63);
    limb_[0] <<= 1;
  }

  void divideBy(std::uint64_t d) {
    UInt128 rem = 0;
    for (int i = kLimbs - 1; i >= 0; --i) {
      UInt128 cur = (rem << 64) | limb_[i];
      limb_[i] = static_cast<std::uint64_t>(cur / d);
      rem = cur % d;
    }
  }

  std::uint64_t limb_[kLimbs] = {};
};

// The exact value n / d / 10^scale (d not zero, scale may be negative) as a decimal with at
// most maxScale digits after the point, rounded half away from zero. Digits after the point
// are given up only as far as needed to fit 38 digits, and never below minScale.
bool fitExact(const Wide& n, const Wide& d, int scale, bool negative, int maxScale, int minScale,
              Decimal& out) {
  for (int t = maxScale; t >= minScale;) {
    Wide num = n;
    Wide den = d;
    if (!(t >= scale ? num.multiplyPow10(t - scale) : den.multiplyPow10(scale - t))) return false;
    Wide q;
    Wide r;
    Wide::divide(num, den, q, r);
    Wide rest = den;
    rest.subtract(r);
    if (Wide::compare(r, rest) >= 0 && !q.add(Wide(1))) return false;
    UInt128 units = 0;
    if (q.narrow(units) && units <= kMaxUnits) {
      out = Decimal::fromUnits(withSign(units, negative), t);
      return true;
    }
    t -= q.digits() - Decimal::kMaxDigits;  // rounding may carry: then once more
  }
  return false;
}

// Digits after the point that a result keeps whatever its size: enough for money and
// quantities, which then are exact or refused, never rounded.
constexpr int kKeptScale = 6;

int keptScale(int scale) {
  return scale < kKeptScale ? scale : kKeptScale;
}

// Magnitude at a larger scale, when it fits 38 digits.
bool scaleUp(UInt128& mag, int by) {
  if (by == 0) return true;
  const UInt128 factor = kPow10.v[by];
  if (mag > kMaxUnits / factor) return false;
  mag *= factor;
  return true;
}

[[noreturn]] void throwOverflow(const Decimal& a, const char* op, const Decimal& b) {
  throw OverflowError("Decimal overflow: " + a.toString() + " " + op + " " + b.toString() +
                      " has more than " + std::to_string(Decimal::kMaxDigits) + " digits");
}

}  // namespace

void Decimal::throwBadScale(int scale) {
  checkScale(scale);
  throw ConversionError("decimal scale " + std::to_string(scale) + " is invalid");
}

bool Decimal::tryAdd(const Decimal& a, const Decimal& b, Decimal& out) {
  const int s = a.scale_ > b.scale_ ? a.scale_ : b.scale_;
  const Int128 ua = a.units();
  const Int128 ub = b.units();
  UInt128 ma = magnitude(ua);
  UInt128 mb = magnitude(ub);
  const bool negA = ua < 0;
  const bool negB = ub < 0;
  if (scaleUp(ma, s - a.scale_) && scaleUp(mb, s - b.scale_)) {
    // Both below 10^38, so neither the sum (below 2^128) nor the difference wraps.
    UInt128 mag = 0;
    bool negative = false;
    if (negA == negB) {
      mag = ma + mb;
      negative = negA;
    } else if (ma >= mb) {
      mag = ma - mb;
      negative = negA;
    } else {
      mag = mb - ma;
      negative = negB;
    }
    if (mag <= kMaxUnits) {
      out.set(withSign(mag, negative), s);
      return true;
    }
  }
  Wide wa(magnitude(ua));
  Wide wb(magnitude(ub));
  if (!wa.multiplyPow10(s - a.scale_) || !wb.multiplyPow10(s - b.scale_)) return false;
  bool negative = negA;
  if (negA == negB) {
    if (!wa.add(wb)) return false;
  } else if (Wide::compare(wa, wb) >= 0) {
    wa.subtract(wb);
  } else {
    wb.subtract(wa);
    wa = wb;
    negative = negB;
  }
  return fitExact(wa, Wide(1), s, negative, s, keptScale(s), out);
}

bool Decimal::trySubtract(const Decimal& a, const Decimal& b, Decimal& out) {
  return tryAdd(a, -b, out);
}

bool Decimal::tryMultiply(const Decimal& a, const Decimal& b, Decimal& out) {
  const Int128 ua = a.units();
  const Int128 ub = b.units();
  const UInt128 ma = magnitude(ua);
  const UInt128 mb = magnitude(ub);
  const bool negative = (ua < 0) != (ub < 0);
  const int s = a.scale_ + b.scale_;
  constexpr UInt128 k64 = UInt128(1) << 64;
  if (ma < k64 && mb < k64 && s <= kMaxScale) {
    const UInt128 mag = ma * mb;  // two 64-bit factors: no wrap
    if (mag <= kMaxUnits) {
      out.set(withSign(mag, negative), s);
      return true;
    }
  }
  Wide product(ma);
  if (!product.multiply(mb)) return false;
  return fitExact(product, Wide(1), s, negative, s < kMaxScale ? s : kMaxScale, keptScale(s), out);
}

bool Decimal::tryDivide(const Decimal& a, const Decimal& b, int scale, Decimal& out) {
  if (b.isZero() || scale < 0) return false;
  if (scale > kMaxScale) scale = kMaxScale;
  const Int128 ua = a.units();
  const Int128 ub = b.units();
  const UInt128 ma = magnitude(ua);
  const UInt128 mb = magnitude(ub);
  const bool negative = (ua < 0) != (ub < 0);
  // a / b = ma / mb / 10^(a.scale - b.scale); at `scale` digits that is
  // ma * 10^shift / mb rounded.
  const int shift = scale + b.scale_ - a.scale_;
  UInt128 n = ma;
  if (shift >= 0 && shift <= kMaxScale && scaleUp(n, shift)) {
    UInt128 q = n / mb;
    const UInt128 r = n % mb;
    if (r >= mb - r) ++q;
    if (q <= kMaxUnits) {
      out.set(withSign(q, negative), scale);
      return true;
    }
  }
  // A quotient is rounded anyway; it keeps at least the digits after the point of its operands.
  const int operandScale = a.scale_ > b.scale_ ? a.scale_ : b.scale_;
  return fitExact(Wide(ma), Wide(mb), a.scale_ - b.scale_, negative, scale,
                  scale < operandScale ? scale : operandScale, out);
}

Decimal Decimal::operator+(const Decimal& other) const {
  Decimal r;
  if (!tryAdd(*this, other, r)) throwOverflow(*this, "+", other);
  return r;
}

Decimal Decimal::operator-(const Decimal& other) const {
  Decimal r;
  if (!trySubtract(*this, other, r)) throwOverflow(*this, "-", other);
  return r;
}

Decimal Decimal::operator*(const Decimal& other) const {
  Decimal r;
  if (!tryMultiply(*this, other, r)) throwOverflow(*this, "*", other);
  return r;
}

Decimal Decimal::dividedBy(const Decimal& divisor, int scale) const {
  if (scale < 0) checkScale(scale);
  if (divisor.isZero()) throw ConversionError("Division by zero: " + toString() + " / 0");
  Decimal r;
  if (!tryDivide(*this, divisor, scale, r)) throwOverflow(*this, "/", divisor);
  return r;
}

bool Decimal::tryParse(std::string_view text, Decimal& out) {
  UInt128 mag = 0;
  bool negative = false;
  int scale = 0;
  if (parseText(text, mag, negative, scale) != ParseResult::kOk) return false;
  out.set(withSign(mag, negative), scale);
  return true;
}

Decimal Decimal::parse(std::string_view text) {
  UInt128 mag = 0;
  bool negative = false;
  int scale = 0;
  switch (parseText(text, mag, negative, scale)) {
    case ParseResult::kOk:
      break;
    case ParseResult::kMalformed:
      throwInvalid(text);
    case ParseResult::kTooManyDigits:
      throw ConversionError("'" + std::string(text) + "' has more than " +
                            std::to_string(kMaxDigits) + " digits");
  }
  Decimal d;
  d.set(withSign(mag, negative), scale);
  return d;
}

Decimal Decimal::fromDouble(double value, int scale) {
  checkScale(scale);
  if (!std::isfinite(value)) {
    throw ConversionError("a non-finite number cannot become a decimal");
  }
  // Shortest round-trip text in fixed notation: 2.675 stays "2.675" rather than its binary
  // neighbour 2.67499999..., so the rounding below is the one a person expects.
  char buf[400];
  const std::to_chars_result written =
      std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed);
  if (written.ec != std::errc()) throw ConversionError("cannot format a double for a decimal");
  const char* const ptr = written.ptr;
  const char* p = buf;
  bool negative = false;
  if (p != ptr && *p == '-') {
    negative = true;
    ++p;
  }
  const char* point =
      static_cast<const char*>(std::memchr(p, '.', static_cast<std::size_t>(ptr - p)));
  const char* intEnd = point ? point : ptr;
  const char* fracBeg = point ? point + 1 : ptr;
  auto tooLarge = [&]() -> ConversionError {
    return ConversionError(std::string(buf, written.ptr) + " does not fit a decimal of scale " +
                           std::to_string(scale));
  };
  UInt128 mag = 0;
  int significant = 0;
  auto push = [&](char c) {
    unsigned d = static_cast<unsigned>(c - '0');
    if (significant == 0 && d == 0) return true;
    if (++significant > kMaxDigits) return false;
    mag = mag * 10 + d;
    return true;
  };
  for (const char* q = p; q != intEnd; ++q) {
    if (!push(*q)) throw tooLarge();
  }
  const char* q = fracBeg;
  for (int i = 0; i < scale; ++i) {
    char c = q < ptr ? *q++ : '0';
    if (!push(c)) throw tooLarge();
  }
  if (q < ptr && *q >= '5') {
    ++mag;
    if (mag > kMaxUnits) throw tooLarge();
  }
  Decimal d;
  d.set(withSign(mag, negative), scale);
  return d;
}

Decimal Decimal::fromUnits(Int128 units, int scale) {
  checkScale(scale);
  if (magnitude(units) > kMaxUnits) {
    throw ConversionError("decimal value has more than " + std::to_string(kMaxDigits) + " digits");
  }
  Decimal d;
  d.set(units, scale);
  return d;
}

Decimal Decimal::rescaled(int scale) const {
  checkScale(scale);
  int from = scale_;
  if (scale == from) return *this;
  Int128 u = units();
  UInt128 mag = magnitude(u);
  if (scale > from) {
    UInt128 factor = kPow10.v[scale - from];
    if (mag > kMaxUnits / factor) {
      throw ConversionError(toString() + " does not fit a decimal of scale " +
                            std::to_string(scale));
    }
    mag *= factor;
  } else {
    UInt128 divisor = kPow10.v[from - scale];
    UInt128 rem = mag % divisor;
    mag /= divisor;
    // Half away from zero: work on the magnitude, put the sign back afterwards.
    if (rem * 2 >= divisor) ++mag;
    if (mag > kMaxUnits) {
      throw ConversionError(toString() + " does not fit a decimal of scale " +
                            std::to_string(scale));
    }
  }
  Decimal d;
  d.set(withSign(mag, u < 0), scale);
  return d;
}

int Decimal::integerDigits() const {
  UInt128 whole = magnitude(units()) / kPow10.v[scale_];
  int n = 0;
  while (n <= kMaxDigits && whole >= kPow10.v[n])
    ++n;
  return n;
}

std::string Decimal::toString() const {
  char buf[48];
  return std::string(buf, formatFixed(units(), scale_, buf));
}

std::string Decimal::toShortString() const {
  char buf[48];
  std::size_t n = formatFixed(units(), scale_, buf);
  if (scale_ > 0) {
    while (buf[n - 1] == '0')
      --n;
    if (buf[n - 1] == '.') --n;
  }
  // "-0.00" cannot occur: a zero has no sign, so nothing to strip here.
  return std::string(buf, n);
}

double Decimal::toDouble() const {
  Int128 u = units();
  UInt128 mag = magnitude(u);
  // Both operands exact doubles and one IEEE division: correctly rounded.
  constexpr UInt128 kExactInt = UInt128(1) << 53;
  if (mag <= kExactInt && scale_ <= 22) {
    double v = static_cast<double>(static_cast<std::uint64_t>(mag)) /
               static_cast<double>(static_cast<std::uint64_t>(kPow10.v[scale_]));
    return u < 0 ? -v : v;
  }
  char buf[48];
  std::size_t n = formatFixed(u, scale_, buf);
  double v = 0;
  std::from_chars(buf, buf + n, v);
  return v;
}

std::int64_t Decimal::toInt64() const {
  Int128 whole = units() / static_cast<Int128>(kPow10.v[scale_]);
  if (whole > INT64_MAX || whole < INT64_MIN) {
    throw ConversionError(toString() + " is outside the 64-bit integer range");
  }
  return static_cast<std::int64_t>(whole);
}

Decimal Decimal::operator-() const {
  Decimal d;
  d.set(-units(), scale_);
  return d;
}

int Decimal::compare(const Decimal& a, const Decimal& b) {
  Int128 ua = a.units();
  Int128 ub = b.units();
  if (a.scale_ == b.scale_) return ua < ub ? -1 : (ua > ub ? 1 : 0);
  // Compare whole parts first, then the fractions at the common scale; scaling the whole value
  // up could overflow, the fraction alone cannot.
  Int128 pa = static_cast<Int128>(kPow10.v[a.scale_]);
  Int128 pb = static_cast<Int128>(kPow10.v[b.scale_]);
  Int128 ia = ua / pa;
  Int128 ib = ub / pb;
  if (ia != ib) return ia < ib ? -1 : 1;
  int s = a.scale_ > b.scale_ ? a.scale_ : b.scale_;
  Int128 fa = (ua % pa) * static_cast<Int128>(kPow10.v[s - a.scale_]);
  Int128 fb = (ub % pb) * static_cast<Int128>(kPow10.v[s - b.scale_]);
  return fa < fb ? -1 : (fa > fb ? 1 : 0);
}

}  // namespace vlt
