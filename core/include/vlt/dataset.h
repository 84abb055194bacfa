#pragma once
// The in-memory client data set: rows loaded from a packet, a cursor, edit states, a change log
// that becomes a delta, nested detail sets whose changes travel in the master's delta, filters,
// an index, locate, bookmarks, aggregates, and observers for grids and field bindings.
//
// Method names follow the platform names the windows use (First, Next, Edit, Post, ...).

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "vlt/expr.h"
#include "vlt/field.h"
#include "vlt/packet.h"
#include "vlt/value.h"

namespace vlt {

class ClientDataSet;

enum class DataSetState : std::uint8_t { Inactive, Browse, Edit, Insert };
enum class UpdateStatus : std::uint8_t { Unmodified, Modified, Inserted, Deleted };

// What a grid link or a field binding listens to. Calls arrive on the thread that changed the
// data set, never while DisableControls is in force.
class DataSetObserver {
 public:
  virtual ~DataSetObserver() = default;
  virtual void dataSetChanged(ClientDataSet&) {}                // rows changed: show all again
  virtual void recordChanged(ClientDataSet&, int /*field*/) {}  // a value of the current row
  virtual void recordMoved(ClientDataSet&) {}                   // the cursor moved
  virtual void stateChanged(ClientDataSet&) {}                  // browse / edit / insert / inactive
  virtual void layoutChanged(ClientDataSet&) {}                 // fields defined anew
  // The data set is being destroyed: forget it (calling RemoveObserver is not needed).
  virtual void dataSetDestroying(ClientDataSet&) {}
};

// One column of the data set, reading and writing the current record.
class Field {
 public:
  Field(ClientDataSet& owner, std::size_t index) : owner_(&owner), index_(index) {}

  const FieldDef& Def() const;
  const std::string& FieldName() const { return Def().name; }
  DataType Type() const { return Def().type; }
  FieldKind Kind() const { return Def().kind; }
  int Size() const { return Def().size; }
  int Precision() const { return Def().precision; }
  int Scale() const { return Def().scale; }
  bool Required() const { return Def().required; }
  std::string DisplayLabel() const;
  std::size_t Index() const { return index_; }
  ClientDataSet& DataSet() const { return *owner_; }

  // The value in the current record (an aggregate's live value for aggregate fields); null when
  // the data set has no current record.
  Value AsValue() const;
  // The value as it was when the row was loaded or last merged (null for a new row).
  Value OldValue() const;
  bool IsNull() const { return AsValue().isNull(); }
  std::string AsString() const { return AsValue().toText(); }
  std::int64_t AsLargeInt() const;
  int AsInteger() const;
  double AsFloat() const;
  // "True"/"False" texts without regard to case; also 1/0 and -1.
  bool AsBoolean() const;
  Decimal AsDecimal() const;
  Date AsDate() const;
  DateTime AsDateTime() const;

  // Writing needs the edit or insert state. The value is converted to the field's type; a value
  // that does not convert throws ConversionError naming the field and leaves the row as it was.
  void SetValue(const Value& v);
  void SetAsString(std::string_view text);
  void SetAsInteger(std::int64_t v) { SetValue(Value(v)); }
  void SetAsFloat(double v) { SetValue(Value(v)); }
  void SetAsBoolean(bool v);
  void Clear() { SetValue(Value()); }

 private:
  ClientDataSet* owner_;
  std::size_t index_;
};

struct Bookmark {
  std::uint64_t record = 0;
  std::uint64_t generation = 0;
  bool valid() const { return record != 0; }
  friend bool operator==(const Bookmark&, const Bookmark&) = default;
};

struct LocateOptions {
  bool caseInsensitive = false;
  bool partialKey = false;  // text keys match the beginning of the value
};

class ClientDataSet {
 public:
  using Event = std::function<void(ClientDataSet&)>;

  ClientDataSet();
  ~ClientDataSet();
  ClientDataSet(const ClientDataSet&) = delete;
  ClientDataSet& operator=(const ClientDataSet&) = delete;

  // ---- structure --------------------------------------------------------------------------
  // Definitions used by CreateDataSet and kept when packets are loaded ("persistent fields").
  // Change them only while the data set is inactive.
  FieldDefs& FieldDefinitions();
  const FieldDefs& Fields() const { return defs_; }
  std::size_t FieldCount() const { return defs_.size(); }
  Field& FieldByName(std::string_view name);
  Field* FindField(std::string_view name);
  Field& FieldByIndex(std::size_t index);

