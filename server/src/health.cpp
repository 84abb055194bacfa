#include "health.h"

#include <httplib.h>

#include <atomic>
#include <iostream>

namespace vlt::server {

bool databasesAnswer(DataService& service, std::string& why) {
  for (const std::string* database : {&service.systemDatabase(), &service.authDatabase()}) {
    try {
      Lease db = service.adminConnection(*database);
      try {
        if (db->scalar("SELECT 1") != "1") throw Error("unexpected answer");
      } catch (...) {
        db.discard();  // a connection that died with its server is not given out again
        throw;
      }
    } catch (const std::exception& e) {
      why = *database + ": " + e.what();
      return false;
    }
  }
  return true;
}

void mountHealth(httplib::Server& server, DataService& service) {
  // Logged when the state changes, not at every check of the balancer.
  auto wasDown = std::make_shared<std::atomic<bool>>(false);
  server.Get("/health", [&service, wasDown](const httplib::Request&, httplib::Response& res) {
    std::string why;
    const bool up = databasesAnswer(service, why);
    if (wasDown->exchange(!up) != !up) {
      if (up)
        std::cerr << "vlt-dataservice: the databases answer again" << std::endl;
      else
        std::cerr << "vlt-dataservice: health check failing: " << why << std::endl;
    }
    res.set_header("Cache-Control", "no-store");
    // The reason stays in the log: the check is reachable by anyone.
    res.status = up ? 200 : 503;
    res.set_content(up ? "ok\n" : "unavailable\n", "text/plain; charset=utf-8");
  });
}

}  // namespace vlt::server
