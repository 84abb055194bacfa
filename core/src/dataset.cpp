#include "vlt/dataset.h"

#include <algorithm>
#include <atomic>
#include <cstring>

#include "vlt/errors.h"

namespace vlt {

namespace {

enum class RecState : std::uint8_t { Unmodified, Modified, Inserted, Deleted, Discarded };

// Record ids are unique in the process so that a bookmark can never name a row of another store.
std::uint64_t newRecordId() {
  static std::atomic<std::uint64_t> next{1};
  return next.fetch_add(1, std::memory_order_relaxed);
}

std::vector<std::string_view> splitNames(std::string_view names) {
  std::vector<std::string_view> out;
  while (!names.empty()) {
    std::size_t p = names.find(';');
    std::string_view part = names.substr(0, p);
    while (!part.empty() && part.front() == ' ')
      part.remove_prefix(1);
    while (!part.empty() && part.back() == ' ')
      part.remove_suffix(1);
    if (!part.empty()) out.push_back(part);
    if (p == std::string_view::npos) break;
    names.remove_prefix(p + 1);
  }
  return out;
}

bool isStored(const FieldDef& d) {
  return d.kind == FieldKind::Data;
}

std::vector<std::size_t> nestedIndexes(const FieldDefs& defs) {
  std::vector<std::size_t> out;
  for (std::size_t i = 0; i < defs.size(); ++i)
    if (defs[i].type == DataType::DataSet) out.push_back(i);
  return out;
}

// The definitions that travel to the service: stored fields only, at every level.
FieldDefs storedDefs(const FieldDefs& defs) {
  FieldDefs out;
  for (const FieldDef& d : defs) {
    if (!isStored(d)) continue;
    FieldDef copy = d;
    if (copy.type == DataType::DataSet) copy.children = storedDefs(FieldDefs(d.children)).list();
    out.add(std::move(copy));
  }
  return out;
}

}  // namespace

struct ClientDataSet::Record {
  Row values;
  std::optional<Row> original;  // values at the last merge, kept once the row is changed
  RecState status = RecState::Unmodified;
  std::uint64_t id = 0;
  std::uint64_t changeOrder = 0;
  std::vector<Store> nested;  // one per nested data set field

