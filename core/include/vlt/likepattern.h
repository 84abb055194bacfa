#pragma once
// The find value of a report as SQL: whatever the user typed becomes one quoted LIKE pattern
// that finds exactly that text anywhere in a column, never statement text of its own.

#include <string>
#include <string_view>

namespace vlt {

// The character that makes the next %, _ or itself plain inside a find pattern.
inline constexpr char kLikeEscape = '!';

// The typed value without the blanks around it (ASCII and Unicode white space such as the
// ideographic space, as an input method types it) and without NUL characters, which no
// statement can carry.
std::string trimFindValue(std::string_view typed);

// '%50!%%' ESCAPE '!' for " 50% ": the trimmed value with %, _ and the escape character made
// plain, quoted as a string literal, followed by its escape clause.
std::string likeFindPattern(std::string_view typed);

}  // namespace vlt
