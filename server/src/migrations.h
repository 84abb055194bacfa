#pragma once
// Versioned schema migrations: SQL scripts applied in order, each once per database. The
// scripts are compiled into the program, so a deployed service needs no files beside it.

#include <string>
#include <string_view>
#include <vector>

#include "db.h"

namespace vlt::server {

struct Migration {
  int version = 0;
  std::string name;  // file name, e.g. "0001_tables.sql"
  std::vector<std::string> statements;
};

// Splits a script into statements the way the command-line client does: statements end with
// the current delimiter (";" unless changed by a "DELIMITER $$" line), quotes and comments are
// respected. Throws vlt::Error for an unterminated quote.
std::vector<std::string> splitSqlScript(std::string_view script);

// The migrations of one schema ("system", "auth", "account"), from the compiled-in scripts.
// Throws vlt::Error for a file name without a version number or two files with one version.
std::vector<Migration> schemaMigrations(std::string_view schema);

// While it lives, no other instance changes the schema of the connection's database: instances
// starting together would otherwise run the same script twice, or replace the same views at
// once (which a cluster may not survive). A row with a fixed key is the lock, as a row is what
// every node of a cluster agrees on (a second taker fails on the key, or on another node in
// certification). A holder refreshes its row as it goes; one untouched for two minutes was left
// by a process that died, and gives way.
class SchemaLock {
 public:
  explicit SchemaLock(Connection& db);
  ~SchemaLock();
  SchemaLock(const SchemaLock&) = delete;
  SchemaLock& operator=(const SchemaLock&) = delete;
  void refresh();

 private:
  Connection& db_;
  std::string holder_;
};

// Applies the migrations not yet recorded in the connection's database, in order, recording
// each in `vlt_schema_version`, under the database's SchemaLock when any is left. Returns how
// many were applied. Throws DbError naming the file.
int applyMigrations(Connection& db, const std::vector<Migration>& migrations);

// Runs a statement that instances starting together on a cluster's nodes may collide on
// (reported as a deadlock), trying again a few times.
void executeAgainOnCollision(Connection& db, const std::string& sql);

}  // namespace vlt::server
