// The grid link: a data set's display rows as a flat table model.

#include <exception>

#include "vlt/components.h"
#include "vlt/host.h"

namespace vlt::components {

QString CellText(const TColumnDef& column, const Value& value) {
  if (value.isNull()) return QString();
  switch (column.display) {
    case TColumnDef::Display::Number:
      if (column.decimals >= 0) {
        try {
          return host::qs(Decimal::parse(value.toText()).rescaled(column.decimals).toString());
        } catch (const std::exception&) {
          // Not a number after all: shown as it is.
        }
      }
      break;
    case TColumnDef::Display::YesNo:
      return value.toBool() ? QStringLiteral("是") : QStringLiteral("否");
    case TColumnDef::Display::Check:
      return QString();
    case TColumnDef::Display::Text:
      break;
  }
  return host::qs(value.toText());
}

namespace {

// Counts the model as busy passing on a data set change for the duration of a scope.
class BusyScope {
 public:
  explicit BusyScope(int& counter) : counter_(counter) { ++counter_; }
  ~BusyScope() { --counter_; }
  BusyScope(const BusyScope&) = delete;
  BusyScope& operator=(const BusyScope&) = delete;

 private:
  int& counter_;
};

}  // namespace

DataSetTableModel::DataSetTableModel(QObject* parent) : QAbstractTableModel(parent) {}

DataSetTableModel::~DataSetTableModel() {
  detach();
}

void DataSetTableModel::attach() {
  if (linked()) dataSet_->AddObserver(this);
}

void DataSetTableModel::detach() {
  if (dataSet_) dataSet_->RemoveObserver(this);
}

void DataSetTableModel::dataSetDestroying(ClientDataSet&) {
  BusyScope busy(notifying_);
  beginResetModel();
  dataSet_ = nullptr;  // it has forgotten its observers already
  bindColumns();
  resetRows();
  endResetModel();
}

void DataSetTableModel::SetDataSet(ClientDataSet* dataSet) {
  Bind(dataSet, columns_);
}

void DataSetTableModel::SetColumns(std::vector<TColumnDef> columns) {
  Bind(dataSet_, std::move(columns));
}

void DataSetTableModel::Bind(ClientDataSet* dataSet, std::vector<TColumnDef> columns) {
  BusyScope busy(notifying_);
  beginResetModel();
  detach();
  dataSet_ = dataSet;
  columns_ = std::move(columns);
  attach();
  bindColumns();
  resetRows();
  endResetModel();
  emit currentRowChanged(CurrentRow());
}

void DataSetTableModel::SetActive(bool active) {
  if (active == active_) return;
  BusyScope busy(notifying_);
  beginResetModel();
  detach();
  active_ = active;
  attach();
  bindColumns();
  resetRows();
  endResetModel();
  emit currentRowChanged(CurrentRow());
}

void DataSetTableModel::bindColumns() {
  fieldOf_.assign(columns_.size(), -1);
  alignRight_.assign(columns_.size(), false);
  if (!dataSet_) return;
  const FieldDefs& defs = dataSet_->Fields();
  for (std::size_t c = 0; c < columns_.size(); ++c) {
    int f = defs.indexOf(host::ss(columns_[c].member));
    fieldOf_[c] = f;
    if (f >= 0) alignRight_[c] = isNumericType(defs[static_cast<std::size_t>(f)].type);
    if (columns_[c].display == TColumnDef::Display::Number) alignRight_[c] = true;
  }
}

void DataSetTableModel::resetRows() {
  frozen_ = false;
  if (!linked()) {
    rows_ = 0;
    insertRow_ = -1;
    return;
  }
  rows_ = dataSet_->DisplayRowCount();
  insertRow_ = dataSet_->State() == DataSetState::Insert ? dataSet_->DisplayRow() : -1;
}

int DataSetTableModel::displayRowOf(int row) const {
  if (!linked() || frozen_ || row < 0 || row >= rows_) return -1;
  const bool inserting = dataSet_->State() == DataSetState::Insert;
  int r = row;
  if (insertRow_ < 0 && inserting) {
    // The data set started an insert that the model is only now announcing.
    if (r >= dataSet_->DisplayRow()) ++r;
  } else if (insertRow_ >= 0 && !inserting) {
    // The insert ended; the model still shows its row until it withdraws it.
    if (r == insertRow_) return -1;
    if (r > insertRow_) --r;
  }
  return r < dataSet_->DisplayRowCount() ? r : -1;
}

int DataSetTableModel::modelRowOf(int displayRow) const {
  if (!linked() || displayRow < 0) return -1;
  const bool inserting = dataSet_->State() == DataSetState::Insert;
  int r = displayRow;
  if (insertRow_ < 0 && inserting) {
    int at = dataSet_->DisplayRow();
    if (r == at) return -1;
    if (r > at) --r;
  } else if (insertRow_ >= 0 && !inserting) {
    if (r >= insertRow_) ++r;
  }
  return r < rows_ ? r : -1;
}

int DataSetTableModel::CurrentRow() const {
  return linked() ? modelRowOf(dataSet_->DisplayRow()) : -1;
}

bool DataSetTableModel::editable(int column) const {
  if (column < 0 || static_cast<std::size_t>(column) >= columns_.size()) return false;
  const auto c = static_cast<std::size_t>(column);
  if (columns_[c].readOnly || fieldOf_[c] < 0 || !dataSet_) return false;
  const FieldDef& def = dataSet_->Fields()[static_cast<std::size_t>(fieldOf_[c])];
  return def.kind != FieldKind::Aggregate && def.type != DataType::DataSet;
}

int DataSetTableModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : rows_;
}

int DataSetTableModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(columns_.size());
}

QVariant DataSetTableModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.column() >= static_cast<int>(columns_.size())) return {};
  const auto c = static_cast<std::size_t>(index.column());
  switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole:
    case Qt::CheckStateRole: {
      const TColumnDef& column = columns_[c];
      const bool check = column.display == TColumnDef::Display::Check;
      if ((role == Qt::CheckStateRole) != check)
        return role == Qt::CheckStateRole ? QVariant() : QString();
      int field = fieldOf_[c];
      int row = displayRowOf(index.row());
      if (field < 0 || row < 0) return QString();
      try {
        const Value v = dataSet_->DisplayValue(row, static_cast<std::size_t>(field));
        if (check) return v.toBool() ? Qt::Checked : Qt::Unchecked;
        // The editor starts from the value as stored, the cell shows it formatted.
        return role == Qt::EditRole ? host::qs(v.toText()) : CellText(column, v);
      } catch (...) {
        // Painting must go on; a value without a text shows empty.
        return QString();
      }
    }
    case Qt::TextAlignmentRole:
      if (columns_[c].display == TColumnDef::Display::Check ||
          columns_[c].display == TColumnDef::Display::YesNo)
        return static_cast<int>(Qt::AlignCenter);
      return static_cast<int>((alignRight_[c] ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter);
    default:
      return {};
  }
}

QVariant DataSetTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation == Qt::Horizontal && section >= 0 &&
      section < static_cast<int>(columns_.size())) {
    const TColumnDef& col = columns_[static_cast<std::size_t>(section)];
    if (role == Qt::DisplayRole) return col.header.isEmpty() ? col.member : col.header;
    if (role == Qt::TextAlignmentRole) return static_cast<int>(Qt::AlignCenter);
    return {};
  }
  return QAbstractTableModel::headerData(section, orientation, role);
}

Qt::ItemFlags DataSetTableModel::flags(const QModelIndex& index) const {
  if (!index.isValid()) return Qt::NoItemFlags;
  Qt::ItemFlags f = Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemNeverHasChildren;
  if (editable(index.column())) {
    f |= columns_[static_cast<std::size_t>(index.column())].display == TColumnDef::Display::Check
             ? Qt::ItemIsUserCheckable
             : Qt::ItemIsEditable;
  }
  return f;
}

bool DataSetTableModel::MoveToRow(int row) {
  if (!linked() || !dataSet_->Active()) return false;
  if (row == CurrentRow()) return true;
  int target = displayRowOf(row);
  if (target < 0) return false;
  const DataSetState state = dataSet_->State();
  if (state == DataSetState::Edit || state == DataSetState::Insert) {
    // Posting may move rows (the inserted row takes its place, an index or a filter moves the
    // posted one), so remember what the row shows and find it again next to where it was.
    const std::size_t fields = dataSet_->FieldCount();
    std::vector<Value> shown;
    shown.reserve(fields);
    for (std::size_t f = 0; f < fields; ++f)
      shown.push_back(dataSet_->DisplayValue(target, f));
    dataSet_->CheckBrowseMode();
    const int place = target;
    auto same = [&](int r) {
      if (r < 0 || r >= dataSet_->DisplayRowCount()) return false;
      for (std::size_t f = 0; f < fields; ++f)
        if (!(dataSet_->DisplayValue(r, f) == shown[f])) return false;
      return true;
    };
    target = -1;
    for (int r : {place, place + 1, place - 1})
      if (same(r)) {
        target = r;
        break;
      }
    if (target < 0) return false;
  }
  if (target != dataSet_->DisplayRow()) dataSet_->SetRecNo(target + 1);
  return true;
}

