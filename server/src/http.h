#pragma once
// The service's HTTP interface: POST /api/<Operation> with a JSON body whose members are named
// like the operation's arguments. Answers: {"packet": ...}, {"status": "0"}, {"result": ...};
// failures of an operation as {"error": "..."} with HTTP 200; a malformed request 400, a missing
// or expired session 401, a set or user the caller may not reach 403, throttled sign-in 429.

#include <cstddef>
#include <string>

#include "service.h"

namespace httplib {
class Server;
}

namespace vlt::server {

struct HttpSettings {
  std::size_t maxRequestBytes = 16 * 1024 * 1024;
  std::size_t maxSqlBytes = 1024 * 1024;
};

// Adds the API's routes to `server`; `service` must outlive it.
void mountApi(httplib::Server& server, DataService& service, HttpSettings settings = {});

}  // namespace vlt::server
