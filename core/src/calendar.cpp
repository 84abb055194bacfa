#include "vlt/calendar.h"

#include <ctime>

#include "vlt/errors.h"

namespace vlt {

namespace {

std::tm localNow() {
  std::time_t t = std::time(nullptr);
  std::tm tm{};
  if (localtime_r(&t, &tm) == nullptr) throw Error("cannot read the local time");
  return tm;
}

void checkFileYear(int year) {
  if (year < 1980 || year > 2107) {
    throw ConversionError("year " + std::to_string(year) +
                          " is outside the file date range 1980..2107");
  }
}

void appendTwoDigits(std::string& s, int v) {
  s += static_cast<char>('0' + v / 10);
  s += static_cast<char>('0' + v % 10);
}

}  // namespace

Date today() {
  std::tm tm = localNow();
  return Date::fromYmd(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday);
}

DateTime now() {
  std::tm tm = localNow();
  Date d = Date::fromYmd(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday);
  // A leap second shows as :60; our times stop at :59.
  int sec = tm.tm_sec > 59 ? 59 : tm.tm_sec;
  return DateTime(d, Time::fromHms(tm.tm_hour, tm.tm_min, sec));
}

DateRange dayRange(Date d) {
  return {d, d};
}

DateRange weekRange(Date d) {
  Date monday = d.addDays(1 - d.isoWeekday());
  return {monday, monday.addDays(6)};
}

DateRange monthRange(Date d) {
  Ymd ymd = d.ymd();
  return {Date::fromYmd(ymd.year, ymd.month, 1),
          Date::fromYmd(ymd.year, ymd.month, daysInMonth(ymd.year, ymd.month))};
}

DateRange yearRange(Date d) {
  int y = d.ymd().year;
  return {Date::fromYmd(y, 1, 1), Date::fromYmd(y, 12, 31)};
}

bool isLeapYear(int year) {
  return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int daysInMonth(int year, int month) {
  static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month < 1 || month > 12) {
    throw ConversionError("month " + std::to_string(month) + " is outside 1..12");
  }
  return month == 2 && isLeapYear(year) ? 29 : kDays[month - 1];
}

std::string chineseShortWeekday(int isoWeekday) {
  static constexpr const char* kNames[7] = {"周一", "周二", "周三", "周四", "周五", "周六", "周日"};
  if (isoWeekday < 1 || isoWeekday > 7) {
    throw ConversionError("weekday " + std::to_string(isoWeekday) + " is outside 1..7");
  }
  return kNames[isoWeekday - 1];
}

std::string formatChineseDay(Date d) {
  Ymd ymd = d.ymd();
  std::string s = std::to_string(ymd.year);
  if (s.size() < 4) s.insert(0, 4 - s.size(), '0');
  s += "年";
  appendTwoDigits(s, ymd.month);
  s += "月";
  appendTwoDigits(s, ymd.day);
  s += "日 ";
  s += chineseShortWeekday(d.isoWeekday());
  return s;
}

std::uint32_t packFileDateTime(DateTime t) {
  Ymd ymd = t.date().ymd();
  checkFileYear(ymd.year);
  Time tm = t.time();
  auto date = static_cast<std::uint32_t>((ymd.year - 1980) << 9 | ymd.month << 5 | ymd.day);
  // Two-second resolution: an odd second rounds down.
  auto time = static_cast<std::uint32_t>(tm.hour() << 11 | tm.minute() << 5 | tm.second() / 2);
  return date << 16 | time;
}

DateTime unpackFileDateTime(std::uint32_t packed) {
  auto date = static_cast<int>(packed >> 16);
  auto time = static_cast<int>(packed & 0xFFFFu);
  int year = 1980 + (date >> 9);
  int month = date >> 5 & 0x0F;
  int day = date & 0x1F;
  int hour = time >> 11;
  int minute = time >> 5 & 0x3F;
  int second = (time & 0x1F) * 2;
  if (!Date::isValidYmd(year, month, day) || hour > 23 || minute > 59 || second > 59) {
    throw ConversionError("packed file date-time " + std::to_string(packed) +
                          " is not a valid date and time");
  }
  return DateTime(Date::fromYmd(year, month, day), Time::fromHms(hour, minute, second));
}

}  // namespace vlt