  bool live() const { return status != RecState::Deleted && status != RecState::Discarded; }
};

struct ClientDataSet::Store {
  std::vector<Record> records;
  std::uint64_t nextChange = 1;
  bool calculated = false;
};

struct ClientDataSet::LoadPlan {
  bool identity = true;
  std::vector<int> source;  // per definition: packet column, or -1
  std::vector<bool> convert;
  std::vector<std::unique_ptr<LoadPlan>> nested;  // per definition, DataSet fields only
  FieldDefs defs;  // of a nested level: its fields, built once rather than per record
  // Moves that turn a packet row of `packetWidth` values into a record's values in place, each
  // value moved once (index -1 is a spare value, -2 as a source a null); unusable when a
  // packet column feeds two fields.
  std::vector<std::pair<int, int>> moves;
  bool inPlace = false;
  std::size_t packetWidth = 0;
};

namespace {

template <typename StoreT>
int countChanges(const StoreT& s) {
  int n = 0;
  for (const auto& r : s.records) {
    if (r.status == RecState::Discarded) continue;
    if (r.status != RecState::Unmodified) ++n;
    for (const auto& nested : r.nested)
      n += countChanges(nested);
  }
  return n;
}

template <typename StoreT>
void mergeStore(StoreT& s) {
  std::erase_if(s.records, [](const auto& r) { return !r.live(); });
  for (auto& r : s.records) {
    r.status = RecState::Unmodified;
    r.original.reset();
    r.changeOrder = 0;
    for (auto& n : r.nested)
      mergeStore(n);
  }
  s.nextChange = 1;
}

template <typename StoreT>
void cancelStore(StoreT& s) {
  std::erase_if(s.records, [](const auto& r) {
    return r.status == RecState::Inserted || r.status == RecState::Discarded;
  });
  for (auto& r : s.records) {
    if (r.original) r.values = std::move(*r.original);
    r.original.reset();
    r.status = RecState::Unmodified;
    r.changeOrder = 0;
    for (auto& n : r.nested)
      cancelStore(n);
  }
  s.nextChange = 1;
  s.calculated = false;
}

// Deleting a master row deletes its lines with it.
template <typename StoreT>
void deleteStore(StoreT& s) {
  for (auto& r : s.records) {
    if (r.status == RecState::Inserted) {
      r.status = RecState::Discarded;
    } else if (r.status != RecState::Discarded && r.status != RecState::Deleted) {
      r.status = RecState::Deleted;
      r.changeOrder = s.nextChange++;
    }
    for (auto& n : r.nested)
      deleteStore(n);
  }
}

Row projectRow(const Row& values, const FieldDefs& defs) {
  Row out;
  out.reserve(defs.size());
  for (std::size_t i = 0; i < defs.size(); ++i)
    if (isStored(defs[i])) out.push_back(defs[i].type == DataType::DataSet ? Value() : values[i]);
  return out;
}

// Index of field `i` among the stored fields of `defs`.
std::size_t storedIndex(const FieldDefs& defs, std::size_t i) {
  std::size_t n = 0;
  for (std::size_t k = 0; k < i; ++k)
    if (isStored(defs[k])) ++n;
  return n;
}

template <typename StoreT>
NestedRows storeRows(const StoreT& s, const FieldDefs& defs) {
  std::vector<std::size_t> nestedIdx = nestedIndexes(defs);
  NestedRows rows;
  rows.reserve(s.records.size());
  for (const auto& r : s.records) {
    if (!r.live()) continue;
    Row row;
    row.reserve(defs.size());
    for (std::size_t i = 0, slot = 0; i < defs.size(); ++i) {
      if (!isStored(defs[i])) continue;
      if (defs[i].type == DataType::DataSet) {
        auto nestedRows =
            std::make_shared<NestedRows>(storeRows(r.nested[slot++], FieldDefs(defs[i].children)));
        row.emplace_back(std::shared_ptr<const NestedRows>(std::move(nestedRows)));
      } else {
        row.push_back(r.values[i]);
      }
    }
    rows.push_back(std::move(row));
  }
  return rows;
}

template <typename StoreT>
std::vector<DeltaRow> storeDelta(const StoreT& s, const FieldDefs& defs) {
  std::vector<const typename std::remove_reference_t<decltype(s.records)>::value_type*> changed;
  for (const auto& r : s.records) {
    if (r.status == RecState::Discarded) continue;
    bool any = r.status != RecState::Unmodified;
    if (!any)
      for (const auto& n : r.nested)
        if (countChanges(n) > 0) any = true;
    if (any) changed.push_back(&r);
  }
  // Deletions first (they only free keys), then the rest in the order they were first changed.
  std::stable_sort(changed.begin(), changed.end(), [](const auto* a, const auto* b) {
    bool da = a->status == RecState::Deleted, db = b->status == RecState::Deleted;
    if (da != db) return da;
    auto oa = a->changeOrder ? a->changeOrder : UINT64_MAX;
    auto ob = b->changeOrder ? b->changeOrder : UINT64_MAX;
    return oa < ob;
  });
  std::vector<std::size_t> nestedIdx = nestedIndexes(defs);
  std::vector<DeltaRow> out;
  out.reserve(changed.size());
  for (const auto* r : changed) {
    DeltaRow row;
    switch (r->status) {
      case RecState::Inserted:
        row.kind = ChangeKind::Insert;
        row.newValues = projectRow(r->values, defs);
        break;
      case RecState::Modified:
        row.kind = ChangeKind::Modify;
        row.oldValues = projectRow(r->original ? *r->original : r->values, defs);
        row.newValues = projectRow(r->values, defs);
        break;
      case RecState::Deleted:
        row.kind = ChangeKind::Delete;
        row.oldValues = projectRow(r->original ? *r->original : r->values, defs);
        break;
      default:
        row.kind = ChangeKind::Unmodified;
        row.oldValues = projectRow(r->values, defs);
        break;
    }
    for (std::size_t slot = 0; slot < nestedIdx.size(); ++slot) {
      std::size_t f = nestedIdx[slot];
      if (!isStored(defs[f])) continue;
      std::vector<DeltaRow> sub = storeDelta(r->nested[slot], FieldDefs(defs[f].children));
      if (!sub.empty()) row.details.push_back(DetailDelta{storedIndex(defs, f), std::move(sub)});
    }
    out.push_back(std::move(row));
  }
  return out;
}

std::string rowField(std::size_t row, const FieldDef& def) {
  return "row " + std::to_string(row + 1) + ", field '" + def.name + "'";
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Field

const FieldDef& Field::Def() const {
  return owner_->defs_[index_];
}

std::string Field::DisplayLabel() const {
  const FieldDef& d = Def();
  return d.displayLabel.empty() ? d.name : d.displayLabel;
}

Value Field::AsValue() const {
  if (Def().kind == FieldKind::Aggregate) return owner_->aggregateValue(index_);
  return owner_->currentValue(index_);
}

Value Field::OldValue() const {
  return owner_->originalValue(index_);
}

namespace {
template <typename F>
auto readAs(const Field& f, F&& fn) -> decltype(fn(Value())) {
  Value v = f.AsValue();
  try {
    return fn(v);
  } catch (const ConversionError& e) {
    throw ConversionError("Field '" + f.FieldName() + "': " + e.what());
  }
}
}  // namespace

std::int64_t Field::AsLargeInt() const {
  return readAs(*this, [](const Value& v) { return v.toInt64(); });
}

int Field::AsInteger() const {
  std::int64_t i = AsLargeInt();
  if (i < INT32_MIN || i > INT32_MAX)
    throw ConversionError("Field '" + FieldName() + "': " + std::to_string(i) +
                          " is out of range for an integer");
  return static_cast<int>(i);
}

double Field::AsFloat() const {
  return readAs(*this, [](const Value& v) { return v.toDouble(); });
}

bool Field::AsBoolean() const {
  return readAs(*this, [](const Value& v) { return v.toBool(); });
}

Decimal Field::AsDecimal() const {
  return readAs(*this, [](const Value& v) {
    if (v.isNull()) return Decimal();
    return coerceValue(v, DataType::Decimal).decimal();
  });
}

Date Field::AsDate() const {
  return readAs(*this, [](const Value& v) {
    if (v.isNull()) return Date();
    return coerceValue(v, DataType::Date).date();
  });
}

DateTime Field::AsDateTime() const {
  return readAs(*this, [](const Value& v) {
    if (v.isNull()) return DateTime();
    return coerceValue(v, DataType::DateTime).dateTime();
  });
}

void Field::SetValue(const Value& v) {
  const FieldDef& d = Def();
  Value converted;
  try {
    converted = coerceValue(v, d.type, d.precision, d.scale);
  } catch (const ConversionError& e) {
    throw ConversionError("Field '" + d.name + "': " + e.what());
  }
  owner_->setFieldValue(index_, std::move(converted));
}

void Field::SetAsString(std::string_view text) {
  // An empty text in a non-text field means "no value", as an emptied edit box does.
  if (text.empty() && Type() != DataType::String) {
    SetValue(Value());
    return;
  }
  SetValue(Value(text));
}

void Field::SetAsBoolean(bool v) {
  // Flags stored as text keep the "True"/"False" spelling.
  SetValue(Type() == DataType::String ? Value(v ? "True" : "False") : Value(v));
}

// ---------------------------------------------------------------------------------------------
// Construction and structure

ClientDataSet::ClientDataSet() = default;

ClientDataSet::~ClientDataSet() {
  // Grids and bindings may outlive the data set (widgets die after a window's members).
  std::vector<DataSetObserver*> observers;
  observers.swap(observers_);
  for (DataSetObserver* o : observers)
    o->dataSetDestroying(*this);
  if (master_) std::erase(master_->details_, this);
  for (ClientDataSet* d : details_) {
    d->master_ = nullptr;
    d->state_ = DataSetState::Inactive;
    d->view_.clear();
    d->buffer_.reset();
  }
}

FieldDefs& ClientDataSet::FieldDefinitions() {
  fieldsFromPacket_ = false;
  return defs_;
}

void ClientDataSet::rebuildFieldObjects() {
  // Field objects are kept by index so that references held by bindings stay valid.
  while (fields_.size() > defs_.size())
    fields_.pop_back();
  while (fields_.size() < defs_.size())
    fields_.push_back(std::make_unique<Field>(*this, fields_.size()));
  nestedSlot_.assign(defs_.size(), -1);
  nestedFields_ = nestedIndexes(defs_);
  for (std::size_t s = 0; s < nestedFields_.size(); ++s)
    nestedSlot_[nestedFields_[s]] = static_cast<int>(s);
}

ClientDataSet::Bindings ClientDataSet::prepareBindings(const FieldDefs& defs) const {
  Bindings b;
  if (!filterText_.empty()) {
    // A filter that is off need not fit new fields; it is bound when it is switched on.
    try {
      b.filter = Expression::parse(filterText_, defs);
    } catch (const ParseError&) {
      if (filtered_) throw;
    }
  }
  for (std::string_view name : splitNames(indexText_))
    b.index.push_back(defs.require(name));
  for (std::size_t i = 0; i < defs.size(); ++i) {
    if (defs[i].kind != FieldKind::Aggregate) continue;
    b.aggregates.emplace_back(i, std::make_unique<AggregateExpression>(
                                     AggregateExpression::parse(defs[i].expression, defs)));
  }
  return b;
}

void ClientDataSet::commitBindings(Bindings b) {
  filter_ = std::move(b.filter);
  indexFields_ = std::move(b.index);
  aggregates_.clear();
  for (auto& [field, expression] : b.aggregates)
    aggregates_.push_back(AggregateSlot{field, std::move(expression), Value()});
  aggregatesValid_ = false;
}

Field* ClientDataSet::FindField(std::string_view name) {
  if (fields_.size() != defs_.size()) rebuildFieldObjects();
  int i = defs_.indexOf(name);
  return i < 0 ? nullptr : fields_[static_cast<std::size_t>(i)].get();
}

Field& ClientDataSet::FieldByName(std::string_view name) {
  Field* f = FindField(name);
  if (!f) throw DataSetError("Field '" + std::string(name) + "' not found");
  return *f;
}

Field& ClientDataSet::FieldByIndex(std::size_t index) {
  if (fields_.size() != defs_.size()) rebuildFieldObjects();
  if (index >= fields_.size())
    throw DataSetError("Field index " + std::to_string(index) + " out of range");
  return *fields_[index];
}

void ClientDataSet::requireActive() const {
  if (state_ == DataSetState::Inactive)
    throw DataSetError("Cannot perform this operation on a closed dataset");
}

void ClientDataSet::openWith(std::unique_ptr<Store> s, bool notifyLayoutChange) {
  own_ = std::move(s);
  buffer_.reset();
  bufferModified_ = nestedModified_ = false;
  ++generation_;
  setState(DataSetState::Browse);
  calculateStore(*own_);
  rebuildView(0);
  cursor_ = view_.empty() ? -1 : 0;
  bof_ = true;
  eof_ = view_.empty();
  if (notifyLayoutChange) notifyLayout();
  for (ClientDataSet* d : details_) {
    if (notifyLayoutChange) d->attachToMasterLayout();
    d->setState(DataSetState::Browse);
  }
  syncDetails(true);
  notifyDataChanged();
}

void ClientDataSet::CreateDataSet() {
  if (master_) throw DataSetError("A nested dataset is opened by its master");
  if (defs_.empty()) throw DataSetError("Cannot create a dataset without field definitions");
  rebuildFieldObjects();
  bindExpressions();
  openWith(std::make_unique<Store>(), true);
}

void ClientDataSet::Close() {
  if (state_ == DataSetState::Inactive) return;
  for (ClientDataSet* d : details_)
    d->buffer_.reset();
  buffer_.reset();
  own_.reset();
  view_.clear();
  cursor_ = -1;
  bof_ = eof_ = true;
  setState(DataSetState::Inactive);
  for (ClientDataSet* d : details_) {
    d->view_.clear();
    d->cursor_ = -1;
    d->setState(DataSetState::Inactive);
    d->notifyDataChanged();
  }
  notifyDataChanged();
}

void ClientDataSet::EmptyDataSet() {
  requireActive();
  if (master_) {
    // Lines of a bill are removed one by one so that their deletion is saved with the bill.
    DisableControls();
    try {
      First();
      while (!IsEmpty())
        Delete();
    } catch (...) {
      EnableControls();
      throw;
    }
    EnableControls();
    return;
  }
  for (ClientDataSet* d : details_)
    d->buffer_.reset();
  buffer_.reset();
  bufferModified_ = nestedModified_ = false;
  own_ = std::make_unique<Store>();
  ++generation_;
  setState(DataSetState::Browse);
  rebuildView(0);
  cursor_ = -1;
  bof_ = eof_ = true;
  syncDetails(true);
  invalidateAggregates();
  notifyDataChanged();
}

// ---------------------------------------------------------------------------------------------
// Loading packets

void ClientDataSet::LoadFromPacket(const Packet& packet) {
  Packet copy = packet;
  LoadFromPacket(std::move(copy));
}

// Plans how packet columns become record slots, level by level (refusing a packet that lacks
// a defined field before anything changes), and makes records of packet rows by the plan.
struct ClientDataSet::Planner {
  static std::unique_ptr<LoadPlan> make(const FieldDefs& defs, const FieldDefs& src,
                                        const std::string& path) {
    auto plan = std::make_unique<LoadPlan>();
    plan->identity = defs.size() == src.size();
    plan->source.assign(defs.size(), -1);
    plan->convert.assign(defs.size(), false);
    plan->nested.resize(defs.size());
    for (std::size_t i = 0; i < defs.size(); ++i) {
      const FieldDef& d = defs[i];
      if (!isStored(d)) {
        plan->identity = false;
        continue;
      }
      int s = src.indexOf(d.name);
      if (s < 0) throw DataSetError("Field '" + path + d.name + "' is not in the data packet");
      const FieldDef& sd = src[static_cast<std::size_t>(s)];
      if ((sd.type == DataType::DataSet) != (d.type == DataType::DataSet))
        throw DataSetError("Field '" + path + d.name + "' is a nested dataset on one side only");
      plan->source[i] = s;
      if (static_cast<std::size_t>(s) != i) plan->identity = false;
      if (d.type == DataType::DataSet) {
        FieldDefs children(d.children);
        plan->nested[i] = make(children, FieldDefs(sd.children), path + d.name + ".");
        plan->nested[i]->defs = std::move(children);
        if (!plan->nested[i]->identity) plan->identity = false;
      } else if (sd.type != d.type) {
        plan->convert[i] = true;
        plan->identity = false;
      }
    }
    plan->packetWidth = src.size();
    planMoves(*plan, defs.size());
    return plan;
  }

  // Rearranging a row in place: a slot whose old value nobody takes starts a chain (it takes
  // its value, which frees the slot that value came from, and so on); what is left are
  // cycles, turned round through the spare value.
  static void planMoves(LoadPlan& plan, std::size_t fields) {
    const std::size_t width = std::max(fields, plan.packetWidth);
    std::vector<int> takenBy(width, -1);
    for (std::size_t i = 0; i < fields; ++i) {
      const int s = plan.source[i];
      if (s < 0) continue;
      if (takenBy[static_cast<std::size_t>(s)] >= 0) return;  // a column taken twice
      takenBy[static_cast<std::size_t>(s)] = static_cast<int>(i);
    }
    std::vector<bool> done(fields, false);
    auto& moves = plan.moves;
    auto walk = [&](std::size_t start) {
      std::size_t at = start;
      while (true) {
        done[at] = true;
        const int s = plan.source[at];
        if (s < 0) {
          moves.emplace_back(static_cast<int>(at), -2);
          return;
        }
        moves.emplace_back(static_cast<int>(at), s);
        const auto from = static_cast<std::size_t>(s);
        if (from >= fields || done[from]) return;
        at = from;
      }
    };
    for (std::size_t i = 0; i < fields; ++i)
      if (plan.source[i] == static_cast<int>(i)) done[i] = true;
    for (std::size_t i = 0; i < fields; ++i)
      if (!done[i] && takenBy[i] < 0) walk(i);
    for (std::size_t i = 0; i < fields; ++i) {
      if (done[i]) continue;
      // A cycle: every slot's value goes to another slot of it.
      moves.emplace_back(-1, static_cast<int>(i));
      std::size_t at = i;
      while (true) {
        done[at] = true;
        const auto from = static_cast<std::size_t>(plan.source[at]);
        if (from == i) {
          moves.emplace_back(static_cast<int>(at), -1);
          break;
        }
        moves.emplace_back(static_cast<int>(at), static_cast<int>(from));
        at = from;
      }
    }
    plan.inPlace = true;
  }

  // Applies the plan's moves; false when the row does not have the packet's width.
  static bool rearrange(Row& row, const LoadPlan& plan, std::size_t fields) {
    if (!plan.inPlace || row.size() != plan.packetWidth) return false;
    if (fields > row.size()) row.resize(fields);
    Value spare;
    for (const auto& [to, from] : plan.moves) {
      Value& target = to < 0 ? spare : row[static_cast<std::size_t>(to)];
      if (from == -2)
        target = Value();
      else
        target = std::move(from < 0 ? spare : row[static_cast<std::size_t>(from)]);
    }
    row.resize(fields);
    return true;
  }

  static void fill(Store& store, std::vector<Row>& rows, const FieldDefs& defs,
                   const LoadPlan& plan, const std::string& path) {
    const std::vector<std::size_t> nestedIdx = nestedIndexes(defs);
    store.records.reserve(rows.size());
    for (std::size_t r = 0; r < rows.size(); ++r)
      fillRow(store, rows[r], r, defs, plan, nestedIdx, path);
  }

  // Makes packet row `r` a record of `store`.
  static void fillRow(Store& store, Row& src, std::size_t r, const FieldDefs& defs,
                      const LoadPlan& plan, const std::vector<std::size_t>& nestedIdx,
                      const std::string& path) {
    Record rec;
    rec.id = newRecordId();
    if (plan.identity) {
      if (src.size() != defs.size())
        throw DataSetError(path + "row " + std::to_string(r + 1) + " has " +
                           std::to_string(src.size()) + " values for " +
                           std::to_string(defs.size()) + " fields");
      for (std::size_t i = 0; i < defs.size(); ++i) {
        const Value& v = src[i];
        if (!v.isNull() && v.type() != defs[i].type)
          throw DataSetError(path + rowField(r, defs[i]) + ": a " +
                             std::string(dataTypeName(v.type())) + " value in a " +
                             std::string(dataTypeName(defs[i].type)) + " field");
      }
      rec.values = std::move(src);
    } else if (rearrange(src, plan, defs.size())) {
      // The row's own storage becomes the record's: a fresh allocation per record costs a
      // large load a page fault every few rows.
      for (std::size_t i = 0; i < defs.size(); ++i) {
        Value& v = src[i];
        if (!plan.convert[i] || v.isNull()) continue;
        try {
          v = coerceValue(v, defs[i].type, defs[i].precision, defs[i].scale);
        } catch (const ConversionError& e) {
          throw DataSetError(path + rowField(r, defs[i]) + ": " + e.what());
        }
      }
      rec.values = std::move(src);
    } else {
      rec.values.resize(defs.size());
      for (std::size_t i = 0; i < defs.size(); ++i) {
        int s = plan.source[i];
        if (s < 0) continue;
        if (static_cast<std::size_t>(s) >= src.size())
          throw DataSetError(path + "row " + std::to_string(r + 1) + " is too short");
        Value& v = src[static_cast<std::size_t>(s)];
        if (plan.convert[i] && !v.isNull()) {
          try {
            rec.values[i] = coerceValue(v, defs[i].type, defs[i].precision, defs[i].scale);
          } catch (const ConversionError& e) {
            throw DataSetError(path + rowField(r, defs[i]) + ": " + e.what());
          }
        } else {
          rec.values[i] = std::move(v);
        }
      }
    }
    rec.nested.resize(nestedIdx.size());
    for (std::size_t slot = 0; slot < nestedIdx.size(); ++slot) {
      std::size_t f = nestedIdx[slot];
      Value v = std::move(rec.values[f]);
      rec.values[f] = Value();
      if (v.isNull() || !isStored(defs[f])) continue;
      if (v.type() != DataType::DataSet)
        throw DataSetError(path + rowField(r, defs[f]) + ": not a nested dataset");
      // Rows nobody else holds are taken rather than copied (every maker of nested rows
      // creates them as a mutable vector).
      std::vector<Row> sub = v.nested().use_count() == 1
                                 ? std::move(const_cast<NestedRows&>(*v.nested()))
                                 : *v.nested();
      fill(rec.nested[slot], sub, plan.nested[f]->defs, *plan.nested[f],
           path + defs[f].name + " of row " + std::to_string(r + 1) + ": ");
    }
    store.records.push_back(std::move(rec));
  }
};

void ClientDataSet::LoadFromPacket(Packet&& packet) {
  PacketLoad load(*this);
  load.take(std::move(packet));
  load.Commit();
}

ClientDataSet::PacketLoad::PacketLoad(ClientDataSet& target)
    : target_(target), adopt_(target.defs_.empty() || target.fieldsFromPacket_) {
  if (target.master_) throw DataSetError("A nested dataset is loaded through its master");
}

ClientDataSet::PacketLoad::~PacketLoad() = default;

void ClientDataSet::PacketLoad::fields(const FieldDefs& packet) {
  if (plan_) throw DataSetError("A data packet's fields came twice");
  packetFields_ = packet;
  // Refuse a packet that lacks a defined field before any row is taken.
  plan_ = Planner::make(defs(), packetFields_, "");
  store_ = std::make_unique<Store>();
  nested_ = nestedIndexes(defs());
}

void ClientDataSet::PacketLoad::row(Row&& row) {
  if (!plan_) throw DataSetError("A data packet's row came before its fields");
  Planner::fillRow(*store_, row, rows_++, defs(), *plan_, nested_, "");
}

void ClientDataSet::PacketLoad::Commit() {
  if (!plan_) throw DataSetError("The data packet has no fields");
  ClientDataSet& ds = target_;
  Bindings bindings = ds.prepareBindings(defs());
  bool layoutChanged = !ds.Active() || (adopt_ && !(packetFields_ == ds.defs_));
  if (adopt_) {
    ds.defs_ = std::move(packetFields_);
    ds.fieldsFromPacket_ = true;
  }
  if (layoutChanged || ds.fields_.size() != ds.defs_.size()) ds.rebuildFieldObjects();
  ds.commitBindings(std::move(bindings));
  plan_.reset();
  ds.openWith(std::move(store_), layoutChanged);
}

Packet ClientDataSet::Data() const {
  requireActive();
  Packet p;
  p.fields = storedDefs(defs_);
  if (const Store* s = store()) p.rows = storeRows(*s, defs_);
  return p;
}

// ---------------------------------------------------------------------------------------------
// Record access

ClientDataSet::Store* ClientDataSet::store() {
  if (master_) return master_->Active() ? master_->nestedStoreOfCurrent(masterSlot_) : nullptr;
  return own_.get();
}

const ClientDataSet::Store* ClientDataSet::store() const {
  return const_cast<ClientDataSet*>(this)->store();
}

ClientDataSet::Store* ClientDataSet::nestedStoreOfCurrent(std::size_t slot) {
  Record* r = current();
  if (!r || slot >= r->nested.size()) return nullptr;
  return &r->nested[slot];
}

ClientDataSet::Record* ClientDataSet::current() {
  if (calcTarget_) return calcTarget_;
  if (buffer_) return buffer_.get();
  Store* s = store();
  if (!s || s != viewStore_ || cursor_ < 0 || static_cast<std::size_t>(cursor_) >= view_.size())
    return nullptr;  // (a detail between its master's move and its own)
  return &s->records[view_[static_cast<std::size_t>(cursor_)]];
}

const ClientDataSet::Record* ClientDataSet::current() const {
  return const_cast<ClientDataSet*>(this)->current();
}

const Value& ClientDataSet::currentValue(std::size_t field) const {
  static const Value kNull;
  const Record* r = current();
  if (!r || field >= r->values.size()) return kNull;
  return r->values[field];
}

Value ClientDataSet::originalValue(std::size_t field) const {
  if (buffer_ && state_ == DataSetState::Insert) return Value();
  const Store* s = store();
  if (!s || cursor_ < 0 || static_cast<std::size_t>(cursor_) >= view_.size()) return Value();
  const Record& r = s->records[view_[static_cast<std::size_t>(cursor_)]];
  if (r.status == RecState::Inserted) return Value();
  const Row& row = r.original ? *r.original : r.values;
  return field < row.size() ? row[field] : Value();
}

void ClientDataSet::setFieldValue(std::size_t field, Value v) {
  const FieldDef& def = defs_[field];
  if (def.kind == FieldKind::Aggregate)
    throw DataSetError("Field '" + def.name + "' is an aggregate and cannot be set");
  if (def.type == DataType::DataSet)
    throw DataSetError("Field '" + def.name + "' is a nested dataset; edit its detail dataset");
  if (calcTarget_) {
    if (def.kind != FieldKind::InternalCalc)
      throw DataSetError("Field '" + def.name + "' cannot be modified while calculating");
    calcTarget_->values[field] = std::move(v);
    return;
  }
  if (state_ != DataSetState::Edit && state_ != DataSetState::Insert)
    throw DataSetError("Dataset not in edit or insert mode");
  buffer_->values[field] = std::move(v);
  bufferModified_ = true;
  invalidateAggregates();
  notifyRecordChanged(static_cast<int>(field));
}

// ---------------------------------------------------------------------------------------------
// The view: visible rows in index order

bool ClientDataSet::visible(const Record& r) const {
  if (!r.live()) return false;
  if (filtered_ && filter_.valid()) return filter_.matches(r.values);
  return true;
}

bool ClientDataSet::lessInIndex(const Record& a, const Record& b) const {
  for (std::size_t f : indexFields_) {
    int c = compareValues(a.values[f], b.values[f], true);
    if (c != 0) return c < 0;
  }
  return false;
}

void ClientDataSet::rebuildView(std::uint64_t keepRecord) {
  int oldCursor = cursor_;
  view_.clear();
  Store* s = store();
  viewStore_ = s;
  if (s) {
    view_.reserve(s->records.size());
    for (std::size_t i = 0; i < s->records.size(); ++i)
      if (visible(s->records[i])) view_.push_back(static_cast<std::uint32_t>(i));
    if (!indexFields_.empty())
      std::stable_sort(view_.begin(), view_.end(), [&](std::uint32_t a, std::uint32_t b) {
        return lessInIndex(s->records[a], s->records[b]);
      });
  }
  int pos = keepRecord ? viewPosOfRecord(keepRecord) : -1;
  if (pos < 0) pos = std::min(std::max(oldCursor, 0), static_cast<int>(view_.size()) - 1);
  cursor_ = view_.empty() ? -1 : pos;
  if (view_.empty()) bof_ = eof_ = true;
  invalidateAggregates();
}

// Puts a stored record into the view: in index order, or at the end; returns its position.
std::size_t ClientDataSet::placeInView(std::size_t recordIndex) {
  Store* s = store();
  auto idx = static_cast<std::uint32_t>(recordIndex);
  std::size_t pos = view_.size();
  if (!indexFields_.empty()) {
    const Record& r = s->records[recordIndex];
    auto it = std::upper_bound(
        view_.begin(), view_.end(), idx,
        [&](std::uint32_t, std::uint32_t b) { return lessInIndex(r, s->records[b]); });
    pos = static_cast<std::size_t>(it - view_.begin());
  }
  view_.insert(view_.begin() + static_cast<std::ptrdiff_t>(pos), idx);
  return pos;
}

int ClientDataSet::viewPosOfRecord(std::uint64_t id) const {
  const Store* s = store();
  if (!s) return -1;
  for (std::size_t i = 0; i < view_.size(); ++i)
    if (s->records[view_[i]].id == id) return static_cast<int>(i);
  return -1;
}

std::uint64_t ClientDataSet::currentRecordId() const {
  const Store* s = store();
  if (!s || cursor_ < 0 || static_cast<std::size_t>(cursor_) >= view_.size()) return 0;
  std::size_t index = view_[static_cast<std::size_t>(cursor_)];
  return index < s->records.size() ? s->records[index].id : 0;
}

// ---------------------------------------------------------------------------------------------
// Cursor

bool ClientDataSet::IsEmpty() const {
  return view_.empty() && state_ != DataSetState::Insert;
}

int ClientDataSet::RecordCount() const {
  return static_cast<int>(view_.size());
}

int ClientDataSet::DisplayRowCount() const {
  return static_cast<int>(view_.size()) + (state_ == DataSetState::Insert ? 1 : 0);
}

int ClientDataSet::DisplayRow() const {
  if (state_ == DataSetState::Insert) return insertPos_;
  if (view_.empty() || cursor_ < 0) return -1;
  return cursor_;
}

const Value& ClientDataSet::DisplayValue(int row, std::size_t field) const {
  static const Value kNull;
  const Store* s = store();
  // viewStore_ differs from the store while a detail follows its master to another row.
  if (!s || s != viewStore_ || row < 0 || row >= DisplayRowCount()) return kNull;
  const Record* r = nullptr;
  if (buffer_ && row == DisplayRow()) {
    r = buffer_.get();
  } else {
    int pos = state_ == DataSetState::Insert && row > insertPos_ ? row - 1 : row;
    r = &s->records[view_[static_cast<std::size_t>(pos)]];
  }
  if (field >= r->values.size() || defs_[field].kind == FieldKind::Aggregate) return kNull;
  return r->values[field];
}

int ClientDataSet::RecNo() const {
  if (state_ == DataSetState::Insert) return -1;
  if (view_.empty() || cursor_ < 0) return 0;
  return cursor_ + 1;
}

void ClientDataSet::afterMove() {
  syncDetails(true);
  notifyMoved();
  if (AfterScroll) AfterScroll(*this);
}

void ClientDataSet::First() {
  requireActive();
  CheckBrowseMode();
  cursor_ = view_.empty() ? -1 : 0;
  bof_ = true;
  eof_ = view_.empty();
  afterMove();
}

void ClientDataSet::Last() {
  requireActive();
  CheckBrowseMode();
  cursor_ = static_cast<int>(view_.size()) - 1;
  eof_ = true;
  bof_ = view_.empty();
  afterMove();
}

void ClientDataSet::Next() {
  requireActive();
  CheckBrowseMode();
  if (cursor_ + 1 < static_cast<int>(view_.size())) {
    ++cursor_;
    bof_ = eof_ = false;
    afterMove();
  } else {
    eof_ = true;
  }
}

void ClientDataSet::Prior() {
  requireActive();
  CheckBrowseMode();
  if (cursor_ > 0) {
    --cursor_;
    bof_ = eof_ = false;
    afterMove();
  } else {
    bof_ = true;
  }
}

void ClientDataSet::MoveBy(int distance) {
  requireActive();
  CheckBrowseMode();
  if (view_.empty()) return;
  int target = cursor_ + distance;
  bof_ = target < 0;
  eof_ = target >= static_cast<int>(view_.size());
  target = std::clamp(target, 0, static_cast<int>(view_.size()) - 1);
  if (target != cursor_) {
    cursor_ = target;
    afterMove();
  }
}

void ClientDataSet::SetRecNo(int recNo) {
  requireActive();
  CheckBrowseMode();
  if (recNo < 1 || recNo > static_cast<int>(view_.size()))
    throw DataSetError("Record number " + std::to_string(recNo) + " out of range");
  cursor_ = recNo - 1;
  bof_ = eof_ = false;
  afterMove();
}

// ---------------------------------------------------------------------------------------------
// Editing

void ClientDataSet::setState(DataSetState s) {
  if (state_ == s) return;
  state_ = s;
  if (disableCount_ > 0) {
    pendingData_ = true;
    return;
  }
  for (DataSetObserver* o : std::vector<DataSetObserver*>(observers_))
    o->stateChanged(*this);
}

void ClientDataSet::checkParentState() {
  if (master_) master_->Edit();
}

void ClientDataSet::CheckBrowseMode() {
  requireActive();
  if (state_ == DataSetState::Edit || state_ == DataSetState::Insert) Post();
}

void ClientDataSet::startInsert(bool append) {
  requireActive();
  CheckBrowseMode();
  checkParentState();
  Store* s = store();
  if (!s) throw DataSetError("The master dataset has no current record");
  auto rec = std::make_unique<Record>();
  rec->id = newRecordId();
  rec->values.resize(defs_.size());
  rec->nested.resize(nestedFields_.size());
  for (Store& n : rec->nested)
    n.calculated = true;
  buffer_ = std::move(rec);
  insertAppend_ = append || view_.empty();
  insertPos_ = insertAppend_ ? static_cast<int>(view_.size()) : std::max(cursor_, 0);
  bufferModified_ = nestedModified_ = false;
  setState(DataSetState::Insert);
  syncDetails(true);
  invalidateAggregates();
  try {
    if (OnNewRecord) OnNewRecord(*this);
  } catch (...) {
    Cancel();
    throw;
  }
  notifyDataChanged();
}

void ClientDataSet::Append() {
  startInsert(true);
}
void ClientDataSet::Insert() {
  startInsert(false);
}

void ClientDataSet::Edit() {
  requireActive();
  if (state_ == DataSetState::Edit || state_ == DataSetState::Insert) return;
  if (view_.empty()) {
    Append();
    return;
  }
  checkParentState();
  Record* r = current();
  if (!r) throw DataSetError("No current record to edit");
  Positions positions;
  capturePositions(positions);
  buffer_ = std::make_unique<Record>(*r);
  bufferModified_ = nestedModified_ = false;
  setState(DataSetState::Edit);
  syncDetails(false, &positions);
}

void ClientDataSet::markNestedChanged() {
  nestedModified_ = true;
  invalidateAggregates();
}

void ClientDataSet::detailsCheckBrowseMode() {
  for (ClientDataSet* d : details_)
    if (d->state_ == DataSetState::Edit || d->state_ == DataSetState::Insert) d->Post();
}

void ClientDataSet::detailsCancel() {
  for (ClientDataSet* d : details_)
    if (d->state_ == DataSetState::Edit || d->state_ == DataSetState::Insert) d->Cancel();
}

void ClientDataSet::calculate(Record& r) {
  if (!OnCalcFields) return;
  calcTarget_ = &r;
  try {
    OnCalcFields(*this);
  } catch (...) {
    calcTarget_ = nullptr;
    throw;
  }
  calcTarget_ = nullptr;
}

void ClientDataSet::calculateStore(Store& s) {
  if (s.calculated) return;
  s.calculated = true;
  if (!OnCalcFields) return;
  for (Record& r : s.records)
    if (r.live()) calculate(r);
}

void ClientDataSet::Post() {
  requireActive();
  if (state_ != DataSetState::Edit && state_ != DataSetState::Insert) return;
  detailsCheckBrowseMode();
  for (std::size_t i = 0; i < defs_.size(); ++i) {
    const FieldDef& d = defs_[i];
    if (d.required && d.kind == FieldKind::Data && d.type != DataType::DataSet &&
        buffer_->values[i].isNull())
      throw DataSetError("Field '" + d.name + "' must have a value");
  }
  if (BeforePost) BeforePost(*this);
  Store* s = store();
  if (!s) throw DataSetError("The master dataset has no current record");

  if (state_ == DataSetState::Edit && !bufferModified_ && !nestedModified_) {
    // Nothing was changed: leave edit mode without a change-log entry.
    buffer_.reset();
    setState(DataSetState::Browse);
    syncDetails(false);
    return;
  }
  calculate(*buffer_);

  std::uint64_t id = buffer_->id;
  if (state_ == DataSetState::Insert) {
    Record rec = std::move(*buffer_);
    buffer_.reset();
    rec.status = RecState::Inserted;
    rec.changeOrder = s->nextChange++;
    setState(DataSetState::Browse);
    if (insertAppend_ || insertPos_ >= static_cast<int>(view_.size())) {
      s->records.push_back(std::move(rec));
      std::size_t index = s->records.size() - 1;
      if (visible(s->records[index])) {
        cursor_ = static_cast<int>(placeInView(index));
      } else {
        cursor_ = static_cast<int>(view_.size()) - 1;
      }
    } else {
      // Inserted before the row it was started on, also in the natural order, so that the
      // place survives a later rebuild of the view.
      std::size_t before = view_[static_cast<std::size_t>(insertPos_)];
      s->records.insert(s->records.begin() + static_cast<std::ptrdiff_t>(before), std::move(rec));
      cursor_ = insertPos_;
      rebuildView(id);
    }
  } else {
    std::size_t index = view_[static_cast<std::size_t>(cursor_)];
    Record& target = s->records[index];
    Record rec = std::move(*buffer_);
    buffer_.reset();
    rec.status = target.status;
    rec.changeOrder = target.changeOrder;
    rec.original = std::move(target.original);
    if (rec.status == RecState::Unmodified) {
      rec.original = std::move(target.values);
      rec.status = RecState::Modified;
      rec.changeOrder = s->nextChange++;
    }
    target = std::move(rec);
    setState(DataSetState::Browse);
    // The row may have moved in the index or left the filter.
    view_.erase(view_.begin() + cursor_);
    if (visible(target)) {
      if (indexFields_.empty()) {
        view_.insert(view_.begin() + cursor_, static_cast<std::uint32_t>(index));
      } else {
        cursor_ = static_cast<int>(placeInView(index));
      }
    } else {
      cursor_ = std::min(cursor_, static_cast<int>(view_.size()) - 1);
    }
  }
  if (view_.empty()) {
    cursor_ = -1;
    bof_ = eof_ = true;
  } else {
    bof_ = eof_ = false;
  }
  bufferModified_ = nestedModified_ = false;
  if (master_) master_->markNestedChanged();
  invalidateAggregates();
  syncDetails(currentRecordId() != id);
  notifyDataChanged();
  if (AfterPost) AfterPost(*this);
}

void ClientDataSet::Cancel() {
  if (state_ != DataSetState::Edit && state_ != DataSetState::Insert) return;
  detailsCancel();
  bool wasInsert = state_ == DataSetState::Insert;
  Positions positions;
  capturePositions(positions);
  buffer_.reset();
  bufferModified_ = nestedModified_ = false;
  setState(DataSetState::Browse);
  if (view_.empty()) {
    cursor_ = -1;
    bof_ = eof_ = true;
  }
  invalidateAggregates();
  syncDetails(wasInsert, &positions);
  notifyDataChanged();
}

void ClientDataSet::Delete() {
  requireActive();
  if (state_ == DataSetState::Insert) {
    Cancel();
    return;
  }
  if (state_ == DataSetState::Edit) Cancel();
  if (view_.empty()) throw DataSetError("Cannot perform this operation on an empty dataset");
  checkParentState();
  if (BeforeDelete) BeforeDelete(*this);
  detailsCancel();
  Store* s = store();
  Record& r = s->records[view_[static_cast<std::size_t>(cursor_)]];
  if (r.status == RecState::Inserted) {
    r.status = RecState::Discarded;
  } else {
    r.status = RecState::Deleted;
    r.changeOrder = s->nextChange++;
  }
  for (Store& n : r.nested)
    deleteStore(n);
  view_.erase(view_.begin() + cursor_);
  if (view_.empty()) {
    cursor_ = -1;
    bof_ = eof_ = true;
  } else {
    cursor_ = std::min(cursor_, static_cast<int>(view_.size()) - 1);
    bof_ = eof_ = false;
  }
  if (master_) master_->markNestedChanged();
  invalidateAggregates();
  syncDetails(true);
  notifyDataChanged();
  if (AfterDelete) AfterDelete(*this);
}

// ---------------------------------------------------------------------------------------------
// Change log

int ClientDataSet::ChangeCount() const {
  const Store* s = store();
  return s ? countChanges(*s) : 0;
}

Delta ClientDataSet::GetDelta() const {
  requireActive();
  Delta d;
  d.fields = storedDefs(defs_);
  if (const Store* s = store()) d.rows = storeDelta(*s, defs_);
  return d;
}

void ClientDataSet::MergeChangeLog() {
  requireActive();
  if (master_) throw DataSetError("Merge the change log of the master dataset");
  CheckBrowseMode();
  std::uint64_t keep = currentRecordId();
  Positions positions;
  capturePositions(positions);
  mergeStore(*own_);
  rebuildView(keep);
  syncDetails(false, &positions);
  notifyDataChanged();
}

void ClientDataSet::CancelUpdates() {
  requireActive();
  if (master_) throw DataSetError("Cancel the updates of the master dataset");
  Cancel();
  std::uint64_t keep = currentRecordId();
  cancelStore(*own_);
  calculateStore(*own_);
  rebuildView(keep);
  if (!view_.empty() && viewPosOfRecord(keep) < 0) cursor_ = 0;
  bof_ = cursor_ <= 0;
  eof_ = view_.empty();
  syncDetails(true);
  notifyDataChanged();
}

UpdateStatus ClientDataSet::RecordUpdateStatus() const {
  if (state_ == DataSetState::Insert) return UpdateStatus::Inserted;
  const Store* s = store();
  if (!s || cursor_ < 0 || static_cast<std::size_t>(cursor_) >= view_.size())
    return UpdateStatus::Unmodified;
  switch (s->records[view_[static_cast<std::size_t>(cursor_)]].status) {
    case RecState::Modified:
      return UpdateStatus::Modified;
    case RecState::Inserted:
      return UpdateStatus::Inserted;
    case RecState::Deleted:
    case RecState::Discarded:
      return UpdateStatus::Deleted;
    default:
      return UpdateStatus::Unmodified;
  }
}

// ---------------------------------------------------------------------------------------------
// Nested details

void ClientDataSet::SetDataSetField(ClientDataSet& master, std::string_view fieldName) {
  if (&master == this) throw DataSetError("A dataset cannot be its own master");
  if (master_ == &master && equalsIgnoreCase(masterFieldName_, fieldName)) return;
  if (own_) throw DataSetError("Close the dataset before nesting it");
  int idx = master.defs_.indexOf(fieldName);
  if (idx >= 0) {
    FieldDef& nestedDef = master.defs_[static_cast<std::size_t>(idx)];
    if (nestedDef.type != DataType::DataSet)
      throw DataSetError("Field '" + nestedDef.name + "' is not a nested dataset field");
    // Calculated and aggregate fields defined here become part of the nested field.
    FieldDefs children(nestedDef.children);
    std::vector<FieldDef> extra;
    for (const FieldDef& d : defs_)
      if (d.kind != FieldKind::Data && children.indexOf(d.name) < 0) extra.push_back(d);
    if (!extra.empty() && master.Active())
      throw DataSetError("Define the fields of a nested dataset before its master opens");
    for (FieldDef& d : extra)
      nestedDef.children.push_back(std::move(d));
  }
  if (master_) std::erase(master_->details_, this);
  master_ = &master;
  masterFieldName_ = std::string(fieldName);
  master.details_.push_back(this);
  if (idx >= 0) attachToMasterLayout();
  if (master.Active()) {
    setState(DataSetState::Browse);
    rebuildView(0);
    cursor_ = view_.empty() ? -1 : 0;
    bof_ = true;
    eof_ = view_.empty();
    notifyDataChanged();
  }
}

void ClientDataSet::attachToMasterLayout() {
  int idx = master_->defs_.indexOf(masterFieldName_);
  if (idx < 0 || master_->defs_[static_cast<std::size_t>(idx)].type != DataType::DataSet)
    throw DataSetError("Field '" + masterFieldName_ + "' is not a nested dataset field");
  masterSlot_ = static_cast<std::size_t>(
      master_->nestedSlot_.empty() ? nestedIndexes(master_->defs_).size() : 0);
  std::vector<std::size_t> nested = nestedIndexes(master_->defs_);
  for (std::size_t s = 0; s < nested.size(); ++s)
    if (nested[s] == static_cast<std::size_t>(idx)) masterSlot_ = s;
  defs_ = FieldDefs(master_->defs_[static_cast<std::size_t>(idx)].children);
  fieldsFromPacket_ = false;
  rebuildFieldObjects();
  bindExpressions();
  notifyLayout();
}

void ClientDataSet::capturePositions(Positions& out) const {
  for (const ClientDataSet* d : details_) {
    if (!d->Active()) continue;
    out[d] = d->currentRecordId();
    d->capturePositions(out);
  }
}

void ClientDataSet::syncDetails(bool reset, const Positions* positions) {
  for (ClientDataSet* d : details_) {
    if (!d->Active()) continue;
    if (reset) d->buffer_.reset(), d->setState(DataSetState::Browse);
    std::uint64_t keep = 0;
    if (!reset) {
      // A position taken before the master changed its rows; the view may be stale by now.
      auto it = positions ? positions->find(d) : Positions::const_iterator{};
      keep = positions && it != positions->end() ? it->second : d->currentRecordId();
    }
    if (Store* s = d->store()) d->calculateStore(*s);
    if (reset) d->cursor_ = 0;
    d->rebuildView(keep);
    if (reset) {
      d->bof_ = true;
      d->eof_ = d->view_.empty();
    }
    d->syncDetails(reset, positions);
    d->notifyDataChanged();
  }
}

// ---------------------------------------------------------------------------------------------
// Filter and index

void ClientDataSet::SetFilter(std::string_view expression) {
  std::string text(expression);
  Expression parsed;
  bool blank = text.find_first_not_of(" \t\r\n") == std::string::npos;
  if (!blank && !defs_.empty()) parsed = Expression::parse(text, defs_);
  filterText_ = blank ? std::string() : text;
  filter_ = std::move(parsed);
  if (filtered_ && Active()) {
    CheckBrowseMode();
    rebuildView(currentRecordId());
    notifyDataChanged();
  }
}

void ClientDataSet::SetFiltered(bool on) {
  if (filtered_ == on) return;
  if (on && !filterText_.empty() && !filter_.valid())
    filter_ = Expression::parse(filterText_, defs_);  // throws for a filter that does not fit
  if (Active()) CheckBrowseMode();
  filtered_ = on;
  if (Active()) {
    rebuildView(currentRecordId());
    notifyDataChanged();
  }
}

void ClientDataSet::SetIndexFieldNames(std::string_view names) {
  std::vector<std::size_t> fields;
  if (!defs_.empty())
    for (std::string_view n : splitNames(names))
      fields.push_back(defs_.require(n));
  if (Active()) CheckBrowseMode();
  indexText_ = std::string(names);
  indexFields_ = std::move(fields);
  if (Active()) {
    rebuildView(currentRecordId());
    notifyDataChanged();
  }
}

// ---------------------------------------------------------------------------------------------
// Locate and bookmarks

bool ClientDataSet::Locate(std::string_view keyFields, const std::vector<Value>& keys,
                           LocateOptions options) {
  requireActive();
  std::vector<std::string_view> names = splitNames(keyFields);
  if (names.empty() || names.size() != keys.size())
    throw DataSetError("Locate needs one value for each of '" + std::string(keyFields) + "'");
  std::vector<std::size_t> idx;
  std::vector<Value> wanted;
  for (std::size_t k = 0; k < names.size(); ++k) {
    std::size_t f = defs_.require(names[k]);
    idx.push_back(f);
    const FieldDef& d = defs_[f];
    Value key = keys[k];
    bool textual = d.type == DataType::String || options.partialKey;
    if (!key.isNull() && !textual) {
      try {
        key = coerceValue(key, d.type);
      } catch (const ConversionError&) {
        // A key that cannot be this field's type matches no row; compare generically.
      }
    }
    if (textual && !key.isNull()) key = Value(key.toText());
    wanted.push_back(std::move(key));
  }
  CheckBrowseMode();
  const Store* s = store();
  if (!s) return false;
  auto keyMatches = [&](const Value& have, const Value& want) {
    if (want.isNull() || have.isNull()) return want.isNull() && have.isNull();
    if (want.type() != DataType::String)
      return compareValues(have, want, options.caseInsensitive) == 0;
    std::string converted;
    std::string_view h;
    if (have.type() == DataType::String) {
      h = have.string();
    } else {
      converted = have.toText();
      h = converted;
    }
    std::string_view w = want.string();
    if (options.partialKey) {
      if (h.size() < w.size()) return false;
      h = h.substr(0, w.size());
    }
    return options.caseInsensitive ? equalsIgnoreCase(h, w) : h == w;
  };
  for (std::size_t pos = 0; pos < view_.size(); ++pos) {
    const Row& values = s->records[view_[pos]].values;
    bool match = true;
    for (std::size_t k = 0; k < idx.size() && match; ++k) {
      const Value& have = values[idx[k]];
      const Value& want = wanted[k];
      // The common case, whole text keys, without any conversion.
      if (!options.partialKey && !options.caseInsensitive && have.type() == DataType::String &&
          want.type() == DataType::String)
        match = have.string() == want.string();
      else
        match = keyMatches(have, want);
    }
    if (match) {
      cursor_ = static_cast<int>(pos);
      bof_ = eof_ = false;
      afterMove();
      return true;
    }
  }
  return false;
}

Bookmark ClientDataSet::GetBookmark() const {
  std::uint64_t id = currentRecordId();
  if (!id || state_ == DataSetState::Insert) return Bookmark{};
  return Bookmark{id, generation_};
}

bool ClientDataSet::BookmarkValid(const Bookmark& b) const {
  return b.valid() && Active() && viewPosOfRecord(b.record) >= 0;
}

void ClientDataSet::GotoBookmark(const Bookmark& b) {
  requireActive();
  CheckBrowseMode();
  int pos = b.valid() ? viewPosOfRecord(b.record) : -1;
  if (pos < 0) throw DataSetError("Record not found");
  cursor_ = pos;
  bof_ = eof_ = false;
  afterMove();
}

// ---------------------------------------------------------------------------------------------
// Aggregates

Value ClientDataSet::aggregateValue(std::size_t field) const {
  if (!Active()) return Value();
  if (!aggregatesValid_) {
    std::vector<const Row*> rows;
    const Store* s = store();
    if (s) {
      rows.reserve(view_.size() + 1);
      for (std::size_t pos = 0; pos < view_.size(); ++pos) {
        // The row being edited counts with its edited values.
        if (buffer_ && state_ == DataSetState::Edit && static_cast<int>(pos) == cursor_)
          rows.push_back(&buffer_->values);
        else
          rows.push_back(&s->records[view_[pos]].values);
      }
      if (buffer_ && state_ == DataSetState::Insert) rows.push_back(&buffer_->values);
    }
    for (AggregateSlot& a : aggregates_)
      a.value = a.expression->compute(rows);
    aggregatesValid_ = true;
  }
  for (const AggregateSlot& a : aggregates_)
    if (a.field == field) return a.value;
  return Value();
}

// ---------------------------------------------------------------------------------------------
// Observers

void ClientDataSet::DisableControls() {
  ++disableCount_;
}

void ClientDataSet::EnableControls() {
  if (disableCount_ == 0) return;
  if (--disableCount_ > 0) return;
  bool layout = pendingLayout_, data = pendingData_;
  pendingLayout_ = pendingData_ = false;
  if (layout)
    for (DataSetObserver* o : std::vector<DataSetObserver*>(observers_))
      o->layoutChanged(*this);
  if (data || layout)
    for (DataSetObserver* o : std::vector<DataSetObserver*>(observers_))
      o->dataSetChanged(*this);
}

void ClientDataSet::AddObserver(DataSetObserver* observer) {
  if (observer && std::find(observers_.begin(), observers_.end(), observer) == observers_.end())
    observers_.push_back(observer);
}

void ClientDataSet::RemoveObserver(DataSetObserver* observer) {
  std::erase(observers_, observer);
}

void ClientDataSet::notifyDataChanged() {
  if (disableCount_ > 0) {
    pendingData_ = true;
    return;
  }
  for (DataSetObserver* o : std::vector<DataSetObserver*>(observers_))
    o->dataSetChanged(*this);
}

void ClientDataSet::notifyRecordChanged(int field) {
  if (disableCount_ > 0) {
    pendingData_ = true;
    return;
  }
  for (DataSetObserver* o : std::vector<DataSetObserver*>(observers_))
    o->recordChanged(*this, field);
}

void ClientDataSet::notifyMoved() {
  if (disableCount_ > 0) {
    pendingData_ = true;
    return;
  }
  for (DataSetObserver* o : std::vector<DataSetObserver*>(observers_))
    o->recordMoved(*this);
}

void ClientDataSet::notifyLayout() {
  if (disableCount_ > 0) {
    pendingLayout_ = true;
    return;
  }
  for (DataSetObserver* o : std::vector<DataSetObserver*>(observers_))
    o->layoutChanged(*this);
}

}  // namespace vlt
