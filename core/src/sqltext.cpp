#include "vlt/sqltext.h"

#include <charconv>
#include <cmath>

#include "vlt/errors.h"

namespace vlt {

std::string quotedStr(std::string_view text) {
  std::string out;
  out.reserve(text.size() + 2);
  out += '\'';
  for (char c : text) {
    // Doubling the quote is the only escape: backslashes are plain characters on this server.
    if (c == '\'') out += '\'';
    out += c;
  }
  out += '\'';
  return out;
}

std::string likeContains(std::string_view text) {
  std::string pattern;
  pattern.reserve(text.size() + 2);
  pattern += '%';
  pattern += text;
  pattern += '%';
  return quotedStr(pattern);
}

std::string sqlNumber(std::int64_t value) {
  return std::to_string(value);
}

std::string sqlNumber(double value) {
  if (!std::isfinite(value)) {
    throw ConversionError("a non-finite number cannot be written into SQL");
  }
  char buf[32];
  auto [end, ec] = std::to_chars(buf, buf + sizeof buf, value);
  if (ec != std::errc()) throw ConversionError("cannot format a number for SQL");
  return std::string(buf, end);
}

std::string sqlNumber(const Decimal& value) {
  return value.toString();
}

}  // namespace vlt
