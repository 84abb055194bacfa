#include "vlt/field.h"

#include "vlt/errors.h"

namespace vlt {

FieldDef& FieldDefs::add(FieldDef def) {
  defs_.push_back(std::move(def));
  return defs_.back();
}

FieldDef& FieldDefs::add(std::string name, DataType type, int size, bool required) {
  FieldDef def;
  def.name = std::move(name);
  def.type = type;
  def.size = size;
  def.required = required;
  return add(std::move(def));
}

FieldDef& FieldDefs::addDecimal(std::string name, int precision, int scale) {
  FieldDef def;
  def.name = std::move(name);
  def.type = DataType::Decimal;
  def.precision = precision;
  def.scale = scale;
  return add(std::move(def));
}

int FieldDefs::indexOf(std::string_view name) const {
  for (std::size_t i = 0; i < defs_.size(); ++i)
    if (equalsIgnoreCase(defs_[i].name, name)) return static_cast<int>(i);
  return -1;
}

std::size_t FieldDefs::require(std::string_view name) const {
  int i = indexOf(name);
  if (i < 0) throw DataSetError("Field '" + std::string(name) + "' not found");
  return static_cast<std::size_t>(i);
}

}  // namespace vlt
