#include "vlt/datetime.h"

#include <gtest/gtest.h>

#include <string>

#include "vlt/calendar.h"
#include "vlt/errors.h"

namespace vlt {
namespace {

struct DateRow {
  const char* text;
  std::int32_t days;
  int isoWeekday;
};

TEST(DateTest, CivilDaysRoundTrip) {
  const DateRow rows[] = {
      {"1970-01-01", 0, 4},       {"1969-12-31", -1, 3},      {"2000-02-29", 11016, 2},
      {"2000-03-01", 11017, 3},   {"2024-02-29", 19782, 4},   {"2026-12-08", 20795, 2},
      {"0001-01-01", -719162, 1}, {"9999-12-31", 2932896, 5}, {"1980-01-01", 3652, 2},
      {"2107-12-31", 50402, 6},   {"1900-03-01", -25508, 4},  {"2026-03-01", 20513, 7},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.text);
    Date d = Date::parse(r.text);
    EXPECT_EQ(d.days(), r.days);
    EXPECT_EQ(d.isoWeekday(), r.isoWeekday);
    EXPECT_EQ(d.toString(), r.text);
    Ymd ymd = d.ymd();
    EXPECT_EQ(Date::fromYmd(ymd.year, ymd.month, ymd.day), d);
  }
}

TEST(DateTest, EveryDayOfTheRangeRoundTrips) {
  Date first = Date::fromYmd(1, 1, 1);
  Date last = Date::fromYmd(9999, 12, 31);
  int previousWeekday = first.isoWeekday();
  for (std::int32_t n = first.days() + 1; n <= last.days(); ++n) {
    Date d = Date::fromDays(n);
    Ymd ymd = d.ymd();
    ASSERT_TRUE(Date::isValidYmd(ymd.year, ymd.month, ymd.day)) << n;
    ASSERT_EQ(Date::fromYmd(ymd.year, ymd.month, ymd.day).days(), n);
    ASSERT_EQ(d.isoWeekday(), previousWeekday % 7 + 1) << n;
    previousWeekday = d.isoWeekday();
  }
}

TEST(DateTest, RefusesImpossibleDates) {
  const char* rows[] = {"2026-02-30",  "2025-02-29", "1900-02-29", "2026-04-31", "2026-13-01",
                        "2026-00-10",  "2026-01-00", "2026-01-32", "0000-01-01", "10000-01-01",
                        "2026-1-01",   "2026-01-1",  "26-01-01",   "2026/01/01", "2026-01-01 ",
                        " 2026-01-01", "2026-01-0a", "+026-01-01", "",           "2026-01-01T"};
  for (const char* text : rows) {
    SCOPED_TRACE(text);
    Date out = Date::fromDays(42);
    EXPECT_FALSE(Date::tryParse(text, out));
    EXPECT_EQ(out.days(), 42);
    EXPECT_THROW(Date::parse(text), ConversionError);
  }
  try {
    Date::parse("2026-02-30");
    FAIL();
  } catch (const ConversionError& e) {
    EXPECT_STREQ(e.what(), "'2026-02-30' is not a valid date");
  }
  EXPECT_THROW(Date::fromYmd(2026, 2, 30), ConversionError);
  EXPECT_THROW(Date::fromYmd(0, 12, 31), ConversionError);
  EXPECT_THROW(Date::fromYmd(10000, 1, 1), ConversionError);
  EXPECT_TRUE(Date::isValidYmd(2024, 2, 29));
  EXPECT_TRUE(Date::isValidYmd(2000, 2, 29));
  EXPECT_FALSE(Date::isValidYmd(2100, 2, 29));
}

TEST(TimeTest, ParsesAndRefuses) {
  const std::pair<const char*, std::int32_t> good[] = {
      {"00:00:00", 0},     {"23:59:59", 86399},        {"12:34", 45240},
      {"08:05:09", 29109}, {"12:34:56.123456", 45296}, {"12:34:56.1", 45296},
  };
  for (const auto& [text, seconds] : good) {
    SCOPED_TRACE(text);
    EXPECT_EQ(Time::parse(text).seconds(), seconds);
  }
  const char* bad[] = {"24:00:00", "12:60:00",  "12:00:60",     "1:00:00", "12:0",   "12:00:",
                       "12-00-00", "12:00:00.", "12:00:00.12a", "",        "12:00 ", "ab:cd"};
  for (const char* text : bad) {
    SCOPED_TRACE(text);
    Time out;
    EXPECT_FALSE(Time::tryParse(text, out));
    EXPECT_THROW(Time::parse(text), ConversionError);
  }
  Time t = Time::fromHms(7, 8, 9);
  EXPECT_EQ(t.toString(), "07:08:09");
  EXPECT_EQ(t.hour(), 7);
  EXPECT_EQ(t.minute(), 8);
  EXPECT_EQ(t.second(), 9);
  EXPECT_EQ(Time::parse("12:34").toString(), "12:34:00");
  EXPECT_THROW(Time::fromHms(24, 0, 0), ConversionError);
  EXPECT_THROW(Time::fromSeconds(86400), ConversionError);
  EXPECT_THROW(Time::fromSeconds(-1), ConversionError);
}

TEST(DateTimeTest, ParsesTheFormsTheServerSends) {
  const std::pair<const char*, const char*> rows[] = {
      {"2026-12-08 13:45:07", "2026-12-08 13:45:07"},
      {"2026-12-08T13:45:07", "2026-12-08 13:45:07"},
      {"2026-12-08", "2026-12-08 00:00:00"},
      {"2026-12-08 13:45:07.123456", "2026-12-08 13:45:07"},
      {"2026-12-08 13:45", "2026-12-08 13:45:00"},
      {"0001-01-01 00:00:00", "0001-01-01 00:00:00"},
      {"9999-12-31 23:59:59", "9999-12-31 23:59:59"},
      {"1969-12-31 23:59:59", "1969-12-31 23:59:59"},
  };
  for (const auto& [text, expected] : rows) {
    SCOPED_TRACE(text);
    DateTime t = DateTime::parse(text);
    EXPECT_EQ(t.toString(), expected);
    EXPECT_EQ(DateTime(t.date(), t.time()), t);
  }
  EXPECT_EQ(DateTime::parse("1969-12-31 23:59:59").seconds(), -1);
  EXPECT_EQ(DateTime::parse("1970-01-02").seconds(), 86400);
  const char* bad[] = {"2026-12-08 24:00:00",
                       "2026-02-30 10:00:00",
                       "2026-12-08X13:45:07",
                       "2026-12-08 ",
                       "2026-12-08  13:45:07",
                       "2026-12-08 13:45:07Z",
                       "13:45:07",
                       ""};
  for (const char* text : bad) {
    SCOPED_TRACE(text);
    DateTime out;
    EXPECT_FALSE(DateTime::tryParse(text, out));
    EXPECT_THROW(DateTime::parse(text), ConversionError);
  }
}

TEST(CalendarTest, Ranges) {
  struct Row {
    const char* day;
    const char* weekFirst;
    const char* weekLast;
    const char* monthLast;
  };
  const Row rows[] = {
      {"2026-12-08", "2026-12-07", "2026-12-13", "2026-12-31"},
      {"2026-12-13", "2026-12-07", "2026-12-13", "2026-12-31"},  // Sunday ends its week
      {"2026-12-07", "2026-12-07", "2026-12-13", "2026-12-31"},  // Monday starts it
      {"2025-12-31", "2025-12-29", "2026-01-04", "2025-12-31"},  // week spans the new year
      {"2026-01-01", "2025-12-29", "2026-01-04", "2026-01-31"},
      {"2024-02-10", "2024-02-05", "2024-02-11", "2024-02-29"},
      {"2100-02-10", "2100-02-08", "2100-02-14", "2100-02-28"},
      {"2000-02-29", "2000-02-28", "2000-03-05", "2000-02-29"},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.day);
    Date d = Date::parse(r.day);
    EXPECT_EQ(dayRange(d), (DateRange{d, d}));
    EXPECT_EQ(weekRange(d), (DateRange{Date::parse(r.weekFirst), Date::parse(r.weekLast)}));
    DateRange month = monthRange(d);
    EXPECT_EQ(month.first.ymd().day, 1);
    EXPECT_EQ(month.first.ymd().month, d.ymd().month);
    EXPECT_EQ(month.last, Date::parse(r.monthLast));
    int y = d.ymd().year;
    EXPECT_EQ(yearRange(d), (DateRange{Date::fromYmd(y, 1, 1), Date::fromYmd(y, 12, 31)}));
  }
  EXPECT_TRUE(isLeapYear(2024));
  EXPECT_TRUE(isLeapYear(2000));
  EXPECT_FALSE(isLeapYear(1900));
  EXPECT_FALSE(isLeapYear(2026));
  EXPECT_EQ(daysInMonth(2024, 2), 29);
  EXPECT_EQ(daysInMonth(2025, 2), 28);
  EXPECT_EQ(daysInMonth(2025, 4), 30);
  EXPECT_THROW(daysInMonth(2025, 13), ConversionError);
}

