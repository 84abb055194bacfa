#include "vlt/likepattern.h"

#include <array>
#include <cstddef>

#include "vlt/sqltext.h"

namespace vlt {

namespace {

// The white space a line edit trims, as UTF-8: the ASCII blanks and controls, NEL, NBSP, the
// Ogham mark, the typographic spaces, the line and paragraph separators and the ideographic
// space.
constexpr std::array<std::string_view, 19> kWideBlanks = {
    "\xC2\x85",     "\xC2\xA0",     "\xE1\x9A\x80", "\xE2\x80\x80", "\xE2\x80\x81",
    "\xE2\x80\x82", "\xE2\x80\x83", "\xE2\x80\x84", "\xE2\x80\x85", "\xE2\x80\x86",
    "\xE2\x80\x87", "\xE2\x80\x88", "\xE2\x80\x89", "\xE2\x80\x8A", "\xE2\x80\xA8",
    "\xE2\x80\xA9", "\xE2\x80\xAF", "\xE2\x81\x9F", "\xE3\x80\x80"};

bool asciiBlank(char c) {
  return c == ' ' || (c >= '\t' && c <= '\r');
}

// The length of the blank that `text` starts (front) or ends (!front) with, 0 for none.
std::size_t blankAt(std::string_view text, bool front) {
  if (text.empty()) return 0;
  if (asciiBlank(front ? text.front() : text.back())) return 1;
  for (std::string_view b : kWideBlanks)
    if (front ? text.starts_with(b) : text.ends_with(b)) return b.size();
  return 0;
}

}  // namespace

std::string trimFindValue(std::string_view typed) {
  std::string kept;
  kept.reserve(typed.size());
  for (char c : typed)
    if (c != '\0') kept += c;
  std::string_view t = kept;
  while (std::size_t n = blankAt(t, true))
    t.remove_prefix(n);
  while (std::size_t n = blankAt(t, false))
    t.remove_suffix(n);
  return std::string(t);
}

std::string likeFindPattern(std::string_view typed) {
  const std::string value = trimFindValue(typed);
  std::string pattern;
  pattern.reserve(value.size() + 8);
  pattern += '%';
  for (char c : value) {
    if (c == '%' || c == '_' || c == kLikeEscape) pattern += kLikeEscape;
    pattern += c;
  }
  pattern += '%';
  return quotedStr(pattern) + " ESCAPE '" + kLikeEscape + "'";
}

}  // namespace vlt
