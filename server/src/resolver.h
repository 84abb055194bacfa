#pragma once
// Applies a delta (the change log of a client data set) to a table: inserts, updates and deletes
// matched by key fields and checked against the original values, so that a row someone else
// changed since it was read is refused instead of overwritten. Only columns the table really has
// are written. The caller owns the transaction.

#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "db.h"
#include "vlt/packet.h"

namespace vlt::server {

// A refusal to save, with the text the client shows to the user.
class SaveRefused : public Error {
 public:
  using Error::Error;
};

struct ColumnInfo {
  std::string name;
  bool numeric = false;  // written unquoted; flags become 1/0
  bool autoIncrement = false;
};

struct TableInfo {
  std::string name;  // as stored (lower case)
  std::vector<ColumnInfo> columns;
  std::vector<std::string> primaryKey;
  const ColumnInfo* find(std::string_view column) const;
};

// Column lists of the tables of each database, read once.
class SchemaCache {
 public:
  // Throws SaveRefused for a table name that is not a plain identifier or not in the database.
  const TableInfo& table(Connection& db, std::string_view name);
  void clear();

 private:
  std::mutex mutex_;
  std::map<std::string, TableInfo> tables_;  // "database.table"
};

// "Bid", "UserID,ModuleID" or "a;b" into names.
std::vector<std::string> splitKeyFields(std::string_view keys);

// The value as a SQL literal for the column.
std::string sqlLiteral(const Value& v, const ColumnInfo* column);

struct DeltaTarget {
  const TableInfo* table = nullptr;
  std::vector<std::string> keyFields;  // empty: match on every written column
  // Columns the database keeps itself (done quantities, balances, finished flags): the client's
  // values are neither written nor checked.
  std::vector<std::string> derivedColumns;
};

// The derived columns of a table of an account set, by its name.
std::vector<std::string> derivedColumnsOf(std::string_view table);

// Applies the top-level rows of `delta` to `target`. Nested line changes (DetailDelta) go to
// `detail` when given (a master deleted takes all its lines with it), else they are refused.
// Throws SaveRefused (stale row, missing key, nothing to match on) or DbError.
void applyDelta(Connection& db, const Delta& delta, const DeltaTarget& target,
                const DeltaTarget* detail = nullptr);

}  // namespace vlt::server
