#pragma once
// A single typed value of a row: null, boolean, integers, double, exact decimal, UTF-8 text,
// date, date-time, time, or the rows of a nested data set.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

#include "vlt/datetime.h"
#include "vlt/decimal.h"

namespace vlt {

enum class DataType : std::uint8_t {
  Null,
  Boolean,
  Int16,
  Int32,
  Int64,
  Float,
  Decimal,
  String,
  Date,
  DateTime,
  Time,
  DataSet,
};

// Lower-case wire name ("string", "decimal", ...) and its inverse (false for an unknown name).
std::string_view dataTypeName(DataType type);
bool dataTypeFromName(std::string_view name, DataType& out);

class Value;
using Row = std::vector<Value>;
using NestedRows = std::vector<Row>;

// Integers, floats and decimals.
bool isNumericType(DataType t);

class Value {
 public:
  Value() = default;
  Value(std::nullptr_t) {}
  Value(bool b) : v_(b) {}
  Value(std::int16_t i) : v_(i) {}
  Value(std::int32_t i) : v_(i) {}
  Value(std::int64_t i) : v_(i) {}
  Value(double d) : v_(d) {}
  Value(const Decimal& d) : v_(d) {}
  Value(std::string s) : v_(std::move(s)) {}
  Value(std::string_view s) : v_(std::string(s)) {}
  Value(const char* s) : v_(std::string(s)) {}
  Value(Date d) : v_(d) {}
  Value(DateTime d) : v_(d) {}
  Value(Time t) : v_(t) {}
  Value(std::shared_ptr<const NestedRows> rows) : v_(std::move(rows)) {}

  DataType type() const { return static_cast<DataType>(v_.index()); }
  bool isNull() const { return v_.index() == 0; }
  bool isNumeric() const;

  // Typed access; the caller has checked type().
  bool boolean() const { return std::get<bool>(v_); }
  std::int16_t int16() const { return std::get<std::int16_t>(v_); }
  std::int32_t int32() const { return std::get<std::int32_t>(v_); }
  std::int64_t int64() const { return std::get<std::int64_t>(v_); }
  double float64() const { return std::get<double>(v_); }
  const Decimal& decimal() const { return std::get<Decimal>(v_); }
  const std::string& string() const { return std::get<std::string>(v_); }
  Date date() const { return std::get<Date>(v_); }
  DateTime dateTime() const { return std::get<DateTime>(v_); }
  Time time() const { return std::get<Time>(v_); }
  const std::shared_ptr<const NestedRows>& nested() const {
    return std::get<std::shared_ptr<const NestedRows>>(v_);
  }

  // Conversions as a field's AsString/AsFloat/AsInteger/AsBoolean do them. Null gives "", 0,
  // false. Throw ConversionError when the value has no such reading ("abc" as a number).
  std::string toText() const;
  double toDouble() const;
  std::int64_t toInt64() const;
  bool toBool() const;

  // Equality of type and content (an Int32 1 and a Decimal 1 differ; decimals compare by number,
  // whatever their scale); nested rows compare by content.
  friend bool operator==(const Value& a, const Value& b);

 private:
  std::variant<std::monostate, bool, std::int16_t, std::int32_t, std::int64_t, double, Decimal,
               std::string, Date, DateTime, Time, std::shared_ptr<const NestedRows>>
      v_;
};

// The value converted to a column of the given type (precision and scale apply to decimals,
// size is not enforced here). Throws ConversionError without naming a field; callers add it.
Value coerceValue(const Value& v, DataType type, int precision = 0, int scale = 0);

// Ordering used by filters, indexes and locate: null sorts first; numbers compare by value
// across integer, float and decimal; text against a number compares as a number when the text
// is one; dates, date-times and times by time. `foldCase` folds ASCII letters for text.
int compareValues(const Value& a, const Value& b, bool foldCase);

// Text equality ignoring ASCII letter case ("True" and "TRUE").
bool equalsIgnoreCase(std::string_view a, std::string_view b);

}  // namespace vlt
