#pragma once
// The service's HTTP interface: POST /api/<Operation> with a JSON body whose members are named
// like the operation's arguments. Answers: {"packet": ...}, {"status": "0"}, {"result": ...};
// failures of an operation as {"error": "..."} with HTTP 200; a malformed request 400, a missing
// or expired session 401, a set or user the caller may not reach 403, a body past the size
// limit 413, a compressed body 415, throttled sign-in and too many calls at once 429.

#include <httplib.h>

#include <chrono>
#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "service.h"

struct ssl_ctx_st;

namespace vlt::server {

struct HttpSettings {
  std::size_t maxRequestBytes = 16 * 1024 * 1024;  // the body as received, whatever its framing
  std::size_t maxSqlBytes = 1024 * 1024;
  // Calls (sign-in aside) one user may have running at once, and all users together; more are
  // answered 429 at once, so that slow calls never hold every worker and sign-in, registration
  // and the pages stay served.
  int maxCallsPerUser = 8;
  int maxBusyCalls = 48;
  // Load balancers whose requests count for the address they forward (sign-in throttling).
  std::vector<std::string> trustedProxies;
};

// Adds the API's routes to `server`; `service` must outlive it.
void mountApi(httplib::Server& server, DataService& service, HttpSettings settings = {});

// Settings for many clients with long-lived connections: `threads` workers, no Nagle delay
// (small answers would otherwise wait for the peer's delayed acknowledgement), long keep-alive,
// and no compressed request bodies, nor chunked ones outside the API (which caps them itself).
void tuneServer(httplib::Server& server, int threads);
// Binds like bind_to_port (port 0: any free port) with a listen queue long enough for many
// clients connecting at once; returns the port, or -1.
int bindServer(httplib::Server& server, const std::string& host, int port);

// An HTTP server (tuned as tuneServer does) whose workers only serve requests that have arrived:
// a connection waits for its next request's header (and a short body) in one waiting room
// shared by all connections, so idle keep-alive connections and slow senders hold no worker,
// and a request whose header does not arrive whole within `headerTimeout` of its first byte
// ends the connection. With a certificate and key (PEM files) it serves HTTPS, the handshake
// waiting in the room and timed like a header. Throws vlt::Error for unusable TLS files.
class HttpServer : public httplib::Server {
 public:
  explicit HttpServer(int threads, std::chrono::seconds headerTimeout = std::chrono::seconds(10),
                      const std::string& certFile = {}, const std::string& keyFile = {});
  ~HttpServer() override;

  struct Connection;
  class Workers;

 private:
  bool process_and_close_socket(socket_t sock) override;
  // Serves the connection's requests while they have arrived; parks it or closes it after.
  void serve(Connection* c);

  std::chrono::seconds headerTimeout_;
  ssl_ctx_st* tls_ = nullptr;
  Workers* workers_ = nullptr;  // while listening
};

}  // namespace vlt::server
