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

// Settings for many clients with long-lived connections: `threads` workers, no Nagle delay
// (small answers would otherwise wait for the peer's delayed acknowledgement), long keep-alive.
void tuneServer(httplib::Server& server, int threads);
// Binds like bind_to_port (port 0: any free port) with a listen queue long enough for many
// clients connecting at once; returns the port, or -1.
int bindServer(httplib::Server& server, const std::string& host, int port);

}  // namespace vlt::server
