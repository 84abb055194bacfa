#include "migrations.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <random>
#include <thread>

#include "schema_files.h"

namespace vlt::server {

namespace {

bool startsWithWordIgnoreCase(std::string_view line, std::string_view word) {
  if (line.size() < word.size()) return false;
  for (std::size_t i = 0; i < word.size(); ++i)
    if (std::toupper(static_cast<unsigned char>(line[i])) != word[i]) return false;
  return line.size() == word.size() || line[word.size()] == ' ' || line[word.size()] == '\t';
}

std::string trim(std::string_view s) {
  std::size_t a = 0, b = s.size();
  while (a < b && std::isspace(static_cast<unsigned char>(s[a])))
    ++a;
  while (b > a && std::isspace(static_cast<unsigned char>(s[b - 1])))
    --b;
  return std::string(s.substr(a, b - a));
}

}  // namespace

std::vector<std::string> splitSqlScript(std::string_view script) {
  std::vector<std::string> out;
  std::string delimiter = ";";
  std::string current;
  char quote = 0;
  bool blockComment = false;
  std::size_t i = 0;
  const std::size_t n = script.size();
  auto flush = [&] {
    std::string s = trim(current);
    if (!s.empty()) out.push_back(std::move(s));
    current.clear();
  };
  while (i < n) {
    // At the start of a line outside any statement text, a DELIMITER command may follow.
    bool lineStart = i == 0 || script[i - 1] == '\n';
    if (lineStart && !quote && !blockComment && trim(current).empty()) {
      std::size_t end = script.find('\n', i);
      std::string_view line = script.substr(i, end == std::string_view::npos ? n - i : end - i);
      std::string t = trim(line);
      if (startsWithWordIgnoreCase(t, "DELIMITER")) {
        delimiter = trim(std::string_view(t).substr(9));
        if (delimiter.empty()) throw Error("DELIMITER without a delimiter");
        current.clear();
        i = end == std::string_view::npos ? n : end + 1;
        continue;
      }
    }
    char c = script[i];
    if (blockComment) {
      current += c;
      if (c == '*' && i + 1 < n && script[i + 1] == '/') {
        current += '/';
        ++i;
        blockComment = false;
      }
      ++i;
      continue;
    }
    if (quote) {
      current += c;
      if (c == quote) {
        if (i + 1 < n && script[i + 1] == quote) {  // doubled quote inside the literal
          current += quote;
          ++i;
        } else {
          quote = 0;
        }
      }
      ++i;
      continue;
    }
    if (c == '-' && i + 1 < n && script[i + 1] == '-' &&
        (i + 2 >= n || std::isspace(static_cast<unsigned char>(script[i + 2])))) {
      std::size_t end = script.find('\n', i);
      i = end == std::string_view::npos ? n : end;  // the comment is dropped
      continue;
    }
    if (c == '#') {
      std::size_t end = script.find('\n', i);
      i = end == std::string_view::npos ? n : end;
      continue;
    }
    if (c == '/' && i + 1 < n && script[i + 1] == '*') {
      blockComment = true;
      current += "/*";
      i += 2;
      continue;
    }
    if (c == '\'' || c == '"' || c == '`') {
      quote = c;
      current += c;
      ++i;
      continue;
    }
    if (script.compare(i, delimiter.size(), delimiter) == 0) {
      flush();
      i += delimiter.size();
      continue;
    }
    current += c;
    ++i;
  }
  if (quote) throw Error("Unterminated quoted text in a SQL script");
  flush();
  return out;
}

std::vector<Migration> schemaMigrations(std::string_view schema) {
  std::map<int, Migration> byVersion;
  for (const SchemaFile& f : schemaFiles()) {
    if (f.schema != schema) continue;
    std::string_view name = f.name;
    std::size_t digits = 0;
    while (digits < name.size() && std::isdigit(static_cast<unsigned char>(name[digits])))
      ++digits;
    if (digits == 0) throw Error("Migration '" + std::string(name) + "' has no version number");
    int version = std::stoi(std::string(name.substr(0, digits)));
    if (byVersion.count(version))
      throw Error("Two migrations of '" + std::string(schema) + "' have version " +
                  std::to_string(version));
    byVersion[version] = Migration{version, std::string(name), splitSqlScript(f.text)};
  }
  std::vector<Migration> out;
  for (auto& [v, m] : byVersion)
    out.push_back(std::move(m));
  return out;
}

namespace {

std::vector<std::int64_t> appliedVersions(Connection& db) {
  Packet done = db.query("SELECT version FROM vlt_schema_version");
  std::vector<std::int64_t> applied;
  for (const Row& r : done.rows)
    applied.push_back(r[0].toInt64());
  return applied;
}

bool pending(Connection& db, const std::vector<Migration>& migrations) {
  const auto applied = appliedVersions(db);
  return std::any_of(migrations.begin(), migrations.end(), [&](const Migration& m) {
    return std::find(applied.begin(), applied.end(), m.version) == applied.end();
  });
}

}  // namespace

void executeAgainOnCollision(Connection& db, const std::string& sql) {
  for (int attempt = 1;; ++attempt) {
    try {
      db.execute(sql);
      return;
    } catch (const DbError& e) {
      if (!e.retryable() || attempt >= 10) throw;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50 * attempt));
  }
}

