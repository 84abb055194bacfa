#pragma once
// Taking a grid out of the program: its visible columns as the user sees them (order, widths,
// headers) and its rows, to an Excel workbook (.xlsx, numbers as numbers) or to CSV (UTF-8 with
// a byte-order mark, so that a spreadsheet opens Chinese text right).
//
// Every TNxStringGrid offers both in its context menu (actions "actExportExcel" and
// "actExportCsv"); a window adds a button with ExportMenuButton(). The writers are plain
// functions for code and tests: they return an empty text on success, else what the user is to
// read.

#include <QString>
#include <QStringList>
#include <functional>
#include <vector>

#include "vlt/components.h"

class QToolButton;
class QWidget;

namespace vlt::components {

// One column as the grid shows it now.
struct TShownColumn {
  int column = -1;  // index among the grid's column definitions
  int field = -1;   // field of the data set, -1 when the member is not one
  TColumnDef def;
  int width = 80;  // pixels, as the user left it
};

// The grid's visible columns, left to right as shown (moved sections included).
std::vector<TShownColumn> ShownColumns(const TNxStringGrid& grid);

// Every column definition of a bare model (hidden ones left out), in definition order.
std::vector<TShownColumn> ModelColumns(const DataSetTableModel& model);

// The user's message for a file that cannot be written, and the check that gives it (empty when
// the file can be written; an existing file is left as it was).
QString NotWritableMessage(const QString& path);
QString CheckWritable(const QString& path);

// The raw value of a cell (display row of the data set, field); null for field -1.
Value CellValue(const ClientDataSet& dataSet, int row, int field);

// The number a cell holds when the column is a number column or the field is numeric; false
// for null and for text that is no number (a heading row's caption in a number column).
bool CellDecimal(const TShownColumn& column, const Value& value, Decimal& out);

// What is written: the columns and every display row of the data set behind them.
struct TExportTable {
  const ClientDataSet* dataSet = nullptr;
  std::vector<TShownColumn> columns;
  QString title;  // the sheet's name (cut to what a sheet name may hold)
};
TExportTable ExportTableOf(const TNxStringGrid& grid, const QString& title = QString());

// Writes the table as a workbook with one sheet: the headers in the first row, frozen; the
// columns' widths; numbers as numbers with the column's decimals; dates as dates; yes/no and
// text as text. A number longer than a spreadsheet holds exactly (more than 15 digits) is
// written as its text, so that no digit is lost.
QString WriteXlsx(const TExportTable& table, const QString& path);

// Writes the table as CSV: UTF-8 with a byte-order mark, comma-separated, CRLF line ends, the
// texts as the grid shows them; a field with a comma, quote, line break or leading/trailing
// blank is quoted, its quotes doubled.
QString WriteCsv(const TExportTable& table, const QString& path);
// One CSV line of these fields (without the line end).
QString CsvLine(const QStringList& fields);

// Asks for a file: (parent, caption, suggested path, filter) -> the chosen path, empty when
// the user cancels. Production shows the save dialog; tests install their own answer.
using TSaveFileChooser =
    std::function<QString(QWidget*, const QString&, const QString&, const QString&)>;
// Replaces the chooser (an empty one restores the dialog); returns the old one.
TSaveFileChooser SetSaveFileChooser(TSaveFileChooser chooser);
// Asks the installed chooser; the suggested name goes into the folder used last.
QString ChooseSaveFile(QWidget* parent, const QString& caption, const QString& suggestedName,
                       const QString& filter);

enum class ExportFormat { Xlsx, Csv };
// What the menu and the button do: ask for a file, write it, and tell the user where it went
// or why it could not be written. The program stays usable either way.
void ExportGrid(TNxStringGrid& grid, ExportFormat format);

// A "导出" tool button for a window's tool strip, with Excel and CSV in its menu, exporting
// the grid.
QToolButton* ExportMenuButton(TNxStringGrid* grid, QWidget* parent, const char* name = "btnExport");

}  // namespace vlt::components
