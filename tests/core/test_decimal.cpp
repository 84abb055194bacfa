#include "vlt/decimal.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "vlt/errors.h"

namespace vlt {
namespace {

struct ParseRow {
  const char* text;
  const char* full;   // toString()
  const char* brief;  // toShortString()
  int scale;
};

TEST(DecimalTest, ParsesAndFormats) {
  const ParseRow rows[] = {
      {"-12.3400", "-12.3400", "-12.34", 4},
      {"+5", "5", "5", 0},
      {".5", "0.5", "0.5", 1},
      {"5.", "5", "5", 0},
      {"  23.4000\t", "23.4000", "23.4", 4},
      {"0", "0", "0", 0},
      {"-0.00", "0.00", "0", 2},
      {"-0.5", "-0.5", "-0.5", 1},
      {"-.05", "-0.05", "-0.05", 2},
      {"0007.10", "7.10", "7.1", 2},
      {"100", "100", "100", 0},
      {"100.00", "100.00", "100", 2},
      {"12345678901234567890.123456789012345678", "12345678901234567890.123456789012345678",
       "12345678901234567890.123456789012345678", 18},
      {"99999999999999999999999999999999999999", "99999999999999999999999999999999999999",
       "99999999999999999999999999999999999999", 0},
      {"-0.00000000000000000000000000000000000001", "-0.00000000000000000000000000000000000001",
       "-0.00000000000000000000000000000000000001", 38},
      // Leading zeros are not significant digits.
      {"000000000000000000000000000000000000000001", "1", "1", 0},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.text);
    Decimal d = Decimal::parse(r.text);
    EXPECT_EQ(d.toString(), r.full);
    EXPECT_EQ(d.toShortString(), r.brief);
    EXPECT_EQ(d.scale(), r.scale);
    Decimal again;
    ASSERT_TRUE(Decimal::tryParse(r.text, again));
    EXPECT_EQ(again.units(), d.units());
    EXPECT_EQ(Decimal::parse(d.toString()).toString(), r.full);
  }
}

TEST(DecimalTest, RefusesMalformedText) {
  const char* rows[] = {"",    "   ",   "abc", "1e3", "1.2.3", "-",   "+",    ".",
                        "-.",  "+-5",   "--5", "5-",  "1 000", "1,5", "0x10", "nan",
                        "inf", "1.5e0", "１",  "12a", "- 5",   "5 .0"};
  for (const char* text : rows) {
    SCOPED_TRACE(text);
    Decimal out = Decimal(7, 0);
    EXPECT_FALSE(Decimal::tryParse(text, out));
    EXPECT_EQ(out, Decimal(7, 0)) << "tryParse must leave the output alone on failure";
    EXPECT_THROW(Decimal::parse(text), ConversionError);
  }
  Decimal out;
  EXPECT_FALSE(Decimal::tryParse(std::string_view("1\0", 2), out));
  try {
    Decimal::parse("abc");
    FAIL();
  } catch (const ConversionError& e) {
    EXPECT_STREQ(e.what(), "'abc' is not a valid decimal number");
  }
}

TEST(DecimalTest, RefusesMoreThan38Digits) {
  const char* rows[] = {
      "123456789012345678901234567890123456789",    // 39 whole digits
      "1.00000000000000000000000000000000000000",   // 39 digits counting the scale
      "0.000000000000000000000000000000000000001",  // scale 39
      "-999999999999999999999999999999999999999",
  };
  for (const char* text : rows) {
    SCOPED_TRACE(text);
    Decimal out;
    EXPECT_FALSE(Decimal::tryParse(text, out));
    EXPECT_THROW(Decimal::parse(text), ConversionError);
  }
}

struct DoubleRow {
  double value;
  int scale;
  const char* expected;
};

TEST(DecimalTest, FromDoubleRoundsItsShortestText) {
  const DoubleRow rows[] = {
      {0.1 + 0.2, 2, "0.30"},
      {23.4, 4, "23.4000"},
      {2.675, 2, "2.68"},  // binary value is 2.67499999..., its shortest text is 2.675
      {-2.675, 2, "-2.68"},
      {1.005, 2, "1.01"},
      {0.5, 0, "1"},
      {-0.5, 0, "-1"},
      {0.49, 0, "0"},
      {-0.004, 2, "0.00"},
      {-0.0, 2, "0.00"},
      {9.995, 2, "10.00"},
      {123456789.125, 2, "123456789.13"},
      {1e20, 0, "100000000000000000000"},
      {5e-324, 4, "0.0000"},
      {0.1, 20, "0.10000000000000000000"},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.expected);
    Decimal d = Decimal::fromDouble(r.value, r.scale);
    EXPECT_EQ(d.toString(), r.expected);
    EXPECT_EQ(d.scale(), r.scale);
  }
}

