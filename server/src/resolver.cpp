#include "resolver.h"

#include "billcode.h"

#include <cctype>

#include "vlt/sqltext.h"

namespace vlt::server {

namespace {

std::string lower(std::string_view s) {
  std::string out(s);
  for (char& c : out)
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

bool plainIdentifier(std::string_view s) {
  if (s.empty() || s.size() > 64) return false;
  for (char c : s)
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_') return false;
  return true;
}

// The changed row could not be matched: someone else changed or deleted it since it was read.
[[noreturn]] void stale(const TableInfo& t, const std::string& where) {
  throw SaveRefused("数据已被其他用户修改或删除，请刷新后重试（" + t.name + "：" + where + "）");
}

struct Column {
  std::size_t field;  // index in the delta's definitions
  const ColumnInfo* info;
};

}  // namespace

const ColumnInfo* TableInfo::find(std::string_view column) const {
  for (const ColumnInfo& c : columns)
    if (equalsIgnoreCase(c.name, column)) return &c;
  return nullptr;
}

const TableInfo& SchemaCache::table(Connection& db, std::string_view name) {
  if (!plainIdentifier(name)) throw SaveRefused("表名无效：" + std::string(name));
  std::string key = lower(db.database()) + "." + lower(name);
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = tables_.find(key);
  if (it != tables_.end()) return it->second;
  Packet cols = db.query(
      "SELECT COLUMN_NAME, DATA_TYPE, COLUMN_KEY, EXTRA FROM information_schema.COLUMNS "
      "WHERE TABLE_SCHEMA = DATABASE() AND TABLE_NAME = " +
      quotedStr(lower(name)) + " ORDER BY ORDINAL_POSITION");
  if (cols.rows.empty()) throw SaveRefused("表不存在：" + std::string(name));
  TableInfo t;
  t.name = lower(name);
  for (const Row& r : cols.rows) {
    ColumnInfo c;
    c.name = r[0].toText();
    std::string type = lower(r[1].toText());
    c.numeric = type == "tinyint" || type == "smallint" || type == "mediumint" || type == "int" ||
                type == "bigint" || type == "decimal" || type == "float" || type == "double" ||
                type == "bit";
    c.autoIncrement = lower(r[3].toText()).find("auto_increment") != std::string::npos;
    if (r[2].toText() == "PRI") t.primaryKey.push_back(c.name);
    t.columns.push_back(std::move(c));
  }
  return tables_.emplace(key, std::move(t)).first->second;
}

void SchemaCache::clear() {
  std::lock_guard<std::mutex> lock(mutex_);
  tables_.clear();
}

std::vector<std::string> derivedColumnsOf(std::string_view table) {
  std::string t = lower(table);
  if (t == "td_trader" || t == "td_account") return {"Balance"};
  if (t.rfind("tb_", 0) == 0) {
    if (t.size() > 2 && t.compare(t.size() - 2, 2, "_d") == 0) return {"doneQty"};
    return {"Finished"};
  }
  return {};
}

std::vector<std::string> splitKeyFields(std::string_view keys) {
  std::vector<std::string> out;
  std::string current;
  for (char c : keys) {
    if (c == ',' || c == ';') {
      if (!current.empty()) out.push_back(current);
      current.clear();
    } else if (c != ' ' && c != '\t') {
      current += c;
    }
  }
  if (!current.empty()) out.push_back(current);
  return out;
}

std::string sqlLiteral(const Value& v, const ColumnInfo* column) {
  switch (v.type()) {
    case DataType::Null:
      return "NULL";
    case DataType::Boolean:
      if (column && column->numeric) return v.boolean() ? "1" : "0";
      return v.boolean() ? "'True'" : "'False'";
    case DataType::Int16:
    case DataType::Int32:
    case DataType::Int64:
      return std::to_string(v.toInt64());
    case DataType::Float:
      return sqlNumber(v.float64());
    case DataType::Decimal:
      return sqlNumber(v.decimal());
    case DataType::DataSet:
      throw SaveRefused("嵌套数据不能写入字段");
    default:
      return quotedStr(v.toText());
  }
}

namespace {

class Applier {
 public:
  explicit Applier(Connection& db) : db_(db) {}