SchemaLock::SchemaLock(Connection& db) : db_(db) {
  std::random_device rd;
  holder_ = std::to_string(rd()) + std::to_string(rd());
  executeAgainOnCollision(
      db_,
      "CREATE TABLE IF NOT EXISTS vlt_schema_lock (id TINYINT PRIMARY KEY, holder VARCHAR(40) "
      "NOT NULL, taken_at DATETIME NOT NULL)");
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(10);
  for (;;) {
    try {
      db_.execute("INSERT INTO vlt_schema_lock VALUES (1, '" + holder_ + "', UTC_TIMESTAMP())");
      return;
    } catch (const DbError& e) {
      if (e.code() != 1062 && !e.retryable()) throw;
    }
    if (std::chrono::steady_clock::now() > deadline)
      throw Error("Another instance has been upgrading database " + db_.database() +
                  " for ten minutes");
    executeAgainOnCollision(
        db_,
        "DELETE FROM vlt_schema_lock WHERE id = 1 AND taken_at < UTC_TIMESTAMP() - INTERVAL 2 "
        "MINUTE");
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
}

SchemaLock::~SchemaLock() {
  try {
    db_.execute("DELETE FROM vlt_schema_lock WHERE holder = '" + holder_ + "'");
  } catch (const DbError&) {
    // The connection is gone; the row gives way after two minutes.
  }
}

void SchemaLock::refresh() {
  db_.execute("UPDATE vlt_schema_lock SET taken_at = UTC_TIMESTAMP() WHERE holder = '" + holder_ +
              "'");
}

int applyMigrations(Connection& db, const std::vector<Migration>& migrations) {
  executeAgainOnCollision(
      db,
      "CREATE TABLE IF NOT EXISTS vlt_schema_version (version INT PRIMARY KEY, "
      "name VARCHAR(200) NOT NULL, applied_at DATETIME NOT NULL DEFAULT CURRENT_TIMESTAMP)");
  if (!pending(db, migrations)) return 0;
  SchemaLock lock(db);
  // What is left once the lock is ours: another instance may have applied it meanwhile.
  const std::vector<std::int64_t> applied = appliedVersions(db);
  int count = 0;
  for (const Migration& m : migrations) {
    if (std::find(applied.begin(), applied.end(), m.version) != applied.end()) continue;
    for (std::size_t s = 0; s < m.statements.size(); ++s) {
      try {
        db.execute(m.statements[s]);
      } catch (const DbError& e) {
        throw DbError(e.code(), e.sqlState(),
                      m.name + ", statement " + std::to_string(s + 1) + ": " + e.what());
      }
    }
    db.execute("INSERT INTO vlt_schema_version (version, name) VALUES (" +
               std::to_string(m.version) + ",'" + m.name + "')");
    lock.refresh();
    ++count;
  }
  return count;
}

}  // namespace vlt::server
