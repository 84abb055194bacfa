#pragma once
// The independent recomputation of an account set's derived data (tests/schema/check_account.sql)
// run on a connection to the set's database: the FAIL rows of every statement.

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "db.h"
#include "migrations.h"

namespace vlt::server::test {

inline const std::vector<std::string>& accountCheckStatements() {
  static const std::vector<std::string> statements = [] {
    const auto file = std::filesystem::path(VLT_SOURCE_DIR) / "tests/schema/check_account.sql";
    std::ifstream in(file, std::ios::binary);
    if (!in) throw Error("cannot read " + file.string());
    std::stringstream text;
    text << in.rdbuf();
    return splitSqlScript(text.str());
  }();
  return statements;
}

// The statements share temporary tables: one administrative connection runs them all.
inline std::vector<std::string> brokenInvariants(Connection& setDatabase) {
  std::vector<std::string> out;
  for (const std::string& sql : accountCheckStatements())
    for (const Row& r : setDatabase.query(sql).rows)
      out.push_back(r.empty() ? std::string("(empty row)") : r[0].toText());
  return out;
}

}  // namespace vlt::server::test
