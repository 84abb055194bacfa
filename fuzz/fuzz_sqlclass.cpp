// The statement classifier on arbitrary text: it must never crash, and what it lets through must
// read the same way again (the service runs the statement it returns).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "sqlclass.h"

using namespace vlt::server;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  SqlTokens lexed = tokenizeSql(text);
  for (const SqlToken& t : lexed.tokens)
    if (t.offset + t.length > text.size() || t.length == 0) std::abort();
  SqlVerdict v = classifyClientSql(text);
  if (!v.allowed) {
    if (v.reason.empty()) std::abort();
    return 0;
  }
  if (!lexed.error.empty() || v.statement.empty()) std::abort();
  // The statement sent to the server is judged the same, and is one statement of the same kind.
  SqlVerdict again = classifyClientSql(v.statement);
  if (!again.allowed || again.kind != v.kind || again.statement != v.statement) std::abort();
  return 0;
}
