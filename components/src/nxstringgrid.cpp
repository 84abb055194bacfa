// The string grid: a table view whose current row is the bound data set's cursor.

#include <QAction>
#include <QEvent>
#include <QHash>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPointer>
#include <QRegularExpressionValidator>
#include <QStyledItemDelegate>
#include <exception>

#include "vlt/components.h"
#include "vlt/gridexport.h"
#include "vlt/host.h"

namespace vlt::components {

namespace {

// The editors the column definitions ask for.
class TColumnDelegate : public QStyledItemDelegate {
 public:
  explicit TColumnDelegate(TNxStringGrid* grid) : QStyledItemDelegate(grid), grid_(grid) {}

  QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                        const QModelIndex& index) const override {
    QWidget* editor = QStyledItemDelegate::createEditor(parent, option, index);
    open_ = editor;
    const TColumnDef* column = columnOf(index);
    auto* line = qobject_cast<QLineEdit*>(editor);
    if (!column || !line || column->editor != TColumnDef::Editor::Number) return editor;
    line->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    // Only a number can be typed: digits, one point, the column's decimals after it.
    const int d = column->decimals;
    const QString pattern = d < 0    ? QStringLiteral("-?\\d*(\\.\\d*)?")
                            : d == 0 ? QStringLiteral("-?\\d*")
                                     : QStringLiteral("-?\\d*(\\.\\d{0,%1})?").arg(d);
    line->setValidator(new QRegularExpressionValidator(QRegularExpression(pattern), line));
    return editor;
  }

  const TColumnDef* columnOf(const QModelIndex& index) const {
    const std::vector<TColumnDef>& columns = grid_->Link().Columns();
    if (!index.isValid() || index.column() >= static_cast<int>(columns.size())) return nullptr;
    return &columns[static_cast<std::size_t>(index.column())];
  }

  // The editor open now, null when none is.
  QWidget* OpenEditor() const { return open_.data(); }

 private:
  TNxStringGrid* grid_;
  mutable QPointer<QWidget> open_;
};

// A column header that measures each caption once. A view lays itself out again after every
// reset of its model (a report run, a page of bills) and asks every section for its size;
// measuring a caption shapes its text, which cost more than the rest of that layout.
class CaptionHeader : public QHeaderView {
 public:
  explicit CaptionHeader(QWidget* parent) : QHeaderView(Qt::Horizontal, parent) {
    setSectionsClickable(true);  // as the view's own header
  }

 protected:
  QSize sectionSizeFromContents(int logicalIndex) const override {
    // The size follows the caption alone: no icons, fonts or sort marks in these headers.
    const QString caption =
        model() ? model()->headerData(logicalIndex, Qt::Horizontal).toString() : QString();
    auto it = sizes_.constFind(caption);
    if (it != sizes_.constEnd()) return *it;
    const QSize size = QHeaderView::sectionSizeFromContents(logicalIndex);
    sizes_.insert(caption, size);
    return size;
  }

  bool event(QEvent* e) override {
    if (e->type() == QEvent::FontChange || e->type() == QEvent::StyleChange ||
        e->type() == QEvent::PolishRequest)
      sizes_.clear();
    return QHeaderView::event(e);
  }

 private:
  mutable QHash<QString, QSize> sizes_;
};

}  // namespace

TNxStringGrid::TNxStringGrid(QWidget* parent)
    : QTableView(parent), model_(new DataSetTableModel(this)) {
  setHorizontalHeader(new CaptionHeader(this));
  setModel(model_);
  setItemDelegate(new TColumnDelegate(this));
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

  // Every grid can be taken out of the program from its context menu.
  auto* excel = new QAction(QStringLiteral("导出到 Excel…"), this);
  excel->setObjectName("actExportExcel");
  connect(excel, &QAction::triggered, this,
          host::guarded([this] { ExportGrid(*this, ExportFormat::Xlsx); }));
  auto* csv = new QAction(QStringLiteral("导出到 CSV…"), this);
  csv->setObjectName("actExportCsv");
  connect(csv, &QAction::triggered, this,
          host::guarded([this] { ExportGrid(*this, ExportFormat::Csv); }));
  addAction(excel);
  addAction(csv);
  setContextMenuPolicy(Qt::ActionsContextMenu);

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

void TNxStringGrid::CloseEditor(bool keepText) {
  auto* delegate = dynamic_cast<TColumnDelegate*>(itemDelegate());
  QWidget* editor = delegate ? delegate->OpenEditor() : nullptr;
  if (!editor || !editor->isVisible()) return;
  // The delegate's own signals, exactly as when the editor loses the focus or Escape is pressed.
  if (keepText) emit delegate->commitData(editor);
  emit delegate->closeEditor(
      editor, keepText ? QAbstractItemDelegate::NoHint : QAbstractItemDelegate::RevertModelCache);
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
  // A code cell reports what was typed, also when it equals what the cell held.
  const QModelIndex at = currentIndex();
  const auto* delegate = dynamic_cast<const TColumnDelegate*>(itemDelegate());
  const TColumnDef* def = delegate ? delegate->columnOf(at) : nullptr;
  const auto* line = qobject_cast<QLineEdit*>(editor);
  const bool code = def && def->editor == TColumnDef::Editor::Code && line &&
                    hint != QAbstractItemDelegate::RevertModelCache;
  const QString typed = code ? line->text() : QString();
  QTableView::closeEditor(editor, hint);
  if (row >= 0) host::guarded([&] { emit EditingDone(column, row); })();
  if (code) host::guarded([&] { emit CodeEntered(at.column(), at.row(), typed); })();
}

}  // namespace vlt::components
