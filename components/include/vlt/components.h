#pragma once
// The components the windows are built from: a table model over a client data set, the string
// grid bound to a data set through a grid link, the calendar button, the field bindings that
// keep edit boxes on the data set's current row, and the page of a module still to come.
//
// Lifetime: a data set tells the grids and binding lists bound to it when it is destroyed, and
// they let go of it (a window's data set members die before its child widgets).

#include <QAbstractTableModel>
#include <QAction>
#include <QDate>
#include <QKeySequence>
#include <QList>
#include <QPointer>
#include <QString>
#include <QTableView>
#include <QToolButton>
#include <concepts>
#include <memory>
#include <utility>
#include <vector>

#include "vlt/dataset.h"
#include "vlt/host.h"

class QCheckBox;
class QComboBox;
class QDateEdit;
class QFrame;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace vlt::components {

// One grid column: the data set member it shows, its header, width in pixels, whether it shows
// and whether the user may type into it; then how the cell is shown and edited, said with the
// chained setters below, so that a bill's line grid is a list of declarations:
//
//   {TColumnDef("GoodsCode", "货品编码", 90).Edit(TColumnDef::Editor::Code),
//    TColumnDef("Qty", "数量", 70).Number(2).Edit(TColumnDef::Editor::Number),
//    TColumnDef("Price", "单价", 70).Number(2).Edit(TColumnDef::Editor::Number),
//    TColumnDef("Amount", "金额", 90).Number(2),            // read-only, right-aligned
//    TColumnDef("Finished", "完成", 40).YesNo()}
//
// Display: Text as the field gives it (numbers right-aligned); Number with a fixed count of
// decimals ("12.5" shows "12.50"), right-aligned; YesNo shows 是/否 for a true/false field;
// Check shows a check box (its state, toggled by the user where the column is editable).
// Editor: Plain types text; Number lets only a number with at most the column's decimals be
// typed; Code is a plain editor whose typed text the grid reports with CodeEntered(column, row,
// text) when the editor closes -- the hook a bill window connects to look the goods up (find
// the code, or open the goods selection dialog filtered by it) and fill the line.
struct TColumnDef {
  enum class Display { Text, Number, YesNo, Check };
  enum class Editor { Plain, Number, Code };

  TColumnDef() = default;
  // TColumnDef{"Name", "名称", 120}: the trailing parts may be left out.
  TColumnDef(QString member_, QString header_ = QString(), int width_ = 80, bool visible_ = true,
             bool readOnly_ = true)
      : member(std::move(member_)),
        header(std::move(header_)),
        width(width_),
        visible(visible_),
        readOnly(readOnly_) {}

  // Shows `decimals_` digits after the point, right-aligned.
  TColumnDef& Number(int decimals_) {
    display = Display::Number;
    decimals = decimals_;
    return *this;
  }
  TColumnDef& YesNo() {
    display = Display::YesNo;
    return *this;
  }
  TColumnDef& Check() {
    display = Display::Check;
    return *this;
  }
  // The user may type into it, with this editor.
  TColumnDef& Edit(Editor editor_ = Editor::Plain) {
    readOnly = false;
    editor = editor_;
    return *this;
  }

  QString member;
  QString header;
  int width = 80;
  bool visible = true;
  bool readOnly = true;
  Display display = Display::Text;
  int decimals = -1;  // Number: digits after the point
  Editor editor = Editor::Plain;
};

// The text a cell of this column shows for a value (the rules of Display above).
QString CellText(const TColumnDef& column, const Value& value);

// Rows and columns of a data set as a table: one row per display row of the data set (the row
// being inserted included), one column per column definition (hidden ones included; the grid
// hides them). Follows the data set through its observer calls; writes an edited cell into the
// current row (moving the cursor there first, then Edit and the value; Post is the caller's).
class DataSetTableModel : public QAbstractTableModel, private DataSetObserver {
  Q_OBJECT
 public:
  explicit DataSetTableModel(QObject* parent = nullptr);
  ~DataSetTableModel() override;

  // Switching the data set or the columns resets the model. The data set must outlive the
  // model or be unset first.
  void SetDataSet(ClientDataSet* dataSet);
  ClientDataSet* DataSet() const { return dataSet_; }
  void SetColumns(std::vector<TColumnDef> columns);
  const std::vector<TColumnDef>& Columns() const { return columns_; }
  // Both at once, with one reset.
  void Bind(ClientDataSet* dataSet, std::vector<TColumnDef> columns);
  // With the link off the model shows no rows and ignores the data set (bulk changes);
  // switching it on shows the data set again.
  void SetActive(bool active);
  bool Active() const { return active_; }