  void apply(const std::vector<DeltaRow>& rows, const FieldDefs& fields, const DeltaTarget& t,
             const DeltaTarget* detail, bool masterLevel) {
    std::vector<Column> cols = columnsOf(fields, t);
    std::vector<Column> keys = keysOf(fields, t, cols);
    for (const DeltaRow& row : rows) {
      const std::vector<DetailDelta>* nested = row.details.empty() ? nullptr : &row.details;
      if (nested && (!detail || !masterLevel)) throw SaveRefused("明细数据没有可保存的明细表");
      switch (row.kind) {
        case ChangeKind::Insert:
          insert(row.newValues, cols, *t.table);
          if (nested) applyDetails(*nested, fields, *detail);
          break;
        case ChangeKind::Modify:
        case ChangeKind::Unmodified:
          if (nested) applyDetails(*nested, fields, *detail, /*deletesOnly=*/true);
          update(row, cols, keys, *t.table);
          if (nested) applyDetails(*nested, fields, *detail, false, /*skipDeletes=*/true);
          break;
        case ChangeKind::Delete:
          if (masterLevel && detail) deleteLinesOf(row.oldValues, fields, keys, *detail);
          remove(row.oldValues, cols, keys, *t.table);
          break;
      }
    }
  }

 private:
  std::vector<Column> columnsOf(const FieldDefs& fields, const DeltaTarget& t) {
    std::vector<Column> out;
    for (std::size_t i = 0; i < fields.size(); ++i) {
      if (fields[i].type == DataType::DataSet) continue;
      bool derived = false;
      for (const std::string& d : t.derivedColumns)
        if (equalsIgnoreCase(d, fields[i].name)) derived = true;
      if (derived) continue;
      // Joined names such as TraderName are not columns of the table and are skipped.
      if (const ColumnInfo* c = t.table->find(fields[i].name)) out.push_back({i, c});
    }
    return out;
  }

  std::vector<Column> keysOf(const FieldDefs& fields, const DeltaTarget& t,
                             const std::vector<Column>& cols) {
    std::vector<Column> out;
    for (const std::string& k : t.keyFields) {
      int f = fields.indexOf(k);
      const ColumnInfo* c = t.table->find(k);
      if (f < 0 || !c) throw SaveRefused("保存数据缺少关键字段：" + k);
      out.push_back({static_cast<std::size_t>(f), c});
    }
    if (out.empty()) out = cols;  // no key given: every written column identifies the row
    if (out.empty()) throw SaveRefused("保存数据与表 " + t.table->name + " 没有共同字段");
    return out;
  }

  static std::string match(const Column& c, const Value& v) {
    // NULL-safe comparison: a null original matches a null column.
    return quoteIdentifier(c.info->name) + " <=> " + sqlLiteral(v, c.info);
  }

  std::string whereOf(const Row& old, const std::vector<Column>& keys) {
    std::string w;
    for (const Column& k : keys) {
      if (!w.empty()) w += " AND ";
      w += match(k, old[k.field]);
    }
    return w;
  }

  void insert(const Row& values, const std::vector<Column>& cols, const TableInfo& t) {
    std::vector<std::string> names, literals;
    std::size_t code = cols.size();  // index of the bill code among the written columns
    for (const Column& c : cols) {
      const Value& v = values[c.field];
      if (v.isNull()) continue;  // the column's default applies
      if (equalsIgnoreCase(c.info->name, "BCode")) code = names.size();
      names.push_back(quoteIdentifier(c.info->name));
      literals.push_back(sqlLiteral(v, c.info));
    }
    if (names.empty()) throw SaveRefused("新增的数据没有任何字段值（" + t.name + "）");
    const std::string head = "INSERT INTO " + quoteIdentifier(t.name) + " (" + join(names) + ")";
    withFreshCode(t, code < names.size() ? &literals[code] : nullptr,
                  [&] { db_.execute(head + " VALUES (" + join(literals) + ")"); });
  }

  static std::string join(const std::vector<std::string>& parts) {
    std::string out;
    for (const std::string& p : parts)
      out += (out.empty() ? "" : ",") + p;
    return out;
  }

  // Runs a statement that writes the bill code held (as a literal) in `code`. When another save
  // took that code since the client asked for it, the statement runs again with the next free
  // code of the same day; a code of another form is refused with a clear message.
  template <typename F>
  void withFreshCode(const TableInfo& t, std::string* code, F&& run) {
    for (int attempt = 0;; ++attempt) {
      try {
        run();
        return;
      } catch (const DbError& e) {
        if (!code || !isDuplicateBillCode(e)) throw;
        const std::string taken = unquoted(*code);
        auto head = billCodeHead(taken);
        if (!head || attempt >= 3)
          throw SaveRefused("单据编号 " + taken + " 已被其他单据使用，请换一个编号后再保存！");
        *code = quotedStr(nextBillCode(db_, t.name, *head, /*locking=*/true));
      }
    }
  }

