// Lists, bills and reports on paper and as PDF.

#include "vlt/printing.h"

#include <QAction>
#include <QDate>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFontMetrics>
#include <QPainter>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QSet>
#include <algorithm>
#include <memory>

#include "vlt/gridexport.h"
#include "vlt/host.h"

namespace vlt::components {

TPrintDoc PrintDocFromGrid(const TNxStringGrid& grid, const TGridPrintOptions& options) {
  TPrintDoc doc;
  doc.title = options.title;
  doc.headLines = options.headLines;
  doc.footLines = options.footLines;
  const std::vector<TShownColumn> columns = ShownColumns(grid);
  const DataSetTableModel& link = grid.Link();
  const ClientDataSet* data = link.DataSet();
  for (const TShownColumn& c : columns) {
    TPrintColumn p;
    p.header = link.headerData(c.column, Qt::Horizontal, Qt::DisplayRole).toString();
    p.width = c.width;
    const int rowAlign =
        link.rowCount() > 0 ? link.data(link.index(0, c.column), Qt::TextAlignmentRole).toInt() : 0;
    p.alignRight = c.def.display == TColumnDef::Display::Number || (rowAlign & Qt::AlignRight);
    doc.columns.push_back(p);
  }
  const int rows = data && data->Active() ? data->DisplayRowCount() : 0;
  std::vector<Decimal> sums(columns.size());
  std::vector<bool> summed(columns.size(), false);
  for (std::size_t i = 0; i < columns.size(); ++i)
    summed[i] = options.totalMembers.contains(columns[i].def.member, Qt::CaseInsensitive);
  doc.rows.reserve(static_cast<std::size_t>(rows));
  for (int r = 0; r < rows; ++r) {
    QStringList texts;
    texts.reserve(static_cast<qsizetype>(columns.size()));
    for (std::size_t i = 0; i < columns.size(); ++i) {
      const TShownColumn& c = columns[i];
      const Value v = CellValue(*data, r, c.field);
      texts << CellText(c.def, v);
      Decimal d;
      if (summed[i] && CellDecimal(c, v, d)) sums[i] = sums[i] + d;
    }
    doc.rows.push_back(std::move(texts));
  }
  if (!options.totalMembers.isEmpty()) {
    bool captioned = false;
    for (std::size_t i = 0; i < columns.size(); ++i) {
      if (summed[i]) {
        TColumnDef def = columns[i].def;
        doc.totals << CellText(def, Value(sums[i]));
      } else if (!captioned) {
        doc.totals << options.totalsCaption;
        captioned = true;
      } else {
        doc.totals << QString();
      }
    }
  }
  return doc;
}

namespace {

constexpr double kScreenDpi = 96.0;

// Where everything goes on this printer's page, and which rows each page holds.
struct PageLayout {
  QRect area;  // paintable area in device pixels
  QFont titleFont, lineFont, cellFont, headFont;
  int titleH = 0, lineH = 0, rowH = 0, footerH = 0, pad = 0;
  std::vector<int> widths;  // device pixels per column
  struct Page {
    int firstRow = 0, endRow = 0;
    bool totals = false;
    int footLines = 0;  // how many of the closing lines, from where the previous page stopped
    int firstFoot = 0;
  };
  std::vector<Page> pages;
};

PageLayout layOut(const TPrintDoc& doc, QPrinter& printer) {
  PageLayout l;
  l.area = printer.pageLayout().paintRectPixels(printer.resolution());
  l.area.moveTo(0, 0);
  // Latin letters and digits from a Latin face: a CJK face draws digits that follow letters
  // ("XS001") with glyphs a PDF reader cannot turn back into text. Chinese falls through to
  // the CJK face.
  l.titleFont.setFamilies({QStringLiteral("Noto Sans"), QStringLiteral("DejaVu Sans"),
                           QStringLiteral("Noto Sans CJK SC")});
  l.titleFont.setPointSizeF(15);
  l.titleFont.setBold(true);
  l.lineFont = l.titleFont;
  l.lineFont.setBold(false);
  l.lineFont.setPointSizeF(9.5);
  l.cellFont = l.lineFont;
  l.cellFont.setPointSizeF(8.5);
  l.headFont = l.cellFont;
  l.headFont.setBold(true);
  const QFontMetrics title(l.titleFont, &printer), line(l.lineFont, &printer),
      cell(l.cellFont, &printer);
  l.titleH = doc.title.isEmpty() ? 0 : title.height() * 2;
  l.lineH = line.height() * 13 / 10;
  l.rowH = cell.height() * 16 / 10;
  l.footerH = line.height() * 2;
  l.pad = std::max(1, cell.averageCharWidth() / 2);

  const double scale = printer.resolution() / kScreenDpi;
  double total = 0;
  for (const TPrintColumn& c : doc.columns)
    total += std::max(0, c.width) * scale;
  // Wider than the page: narrowed together; narrower: widened a little, so that numbers the
  // screen just fits do not get cut on paper.
  const double fit = total <= 0 ? 1.0 : std::min(1.5, l.area.width() / total);
  for (const TPrintColumn& c : doc.columns)
    l.widths.push_back(static_cast<int>(std::max(0, c.width) * scale * fit));

  // Pages fill greedily: rows, then the totals row, then the closing lines.
  const int rows = static_cast<int>(doc.rows.size());
  const int feet = static_cast<int>(doc.footLines.size());
  const bool hasTotals = !doc.totals.isEmpty();
  int row = 0, foot = 0;
  bool totalsDone = !hasTotals;
  bool first = true;
  while (first || row < rows || !totalsDone || foot < feet) {
    PageLayout::Page p;
    p.firstRow = row;
    p.firstFoot = foot;
    int room = l.area.height() - l.footerH;
    if (first) room -= l.titleH + l.lineH * static_cast<int>(doc.headLines.size()) + l.lineH / 2;
    const bool tableHere = row < rows || !totalsDone;
    if (tableHere) room -= l.rowH;  // the headers
    int fitted = 0;
    while (row < rows && room >= l.rowH) {
      room -= l.rowH;
      ++row;
      ++fitted;
    }
    if (row == rows && !totalsDone && room >= l.rowH) {
      room -= l.rowH;
      p.totals = true;
      totalsDone = true;
      ++fitted;
    }
    if (row == rows && totalsDone) {
      room -= l.lineH / 2;
      while (foot < feet && room >= l.lineH) {
        room -= l.lineH;
        ++foot;
        ++fitted;
      }
    }
    p.endRow = row;
    p.footLines = foot - p.firstFoot;
    l.pages.push_back(p);
    // A page too small for a single row would never end.
    if (fitted == 0 && !first) break;
    first = false;
  }
  return l;
}

void drawRow(QPainter& painter, const PageLayout& l, const TPrintDoc& doc, const QStringList& texts,
             int y, bool header) {
  painter.setFont(header ? l.headFont : l.cellFont);
  const QFontMetrics fm = painter.fontMetrics();
  int x = l.area.left();
  for (std::size_t i = 0; i < l.widths.size(); ++i) {
    const int w = l.widths[i];
    if (w <= 0) continue;
    const QRect cell(x, y, w, l.rowH);
    if (header) painter.fillRect(cell, QColor(235, 238, 242));
    painter.drawRect(cell);
    QString text =
        i < static_cast<std::size_t>(texts.size()) ? texts[static_cast<qsizetype>(i)] : QString();
    // One line per cell, as the grid shows it.
    text.replace(QStringLiteral("\r\n"), QStringLiteral(" "));
    text.replace(QChar('\n'), QChar(' '));
    text.replace(QChar('\r'), QChar(' '));
    const QRect inner = cell.adjusted(l.pad, 0, -l.pad, 0);
    const Qt::Alignment align =
        header ? Qt::AlignCenter
               : ((doc.columns[i].alignRight ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter);
    painter.drawText(inner, static_cast<int>(align),
                     fm.elidedText(text, Qt::ElideRight, inner.width()));
    x += w;
  }
}

}  // namespace

int PrintPageCount(const TPrintDoc& doc, QPrinter& printer) {
  return static_cast<int>(layOut(doc, printer).pages.size());
}

bool PreferLandscape(const TPrintDoc& doc) {
  int total = 0;
  for (const TPrintColumn& c : doc.columns)
    total += std::max(0, c.width);
  // An A4 portrait page with its margins is about 700 screen pixels wide.
  return total > 720;
}

void RenderPrintDoc(const TPrintDoc& doc, QPrinter& printer) {
  const PageLayout l = layOut(doc, printer);
  QPainter painter;
  if (!painter.begin(&printer)) return;
  QPen pen(QColor(90, 90, 90));
  pen.setWidth(std::max(1, printer.resolution() / 200));
  QStringList headers;
  for (const TPrintColumn& c : doc.columns)
    headers << c.header;
  const int count = static_cast<int>(l.pages.size());
  const QString printed = QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd"));
  for (int n = 0; n < count; ++n) {
    if (n > 0) printer.newPage();
    const PageLayout::Page& p = l.pages[static_cast<std::size_t>(n)];
    painter.setPen(pen);
    int y = l.area.top();
    if (n == 0) {
      if (!doc.title.isEmpty()) {
        painter.setFont(l.titleFont);
        painter.drawText(QRect(l.area.left(), y, l.area.width(), l.titleH), Qt::AlignCenter,
                         doc.title);
        y += l.titleH;
      }
      painter.setFont(l.lineFont);
      for (const QString& line : doc.headLines) {
        painter.drawText(QRect(l.area.left(), y, l.area.width(), l.lineH),
                         Qt::AlignLeft | Qt::AlignVCenter, line);
        y += l.lineH;
      }
      y += l.lineH / 2;
    }
    if (p.endRow > p.firstRow || p.totals) {
      drawRow(painter, l, doc, headers, y, true);
      y += l.rowH;
      for (int r = p.firstRow; r < p.endRow; ++r) {
        drawRow(painter, l, doc, doc.rows[static_cast<std::size_t>(r)], y, false);
        y += l.rowH;
      }
      if (p.totals) {
        drawRow(painter, l, doc, doc.totals, y, true);
        y += l.rowH;
      }
    }
    if (p.footLines > 0) {
      y += l.lineH / 2;
      painter.setFont(l.lineFont);
      for (int f = p.firstFoot; f < p.firstFoot + p.footLines; ++f) {
        painter.drawText(QRect(l.area.left(), y, l.area.width(), l.lineH),
                         Qt::AlignLeft | Qt::AlignVCenter, doc.footLines[f]);
        y += l.lineH;
      }
    }
    painter.setFont(l.lineFont);
    const QRect foot(l.area.left(), l.area.bottom() - l.footerH, l.area.width(), l.footerH);
    painter.drawText(foot, Qt::AlignCenter,
                     QStringLiteral("第 %1 页，共 %2 页").arg(n + 1).arg(count));
    painter.drawText(foot, Qt::AlignRight | Qt::AlignVCenter,
                     QStringLiteral("打印日期：%1").arg(printed));
  }
  painter.end();
}

namespace {

void preparePrinter(QPrinter& printer, const TPrintDoc& doc) {
  printer.setPageSize(QPageSize(QPageSize::A4));
  printer.setPageOrientation(PreferLandscape(doc) ? QPageLayout::Landscape : QPageLayout::Portrait);
  printer.setPageMargins(QMarginsF(12, 12, 12, 12), QPageLayout::Millimeter);
  printer.setDocName(doc.title);
  printer.setCreator(QStringLiteral("Vlt"));
}

}  // namespace

QString WritePdf(const TPrintDoc& doc, const QString& path) {
  // The painter would fail silently; say why before anything is drawn.
  if (QString refused = CheckWritable(path); !refused.isEmpty()) return refused;
  QPrinter printer(QPrinter::HighResolution);
  printer.setOutputFormat(QPrinter::PdfFormat);
  printer.setOutputFileName(path);
  preparePrinter(printer, doc);
  RenderPrintDoc(doc, printer);
  if (!QFileInfo(path).exists() || QFileInfo(path).size() == 0) return NotWritableMessage(path);
  return QString();
}

void ShowPrintPreview(const TPrintDoc& doc, QWidget* parent) {
  QPrinter printer(QPrinter::HighResolution);
  preparePrinter(printer, doc);
  QPrintPreviewDialog dialog(&printer, parent);
  dialog.setObjectName(QStringLiteral("dlgPrintPreview"));
  dialog.setWindowTitle(doc.title.isEmpty() ? QStringLiteral("打印预览")
                                            : QStringLiteral("打印预览 - %1").arg(doc.title));
  dialog.resize(1000, 760);
  QObject::connect(&dialog, &QPrintPreviewDialog::paintRequested, &dialog,
                   host::guarded([&doc](QPrinter* target) { RenderPrintDoc(doc, *target); }));
  host::ShowModal(dialog);
}

void PrintWithDialog(const TPrintDoc& doc, QWidget* parent) {
  QPrinter printer(QPrinter::HighResolution);
  preparePrinter(printer, doc);
  QPrintDialog dialog(&printer, parent);
  dialog.setObjectName(QStringLiteral("dlgPrint"));
  if (host::ShowModal(dialog) != QDialog::Accepted) return;
  RenderPrintDoc(doc, printer);
}

void ExportPdf(const TPrintDoc& doc, QWidget* parent) {
  const QString path =
      ChooseSaveFile(parent, QStringLiteral("导出PDF"),
                     (doc.title.isEmpty() ? QStringLiteral("报表") : doc.title) + ".pdf",
                     QStringLiteral("PDF 文件 (*.pdf)"));
  if (path.isEmpty()) return;
  const QString error = WritePdf(doc, path);
  if (!error.isEmpty()) {
    host::ShowMessage(error);
    return;
  }
  host::ShowMessage(QStringLiteral("已导出到“%1”。").arg(QDir::toNativeSeparators(path)));
}

TPrintActions MakePrintActions(QWidget* form, std::function<TPrintDoc()> makeDoc) {
  auto doc = std::make_shared<std::function<TPrintDoc()>>(std::move(makeDoc));
  TPrintActions a{};
  a.actPreview = MakeAction(form, "actPrintPreview", QStringLiteral("打印预览"),
                            [form, doc] { ShowPrintPreview((*doc)(), form); });
  a.actPrint =
      MakeAction(form, "actPrint", QStringLiteral("打印"), {QKeySequence(Qt::CTRL | Qt::Key_P)},
                 [form, doc] { PrintWithDialog((*doc)(), form); });
  a.actPdf = MakeAction(form, "actExportPdf", QStringLiteral("导出PDF"),
                        [form, doc] { ExportPdf((*doc)(), form); });
  return a;
}

}  // namespace vlt::components
