#include "vlt/value.h"

#include <array>
#include <charconv>
#include <cmath>
#include <limits>

#include "vlt/errors.h"

namespace vlt {

namespace {

constexpr std::array<std::string_view, 12> kTypeNames = {"null",  "boolean",  "int16",   "int32",
                                                         "int64", "float",    "decimal", "string",
                                                         "date",  "datetime", "time",    "dataset"};

char lowerAscii(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
}

std::string_view trimBlanks(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
    s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
    s.remove_suffix(1);
  return s;
}

std::string formatDouble(double d) {
  char buf[64];
  auto res = std::to_chars(buf, buf + sizeof buf, d);
  return std::string(buf, res.ptr);
}

bool parseInt64(std::string_view s, std::int64_t& out) {
  s = trimBlanks(s);
  if (!s.empty() && s.front() == '+') s.remove_prefix(1);
  if (s.empty()) return false;
  auto res = std::from_chars(s.data(), s.data() + s.size(), out);
  return res.ec == std::errc() && res.ptr == s.data() + s.size();
}

bool parseDouble(std::string_view s, double& out) {
  s = trimBlanks(s);
  if (!s.empty() && s.front() == '+') s.remove_prefix(1);
  if (s.empty()) return false;
  auto res = std::from_chars(s.data(), s.data() + s.size(), out);
  return res.ec == std::errc() && res.ptr == s.data() + s.size() && std::isfinite(out);
}

// Reads a number out of a value for numeric comparison: Decimal when exact, else double.
enum class NumKind { None, Exact, Approx };
NumKind numberOf(const Value& v, Decimal& dec, double& dbl) {
  switch (v.type()) {
    case DataType::Boolean:
      dec = Decimal(v.boolean() ? 1 : 0, 0);
      return NumKind::Exact;
    case DataType::Int16:
      dec = Decimal(v.int16(), 0);
      return NumKind::Exact;
    case DataType::Int32:
      dec = Decimal(v.int32(), 0);
      return NumKind::Exact;
    case DataType::Int64:
      dec = Decimal(v.int64(), 0);
      return NumKind::Exact;
    case DataType::Decimal:
      dec = v.decimal();
      return NumKind::Exact;
    case DataType::Float:
      dbl = v.float64();
      return NumKind::Approx;
    case DataType::String:
      if (Decimal::tryParse(trimBlanks(v.string()), dec)) return NumKind::Exact;
      if (parseDouble(v.string(), dbl)) return NumKind::Approx;
      return NumKind::None;
    default:
      return NumKind::None;
  }
}

int sign(int c) {
  return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

template <typename T>
int cmp3(const T& a, const T& b) {
  return a < b ? -1 : (b < a ? 1 : 0);
}

int compareText(std::string_view a, std::string_view b, bool foldCase) {
  if (!foldCase) return sign(a.compare(b));
  std::size_t n = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < n; ++i) {
    auto ca = static_cast<unsigned char>(lowerAscii(a[i]));
    auto cb = static_cast<unsigned char>(lowerAscii(b[i]));
    if (ca != cb) return ca < cb ? -1 : 1;
  }
  return cmp3(a.size(), b.size());
}

// Seconds since the epoch of any temporal value, for comparing a date with a date-time.
bool secondsOf(const Value& v, std::int64_t& out) {
  switch (v.type()) {
    case DataType::Date:
      out = static_cast<std::int64_t>(v.date().days()) * 86400;
      return true;
    case DataType::DateTime:
      out = v.dateTime().seconds();
      return true;
    case DataType::String: {
      DateTime t;
      if (!DateTime::tryParse(trimBlanks(v.string()), t)) return false;
      out = t.seconds();
      return true;
    }
    default:
      return false;
  }
}

[[noreturn]] void cannot(const Value& v, std::string_view what) {
  throw ConversionError("'" + v.toText() + "' is not a valid " + std::string(what));
}

}  // namespace

std::string_view dataTypeName(DataType type) {
  return kTypeNames[static_cast<std::size_t>(type)];
}

bool dataTypeFromName(std::string_view name, DataType& out) {
  for (std::size_t i = 1; i < kTypeNames.size(); ++i) {
    if (equalsIgnoreCase(kTypeNames[i], name)) {
      out = static_cast<DataType>(i);
      return true;
    }
  }
  return false;
}

bool equalsIgnoreCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (lowerAscii(a[i]) != lowerAscii(b[i])) return false;
  return true;
}