  // The model row of the data set's cursor, -1 for none.
  int CurrentRow() const;
  // Moves the data set's cursor to the record shown in this model row. A pending edit or insert
  // is posted first; when that reorders the rows, the record is looked up again next to its
  // old place. Returns false when the row is gone (the cursor then stays where the post left
  // it). Data set errors (a post refused) are thrown.
  bool MoveToRow(int row);
  // True while the model is passing on a change of the data set (views must not move the
  // data set's cursor in answer to it).
  bool Notifying() const { return notifying_ > 0; }

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation,
                      int role = Qt::DisplayRole) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;
  // Writes the text into the record of that row. A value that does not convert goes to the
  // application exception handler and the call returns false; the row keeps its value.
  bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;

 signals:
  // The data set's cursor moved to this model row (-1: none).
  void currentRowChanged(int row);
  // setData wrote a changed value into the record of this row and column.
  void cellWritten(int row, int column);

 private:
  void dataSetChanged(ClientDataSet&) override;
  void recordChanged(ClientDataSet&, int field) override;
  void recordMoved(ClientDataSet&) override;
  void stateChanged(ClientDataSet&) override;
  void layoutChanged(ClientDataSet&) override;
  void dataSetDestroying(ClientDataSet&) override;
  void bindColumns();
  void attach();
  void detach();
  void resetRows();
  bool linked() const { return dataSet_ != nullptr && active_; }
  // Model row <-> display row of the data set, also while a row being inserted is announced
  // (or withdrawn) and the data set is already a step ahead of the model.
  int displayRowOf(int row) const;
  int modelRowOf(int displayRow) const;
  bool editable(int column) const;

  ClientDataSet* dataSet_ = nullptr;
  std::vector<TColumnDef> columns_;
  std::vector<int> fieldOf_;      // per column: field index or -1
  std::vector<bool> alignRight_;  // per column: a number field
  int rows_ = 0;                  // rows announced to the views
  int insertRow_ = -1;            // model row of the row being inserted, -1 for none
  bool active_ = true;
  int notifying_ = 0;
  bool frozen_ = false;  // rows are not to be read (the data set is between two states)
};

// The string grid: a table view over a DataSetTableModel (its grid link). The current row is
// the data set's current row in both directions. Alternating rows, a fixed row height, no
// vertical header. Stays fast with 100,000 rows (uniform row heights, no per-row sizing).
class TNxStringGrid : public QTableView {
  Q_OBJECT
 public:
  explicit TNxStringGrid(QWidget* parent = nullptr);
  ~TNxStringGrid() override;

  DataSetTableModel& Link() { return *model_; }
  const DataSetTableModel& Link() const { return *model_; }
  // Binds the grid to a data set with these columns (widths and visibility applied).
  void Bind(ClientDataSet* dataSet, std::vector<TColumnDef> columns);
  void SetRowHeight(int pixels);
  int RowHeight() const { return rowHeight_; }
  // The current cell (column index among all definitions; row = display row), -1 for none.
  int SelectedColumn() const;
  int SelectedRow() const;
  // Makes the cell current, as a click would (the data set's cursor follows).
  void SelectCell(int column, int row);
  // Ends the cell editor that is open, writing its text into the row or dropping it (a save
  // takes what is still being typed; a refresh drops it). Nothing when no editor is open.
  void CloseEditor(bool keepText);

 signals:
  void CellClick(int column, int row);
  void CellDblClick(int column, int row);
  // The user finished typing into a cell (the value is in the data set's current row).
  void EditingDone(int column, int row);
  // The user typed `text` into a code cell (TColumnDef::Editor::Code) and left it.
  void CodeEntered(int column, int row, const QString& text);
  // A key pressed in the grid; set `handled` to keep the grid from acting on it.
  void KeyDown(int key, Qt::KeyboardModifiers modifiers, bool& handled);

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint) override;
  void commitData(QWidget* editor) override;
  void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;
  // A string grid does not jump to rows by typed text (and a search over 100,000 rows is slow).
  void keyboardSearch(const QString&) override {}

 private:
  void applyColumns();
  void followDataSet(int row);
  void moveDataSet(int row);

  DataSetTableModel* model_;
  int rowHeight_ = 24;
  bool following_ = false;
  bool committing_ = false;
  int writtenRow_ = -1;  // the cell an editor wrote, reported when the editor closes
  int writtenColumn_ = -1;
};

