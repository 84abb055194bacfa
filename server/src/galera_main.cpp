// vlt-galera start|stop FOLDER [NODES]: a Galera cluster of private servers on loopback, shared
// by one test run (the ports are kept in FOLDER/cluster).
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>

#include "galera.h"

int main(int argc, char** argv) {
  if (argc < 3 || (std::strcmp(argv[1], "start") != 0 && std::strcmp(argv[1], "stop") != 0)) {
    std::fprintf(stderr, "usage: vlt-galera start|stop FOLDER [NODES]\n");
    return 2;
  }
  try {
    if (std::strcmp(argv[1], "stop") == 0) {
      vlt::server::GaleraCluster::attach(argv[2]).stop();
      std::printf("cluster stopped\n");
      return 0;
    }
    if (vlt::server::galeraLibrary().empty()) {
      std::printf("galera-4 is not installed: no cluster\n");
      return 0;
    }
    vlt::server::GaleraOptions o;
    o.folder = argv[2];
    o.nodes = argc > 3 ? std::stoi(argv[3]) : 3;
    // Small nodes: three of them share the machine with the tests.
    o.extraArgs = "--innodb-buffer-pool-size=32M --innodb-log-file-size=16M";
    o.stopWithParent = false;
    vlt::server::GaleraCluster c(o);
    c.start();
    c.leaveRunning();
    std::printf("%d nodes synced, SQL on 127.0.0.1 ports", c.size());
    for (int i = 0; i < c.size(); ++i)
      std::printf(" %d", c.sqlPort(i));
    std::printf("\n");
    return 0;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "vlt-galera: %s\n", e.what());
    return 1;
  }
}
