#pragma once
// Low-level text helpers of the JSON codec: UTF-8 checks, the byte scan for plain string runs,
// and allocation-free formatting and parsing of calendar values and decimals. Private to
// json.cpp; kept apart so the hot loops stay small and readable.

#include <charconv>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "vlt/decimal.h"

namespace vlt::jsontext {

__extension__ typedef unsigned __int128 UInt128;

inline bool isDigit(char c) {
  return c >= '0' && c <= '9';
}

// True when any of the eight bytes of `w` ends a plain run inside a JSON string: a quote, a
// backslash, a control character or a byte of a multi-byte UTF-8 sequence.
inline bool hasSpecialByte(std::uint64_t w) {
  constexpr std::uint64_t kOnes = 0x0101010101010101ULL;
  constexpr std::uint64_t kHigh = 0x8080808080808080ULL;
  auto hasZero = [](std::uint64_t v) { return ((v - kOnes) & ~v & kHigh) != 0; };
  if ((w & kHigh) != 0) return true;
  // With no high bits set, (w - 0x20..) borrows into a high bit exactly for bytes below 0x20.
  if (((w - kOnes * 0x20) & kHigh) != 0) return true;
  return hasZero(w ^ (kOnes * '"')) || hasZero(w ^ (kOnes * '\\'));
}

// 1 for the bytes that continue a plain run in a JSON string: printable ASCII other than the
// quote and the backslash.
struct PlainTable {
  unsigned char plain[256] = {};
  constexpr PlainTable() {
    for (int c = 0x20; c < 0x80; ++c)
      plain[c] = c != '"' && c != '\\';
  }
};
inline constexpr PlainTable kPlain{};

inline bool isPlain(char c) {
  return kPlain.plain[static_cast<unsigned char>(c)] != 0;
}

inline std::uint64_t load8(const char* p) {
  std::uint64_t w;
  std::memcpy(&w, p, sizeof w);
  return w;
}

// The end of the well-formed UTF-8 sequence starting at the non-ASCII byte `s`, or nullptr.
// Overlong forms, surrogates and code points above U+10FFFF are refused.
inline const char* utf8Next(const char* s, const char* end) {
  auto byte = [](const char* p) { return static_cast<unsigned char>(*p); };
  auto cont = [&](const char* p) { return p < end && (byte(p) & 0xC0) == 0x80; };
  unsigned char c = byte(s);
  if (c >= 0xC2 && c <= 0xDF) return cont(s + 1) ? s + 2 : nullptr;
  if (c >= 0xE0 && c <= 0xEF) {
    if (s + 1 >= end) return nullptr;
    unsigned char c1 = byte(s + 1);
    unsigned char lo = c == 0xE0 ? 0xA0 : 0x80;
    unsigned char hi = c == 0xED ? 0x9F : 0xBF;
    if (c1 < lo || c1 > hi) return nullptr;
    return cont(s + 2) ? s + 3 : nullptr;
  }
  if (c >= 0xF0 && c <= 0xF4) {
    if (s + 1 >= end) return nullptr;
    unsigned char c1 = byte(s + 1);
    unsigned char lo = c == 0xF0 ? 0x90 : 0x80;
    unsigned char hi = c == 0xF4 ? 0x8F : 0xBF;
    if (c1 < lo || c1 > hi) return nullptr;
    return cont(s + 2) && cont(s + 3) ? s + 4 : nullptr;
  }
  return nullptr;
}

inline void appendUtf8(std::string& out, std::uint32_t cp) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

// ---- Calendar arithmetic (proleptic Gregorian, days since 1970-01-01) ----

inline std::int64_t daysFromCivil(int year, int month, int day) {
  std::int64_t y = year - (month <= 2 ? 1 : 0);
  std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  std::int64_t yoe = y - era * 400;
  std::int64_t mp = month > 2 ? month - 3 : month + 9;
  std::int64_t doy = (153 * mp + 2) / 5 + day - 1;
  std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

inline void civilFromDays(std::int64_t z, std::int64_t& year, int& month, int& day) {
  z += 719468;
  std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  std::int64_t doe = z - era * 146097;
  std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  std::int64_t mp = (5 * doy + 2) / 153;
  day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  year = yoe + era * 400 + (month <= 2 ? 1 : 0);
}

inline int daysInMonth(int year, int month) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return month == 2 && leap ? 29 : kDays[month - 1];
}

inline bool digits(std::string_view s, std::size_t at, std::size_t count, int& out) {
  int v = 0;
  for (std::size_t i = at; i < at + count; ++i) {
    if (!isDigit(s[i])) return false;
    v = v * 10 + (s[i] - '0');
  }
  out = v;
  return true;
}

// Exactly "YYYY-MM-DD" with a real date; anything else is left to Date::tryParse.
inline bool fastDate(std::string_view s, std::int64_t& days) {
  int y, m, d;
  if (s.size() != 10 || s[4] != '-' || s[7] != '-') return false;
  if (!digits(s, 0, 4, y) || !digits(s, 5, 2, m) || !digits(s, 8, 2, d)) return false;
  if (y < 1 || m < 1 || m > 12 || d < 1 || d > daysInMonth(y, m)) return false;
  days = daysFromCivil(y, m, d);
  return true;
}

// Exactly "HH:MM:SS"; anything else is left to Time::tryParse.
inline bool fastTime(std::string_view s, std::int32_t& seconds) {
  int h, m, sec;
  if (s.size() != 8 || s[2] != ':' || s[5] != ':') return false;
  if (!digits(s, 0, 2, h) || !digits(s, 3, 2, m) || !digits(s, 6, 2, sec)) return false;
  if (h > 23 || m > 59 || sec > 59) return false;
  seconds = h * 3600 + m * 60 + sec;
  return true;
}

// Exactly "YYYY-MM-DD HH:MM:SS"; anything else is left to DateTime::tryParse.
inline bool fastDateTime(std::string_view s, std::int64_t& seconds) {
  std::int64_t days;
  std::int32_t secs;
  if (s.size() != 19 || s[10] != ' ') return false;
  if (!fastDate(s.substr(0, 10), days) || !fastTime(s.substr(11), secs)) return false;
  seconds = days * 86400 + secs;
  return true;
}

inline char* put2(char* p, int v) {
  p[0] = static_cast<char>('0' + v / 10);
  p[1] = static_cast<char>('0' + v % 10);
  return p + 2;
}

// "YYYY-MM-DD" into p (10 bytes); false when the year is outside 1..9999.
inline bool formatDate(char* p, std::int64_t days) {
  std::int64_t y;
  int m, d;
  civilFromDays(days, y, m, d);
  if (y < 1 || y > 9999) return false;
  int year = static_cast<int>(y);
  p = put2(p, year / 100);
  p = put2(p, year % 100);
  *p++ = '-';
  p = put2(p, m);
  *p++ = '-';
  put2(p, d);
  return true;
}

// "HH:MM:SS" into p (8 bytes); false outside one day.
inline bool formatTime(char* p, std::int64_t seconds) {
  if (seconds < 0 || seconds >= 86400) return false;
  int s = static_cast<int>(seconds);
  p = put2(p, s / 3600);
  *p++ = ':';
  p = put2(p, s / 60 % 60);
  *p++ = ':';
  put2(p, s % 60);
  return true;
}

// ---- Decimals ----

inline constexpr std::int64_t kPow10[19] = {1,
                                            10,
                                            100,
                                            1000,
                                            10000,
                                            100000,
                                            1000000,
                                            10000000,
                                            100000000,
                                            1000000000,
                                            10000000000,
                                            100000000000,
                                            1000000000000,
                                            10000000000000,
                                            100000000000000,
                                            1000000000000000,
                                            10000000000000000,
                                            100000000000000000,
                                            1000000000000000000};

// 10^n for n in 0..38.
inline UInt128 pow10u(int n) {
  struct Table {
    UInt128 v[39] = {};
    constexpr Table() {
      v[0] = 1;
      for (int i = 1; i < 39; ++i)
        v[i] = v[i - 1] * 10;
    }
  };
  static constexpr Table kTable{};
  return kTable.v[n];
}

inline UInt128 magnitude(Int128 v) {
  return v < 0 ? UInt128(0) - static_cast<UInt128>(v) : static_cast<UInt128>(v);
}

// "-123.45" with at most 18 digits in all; anything else is left to Decimal::tryParse.
inline bool fastDecimal(std::string_view s, std::int64_t& units, int& scale) {
  std::size_t i = 0;
  bool neg = false;
  if (i < s.size() && s[i] == '-') {
    neg = true;
    ++i;
  }
  std::int64_t v = 0;
  int count = 0;
  std::size_t start = i;
  while (i < s.size() && isDigit(s[i])) {
    if (++count > 18) return false;
    v = v * 10 + (s[i++] - '0');
  }
  if (i == start) return false;
  int frac = 0;
  if (i < s.size() && s[i] == '.') {
    ++i;
    std::size_t fracStart = i;
    while (i < s.size() && isDigit(s[i])) {
      if (++count > 18) return false;
      v = v * 10 + (s[i++] - '0');
    }
    if (i == fracStart) return false;
    frac = static_cast<int>(i - fracStart);
  }
  if (i != s.size()) return false;
  units = neg ? -v : v;
  scale = frac;
  return true;
}

// Decimal::toString()'s form: sign, at least one integer digit, the point and exactly scale
// digits. Writes into p (at least 42 bytes for scales up to 38) and returns the end.
inline char* formatDecimal(char* p, Int128 units, int scale) {
  static constexpr char kPairs[] =
      "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
      "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
      "8081828384858687888990919293949596979899";
  const bool neg = units < 0;
  UInt128 m = neg ? UInt128(0) - static_cast<UInt128>(units) : static_cast<UInt128>(units);
  if (m <= UINT64_MAX && scale <= 18) {
    // The usual case: integer part by to_chars, then the fraction two digits at a time.
    const std::uint64_t v = static_cast<std::uint64_t>(m);
    const std::uint64_t pow = static_cast<std::uint64_t>(kPow10[scale]);
    std::uint64_t frac = v % pow;
    if (neg) *p++ = '-';
    p = std::to_chars(p, p + 20, v / pow).ptr;
    if (scale == 0) return p;
    *p++ = '.';
    char* end = p + scale;
    char* w = end;
    int left = scale;
    for (; left >= 2; left -= 2) {
      w -= 2;
      std::memcpy(w, kPairs + (frac % 100) * 2, 2);
      frac /= 100;
    }
    if (left == 1) *--w = static_cast<char>('0' + frac);
    return end;
  }
  char digits[48];
  char* e;
  if (m <= UINT64_MAX) {
    e = std::to_chars(digits, digits + sizeof digits, static_cast<std::uint64_t>(m)).ptr;
  } else {
    // Above 64 bits: the high part, then the low 19 digits with their leading zeros.
    constexpr std::uint64_t k1e19 = 10000000000000000000ULL;
    e = std::to_chars(digits, digits + sizeof digits, static_cast<std::uint64_t>(m / k1e19)).ptr;
    std::uint64_t lo = static_cast<std::uint64_t>(m % k1e19);
    for (int i = 18; i >= 0; --i) {
      e[i] = static_cast<char>('0' + lo % 10);
      lo /= 10;
    }
    e += 19;
  }
  const int n = static_cast<int>(e - digits);
  if (neg) *p++ = '-';
  if (n <= scale) {
    *p++ = '0';
    *p++ = '.';
    for (int i = n; i < scale; ++i)
      *p++ = '0';
    for (int i = 0; i < n; ++i)
      *p++ = digits[i];
    return p;
  }
  for (int i = 0; i < n - scale; ++i)
    *p++ = digits[i];
  if (scale > 0) {
    *p++ = '.';
    for (int i = n - scale; i < n; ++i)
      *p++ = digits[i];
  }
  return p;
}

}  // namespace vlt::jsontext