  void CreateDataSet();
  // Replaces the contents with the packet. Without definitions of its own the data set takes
  // the packet's fields; with them, every data field must be in the packet (matched by name)
  // and values are converted to the defined types. On any error the data set is unchanged.
  void LoadFromPacket(const Packet& packet);
  void LoadFromPacket(Packet&& packet);
  // The same load, fed row by row (an answer decoded while it arrives): records are made as
  // rows come, and the data set takes them at Commit. Until then, and when anything fails,
  // the data set is unchanged.
  class PacketLoad;
  // The current contents (posted rows, data fields only, natural order, filter ignored).
  Packet Data() const;
  void Close();
  // Removes every row and forgets the change log; the data set stays open.
  void EmptyDataSet();
  bool Active() const { return state_ != DataSetState::Inactive; }
  DataSetState State() const { return state_; }

  // ---- cursor -----------------------------------------------------------------------------
  void First();
  void Last();
  void Next();
  void Prior();
  void MoveBy(int distance);
  bool Eof() const { return eof_; }
  bool Bof() const { return bof_; }
  bool IsEmpty() const;
  // Rows visible through the filter (the row being inserted is not counted yet).
  int RecordCount() const;
  // 1-based position of the current row; -1 while inserting; 0 when there is none.
  int RecNo() const;
  void SetRecNo(int recNo);

  // ---- editing ----------------------------------------------------------------------------
  void Append();
  void Insert();
  // On an empty data set Edit starts an insert, as users of the platform expect.
  void Edit();
  void Post();
  void Cancel();
  void Delete();
  // Posts a pending edit or insert (what moving the cursor does first).
  void CheckBrowseMode();
  // True once a value of the row in the edit buffer was set.
  bool Modified() const { return bufferModified_; }

  // ---- change log -------------------------------------------------------------------------
  int ChangeCount() const;
  Delta GetDelta() const;
  void MergeChangeLog();
  void CancelUpdates();
  UpdateStatus RecordUpdateStatus() const;

  // ---- nested detail ----------------------------------------------------------------------
  // Makes this data set the detail of `master`'s nested data set field: it shows the rows of
  // the master's current row and its changes go into the master's change log. Calculated and
  // aggregate fields defined on this data set beforehand are added to the nested field.
  void SetDataSetField(ClientDataSet& master, std::string_view fieldName);
  ClientDataSet* Master() const { return master_; }

  // ---- filter and index -------------------------------------------------------------------
  // Throws ParseError for an expression that does not parse (the old filter stays in force).
  void SetFilter(std::string_view expression);
  const std::string& Filter() const { return filterText_; }
  void SetFiltered(bool on);
  bool Filtered() const { return filtered_; }
  // Field names separated by ';' ("UserID;ModuleID"); empty for the natural order.
  void SetIndexFieldNames(std::string_view names);
  const std::string& IndexFieldNames() const { return indexText_; }

  // ---- searching and bookmarks ------------------------------------------------------------
  bool Locate(std::string_view keyFields, const std::vector<Value>& keys,
              LocateOptions options = {});
  bool Locate(std::string_view keyField, const Value& key, LocateOptions options = {}) {
    return Locate(keyField, std::vector<Value>{key}, options);
  }
  Bookmark GetBookmark() const;
  bool BookmarkValid(const Bookmark& b) const;
  // Throws DataSetError when the row is gone or hidden.
  void GotoBookmark(const Bookmark& b);
  void FreeBookmark(Bookmark& b) { b = Bookmark{}; }

  // ---- display ----------------------------------------------------------------------------
  // Rows as a grid shows them: the visible rows, plus the row being inserted at its place.
  int DisplayRowCount() const;
  // The display row of the cursor (the row being inserted while inserting); -1 for none.
  int DisplayRow() const;
  // A value of a display row without moving the cursor: the edit buffer for the row being
  // edited or inserted; null outside the rows. Aggregates are not row values (null).
  const Value& DisplayValue(int row, std::size_t field) const;

  void DisableControls();
  void EnableControls();
  bool ControlsDisabled() const { return disableCount_ > 0; }
  void AddObserver(DataSetObserver* observer);
  void RemoveObserver(DataSetObserver* observer);

  // ---- events -----------------------------------------------------------------------------
  Event OnNewRecord;
  Event OnCalcFields;  // set internal calculated fields of the row being calculated
  Event BeforePost;
  Event AfterPost;
  Event AfterScroll;
  Event BeforeDelete;
  Event AfterDelete;

  // Rows handed to the service page by page (how many rows a page query asks for).
  int PacketRecords = -1;

 private:
  friend class Field;
  struct Record;
  struct Store;
  struct LoadPlan;
  struct Planner;

