#pragma once
// A request's body as the handlers read it: one JSON object whose members are the operation's
// arguments. Parsed without recursion and refused when nested deeper than any request needs, so
// that a body is harmless whatever it holds before any operation runs.

#include <cstddef>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>

#include "vlt/errors.h"
#include "vlt/packet.h"

namespace vlt::server {

// A request that is malformed (missing or invalid argument).
class BadRequest : public Error {
 public:
  using Error::Error;
};

// Deltas nest at most 64 levels; a request holds one inside its own object.
constexpr int kMaxRequestDepth = 72;

class RequestBody {
 public:
  // Throws BadRequest for malformed JSON (the message is valid UTF-8 whatever the text held),
  // for nesting deeper than kMaxRequestDepth and for anything but an object. An empty text is
  // an empty object.
  RequestBody(std::string_view text, std::size_t maxSqlBytes);

  // A member as text (numbers and booleans as written by the client); throws BadRequest.
  std::string text(const char* name) const;
  std::string optionalText(const char* name, const std::string& fallback = {}) const;
  // A member holding SQL, refused past the size limit.
  std::string sql(const char* name) const;
  // A delta given as an object or as its JSON text. Throws BadRequest, ParseError, DataSetError.
  Delta delta(const char* name) const;

 private:
  // Ordered: a delta member is handed on as text, and its "fields" must stay first.
  nlohmann::ordered_json body_;
  std::size_t maxSqlBytes_;
};

// The text with every byte that is not part of valid UTF-8 replaced by U+FFFD, so that it can
// go into a JSON answer (error messages quote what the client sent).
std::string validUtf8(std::string_view text);

}  // namespace vlt::server
