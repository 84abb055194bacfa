// The service's request decoder: a body as it comes off the network, read as the handlers read
// it. Nothing may escape but the service's own errors (answered 400), and an error message,
// which quotes what was sent, must always make a valid answer.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "request.h"
#include "vlt/json.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  try {
    vlt::server::RequestBody body(text, 4096);
    for (const char* name : {"UserID", "UserDBID", "Table", "KeyFields", "IsDefault"}) {
      try {
        (void)body.optionalText(name);
      } catch (const vlt::server::BadRequest&) {
      }
    }
    try {
      (void)body.sql("SQL");
    } catch (const vlt::server::BadRequest&) {
    }
    (void)body.delta("Delta");
  } catch (const vlt::Error& e) {
    std::string answer;
    vlt::appendJsonString(answer, vlt::server::validUtf8(e.what()));
  }
  const std::string cleaned = vlt::server::validUtf8(text);
  if (vlt::server::validUtf8(cleaned) != cleaned) __builtin_trap();
  return 0;
}
