#include "vlt/datetime.h"

#include "vlt/errors.h"

namespace vlt {

namespace {

constexpr int kMinYear = 1;
constexpr int kMaxYear = 9999;
constexpr std::int32_t kSecondsPerDay = 86400;

constexpr bool leapYear(int y) {
  return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

constexpr int monthDays(int y, int m) {
  constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && leapYear(y) ? 29 : kDays[m - 1];
}

// Proleptic Gregorian, counted in 400-year eras that start on March 1 so the leap day is the
// last day of an era year.
constexpr std::int32_t daysFromCivil(int y, int m, int d) {
  y -= m <= 2 ? 1 : 0;
  const int era = (y >= 0 ? y : y - 399) / 400;
  const int yoe = y - era * 400;                                    // [0, 399]
  const int doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;  // [0, 365]
  const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;            // [0, 146096]
  return era * 146097 + doe - 719468;
}

constexpr Ymd civilFromDays(std::int32_t z) {
  // Widened so that any int32 day number works, not only 1..9999.
  std::int64_t zz = static_cast<std::int64_t>(z) + 719468;
  const std::int64_t era = (zz >= 0 ? zz : zz - 146096) / 146097;
  const auto doe = static_cast<int>(zz - era * 146097);                   // [0, 146096]
  const int yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;  // [0, 399]
  const int doy = doe - (365 * yoe + yoe / 4 - yoe / 100);                // [0, 365]
  const int mp = (5 * doy + 2) / 153;                                     // [0, 11]
  const int d = doy - (153 * mp + 2) / 5 + 1;                             // [1, 31]
  const int m = mp < 10 ? mp + 3 : mp - 9;                                // [1, 12]
  const auto y = static_cast<int>(yoe + era * 400 + (m <= 2 ? 1 : 0));
  return Ymd{y, m, d};
}

static_assert(daysFromCivil(1970, 1, 1) == 0);
static_assert(daysFromCivil(2000, 3, 1) == 11017);
static_assert(civilFromDays(11016).day == 29);

bool isDigit(char c) {
  return c >= '0' && c <= '9';
}

// Exactly `n` digits at `p`; -1 otherwise.
int digitsAt(const char* p, int n) {
  int v = 0;
  for (int i = 0; i < n; ++i) {
    if (!isDigit(p[i])) return -1;
    v = v * 10 + (p[i] - '0');
  }
  return v;
}

bool parseDate(std::string_view s, std::int32_t& days) {
  if (s.size() != 10 || s[4] != '-' || s[7] != '-') return false;
  const char* p = s.data();
  int y = digitsAt(p, 4);
  int m = digitsAt(p + 5, 2);
  int d = digitsAt(p + 8, 2);
  if (y < 0 || m < 0 || d < 0 || !Date::isValidYmd(y, m, d)) return false;
  days = daysFromCivil(y, m, d);
  return true;
}

// "HH:MM", "HH:MM:SS" or "HH:MM:SS.ffffff"; the fraction is dropped, the database may append
// one to a time value.
bool parseTime(std::string_view s, std::int32_t& seconds) {
  if (s.size() != 5 && s.size() < 8) return false;
  const char* p = s.data();
  if (p[2] != ':') return false;
  int h = digitsAt(p, 2);
  int m = digitsAt(p + 3, 2);
  int sec = 0;
  if (s.size() > 5) {
    if (p[5] != ':') return false;
    sec = digitsAt(p + 6, 2);
    if (s.size() > 8) {
      if (p[8] != '.' || s.size() == 9 || s.size() > 18) return false;
      for (std::size_t i = 9; i < s.size(); ++i) {
        if (!isDigit(p[i])) return false;
      }
    }
  }
  if (h < 0 || m < 0 || sec < 0 || h > 23 || m > 59 || sec > 59) return false;
  seconds = h * 3600 + m * 60 + sec;
  return true;
}

bool parseDateTime(std::string_view s, std::int64_t& seconds) {
  std::int32_t days = 0;
  std::int32_t tod = 0;
  if (s.size() == 10) {
    if (!parseDate(s, days)) return false;
  } else {
    if (s.size() < 11 || (s[10] != ' ' && s[10] != 'T')) return false;
    if (!parseDate(s.substr(0, 10), days) || !parseTime(s.substr(11), tod)) return false;
  }
  seconds = static_cast<std::int64_t>(days) * kSecondsPerDay + tod;
  return true;
}

[[noreturn]] void throwInvalid(std::string_view text, const char* what) {
  throw ConversionError("'" + std::string(text) + "' is not a valid " + what);
}

// Zero-padded decimal of `width` digits (more if the value needs them) into p; returns the end.
char* putNumber(char* p, std::int64_t v, int width) {
  if (v < 0) {
    *p++ = '-';
    v = -v;
  }
  char tmp[20];
  int n = 0;
  do {
    tmp[n++] = static_cast<char>('0' + v % 10);
    v /= 10;
  } while (v != 0);
  for (int i = n; i < width; ++i)
    *p++ = '0';
  while (n > 0)
    *p++ = tmp[--n];
  return p;
}

char* putDate(char* p, const Ymd& ymd) {
  p = putNumber(p, ymd.year, 4);
  *p++ = '-';
  p = putNumber(p, ymd.month, 2);
  *p++ = '-';
  return putNumber(p, ymd.day, 2);
}

char* putTime(char* p, std::int32_t seconds) {
  p = putNumber(p, seconds / 3600, 2);
  *p++ = ':';
  p = putNumber(p, seconds / 60 % 60, 2);
  *p++ = ':';
  return putNumber(p, seconds % 60, 2);
}

}  // namespace

// ---- Date

bool Date::isValidYmd(int year, int month, int day) {
  return year >= kMinYear && year <= kMaxYear && month >= 1 && month <= 12 && day >= 1 &&
         day <= monthDays(year, month);
}

Date Date::fromYmd(int year, int month, int day) {
  if (!isValidYmd(year, month, day)) {
    char buf[40];
    char* e = putDate(buf, Ymd{year, month, day});
    throwInvalid(std::string_view(buf, static_cast<std::size_t>(e - buf)), "date");
  }
  return fromDays(daysFromCivil(year, month, day));
}

Date Date::parse(std::string_view text) {
  std::int32_t days = 0;
  if (!parseDate(text, days)) throwInvalid(text, "date");
  return fromDays(days);
}

bool Date::tryParse(std::string_view text, Date& out) {
  std::int32_t days = 0;
  if (!parseDate(text, days)) return false;
  out = fromDays(days);
  return true;
}

Ymd Date::ymd() const {
  return civilFromDays(days_);
}

int Date::isoWeekday() const {
  // 1970-01-01 was a Thursday (4).
  int r = static_cast<int>((static_cast<std::int64_t>(days_) + 3) % 7);
  if (r < 0) r += 7;
  return r + 1;
}

std::string Date::toString() const {
  char buf[40];
  char* e = putDate(buf, ymd());
  return std::string(buf, e);
}

// ---- Time

Time Time::fromSeconds(std::int32_t secondsSinceMidnight) {
  if (secondsSinceMidnight < 0 || secondsSinceMidnight >= kSecondsPerDay) {
    throw ConversionError(std::to_string(secondsSinceMidnight) +
                          " seconds is not a valid time of day");
  }
  Time t;
  t.seconds_ = secondsSinceMidnight;
  return t;
}

Time Time::fromHms(int hour, int minute, int second) {
  if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59) {
    throw ConversionError(std::to_string(hour) + ":" + std::to_string(minute) + ":" +
                          std::to_string(second) + " is not a valid time of day");
  }
  Time t;
  t.seconds_ = hour * 3600 + minute * 60 + second;
  return t;
}

Time Time::parse(std::string_view text) {
  Time t;
  if (!parseTime(text, t.seconds_)) throwInvalid(text, "time");
  return t;
}

bool Time::tryParse(std::string_view text, Time& out) {
  std::int32_t s = 0;
  if (!parseTime(text, s)) return false;
  out.seconds_ = s;
  return true;
}

std::string Time::toString() const {
  char buf[16];
  char* e = putTime(buf, seconds_);
  return std::string(buf, e);
}

// ---- DateTime

DateTime DateTime::parse(std::string_view text) {
  DateTime t;
  if (!parseDateTime(text, t.seconds_)) throwInvalid(text, "date-time");
  return t;
}

bool DateTime::tryParse(std::string_view text, DateTime& out) {
  std::int64_t s = 0;
  if (!parseDateTime(text, s)) return false;
  out.seconds_ = s;
  return true;
}

Date DateTime::date() const {
  std::int64_t days = seconds_ / kSecondsPerDay;
  if (seconds_ % kSecondsPerDay < 0) --days;  // floor, so times before 1970 keep their day
  return Date::fromDays(static_cast<std::int32_t>(days));
}

Time DateTime::time() const {
  auto s = static_cast<std::int32_t>(seconds_ % kSecondsPerDay);
  if (s < 0) s += kSecondsPerDay;
  return Time::fromSeconds(s);
}

std::string DateTime::toString() const {
  char buf[48];
  char* p = putDate(buf, date().ymd());
  *p++ = ' ';
  p = putTime(p, time().seconds());
  return std::string(buf, p);
}

}  // namespace vlt
