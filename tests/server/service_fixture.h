#pragma once
// A data service of its own for one test: its own prefix, so its system, auth and account-set
// databases and database accounts are dropped at the end and tests never see each other.

#include <random>

#include "service.h"
#include "testdb.h"

namespace vlt::server::test {

class ServiceFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    std::random_device rd;
    prefix = "t" + std::to_string(rd() % 100000000);
    ServiceSettings s;
    s.admin = rootEndpoint();
    s.prefix = prefix;
    s.fastHashing = true;
    service = std::make_unique<DataService>(s);
    service->prepare();
  }

  void TearDown() override {
    service.reset();
    auto root = Connection::open(rootEndpoint());
    Packet dbs = root->query(
        "SELECT SCHEMA_NAME FROM information_schema.SCHEMATA WHERE "
        "SCHEMA_NAME LIKE '" +
        prefix + "\\_%'");
    for (const Row& r : dbs.rows)
      root->execute("DROP DATABASE " + quoteIdentifier(r[0].toText()));
    Packet users =
        root->query("SELECT User, Host FROM mysql.user WHERE User LIKE '" + prefix + "\\_%'");
    for (const Row& r : users.rows)
      root->execute("DROP USER '" + r[0].toText() + "'@'" + r[1].toText() + "'");
  }

  // A signed-in user with one account set "<id>_01".
  Caller userWithSet(const std::string& nick) {
    Caller c{service->CreateUser(nick, "secret " + nick), "127.0.0.1"};
    EXPECT_EQ(service->CreateUserDB(c, c.userId, c.userId + "_01", nick + "的帐套", "False"), "0");
    return c;
  }

  // Runs DDL in an account set as the administrator (clients may not).
  void adminExecute(const std::string& setId, const std::string& sql) {
    DbEndpoint e = rootEndpoint();
    e.database = prefix + "_" + setId;
    Connection::open(e)->execute(sql);
  }

  std::string prefix;
  std::unique_ptr<DataService> service;
};

}  // namespace vlt::server::test