  // record access
  Store* store();
  const Store* store() const;
  Record* current();
  const Record* current() const;
  const Value& currentValue(std::size_t field) const;
  Value originalValue(std::size_t field) const;
  void setFieldValue(std::size_t field, Value v);
  Value aggregateValue(std::size_t field) const;

  // structure
  void rebuildFieldObjects();
  struct Bindings {
    Expression filter;
    std::vector<std::size_t> index;
    std::vector<std::pair<std::size_t, std::unique_ptr<AggregateExpression>>> aggregates;
  };
  // Binds the filter, index and aggregates to `defs` without changing anything (throws).
  Bindings prepareBindings(const FieldDefs& defs) const;
  void commitBindings(Bindings b);
  void bindExpressions() { commitBindings(prepareBindings(defs_)); }
  void openWith(std::unique_ptr<Store> store, bool notifyLayout);
  void requireActive() const;
  Store* nestedStoreOfCurrent(std::size_t slot);

  // view
  void rebuildView(std::uint64_t keepRecord);
  bool visible(const Record& r) const;
  bool lessInIndex(const Record& a, const Record& b) const;
  std::size_t placeInView(std::size_t recordIndex);
  int viewPosOfRecord(std::uint64_t id) const;
  std::uint64_t currentRecordId() const;

  // editing helpers
  void startInsert(bool append);
  void calculate(Record& r);
  void calculateStore(Store& s);
  void checkParentState();
  void markNestedChanged();
  // Where each detail (at every level) stands, by record id, taken before the master changes
  // its rows, so that the details can return there afterwards.
  using Positions = std::map<const ClientDataSet*, std::uint64_t>;
  void capturePositions(Positions& out) const;
  void syncDetails(bool reset, const Positions* positions = nullptr);
  void detailsCheckBrowseMode();
  void detailsCancel();
  void attachToMasterLayout();
  void setState(DataSetState s);

  // notifications
  void notifyDataChanged();
  void notifyRecordChanged(int field);
  void notifyMoved();
  void notifyLayout();
  void afterMove();
  void invalidateAggregates() { aggregatesValid_ = false; }

  FieldDefs defs_;
  bool fieldsFromPacket_ = false;
  std::vector<std::unique_ptr<Field>> fields_;
  std::vector<int> nestedSlot_;            // field index -> nested slot or -1
  std::vector<std::size_t> nestedFields_;  // nested slot -> field index

  std::unique_ptr<Store> own_;
  ClientDataSet* master_ = nullptr;
  std::string masterFieldName_;
  std::size_t masterSlot_ = 0;
  std::vector<ClientDataSet*> details_;
  const Store* viewStore_ = nullptr;

  DataSetState state_ = DataSetState::Inactive;
  std::vector<std::uint32_t> view_;
  int cursor_ = -1;
  bool bof_ = true;
  bool eof_ = true;

  std::unique_ptr<Record> buffer_;
  int insertPos_ = 0;  // view position where an inserted row will appear
  bool insertAppend_ = true;
  bool bufferModified_ = false;
  bool nestedModified_ = false;
  Record* calcTarget_ = nullptr;

  std::string filterText_;
  bool filtered_ = false;
  Expression filter_;
  std::string indexText_;
  std::vector<std::size_t> indexFields_;

  struct AggregateSlot {
    std::size_t field;
    std::unique_ptr<AggregateExpression> expression;
    Value value;
  };
  mutable std::vector<AggregateSlot> aggregates_;
  mutable bool aggregatesValid_ = false;

  std::vector<DataSetObserver*> observers_;
  int disableCount_ = 0;
  bool pendingData_ = false;
  bool pendingLayout_ = false;
  std::uint64_t generation_ = 1;
};

class ClientDataSet::PacketLoad : public PacketSink {
 public:
  explicit PacketLoad(ClientDataSet& target);
  ~PacketLoad() override;
  PacketLoad(const PacketLoad&) = delete;
  PacketLoad& operator=(const PacketLoad&) = delete;
  void fields(const FieldDefs& defs) override;
  void row(Row&& row) override;
  void Commit();

 private:
  // The definitions the records follow: the packet's own, or the data set's.
  const FieldDefs& defs() const { return adopt_ ? packetFields_ : target_.defs_; }

  ClientDataSet& target_;
  bool adopt_;
  FieldDefs packetFields_;
  std::unique_ptr<LoadPlan> plan_;
  std::unique_ptr<Store> store_;
  std::vector<std::size_t> nested_;
  std::size_t rows_ = 0;
};

}  // namespace vlt
