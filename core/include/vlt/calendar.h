#pragma once
// Date helpers of the client: today and now in local time, quick ranges (day, week Monday to
// Sunday, month, year), Chinese day labels, and the 32-bit packed file date-time.

#include <cstdint>
#include <string>

#include "vlt/datetime.h"

namespace vlt {

struct DateRange {
  Date first;
  Date last;
  friend bool operator==(const DateRange&, const DateRange&) = default;
};

Date today();
DateTime now();

DateRange dayRange(Date d);
DateRange weekRange(Date d);   // Monday .. Sunday containing d
DateRange monthRange(Date d);  // first .. last day of d's month (leap years included)
DateRange yearRange(Date d);   // Jan 1 .. Dec 31 of d's year
bool isLeapYear(int year);
int daysInMonth(int year, int month);

// "2026年12月08日 周二": the date and the Chinese short weekday name (周一 .. 周日).
std::string formatChineseDay(Date d);
std::string chineseShortWeekday(int isoWeekday);

// File date-time: date in the high 16 bits ((year-1980)<<9 | month<<5 | day), time at 2-second
// resolution in the low 16 bits (hour<<11 | minute<<5 | second/2). Years 1980..2107.
std::uint32_t packFileDateTime(DateTime t);
DateTime unpackFileDateTime(std::uint32_t packed);

}  // namespace vlt