  static std::string unquoted(const std::string& literal) {
    if (literal.size() < 2 || literal.front() != '\'' || literal.back() != '\'') return literal;
    std::string out;
    for (std::size_t i = 1; i + 1 < literal.size(); ++i) {
      out += literal[i];
      if (literal[i] == '\'' && literal[i + 1] == '\'') ++i;
    }
    return out;
  }

  void update(const DeltaRow& row, const std::vector<Column>& cols, const std::vector<Column>& keys,
              const TableInfo& t) {
    const Row& old = row.oldValues;
    std::string set, check;
    std::string code, codeColumn;  // a new bill code, written last
    if (row.kind == ChangeKind::Modify) {
      for (const Column& c : cols) {
        if (row.newValues[c.field] == old[c.field]) continue;
        check += " AND " + match(c, old[c.field]);
        if (equalsIgnoreCase(c.info->name, "BCode") && !row.newValues[c.field].isNull()) {
          code = sqlLiteral(row.newValues[c.field], c.info);
          codeColumn = quoteIdentifier(c.info->name);
          continue;
        }
        if (!set.empty()) set += ",";
        set += quoteIdentifier(c.info->name) + "=" + sqlLiteral(row.newValues[c.field], c.info);
      }
    }
    // An unchanged row whose lines changed is still checked to exist.
    if (set.empty() && code.empty())
      set = quoteIdentifier(keys[0].info->name) + "=" + quoteIdentifier(keys[0].info->name);
    std::string where = whereOf(old, keys);
    std::uint64_t found = 0;
    withFreshCode(t, code.empty() ? nullptr : &code, [&] {
      std::string all = set;
      if (!code.empty()) all += (all.empty() ? "" : ",") + codeColumn + "=" + code;
      found = db_.execute("UPDATE " + quoteIdentifier(t.name) + " SET " + all + " WHERE " + where +
                          check);
    });
    if (found != 1) stale(t, where);
  }

  void remove(const Row& old, const std::vector<Column>& cols, const std::vector<Column>& keys,
              const TableInfo& t) {
    (void)cols;
    std::string where = whereOf(old, keys);
    std::uint64_t found =
        db_.execute("DELETE FROM " + quoteIdentifier(t.name) + " WHERE " + where + " LIMIT 1");
    if (found != 1) stale(t, where);
  }

  void deleteLinesOf(const Row& masterOld, const FieldDefs& masterFields,
                     const std::vector<Column>& masterKeys, const DeltaTarget& detail) {
    // The lines share the master's first key (Bid); all of them go, listed in the delta or not.
    const Column& k = masterKeys[0];
    const ColumnInfo* lineKey = detail.table->find(k.info->name);
    if (!lineKey) throw SaveRefused("明细表缺少字段：" + k.info->name);
    (void)masterFields;
    db_.execute("DELETE FROM " + quoteIdentifier(detail.table->name) + " WHERE " +
                quoteIdentifier(lineKey->name) + " = " + sqlLiteral(masterOld[k.field], lineKey));
  }

  void applyDetails(const std::vector<DetailDelta>& details, const FieldDefs& fields,
                    const DeltaTarget& detail, bool deletesOnly = false, bool skipDeletes = false) {
    for (const DetailDelta& d : details) {
      if (d.field >= fields.size() || fields[d.field].type != DataType::DataSet)
        throw SaveRefused("明细数据的字段无效");
      FieldDefs lineFields(fields[d.field].children);
      std::vector<DeltaRow> rows;
      for (const DeltaRow& r : d.rows) {
        bool isDelete = r.kind == ChangeKind::Delete;
        if ((deletesOnly && isDelete) || (skipDeletes && !isDelete) ||
            (!deletesOnly && !skipDeletes))
          rows.push_back(r);
      }
      apply(rows, lineFields, detail, nullptr, false);
    }
  }

  Connection& db_;
};

}  // namespace

void applyDelta(Connection& db, const Delta& delta, const DeltaTarget& target,
                const DeltaTarget* detail) {
  if (!target.table) throw SaveRefused("没有指定保存的表");
  delta.validate();
  Applier(db).apply(delta.rows, delta.fields, target, detail, true);
}

}  // namespace vlt::server
