// The string grid: a table view whose current row is the bound data set's cursor.

#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <exception>

#include "vlt/components.h"
#include "vlt/host.h"

namespace vlt::components {

TNxStringGrid::TNxStringGrid(QWidget* parent)
    : QTableView(parent), model_(new DataSetTableModel(this)) {
  setModel(model_);
  setAlternatingRowColors(true);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::AnyKeyPressed |
                  QAbstractItemView::SelectedClicked | QAbstractItemView::EditKeyPressed);
  setWordWrap(false);
  setCornerButtonEnabled(false);
  setTabKeyNavigation(false);
  // Every row the same height, never measured: this is what keeps large lists fast.
  QHeaderView* rows = verticalHeader();
  rows->hide();
  rows->setSectionResizeMode(QHeaderView::Fixed);
  rows->setMinimumSectionSize(1);
  rows->setDefaultSectionSize(rowHeight_);
  horizontalHeader()->setHighlightSections(false);
  horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);

  connect(model_, &DataSetTableModel::currentRowChanged, this,
          host::guarded([this](int row) { followDataSet(row); }));
  connect(model_, &DataSetTableModel::cellWritten, this, host::guarded([this](int row, int column) {
            if (!committing_) return;
            writtenRow_ = row;
            writtenColumn_ = column;
          }));
  connect(this, &QAbstractItemView::clicked, this, host::guarded([this](const QModelIndex& index) {
            if (index.isValid()) emit CellClick(index.column(), index.row());
          }));
  connect(this, &QAbstractItemView::doubleClicked, this,
          host::guarded([this](const QModelIndex& index) {
            if (index.isValid()) emit CellDblClick(index.column(), index.row());
          }));
}

TNxStringGrid::~TNxStringGrid() = default;

void TNxStringGrid::Bind(ClientDataSet* dataSet, std::vector<TColumnDef> columns) {
  following_ = true;
  model_->Bind(dataSet, std::move(columns));
  following_ = false;
  applyColumns();
  followDataSet(model_->CurrentRow());
}

void TNxStringGrid::applyColumns() {
  const std::vector<TColumnDef>& columns = model_->Columns();
  for (std::size_t i = 0; i < columns.size(); ++i) {
    const int c = static_cast<int>(i);
    setColumnWidth(c, columns[i].width);
    setColumnHidden(c, !columns[i].visible);
  }
}

void TNxStringGrid::SetRowHeight(int pixels) {
  if (pixels <= 0) return;
  rowHeight_ = pixels;
  verticalHeader()->setDefaultSectionSize(pixels);
}

int TNxStringGrid::SelectedColumn() const {
  QModelIndex i = currentIndex();
  return i.isValid() ? i.column() : -1;
}

int TNxStringGrid::SelectedRow() const {
  QModelIndex i = currentIndex();
  return i.isValid() ? i.row() : -1;
}

void TNxStringGrid::SelectCell(int column, int row) {
  QModelIndex i = model_->index(row, column);
  if (!i.isValid()) return;
  selectionModel()->setCurrentIndex(
      i, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
  scrollTo(i);
}

// The data set's cursor moved: make its row current here, without moving the data set back.
void TNxStringGrid::followDataSet(int row) {
  QItemSelectionModel* selection = selectionModel();
  if (!selection) return;
  QModelIndex current = currentIndex();
  if (row < 0) {
    if (current.isValid() || selection->hasSelection()) {
      following_ = true;
      selection->clear();
      following_ = false;
    }
    return;
  }
  if (current.isValid() && current.row() == row && selection->isRowSelected(row)) return;
  int column = current.isValid() ? current.column() : -1;
  if (column < 0 || isColumnHidden(column)) {
    column = 0;
    while (column < model_->columnCount() && isColumnHidden(column))
      ++column;
  }
  QModelIndex target = model_->index(row, column);
  if (!target.isValid()) return;
  following_ = true;
  try {
    selection->setCurrentIndex(target,
                               QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    scrollTo(target);
  } catch (...) {
    following_ = false;
    throw;
  }
  following_ = false;
}

// The user (or SelectCell) made another row current: move the data set there.
void TNxStringGrid::moveDataSet(int row) {
  if (following_ || model_->Notifying()) return;
  try {
    model_->MoveToRow(row);
  } catch (...) {
    // A refused post keeps the cursor where it is; so does the grid.
    followDataSet(model_->CurrentRow());
    throw;
  }
  followDataSet(model_->CurrentRow());
}

void TNxStringGrid::currentChanged(const QModelIndex& current, const QModelIndex& previous) {
  QTableView::currentChanged(current, previous);
  if (!current.isValid() || following_ || model_->Notifying()) return;
  host::guarded([this, row = current.row()] { moveDataSet(row); })();
}

void TNxStringGrid::keyPressEvent(QKeyEvent* event) {
  bool handled = false;
  try {
    emit KeyDown(event->key(), event->modifiers(), handled);
  } catch (...) {
    host::HandleException(std::current_exception());
    handled = true;
  }
  if (handled) {
    event->accept();
    return;
  }
  QTableView::keyPressEvent(event);
}

void TNxStringGrid::commitData(QWidget* editor) {
  writtenRow_ = writtenColumn_ = -1;
  committing_ = true;
  QTableView::commitData(editor);  // the model reports its own errors; nothing is thrown here
  committing_ = false;
}

void TNxStringGrid::closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint) {
  const int row = writtenRow_, column = writtenColumn_;
  writtenRow_ = writtenColumn_ = -1;
  QTableView::closeEditor(editor, hint);
  if (row >= 0) host::guarded([&] { emit EditingDone(column, row); })();
}

}  // namespace vlt::components
