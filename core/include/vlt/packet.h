#pragma once
// Data packets (contents of a data set) and deltas (its change log), as exchanged between the
// client and the data service.

#include <cstdint>
#include <string_view>
#include <vector>

#include "vlt/field.h"
#include "vlt/value.h"

namespace vlt {

// Field definitions plus rows. A row has one value per definition; a DataSet field holds the
// nested rows of that master row (or null for none), shaped by the field's children.
struct Packet {
  FieldDefs fields;
  std::vector<Row> rows;

  // Throws DataSetError when a row's width or a value's type does not match its field.
  void validate() const;
  friend bool operator==(const Packet&, const Packet&) = default;
};

// Takes a packet as it is decoded: its fields first, then its rows one at a time, so that a
// large answer goes where it belongs while it arrives instead of being held whole first.
class PacketSink {
 public:
  virtual ~PacketSink() = default;
  virtual void fields(const FieldDefs& defs) = 0;
  virtual void row(Row&& row) = 0;
  // A packet that came whole.
  void take(Packet&& packet);
};

enum class ChangeKind : std::uint8_t {
  Unmodified,  // the row itself is unchanged; only its nested rows changed
  Insert,
  Modify,
  Delete,
};

std::string_view changeKindName(ChangeKind kind);
bool changeKindFromName(std::string_view name, ChangeKind& out);

struct DeltaRow;

// The changes of one nested data set field inside a master delta row.
struct DetailDelta {
  std::size_t field = 0;  // index of the DataSet field in the master's definitions
  std::vector<DeltaRow> rows;
  friend bool operator==(const DetailDelta&, const DetailDelta&) = default;
};

// One changed row. `oldValues` is empty for an insert and `newValues` is empty for a delete;
// otherwise both are full rows. Nested DataSet slots in these rows are null: nested changes
// travel in `details`.
struct DeltaRow {
  ChangeKind kind = ChangeKind::Unmodified;
  Row oldValues;
  Row newValues;
  std::vector<DetailDelta> details;
  friend bool operator==(const DeltaRow&, const DeltaRow&) = default;
};

struct Delta {
  FieldDefs fields;
  std::vector<DeltaRow> rows;

  bool empty() const { return rows.empty(); }
  // Number of changed rows at every level.
  std::size_t changeCount() const;
  // Throws DataSetError when a row does not match the definitions or the kinds.
  void validate() const;
  friend bool operator==(const Delta&, const Delta&) = default;
};

}  // namespace vlt
