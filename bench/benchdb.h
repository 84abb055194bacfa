#pragma once
// The database side of the service benchmarks: a private MariaDB (in VLT_BENCH_DB_FOLDER when
// set, kept then, else a throw-away folder) and a DataService on it under a random prefix.
// `stop` drops what the run made in a kept folder, so that the next run starts clean.

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <random>
#include <string>

#include "db.h"
#include "privatedb.h"
#include "service.h"
#include "vlt/sqltext.h"

namespace vlt::bench {

struct BenchDatabase {
  std::filesystem::path folder;
  bool removeFolder = false;
  bool stopServer = false;
  std::unique_ptr<server::PrivateMariaDb> db;
  server::DbEndpoint root;
  std::string prefix;
  std::unique_ptr<server::DataService> service;

  // `name` names the throw-away folder; `letter` starts the prefix.
  void start(const std::string& name, char letter) {
    const char* given = std::getenv("VLT_BENCH_DB_FOLDER");
    removeFolder = !(given && *given);
    folder = removeFolder
                 ? std::filesystem::path("/tmp") / (name + "-" + std::to_string(::getpid()))
                 : std::filesystem::path(given);
    db = std::make_unique<server::PrivateMariaDb>(
        server::PrivateDbOptions{.folder = folder, .tcpPort = 0, .extraArgs = ""});
    stopServer = !db->answering();
    std::printf("Starting the private database in %s ...\n", folder.c_str());
    std::fflush(stdout);
    db->start();
    root.socket = db->socketPath();
    root.user = "root";
    std::random_device rd;
    prefix = letter + std::to_string(rd() % 100000000);
    server::ServiceSettings s;
    s.admin = root;
    s.prefix = prefix;
    s.fastHashing = true;
    service = std::make_unique<server::DataService>(s);
    service->prepare();
  }

  // Waits until the server has purged what a generation left behind, and takes the statistics
  // of every table of `db`'s database anew: measuring before would time the purge beside the
  // work, on plans made for empty tables.
  static void settle(server::Connection& db) {
    db.execute("SET GLOBAL innodb_max_purge_lag_wait=0");
    const Packet tables = db.query(
        "SELECT TABLE_NAME FROM information_schema.TABLES WHERE TABLE_SCHEMA=DATABASE() AND "
        "TABLE_TYPE='BASE TABLE'");
    for (const Row& t : tables.rows)
      db.query("ANALYZE TABLE " + server::quoteIdentifier(t[0].toText()));
  }

  void stop(const char* program) {
    service.reset();
    if (!db) return;
    try {
      if (!removeFolder && db->answering()) {
        auto c = server::Connection::open(root);
        Packet dbs = c->query(
            "SELECT SCHEMA_NAME FROM information_schema.SCHEMATA WHERE SCHEMA_NAME LIKE '" +
            prefix + "\\_%'");
        for (const Row& r : dbs.rows)
          c->execute("DROP DATABASE " + server::quoteIdentifier(r[0].toText()));
        Packet users =
            c->query("SELECT User, Host FROM mysql.user WHERE User LIKE '" + prefix + "\\_%'");
        for (const Row& r : users.rows)
          c->execute("DROP USER " + quotedStr(r[0].toText()) + "@" + quotedStr(r[1].toText()));
      }
    } catch (const std::exception& e) {
      std::fprintf(stderr, "%s: cleaning up: %s\n", program, e.what());
    }
    if (stopServer) db->stop();
    if (removeFolder) {
      std::error_code ec;
      std::filesystem::remove_all(folder, ec);
    }
  }
};

}  // namespace vlt::bench