TEST(DecimalTest, FromDoubleRefusals) {
  EXPECT_THROW(Decimal::fromDouble(std::nan(""), 2), ConversionError);
  EXPECT_THROW(Decimal::fromDouble(std::numeric_limits<double>::infinity(), 2), ConversionError);
  EXPECT_THROW(Decimal::fromDouble(-std::numeric_limits<double>::infinity(), 0), ConversionError);
  EXPECT_THROW(Decimal::fromDouble(1e40, 0), ConversionError);
  EXPECT_THROW(Decimal::fromDouble(1e30, 10), ConversionError);
  EXPECT_THROW(Decimal::fromDouble(1.0, -1), ConversionError);
  EXPECT_THROW(Decimal::fromDouble(1.0, 39), ConversionError);
}

struct RescaleRow {
  const char* text;
  int scale;
  const char* expected;
};

TEST(DecimalTest, RescalesHalfAwayFromZero) {
  const RescaleRow rows[] = {
      {"2.345", 2, "2.35"},
      {"-2.345", 2, "-2.35"},
      {"2.344", 2, "2.34"},
      {"-2.344", 2, "-2.34"},
      {"0.5", 0, "1"},
      {"-0.5", 0, "-1"},
      {"0.4999", 0, "0"},
      {"-0.4999", 0, "0"},
      {"9.99", 1, "10.0"},
      {"23.4", 4, "23.4000"},
      {"-1", 3, "-1.000"},
      {"1.5", 1, "1.5"},
      {"0.00000000000000000000000000000000000005", 37, "0.0000000000000000000000000000000000001"},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(std::string(r.text) + " -> " + std::to_string(r.scale));
    EXPECT_EQ(Decimal::parse(r.text).rescaled(r.scale).toString(), r.expected);
  }
  EXPECT_EQ(Decimal::parse("9999999999999999999999999999999999999.9").rescaled(0).toString(),
            "10000000000000000000000000000000000000");
  // Widening past 38 digits is refused.
  EXPECT_THROW(Decimal::parse("12345678901234567890").rescaled(19), ConversionError);
  EXPECT_THROW(Decimal::parse("1").rescaled(-1), ConversionError);
  EXPECT_THROW(Decimal::parse("1").rescaled(39), ConversionError);
}

TEST(DecimalTest, IntegerDigits) {
  const std::pair<const char*, int> rows[] = {
      {"0", 0},      {"0.999", 0},
      {"-0.5", 0},   {"1", 1},
      {"-9.99", 1},  {"10", 2},
      {"99.0", 2},   {"100.001", 3},
      {"-12345", 5}, {"99999999999999999999999999999999999999", 38},
  };
  for (const auto& [text, digits] : rows) {
    SCOPED_TRACE(text);
    EXPECT_EQ(Decimal::parse(text).integerDigits(), digits);
  }
}

TEST(DecimalTest, ToDoubleIsCorrectlyRounded) {
  const char* rows[] = {"0.1",
                        "-0.3",
                        "23.4000",
                        "2.675",
                        "123456789012345678.9",
                        "0.00000000000000000000000000000000000001",
                        "99999999999999999999999999999999999999",
                        "9007199254740993",  // 2^53 + 1: needs the slow path to round right
                        "0"};
  for (const char* text : rows) {
    SCOPED_TRACE(text);
    EXPECT_EQ(Decimal::parse(text).toDouble(), std::strtod(text, nullptr));
  }
}

