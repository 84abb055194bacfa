// The client address behind a trusted balancer, from X-Forwarded-For headers the client may have
// forged in part. Whatever the headers hold, the answer is the connection's address or a short
// IP-address text that the last header ends with.
//
// Input: the headers' values, one per line; the first byte says whether the peer is trusted.

#include <httplib.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "web.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const bool trusted = data[0] & 1;
  std::string_view rest(reinterpret_cast<const char*>(data + 1), size - 1);
  httplib::Request req;
  req.remote_addr = "192.0.2.1";
  std::string last;
  while (!rest.empty()) {
    std::size_t end = rest.find('\n');
    last = std::string(rest.substr(0, end));
    req.headers.emplace("X-Forwarded-For", last);
    rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
  }
  const std::string got = vlt::server::clientAddress(
      req, trusted ? std::vector<std::string>{"192.0.2.1"} : std::vector<std::string>{});
  if (got == req.remote_addr) return 0;
  if (!trusted || got.empty() || got.size() > 45 ||
      got.find_first_not_of("0123456789abcdefABCDEF:.") != std::string::npos ||
      last.find(got) == std::string::npos)
    std::abort();
  return 0;
}
