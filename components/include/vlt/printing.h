#pragma once
// Printing a list, a bill or a report: a document of a title, lines under it (date range,
// filter, a bill's header fields), a table whose headers repeat on every page, a totals row,
// closing lines (who made it) and page numbers, shown in a preview dialog, sent to a printer
// or written as PDF.
//
// Typical use in a window:
//
//   auto doc = [this] {
//     TGridPrintOptions o;
//     o.title = windowTitle();
//     o.headLines = {"日期：2026-12-01 至 2026-12-31", "查找：客户 = 华强"};
//     o.totalMembers = {"Qty", "Amount"};       // summed exactly over the rows
//     return PrintDocFromGrid(*GrdMain, o);
//   };
//   TPrintActions acts = MakePrintActions(this, doc);   // preview, print, PDF as QActions
//   toolbar->addWidget(ActionButton(acts.actPreview, ...));
//
// A bill builds its document the same way: headLines = its header fields, the line grid,
// totalMembers = quantity and amount, footLines = "制单人：..." and so on.

#include <QList>
#include <QString>
#include <QStringList>
#include <functional>
#include <vector>

#include "vlt/components.h"

class QAction;
class QPrinter;
class QWidget;

namespace vlt::components {

struct TPrintColumn {
  QString header;
  int width = 80;  // pixels on screen; scaled down together when the page is narrower
  bool alignRight = false;
};

struct TPrintDoc {
  QString title;
  QStringList headLines;  // under the title, on the first page
  std::vector<TPrintColumn> columns;
  std::vector<QStringList> rows;  // cell texts as shown, one per column
  QStringList totals;             // empty: no totals row; else one text per column
  QStringList footLines;          // after the table, on the last page
};

struct TGridPrintOptions {
  QString title;
  QStringList headLines;
  // Members of number columns summed over every row into the totals row (exact decimals);
  // none: no totals row. A report whose rows already hold subtotals names none.
  QStringList totalMembers;
  QString totalsCaption = QStringLiteral("合计");  // in the first column without a total
  QStringList footLines;
};

// The grid's visible columns as shown and every display row of its data set, as the cells'
// texts.
TPrintDoc PrintDocFromGrid(const TNxStringGrid& grid, const TGridPrintOptions& options);

// Pages the document takes on this printer's page, and painting it there (landscape is the
// caller's choice; PreferLandscape says whether the table is wider than a portrait page).
int PrintPageCount(const TPrintDoc& doc, QPrinter& printer);
void RenderPrintDoc(const TPrintDoc& doc, QPrinter& printer);
bool PreferLandscape(const TPrintDoc& doc);

// Writes the document as a PDF file (A4); an empty text on success, else the user's message.
QString WritePdf(const TPrintDoc& doc, const QString& path);

// The print preview dialog (printing from there), shown modally through the host.
void ShowPrintPreview(const TPrintDoc& doc, QWidget* parent);
// The printer dialog, then printing.
void PrintWithDialog(const TPrintDoc& doc, QWidget* parent);
// Asks for a file name, writes the PDF and tells the user where it went or why it failed.
void ExportPdf(const TPrintDoc& doc, QWidget* parent);

// The three as actions of a window ("actPrintPreview" 打印预览, "actPrint" 打印 Ctrl+P,
// "actExportPdf" 导出PDF), connected through the guard; the document is made when triggered.
struct TPrintActions {
  QAction* actPreview;
  QAction* actPrint;
  QAction* actPdf;
};
TPrintActions MakePrintActions(QWidget* form, std::function<TPrintDoc()> makeDoc);

}  // namespace vlt::components
