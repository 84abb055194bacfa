#pragma once
// Calendar values without time zone, as the client shows and sends them: a date, a date-time
// with whole seconds, and a time of day. Text forms are "YYYY-MM-DD", "YYYY-MM-DD HH:MM:SS" and
// "HH:MM:SS".

#include <compare>
#include <cstdint>
#include <string>
#include <string_view>

namespace vlt {

struct Ymd {
  int year = 1970;
  int month = 1;
  int day = 1;
};

class Date {
 public:
  Date() = default;
  static constexpr Date fromDays(std::int32_t daysSinceEpoch) {
    Date d;
    d.days_ = daysSinceEpoch;
    return d;
  }
  // Throws ConversionError for an impossible date (2026-02-30) or a year outside 1..9999.
  static Date fromYmd(int year, int month, int day);
  static bool isValidYmd(int year, int month, int day);
  // "YYYY-MM-DD"; throws ConversionError naming the text.
  static Date parse(std::string_view text);
  static bool tryParse(std::string_view text, Date& out);

  std::int32_t days() const { return days_; }
  Ymd ymd() const;
  // ISO weekday: Monday 1 ... Sunday 7.
  int isoWeekday() const;
  Date addDays(int n) const { return fromDays(days_ + n); }
  std::string toString() const;

  friend auto operator<=>(const Date&, const Date&) = default;

 private:
  std::int32_t days_ = 0;  // days since 1970-01-01
};

class Time {
 public:
  Time() = default;
  static Time fromSeconds(std::int32_t secondsSinceMidnight);
  static Time fromHms(int hour, int minute, int second);
  // "HH:MM:SS" or "HH:MM"; throws ConversionError.
  static Time parse(std::string_view text);
  static bool tryParse(std::string_view text, Time& out);

  std::int32_t seconds() const { return seconds_; }
  int hour() const { return seconds_ / 3600; }
  int minute() const { return seconds_ / 60 % 60; }
  int second() const { return seconds_ % 60; }
  std::string toString() const;

  friend auto operator<=>(const Time&, const Time&) = default;

 private:
  std::int32_t seconds_ = 0;
};

class DateTime {
 public:
  DateTime() = default;
  DateTime(Date date, Time time)
      : seconds_(static_cast<std::int64_t>(date.days()) * 86400 + time.seconds()) {}
  static DateTime fromSeconds(std::int64_t secondsSinceEpoch) {
    DateTime t;
    t.seconds_ = secondsSinceEpoch;
    return t;
  }
  // "YYYY-MM-DD HH:MM:SS" (also with 'T', or a date alone meaning midnight); throws
  // ConversionError.
  static DateTime parse(std::string_view text);
  static bool tryParse(std::string_view text, DateTime& out);

  std::int64_t seconds() const { return seconds_; }
  Date date() const;
  Time time() const;
  std::string toString() const;

  friend auto operator<=>(const DateTime&, const DateTime&) = default;

 private:
  std::int64_t seconds_ = 0;  // seconds since 1970-01-01 00:00:00
};

}  // namespace vlt
