// vlt-testdb start|stop FOLDER: the private database shared by one test run.
#include <cstdio>
#include <cstring>
#include <exception>

#include "privatedb.h"

int main(int argc, char** argv) {
  if (argc != 3 || (std::strcmp(argv[1], "start") != 0 && std::strcmp(argv[1], "stop") != 0)) {
    std::fprintf(stderr, "usage: vlt-testdb start|stop FOLDER\n");
    return 2;
  }
  try {
    vlt::server::PrivateMariaDb db({.folder = argv[2], .tcpPort = 0, .extraArgs = ""});
    if (std::strcmp(argv[1], "start") == 0) {
      db.start();
      std::printf("private database answering on %s\n", db.socketPath().c_str());
    } else {
      db.stop();
      std::printf("private database stopped\n");
    }
    return 0;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "vlt-testdb: %s\n", e.what());
    return 1;
  }
}
