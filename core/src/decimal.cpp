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

}  // namespace

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
  auto [ptr, ec] = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed);
  if (ec != std::errc()) throw ConversionError("cannot format a double for a decimal");
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
    return ConversionError(std::string(buf, ptr) + " does not fit a decimal of scale " +
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

Decimal Decimal::operator+(const Decimal& other) const {
  int s = scale_ > other.scale_ ? scale_ : other.scale_;
  Int128 a = rescaled(s).units();
  Int128 b = other.rescaled(s).units();
  // Both are within 38 digits, so the sum cannot overflow 128 bits; only the digit limit counts.
  Int128 sum = a + b;
  if (magnitude(sum) > kMaxUnits) {
    throw ConversionError(toString() + " + " + other.toString() + " has more than " +
                          std::to_string(kMaxDigits) + " digits");
  }
  Decimal d;
  d.set(sum, s);
  return d;
}

Decimal Decimal::operator-(const Decimal& other) const {
  return *this + (-other);
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
