#include "vlt/packet.h"

#include <array>

#include "vlt/errors.h"

namespace vlt {

namespace {

constexpr std::array<std::string_view, 4> kKindNames = {"unmodified", "insert", "modify", "delete"};

std::string where(const std::string& path, std::size_t row, const FieldDef* field) {
  std::string s = path.empty() ? "" : path + ": ";
  s += "row " + std::to_string(row + 1);
  if (field) s += ", field '" + field->name + "'";
  return s;
}

void validateRow(const FieldDefs& fields, const Row& row, const std::string& path,
                 std::size_t index);

void validateRows(const FieldDefs& fields, const std::vector<Row>& rows, const std::string& path) {
  for (std::size_t r = 0; r < rows.size(); ++r)
    validateRow(fields, rows[r], path, r);
}

void validateRow(const FieldDefs& fields, const Row& row, const std::string& path,
                 std::size_t index) {
  if (row.size() != fields.size())
    throw DataSetError(where(path, index, nullptr) + ": " + std::to_string(row.size()) +
                       " values for " + std::to_string(fields.size()) + " fields");
  for (std::size_t f = 0; f < fields.size(); ++f) {
    const Value& v = row[f];
    const FieldDef& def = fields[f];
    if (v.isNull()) continue;
    if (v.type() != def.type)
      throw DataSetError(where(path, index, &def) + ": a " + std::string(dataTypeName(v.type())) +
                         " value in a " + std::string(dataTypeName(def.type)) + " field");
    if (def.type == DataType::DataSet && v.nested())
      validateRows(FieldDefs(def.children), *v.nested(), path + def.name);
  }
}

}  // namespace

void Packet::validate() const {
  validateRows(fields, rows, {});
}

std::string_view changeKindName(ChangeKind kind) {
  return kKindNames[static_cast<std::size_t>(kind)];
}

bool changeKindFromName(std::string_view name, ChangeKind& out) {
  for (std::size_t i = 0; i < kKindNames.size(); ++i) {
    if (equalsIgnoreCase(kKindNames[i], name)) {
      out = static_cast<ChangeKind>(i);
      return true;
    }
  }
  return false;
}

namespace {

std::size_t countRows(const std::vector<DeltaRow>& rows) {
  std::size_t n = 0;
  for (const auto& r : rows) {
    if (r.kind != ChangeKind::Unmodified) ++n;
    for (const auto& d : r.details)
      n += countRows(d.rows);
  }
  return n;
}

void validateDeltaRows(const FieldDefs& fields, const std::vector<DeltaRow>& rows,
                       const std::string& path) {
  for (std::size_t r = 0; r < rows.size(); ++r) {
    const DeltaRow& row = rows[r];
    bool needOld = row.kind != ChangeKind::Insert;
    bool needNew = row.kind == ChangeKind::Insert || row.kind == ChangeKind::Modify;
    if (needOld != !row.oldValues.empty() || needNew != !row.newValues.empty())
      throw DataSetError(where(path, r, nullptr) + ": a " + std::string(changeKindName(row.kind)) +
                         " change with the wrong old and new values");
    if (needOld) validateRow(fields, row.oldValues, path, r);
    if (needNew) validateRow(fields, row.newValues, path, r);
    for (const auto& d : row.details) {
      if (d.field >= fields.size() || fields[d.field].type != DataType::DataSet)
        throw DataSetError(where(path, r, nullptr) +
                           ": nested changes of a field that is not a "
                           "nested data set");
      validateDeltaRows(FieldDefs(fields[d.field].children), d.rows, path + fields[d.field].name);
    }
  }
}

}  // namespace

std::size_t Delta::changeCount() const {
  return countRows(rows);
}

void Delta::validate() const {
  validateDeltaRows(fields, rows, {});
}

void PacketSink::take(Packet&& packet) {
  fields(packet.fields);
  for (Row& r : packet.rows)
    row(std::move(r));
}

}  // namespace vlt
