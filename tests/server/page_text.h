#pragma once
// Reading the web site's pages in tests.

#include <httplib.h>

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

// Opens the registration page at `url` as a browser holding `cookie` ("vlt_form=...", kept up to
// date from the answer) and returns the form's token; empty when the page did not come.
inline std::string openRegistrationForm(const std::string& url, std::string& cookie) {
  httplib::Client c(url);
  httplib::Headers h;
  if (!cookie.empty()) h.emplace("Cookie", cookie);
  auto r = c.Get("/reg.htm", h);
  if (!r || r->status != 200) return {};
  std::string set = r->get_header_value("Set-Cookie");
  if (!set.empty()) cookie = set.substr(0, set.find(';'));
  return between(r->body, "name=\"token\" value=\"", "\"");
}

}  // namespace vlt::server::test