// A picture button that pops up a month calendar; choosing a day closes the popup and reports
// the date.
class TNxImgCalendarBtn : public QToolButton {
  Q_OBJECT
 public:
  explicit TNxImgCalendarBtn(QWidget* parent = nullptr);
  void SetDate(const QDate& date);
  QDate Date() const { return date_; }
  // Shows the popup below the button (what a click does).
  void Popup();
  // The open popup (object name "calendarPopup"), null when closed.
  QFrame* PopupFrame() const { return popup_; }

 signals:
  void ClosePopup(const QDate& date);

 private:
  void choose(const QDate& date);

  QDate date_ = QDate::currentDate();
  QPointer<QFrame> popup_;
};

// Keeps widgets on fields of a data set's current row: they show the current value when the
// cursor moves or the row changes, and write what the user enters back into the row (Edit
// first when the data set is browsing). One binding list per window; declare it after the
// data set so that it goes first.
class TBindingList : private DataSetObserver {
 public:
  explicit TBindingList(ClientDataSet& dataSet);
  ~TBindingList() override;
  TBindingList(const TBindingList&) = delete;
  TBindingList& operator=(const TBindingList&) = delete;

  void BindEdit(QLineEdit* edit, const QString& field);
  // "True"/"False" in the field.
  void BindCheck(QCheckBox* check, const QString& field);
  // The field holds the chosen item's text.
  void BindCombo(QComboBox* combo, const QString& field);
  // The field holds the date; null shows the minimum date as blank. A date-time field keeps
  // its time of day. Line edits, check boxes and combo boxes write only what the user does;
  // a date edit and a memo write every change that is not the list's own showing (so a date
  // the window's code puts into the box also goes into the row).
  void BindDate(QDateEdit* edit, const QString& field);
  void BindMemo(QPlainTextEdit* memo, const QString& field);
  // Read only.
  void BindLabel(QLabel* label, const QString& field);
  // Shows the current row's values in every widget again.
  void Refresh();

 private:
  struct Binding;
  Binding& add(QWidget* widget, int kind, const QString& field);
  void recordChanged(ClientDataSet&, int field) override;
  void recordMoved(ClientDataSet&) override;
  void dataSetChanged(ClientDataSet&) override;
  void stateChanged(ClientDataSet&) override;
  void layoutChanged(ClientDataSet&) override;
  void dataSetDestroying(ClientDataSet&) override;
  QString currentText(const Binding& b) const;
  void show(Binding& b);
  void write(Binding& b, const QString& text, bool null = false);

  ClientDataSet* dataSet_;  // null once the data set is gone
  std::vector<std::unique_ptr<Binding>> bindings_;
  bool writing_ = false;
  const Binding* source_ = nullptr;  // the binding whose widget is being written from
  int showing_ = 0;
};

// The page of a module still to come: the caption, large and bold, over a quiet
// "该功能将在后续版本提供" line, both centred in `page` (which gets the layout). The labels are
// named "lblCaption" and "lblComing".
struct PlaceholderPage {
  QLabel* lblCaption;
  QLabel* lblComing;
};
PlaceholderPage BuildPlaceholderPage(QWidget* page, const QString& caption);

// An action of a window, named, with its shortcuts, added to the window (so the shortcuts work
// anywhere in it) and, when a handler is given, connected through the guard.
QAction* MakeAction(QWidget* form, const char* name, const QString& text,
                    const QList<QKeySequence>& shortcuts = {});
template <class F>
QAction* MakeAction(QWidget* form, const char* name, const QString& text,
                    const QList<QKeySequence>& shortcuts, F handler) {
  QAction* action = MakeAction(form, name, text, shortcuts);
  QObject::connect(action, &QAction::triggered, form, host::guarded(std::move(handler)));
  return action;
}
// The same without shortcuts. Only a handler matches here, so a lone shortcut argument still
// goes to the overload above.
template <class F>
requires std::invocable<F&> || std::invocable<F&, bool> QAction* MakeAction(QWidget* form,
                                                                            const char* name,
                                                                            const QString& text,
                                                                            F handler) {
  return MakeAction(form, name, text, {}, std::move(handler));
}

// A push button that triggers the action, is enabled with it and never becomes the dialog's
// Enter button. A positive `width` fixes its width; otherwise it is at least a little wider
// than its text.
QPushButton* ActionButton(QAction* action, QWidget* parent, const char* name, int width = 0);

}  // namespace vlt::components
