// A report's find value on arbitrary text: what goes into the statement is exactly one string
// literal and its escape clause, as the service's lexer reads it, and the literal, read as a
// LIKE pattern, matches the trimmed value itself and nothing wider.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "sqlclass.h"
#include "vlt/likepattern.h"

using namespace vlt::server;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view typed(reinterpret_cast<const char*>(data), size);
  const std::string value = vlt::trimFindValue(typed);
  // Trimming twice changes nothing, keeps no NUL and only ever takes away from the ends.
  if (vlt::trimFindValue(value) != value || value.find('\0') != std::string::npos) std::abort();
  std::string kept(typed);
  std::erase(kept, '\0');
  if (kept.find(value) == std::string::npos) std::abort();

  const std::string sql = vlt::likeFindPattern(typed);
  const SqlTokens lexed = tokenizeSql(sql);
  if (!lexed.error.empty() || lexed.tokens.size() != 3) std::abort();
  const SqlToken& literal = lexed.tokens[0];
  if (literal.kind != SqlTokenKind::String || literal.offset != 0 || sql[0] != '\'') std::abort();
  if (lexed.tokens[1].kind != SqlTokenKind::Word || lexed.tokens[1].text != "ESCAPE") std::abort();
  const SqlToken& escape = lexed.tokens[2];
  if (escape.kind != SqlTokenKind::String || escape.text != std::string(1, vlt::kLikeEscape) ||
      escape.offset + escape.length != sql.size())
    std::abort();

  // %...% around the value; inside, every wildcard is escaped and every escape escapes one of
  // %, _ or itself.
  const std::string& p = literal.text;
  if (p.size() < 2 || p.front() != '%' || p.back() != '%') std::abort();
  std::string plain;
  for (std::size_t i = 1; i + 1 < p.size(); ++i) {
    const char c = p[i];
    if (c == '%' || c == '_') std::abort();
    if (c == vlt::kLikeEscape) {
      if (++i + 1 >= p.size()) std::abort();
      const char next = p[i];
      if (next != '%' && next != '_' && next != vlt::kLikeEscape) std::abort();
      plain += next;
    } else {
      plain += c;
    }
  }
  if (plain != value) std::abort();
  return 0;
}