bool Value::isNumeric() const {
  return isNumericType(type());
}

bool isNumericType(DataType t) {
  switch (t) {
    case DataType::Int16:
    case DataType::Int32:
    case DataType::Int64:
    case DataType::Float:
    case DataType::Decimal:
      return true;
    default:
      return false;
  }
}

std::string Value::toText() const {
  switch (type()) {
    case DataType::Null:
      return {};
    case DataType::Boolean:
      return boolean() ? "True" : "False";
    case DataType::Int16:
      return std::to_string(int16());
    case DataType::Int32:
      return std::to_string(int32());
    case DataType::Int64:
      return std::to_string(int64());
    case DataType::Float:
      return formatDouble(float64());
    case DataType::Decimal:
      return decimal().toShortString();
    case DataType::String:
      return string();
    case DataType::Date:
      return date().toString();
    case DataType::DateTime:
      return dateTime().toString();
    case DataType::Time:
      return time().toString();
    case DataType::DataSet:
      return "(DataSet)";
  }
  return {};
}

double Value::toDouble() const {
  switch (type()) {
    case DataType::Null:
      return 0;
    case DataType::Boolean:
      return boolean() ? 1 : 0;
    case DataType::Int16:
      return int16();
    case DataType::Int32:
      return int32();
    case DataType::Int64:
      return static_cast<double>(int64());
    case DataType::Float:
      return float64();
    case DataType::Decimal:
      return decimal().toDouble();
    case DataType::String: {
      if (trimBlanks(string()).empty()) return 0;
      double d = 0;
      if (!parseDouble(string(), d)) cannot(*this, "floating point value");
      return d;
    }
    case DataType::Date:
      return date().days();
    case DataType::DateTime:
      return static_cast<double>(dateTime().seconds()) / 86400.0;
    case DataType::Time:
      return time().seconds() / 86400.0;
    case DataType::DataSet:
      break;
  }
  cannot(*this, "floating point value");
}

std::int64_t Value::toInt64() const {
  switch (type()) {
    case DataType::Null:
      return 0;
    case DataType::Boolean:
      return boolean() ? 1 : 0;
    case DataType::Int16:
      return int16();
    case DataType::Int32:
      return int32();
    case DataType::Int64:
      return int64();
    case DataType::Float: {
      double d = std::trunc(float64());
      if (!(d >= -9.2e18 && d <= 9.2e18)) cannot(*this, "integer value");
      return static_cast<std::int64_t>(d);
    }
    case DataType::Decimal:
      return decimal().toInt64();
    case DataType::String: {
      if (trimBlanks(string()).empty()) return 0;
      std::int64_t i = 0;
      if (parseInt64(string(), i)) return i;
      cannot(*this, "integer value");
    }
    case DataType::Date:
      return date().days();
    default:
      break;
  }
  cannot(*this, "integer value");
}

bool Value::toBool() const {
  switch (type()) {
    case DataType::Null:
      return false;
    case DataType::Boolean:
      return boolean();
    case DataType::Int16:
    case DataType::Int32:
    case DataType::Int64:
      return toInt64() != 0;
    case DataType::Float:
      return float64() != 0;
    case DataType::Decimal:
      return !decimal().isZero();
    case DataType::String: {
      std::string_view s = trimBlanks(string());
      if (equalsIgnoreCase(s, "true") || s == "1" || s == "-1") return true;
      if (s.empty() || equalsIgnoreCase(s, "false") || s == "0") return false;
      cannot(*this, "boolean value");
    }
    default:
      break;
  }
  cannot(*this, "boolean value");
}