bool DataSetTableModel::setData(const QModelIndex& index, const QVariant& value, int role) {
  if (!index.isValid() || !editable(index.column()) || !linked()) return false;
  const int column = index.column();
  const bool check =
      columns_[static_cast<std::size_t>(column)].display == TColumnDef::Display::Check;
  if (role != (check ? Qt::CheckStateRole : Qt::EditRole)) return false;
  const auto field = static_cast<std::size_t>(fieldOf_[static_cast<std::size_t>(column)]);
  // A check box stores the system's true/false words.
  const std::string text =
      check ? (value.toInt() == Qt::Checked ? "True" : "False") : host::ss(value.toString());
  bool startedEdit = false;
  try {
    if (!MoveToRow(index.row())) return false;
    const int row = CurrentRow();
    // Committing an editor without a change must not leave an edited row behind.
    if (dataSet_->DisplayValue(dataSet_->DisplayRow(), field).toText() == text) return true;
    if (dataSet_->State() == DataSetState::Browse) {
      dataSet_->Edit();
      startedEdit = true;
    }
    dataSet_->FieldByIndex(field).SetAsString(text);
    emit cellWritten(row, column);
    return true;
  } catch (...) {
    // The exception is reported here, inside Qt's call; the row keeps its value.
    host::HandleException(std::current_exception());
    try {
      if (startedEdit && !dataSet_->Modified()) dataSet_->Cancel();
    } catch (...) {
      host::HandleException(std::current_exception());
    }
    return false;
  }
}

// ---- the data set's notifications ------------------------------------------------------------

void DataSetTableModel::dataSetChanged(ClientDataSet&) {
  BusyScope busy(notifying_);
  const int rows = dataSet_->DisplayRowCount();
  const int insertRow = dataSet_->State() == DataSetState::Insert ? dataSet_->DisplayRow() : -1;
  if (rows == rows_ && insertRow == insertRow_ && !frozen_) {
    // Same rows: repaint them rather than reset (keeps the views' scroll and editors).
    if (rows_ > 0 && !columns_.empty())
      emit dataChanged(index(0, 0), index(rows_ - 1, static_cast<int>(columns_.size()) - 1));
  } else {
    beginResetModel();
    resetRows();
    endResetModel();
  }
  emit currentRowChanged(CurrentRow());
}

void DataSetTableModel::recordChanged(ClientDataSet&, int) {
  BusyScope busy(notifying_);
  int row = CurrentRow();
  if (row >= 0 && !columns_.empty())
    emit dataChanged(index(row, 0), index(row, static_cast<int>(columns_.size()) - 1));
}

void DataSetTableModel::recordMoved(ClientDataSet&) {
  BusyScope busy(notifying_);
  emit currentRowChanged(CurrentRow());
}

void DataSetTableModel::stateChanged(ClientDataSet&) {
  BusyScope busy(notifying_);
  const bool inserting = dataSet_->State() == DataSetState::Insert;
  if (inserting && insertRow_ < 0) {
    int at = dataSet_->DisplayRow();
    if (at < 0 || at > rows_) {
      beginResetModel();
      resetRows();
      endResetModel();
    } else {
      beginInsertRows(QModelIndex(), at, at);
      ++rows_;
      insertRow_ = at;
      endInsertRows();
    }
    emit currentRowChanged(CurrentRow());
  } else if (!inserting && insertRow_ >= 0) {
    // A detail data set leaves its insert when its master moves, before it has rebuilt its
    // rows for the master's new record: its rows must not be read until it says it changed.
    if (dataSet_->Master() != nullptr) frozen_ = true;
    int at = insertRow_;
    beginRemoveRows(QModelIndex(), at, at);
    --rows_;
    insertRow_ = -1;
    endRemoveRows();
  }
}

void DataSetTableModel::layoutChanged(ClientDataSet&) {
  BusyScope busy(notifying_);
  beginResetModel();
  bindColumns();
  resetRows();
  endResetModel();
  emit currentRowChanged(CurrentRow());
}

}  // namespace vlt::components
