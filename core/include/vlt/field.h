#pragma once
// Field definitions: the columns of a packet or data set.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "vlt/value.h"

namespace vlt {

enum class FieldKind : std::uint8_t {
  Data,          // stored, loaded from and saved to the service
  InternalCalc,  // kept per record on the client only, set in OnCalcFields or by the user
  Aggregate,     // a live value over the records ("sum(qty)"), not part of any row
};

struct FieldDef {
  std::string name;
  DataType type = DataType::String;
  int size = 0;       // text length in characters; 0 means unlimited
  int precision = 0;  // decimal digits in all
  int scale = 0;      // decimal digits after the point
  bool required = false;
  FieldKind kind = FieldKind::Data;
  std::string expression;          // aggregates only
  std::string displayLabel;        // caption a grid may show; empty means the name
  std::vector<FieldDef> children;  // nested data set fields

  friend bool operator==(const FieldDef&, const FieldDef&) = default;
};

class FieldDefs {
 public:
  FieldDefs() = default;
  FieldDefs(std::initializer_list<FieldDef> defs) : defs_(defs) {}
  explicit FieldDefs(std::vector<FieldDef> defs) : defs_(std::move(defs)) {}

  FieldDef& add(FieldDef def);
  // Convenience for building definitions in code.
  FieldDef& add(std::string name, DataType type, int size = 0, bool required = false);
  FieldDef& addDecimal(std::string name, int precision, int scale);

  std::size_t size() const { return defs_.size(); }
  bool empty() const { return defs_.empty(); }
  const FieldDef& operator[](std::size_t i) const { return defs_[i]; }
  FieldDef& operator[](std::size_t i) { return defs_[i]; }
  auto begin() const { return defs_.begin(); }
  auto end() const { return defs_.end(); }
  auto begin() { return defs_.begin(); }
  auto end() { return defs_.end(); }
  void clear() { defs_.clear(); }
  const std::vector<FieldDef>& list() const { return defs_; }

  // Index of the field whose name matches without regard to ASCII case, or -1.
  int indexOf(std::string_view name) const;
  // As indexOf, but throws DataSetError "Field 'x' not found".
  std::size_t require(std::string_view name) const;

  friend bool operator==(const FieldDefs&, const FieldDefs&) = default;

 private:
  std::vector<FieldDef> defs_;
};

}  // namespace vlt