bool operator==(const Value& a, const Value& b) {
  if (a.v_.index() != b.v_.index()) return false;
  // Decimals compare by number: 2 and 2.0000 are the same stored amount.
  if (a.type() == DataType::Decimal) return a.decimal() == b.decimal();
  if (a.type() == DataType::DataSet) {
    const auto& x = a.nested();
    const auto& y = b.nested();
    if (x == y) return true;
    if (!x || !y) return false;
    return *x == *y;
  }
  if (a.type() == DataType::Float) {
    // Bitwise equality so that a NaN that was stored compares equal to itself.
    double x = a.float64(), y = b.float64();
    return x == y || (std::isnan(x) && std::isnan(y));
  }
  return a.v_ == b.v_;
}

Value coerceValue(const Value& v, DataType type, int precision, int scale) {
  if (v.isNull() || v.type() == type) {
    // A decimal column without a precision (an expression's result) keeps the value's scale.
    if (type == DataType::Decimal && !v.isNull() && precision > 0) {
      Decimal d = v.decimal().rescaled(scale);
      if (precision > 0 && d.integerDigits() > precision - scale)
        throw ConversionError("'" + v.toText() + "' does not fit in " + std::to_string(precision) +
                              " digits with " + std::to_string(scale) + " decimals");
      return d;
    }
    return v;
  }
  switch (type) {
    case DataType::Null:
      return Value();
    case DataType::Boolean:
      return v.toBool();
    case DataType::Int16:
    case DataType::Int32:
    case DataType::Int64: {
      std::int64_t i = 0;
      if (v.type() == DataType::String) {
        if (!parseInt64(v.string(), i)) {
          // "12.0" is an integer written as a decimal; "12.5" is not.
          Decimal d;
          if (!Decimal::tryParse(trimBlanks(v.string()), d) || d.rescaled(0) != d)
            cannot(v, "integer value");
          i = d.toInt64();
        }
      } else if (v.type() == DataType::Float) {
        double f = v.float64();
        if (!std::isfinite(f) || f != std::trunc(f)) cannot(v, "integer value");
        i = v.toInt64();
      } else if (v.type() == DataType::Decimal) {
        if (v.decimal().rescaled(0) != v.decimal()) cannot(v, "integer value");
        i = v.decimal().toInt64();
      } else if (v.isNumeric() || v.type() == DataType::Boolean) {
        i = v.toInt64();
      } else {
        cannot(v, "integer value");
      }
      if (type == DataType::Int16) {
        if (i < std::numeric_limits<std::int16_t>::min() ||
            i > std::numeric_limits<std::int16_t>::max())
          throw ConversionError("'" + v.toText() + "' is out of range for a small integer");
        return static_cast<std::int16_t>(i);
      }
      if (type == DataType::Int32) {
        if (i < std::numeric_limits<std::int32_t>::min() ||
            i > std::numeric_limits<std::int32_t>::max())
          throw ConversionError("'" + v.toText() + "' is out of range for an integer");
        return static_cast<std::int32_t>(i);
      }
      return i;
    }
    case DataType::Float:
      if (v.type() == DataType::String || v.isNumeric() || v.type() == DataType::Boolean)
        return v.toDouble();
      cannot(v, "floating point value");
    case DataType::Decimal: {
      Decimal d;
      switch (v.type()) {
        case DataType::String:
          d = Decimal::parse(trimBlanks(v.string()));
          break;
        case DataType::Float:
          if (precision > 0 || !Decimal::tryParse(formatDouble(v.float64()), d))
            d = Decimal::fromDouble(v.float64(), precision > 0 ? scale : 10);
          break;
        case DataType::Int16:
        case DataType::Int32:
        case DataType::Int64:
        case DataType::Boolean:
          d = Decimal(v.toInt64(), 0);
          break;
        default:
          cannot(v, "decimal number");
      }
      return coerceValue(d, DataType::Decimal, precision, scale);
    }
    case DataType::String:
      if (v.type() == DataType::DataSet) cannot(v, "text");
      return v.toText();
    case DataType::Date:
      if (v.type() == DataType::String) return Date::parse(trimBlanks(v.string()));
      if (v.type() == DataType::DateTime) return v.dateTime().date();
      cannot(v, "date");
    case DataType::DateTime:
      if (v.type() == DataType::String) return DateTime::parse(trimBlanks(v.string()));
      if (v.type() == DataType::Date) return DateTime(v.date(), Time());
      cannot(v, "date and time");
    case DataType::Time:
      if (v.type() == DataType::String) return Time::parse(trimBlanks(v.string()));
      if (v.type() == DataType::DateTime) return v.dateTime().time();
      cannot(v, "time");
    case DataType::DataSet:
      cannot(v, "nested data set");
  }
  cannot(v, "value");
}

