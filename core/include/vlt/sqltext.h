#pragma once
// Putting values into SQL text the way the client does: strings in single quotes with inner
// quotes doubled; a few numbers unquoted. The service runs with NO_BACKSLASH_ESCAPES, so this
// quoting is complete.

#include <cstdint>
#include <string>
#include <string_view>

#include "vlt/decimal.h"

namespace vlt {

// 'it''s'
std::string quotedStr(std::string_view text);
// '%text%' for a LIKE that finds the text anywhere.
std::string likeContains(std::string_view text);
// Unquoted numbers: 12, -1, 12.5 (shortest exact form of a double), 12.50 for a decimal.
std::string sqlNumber(std::int64_t value);
std::string sqlNumber(double value);
std::string sqlNumber(const Decimal& value);

}  // namespace vlt
