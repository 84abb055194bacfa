#pragma once
// Reading the web site's pages in tests.

#include <string>

namespace vlt::server::test {

// The text between the first `before` and the next `after`; empty when either is missing.
inline std::string between(const std::string& text, const std::string& before,
                           const std::string& after) {
  std::size_t a = text.find(before);
  if (a == std::string::npos) return {};
  a += before.size();
  std::size_t b = text.find(after, a);
  return b == std::string::npos ? std::string() : text.substr(a, b - a);
}

// The login ID a registration's result page shows.
inline std::string loginIdOf(const std::string& page) {
  return between(page, "id=\"login-id\">", "<");
}

}  // namespace vlt::server::test