int compareValues(const Value& a, const Value& b, bool foldCase) {
  if (a.isNull() || b.isNull()) return cmp3(!a.isNull(), !b.isNull());
  DataType ta = a.type(), tb = b.type();
  if (ta == DataType::String && tb == DataType::String)
    return compareText(a.string(), b.string(), foldCase);
  if (ta == tb) {
    switch (ta) {
      case DataType::Date:
        return cmp3(a.date(), b.date());
      case DataType::DateTime:
        return cmp3(a.dateTime(), b.dateTime());
      case DataType::Time:
        return cmp3(a.time(), b.time());
      case DataType::Int64:
        return cmp3(a.int64(), b.int64());
      case DataType::Decimal:
        return Decimal::compare(a.decimal(), b.decimal());
      case DataType::DataSet:
        return 0;
      default:
        break;
    }
  }
  // Flags stored as text compare with booleans by their meaning.
  if (ta == DataType::Boolean || tb == DataType::Boolean) {
    const Value& other = ta == DataType::Boolean ? b : a;
    if (other.type() == DataType::String) {
      bool x = false;
      try {
        x = other.toBool();
      } catch (const ConversionError&) {
        return compareText(a.toText(), b.toText(), foldCase);
      }
      bool y = (ta == DataType::Boolean ? a : b).boolean();
      int c = cmp3(x, y);
      return ta == DataType::Boolean ? -c : c;
    }
  }
  Decimal da, db;
  double fa = 0, fb = 0;
  NumKind ka = numberOf(a, da, fa);
  NumKind kb = numberOf(b, db, fb);
  if (ka != NumKind::None && kb != NumKind::None &&
      (a.isNumeric() || b.isNumeric() || ta == DataType::Boolean || tb == DataType::Boolean)) {
    if (ka == NumKind::Exact && kb == NumKind::Exact) return Decimal::compare(da, db);
    double x = ka == NumKind::Exact ? da.toDouble() : fa;
    double y = kb == NumKind::Exact ? db.toDouble() : fb;
    return cmp3(x, y);
  }
  std::int64_t sa = 0, sb = 0;
  if ((ta == DataType::Date || ta == DataType::DateTime || tb == DataType::Date ||
       tb == DataType::DateTime) &&
      secondsOf(a, sa) && secondsOf(b, sb))
    return cmp3(sa, sb);
  if (ta == DataType::Time && tb == DataType::String) {
    Time t;
    if (Time::tryParse(trimBlanks(b.string()), t)) return cmp3(a.time(), t);
  }
  if (tb == DataType::Time && ta == DataType::String) {
    Time t;
    if (Time::tryParse(trimBlanks(a.string()), t)) return cmp3(t, b.time());
  }
  return compareText(a.toText(), b.toText(), foldCase);
}

}  // namespace vlt
