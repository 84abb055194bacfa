#pragma once
// The private database of the test run (started by the testdb_start fixture) and a fresh
// database per test.

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>

#include "db.h"
#include "privatedb.h"

namespace vlt::server::test {

// A file of the source tree named relative to this test's source (`file` is __FILE__). With a
// compiler cache that rewrites paths, __FILE__ is relative to the build folder, the parent of the
// folder holding the test programs, not to where ctest runs them.
inline std::filesystem::path sourcePath(const char* file, const char* relative) {
  std::filesystem::path p = std::filesystem::path(file).parent_path() / relative;
  if (p.is_absolute()) return p;
  return std::filesystem::read_symlink("/proc/self/exe").parent_path().parent_path() / p;
}

inline DbEndpoint rootEndpoint() {
  const char* folder = std::getenv("VLT_TEST_DB_FOLDER");
  if (!folder || !*folder) throw Error("VLT_TEST_DB_FOLDER is not set; run the tests with ctest");
  PrivateMariaDb db({.folder = folder, .tcpPort = 0, .extraArgs = ""});
  DbEndpoint e;
  e.socket = db.socketPath();
  e.user = "root";
  e.password = db.adminPassword();
  return e;
}

// A database of its own for one test, dropped at the end.
class ScratchDatabase {
 public:
  ScratchDatabase() {
    std::random_device rd;
    name_ = "t_" + std::to_string(rd()) + "_" + std::to_string(counter()++);
    admin_ = Connection::open(rootEndpoint());
    admin_->execute("CREATE DATABASE " + name_);
  }
  ~ScratchDatabase() {
    try {
      admin_->execute("DROP DATABASE IF EXISTS " + name_);
    } catch (const std::exception&) {
      // A test that broke the connection leaves a scratch database behind; harmless.
    }
  }
  const std::string& name() const { return name_; }
  std::unique_ptr<Connection> connect() const {
    DbEndpoint e = rootEndpoint();
    e.database = name_;
    return Connection::open(e);
  }

 private:
  static std::atomic<int>& counter() {
    static std::atomic<int> c{0};
    return c;
  }
  std::string name_;
  std::unique_ptr<Connection> admin_;
};

}  // namespace vlt::server::test