TEST(CalendarTest, TodayAndNowAgree) {
  Date before = today();
  DateTime t = now();
  Date after = today();
  EXPECT_TRUE(t.date() == before || t.date() == after);
  EXPECT_GE(before.ymd().year, 2024);
}

TEST(CalendarTest, ChineseDayLabels) {
  const std::pair<const char*, const char*> rows[] = {
      {"2026-12-07", "2026年12月07日 周一"}, {"2026-12-08", "2026年12月08日 周二"},
      {"2026-12-09", "2026年12月09日 周三"}, {"2026-12-10", "2026年12月10日 周四"},
      {"2026-12-11", "2026年12月11日 周五"}, {"2026-12-12", "2026年12月12日 周六"},
      {"2026-12-13", "2026年12月13日 周日"}, {"0001-01-01", "0001年01月01日 周一"},
  };
  for (const auto& [text, label] : rows) {
    SCOPED_TRACE(text);
    EXPECT_EQ(formatChineseDay(Date::parse(text)), label);
  }
  EXPECT_THROW(chineseShortWeekday(0), ConversionError);
  EXPECT_THROW(chineseShortWeekday(8), ConversionError);
}

TEST(CalendarTest, PackedFileDateTime) {
  struct Row {
    const char* text;
    std::uint32_t packed;
    const char* unpacked;
  };
  const Row rows[] = {
      {"1980-01-01 00:00:00", 0x00210000u, "1980-01-01 00:00:00"},
      {"2107-12-31 23:59:59", 0xFF9FBF7Du, "2107-12-31 23:59:58"},  // odd second rounds down
      {"2026-12-08 13:45:07", (46u << 25 | 12u << 21 | 8u << 16 | 13u << 11 | 45u << 5 | 3u),
       "2026-12-08 13:45:06"},
      {"2024-02-29 12:00:00", (44u << 25 | 2u << 21 | 29u << 16 | 12u << 11),
       "2024-02-29 12:00:00"},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.text);
    std::uint32_t packed = packFileDateTime(DateTime::parse(r.text));
    EXPECT_EQ(packed, r.packed);
    EXPECT_EQ(unpackFileDateTime(packed).toString(), r.unpacked);
  }
  EXPECT_THROW(packFileDateTime(DateTime::parse("1979-12-31 23:59:59")), ConversionError);
  EXPECT_THROW(packFileDateTime(DateTime::parse("2108-01-01 00:00:00")), ConversionError);
  // Month 0, day 0, hour 24 and second 60 do not unpack.
  const std::uint32_t bad[] = {0u, 0x00200000u, 0x0021C000u, 0x0021001Eu, 0x00210780u};
  for (std::uint32_t packed : bad) {
    SCOPED_TRACE(packed);
    EXPECT_THROW(unpackFileDateTime(packed), ConversionError);
  }
}

}  // namespace
}  // namespace vlt