TEST(DecimalTest, ToInt64TruncatesTowardZero) {
  const std::pair<const char*, std::int64_t> rows[] = {
      {"12.99", 12},
      {"-12.99", -12},
      {"-0.5", 0},
      {"9223372036854775807.9", std::numeric_limits<std::int64_t>::max()},
      {"-9223372036854775808.9", std::numeric_limits<std::int64_t>::min()},
  };
  for (const auto& [text, expected] : rows) {
    SCOPED_TRACE(text);
    EXPECT_EQ(Decimal::parse(text).toInt64(), expected);
  }
  EXPECT_THROW(Decimal::parse("9223372036854775808").toInt64(), ConversionError);
  EXPECT_THROW(Decimal::parse("-9223372036854775809").toInt64(), ConversionError);
}

struct ArithRow {
  const char* a;
  const char* b;
  const char* sum;
  const char* difference;
};

TEST(DecimalTest, AddsAndSubtractsAtTheWiderScale) {
  const ArithRow rows[] = {
      {"1.5", "2.25", "3.75", "-0.75"}, {"-1.5", "1.50", "0.00", "-3.00"},
      {"0.1", "0.2", "0.3", "-0.1"},    {"100", "0.001", "100.001", "99.999"},
      {"-7", "-3", "-10", "-4"},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(std::string(r.a) + " , " + r.b);
    Decimal a = Decimal::parse(r.a);
    Decimal b = Decimal::parse(r.b);
    EXPECT_EQ((a + b).toString(), r.sum);
    EXPECT_EQ((a - b).toString(), r.difference);
  }
  EXPECT_EQ((-Decimal::parse("2.50")).toString(), "-2.50");
  EXPECT_EQ((-Decimal::parse("0")).toShortString(), "0");
  Decimal max = Decimal::parse("99999999999999999999999999999999999999");
  EXPECT_THROW(max + Decimal(1, 0), ConversionError);
  EXPECT_THROW(-max - Decimal(1, 0), ConversionError);
  EXPECT_THROW(max + Decimal(1, 1), ConversionError);  // needs a wider scale than fits
}

TEST(DecimalTest, ComparesAcrossScales) {
  struct Row {
    const char* a;
    const char* b;
    int expected;
  };
  const Row rows[] = {
      {"1.0", "1.00", 0},
      {"1.01", "1.1", -1},
      {"-1.01", "-1.1", 1},
      {"-0.5", "0.4", -1},
      {"0.5", "-0.4", 1},
      {"-2.5", "-2.50000", 0},
      {"0", "-0.000", 0},
      {"99999999999999999999999999999999999999", "0.00000000000000000000000000000000000001", 1},
      {"-99999999999999999999999999999999999999", "-9999999999999999999999999999999999999.9", -1},
      {"1.000000000000000000000000000000000001", "1.0000000000000000000000000000000000009", 1},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(std::string(r.a) + " <=> " + r.b);
    Decimal a = Decimal::parse(r.a);
    Decimal b = Decimal::parse(r.b);
    EXPECT_EQ(Decimal::compare(a, b), r.expected);
    EXPECT_EQ(Decimal::compare(b, a), -r.expected);
    EXPECT_EQ(a == b, r.expected == 0);
    EXPECT_EQ(a < b, r.expected < 0);
  }
}

TEST(DecimalTest, FromUnitsChecksRange) {
  EXPECT_EQ(Decimal::fromUnits(-1234, 2).toString(), "-12.34");
  Int128 tooBig = 1;
  for (int i = 0; i < 38; ++i)
    tooBig *= 10;
  EXPECT_THROW(Decimal::fromUnits(tooBig, 0), ConversionError);
  EXPECT_THROW(Decimal::fromUnits(1, 39), ConversionError);
}

}  // namespace
}  // namespace vlt
