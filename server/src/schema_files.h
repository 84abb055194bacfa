#pragma once
// The SQL scripts under server/schema/, compiled into the program (generated at build time).

#include <string_view>
#include <vector>

namespace vlt::server {

struct SchemaFile {
  std::string_view schema;  // folder: "system", "auth", "account"
  std::string_view name;    // file name
  std::string_view text;
};

const std::vector<SchemaFile>& schemaFiles();

}  // namespace vlt::server
