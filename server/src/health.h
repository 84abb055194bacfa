#pragma once
// GET /health, for the load balancer in front of several instances: 200 while this instance's
// own databases answer, 503 when they do not, so that it is taken out of the rotation.

#include <string>

#include "service.h"

namespace httplib {
class Server;
}

namespace vlt::server {

// True when a trivial query answers on the system and the auth database; otherwise false with
// the reason in `why`.
bool databasesAnswer(DataService& service, std::string& why);

// Adds GET /health. Mount it before any route that answers every path. `service` must outlive
// `server`.
void mountHealth(httplib::Server& server, DataService& service);

}  // namespace vlt::server
