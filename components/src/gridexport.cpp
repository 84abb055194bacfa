// A grid to .xlsx and CSV.

#include "vlt/gridexport.h"

#include <xlsxwriter.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QHeaderView>
#include <QMenu>
#include <QSaveFile>
#include <QStandardPaths>
#include <QToolButton>
#include <algorithm>
#include <cmath>
#include <string>

#include "vlt/host.h"

namespace vlt::components {

std::vector<TShownColumn> ShownColumns(const TNxStringGrid& grid) {
  std::vector<TShownColumn> shown;
  const DataSetTableModel& link = grid.Link();
  const std::vector<TColumnDef>& defs = link.Columns();
  const ClientDataSet* data = link.DataSet();
  const QHeaderView* header = grid.horizontalHeader();
  for (int visual = 0; visual < header->count(); ++visual) {
    const int logical = header->logicalIndex(visual);
    if (logical < 0 || logical >= static_cast<int>(defs.size()) || grid.isColumnHidden(logical))
      continue;
    TShownColumn c;
    c.column = logical;
    c.def = defs[static_cast<std::size_t>(logical)];
    c.field = data ? data->Fields().indexOf(host::ss(c.def.member)) : -1;
    c.width = grid.columnWidth(logical);
    if (c.width <= 0) continue;
    shown.push_back(std::move(c));
  }
  return shown;
}

std::vector<TShownColumn> ModelColumns(const DataSetTableModel& model) {
  std::vector<TShownColumn> shown;
  const std::vector<TColumnDef>& defs = model.Columns();
  const ClientDataSet* data = model.DataSet();
  for (std::size_t i = 0; i < defs.size(); ++i) {
    if (!defs[i].visible) continue;
    TShownColumn c;
    c.column = static_cast<int>(i);
    c.def = defs[i];
    c.field = data ? data->Fields().indexOf(host::ss(c.def.member)) : -1;
    c.width = c.def.width;
    shown.push_back(std::move(c));
  }
  return shown;
}

QString NotWritableMessage(const QString& path) {
  return QStringLiteral(
             "无法写入文件“%1”：所选文件夹不可写，或该文件正被其他程序打开。请另选位置。")
      .arg(QDir::toNativeSeparators(path));
}

QString CheckWritable(const QString& path) {
  QFile probe(path);
  const bool existed = probe.exists();
  if (!probe.open(QIODevice::WriteOnly | QIODevice::Append)) return NotWritableMessage(path);
  probe.close();
  if (!existed) probe.remove();
  return QString();
}

Value CellValue(const ClientDataSet& dataSet, int row, int field) {
  if (field < 0) return Value();
  return dataSet.DisplayValue(row, static_cast<std::size_t>(field));
}

bool CellDecimal(const TShownColumn& column, const Value& value, Decimal& out) {
  switch (value.type()) {
    case DataType::Decimal:
      out = value.decimal();
      return true;
    case DataType::Int16:
    case DataType::Int32:
    case DataType::Int64:
      out = Decimal(value.toInt64(), 0);
      return true;
    case DataType::Float:
      if (!std::isfinite(value.float64())) return false;
      return Decimal::tryParse(value.toText(), out);
    case DataType::String:
      // A number column may come as text (a union of report parts); a caption there is no
      // number.
      if (column.def.display != TColumnDef::Display::Number) return false;
      return Decimal::tryParse(value.string(), out);
    default:
      return false;
  }
}

TExportTable ExportTableOf(const TNxStringGrid& grid, const QString& title) {
  TExportTable t;
  t.dataSet = grid.Link().DataSet();
  t.columns = ShownColumns(grid);
  t.title = title;
  return t;
}

namespace {

int rowCountOf(const TExportTable& table) {
  return table.dataSet && table.dataSet->Active() ? table.dataSet->DisplayRowCount() : 0;
}

QString headerOf(const TShownColumn& c) {
  return c.def.header.isEmpty() ? c.def.member : c.def.header;
}

// The text a cell is exported as: what the grid shows; a check box as 是/否.
QString exportText(const TShownColumn& c, const Value& v) {
  if (c.def.display == TColumnDef::Display::Check && !v.isNull())
    return v.toBool() ? QStringLiteral("是") : QStringLiteral("否");
  return CellText(c.def, v);
}

// Digits a spreadsheet keeps exactly.
constexpr int kExactDigits = 15;
// Longest text a cell holds (bytes of UTF-8 in the writer).
constexpr std::size_t kMaxCellBytes = 32767;

int significantDigits(const Decimal& d) {
  std::string s = d.toString();
  int digits = 0;
  bool leading = true;
  for (char ch : s) {
    if (ch < '0' || ch > '9') continue;
    if (leading && ch == '0') continue;
    leading = false;
    ++digits;
  }
  // Trailing zeros after the point are the scale's, not precision the value needs.
  if (d.scale() > 0) {
    for (auto it = s.rbegin(); it != s.rend() && *it == '0'; ++it)
      --digits;
  }
  return std::max(digits, 0);
}

std::string cutUtf8(std::string s) {
  if (s.size() <= kMaxCellBytes) return s;
  std::size_t end = kMaxCellBytes;
  while (end > 0 && (static_cast<unsigned char>(s[end]) & 0xC0) == 0x80)
    --end;
  s.resize(end);
  return s;
}

std::string sheetName(const QString& title) {
  QString name;
  for (QChar ch : title)
    if (!QStringLiteral("[]:*?/\\").contains(ch) && ch.unicode() >= 0x20) name += ch;
  while (name.startsWith('\''))
    name.remove(0, 1);
  while (name.endsWith('\''))
    name.chop(1);
  name = name.left(31).trimmed();
  if (name.isEmpty()) name = QStringLiteral("Sheet1");
  return name.toStdString();
}

std::string numberFormat(int decimals) {
  if (decimals <= 0) return "0";
  return "0." + std::string(static_cast<std::size_t>(std::min(decimals, 30)), '0');
}

lxw_datetime excelDate(const Date& d, int hour = 0, int minute = 0, int second = 0) {
  const Ymd ymd = d.ymd();
  lxw_datetime t{};
  t.year = ymd.year;
  t.month = ymd.month;
  t.day = ymd.day;
  t.hour = hour;
  t.min = minute;
  t.sec = second;
  return t;
}

// Closes the workbook on every way out.
struct Workbook {
  lxw_workbook* book = nullptr;
  ~Workbook() {
    if (book) workbook_close(book);
  }
  lxw_error close() {
    lxw_error e = workbook_close(book);
    book = nullptr;
    return e;
  }
};

}  // namespace

QString WriteXlsx(const TExportTable& table, const QString& path) {
  const int rows = rowCountOf(table);
  if (rows + 1 > LXW_ROW_MAX)
    return QStringLiteral(
               "该列表有 %1 行，超过 Excel 一张工作表的上限（%2 行）；请缩小范围后再导出，或导出为 "
               "CSV。")
        .arg(rows)
        .arg(LXW_ROW_MAX - 1);
  if (table.columns.size() > LXW_COL_MAX) return QStringLiteral("列数超过 Excel 的上限。");
  const QByteArray file = QFile::encodeName(path);
  // The writer only notices an unwritable place when it closes; say so before the work.
  if (QString refused = CheckWritable(path); !refused.isEmpty()) return refused;
  // Row by row with little memory: 100,000 rows stay cheap.
  lxw_workbook_options options{};
  options.constant_memory = LXW_TRUE;
  options.use_zip64 = LXW_TRUE;
  Workbook wb;
  wb.book = workbook_new_opt(file.constData(), &options);
  if (!wb.book) return NotWritableMessage(path);
  const std::string name = sheetName(table.title);
  lxw_worksheet* sheet = workbook_add_worksheet(wb.book, name.c_str());
  if (!sheet) sheet = workbook_add_worksheet(wb.book, nullptr);

  lxw_format* head = workbook_add_format(wb.book);
  format_set_bold(head);
  format_set_bg_color(head, 0xEBEEF2);
  format_set_align(head, LXW_ALIGN_CENTER);
  format_set_border(head, LXW_BORDER_THIN);
  lxw_format* date = workbook_add_format(wb.book);
  format_set_num_format(date, "yyyy-mm-dd");
  lxw_format* dateTime = workbook_add_format(wb.book);
  format_set_num_format(dateTime, "yyyy-mm-dd hh:mm:ss");
  lxw_format* centred = workbook_add_format(wb.book);
  format_set_align(centred, LXW_ALIGN_CENTER);

  const std::size_t cols = table.columns.size();
  std::vector<lxw_format*> number(cols, nullptr);
  for (std::size_t i = 0; i < cols; ++i) {
    const TShownColumn& c = table.columns[i];
    if (c.def.display == TColumnDef::Display::Number && c.def.decimals >= 0) {
      number[i] = workbook_add_format(wb.book);
      format_set_num_format(number[i], numberFormat(c.def.decimals).c_str());
    }
    // Screen pixels to the spreadsheet's character widths (about 7 pixels a character).
    const double width = std::max(2.0, (c.width - 5) / 7.0);
    worksheet_set_column(sheet, static_cast<lxw_col_t>(i), static_cast<lxw_col_t>(i), width,
                         nullptr);
  }
  worksheet_freeze_panes(sheet, 1, 0);
  for (std::size_t i = 0; i < cols; ++i)
    worksheet_write_string(sheet, 0, static_cast<lxw_col_t>(i),
                           cutUtf8(headerOf(table.columns[i]).toStdString()).c_str(), head);

  for (int r = 0; r < rows; ++r) {
    const auto row = static_cast<lxw_row_t>(r + 1);
    for (std::size_t i = 0; i < cols; ++i) {
      const TShownColumn& c = table.columns[i];
      const auto col = static_cast<lxw_col_t>(i);
      const Value v = CellValue(*table.dataSet, r, c.field);
      if (v.isNull()) continue;
      const TColumnDef::Display display = c.def.display;
      if (display == TColumnDef::Display::Text || display == TColumnDef::Display::Number) {
        Decimal d;
        const bool numeric = v.isNumeric() || display == TColumnDef::Display::Number;
        if (numeric && CellDecimal(c, v, d)) {
          if (display == TColumnDef::Display::Number && c.def.decimals >= 0)
            d = d.rescaled(c.def.decimals);
          if (significantDigits(d) <= kExactDigits) {
            worksheet_write_number(sheet, row, col, d.toDouble(), number[i]);
            continue;
          }
          worksheet_write_string(sheet, row, col, d.toString().c_str(), nullptr);
          continue;
        }
        if (v.type() == DataType::Date) {
          lxw_datetime t = excelDate(v.date());
          worksheet_write_datetime(sheet, row, col, &t, date);
          continue;
        }
        if (v.type() == DataType::DateTime) {
          const DateTime dt = v.dateTime();
          const Time tm = dt.time();
          lxw_datetime t = excelDate(dt.date(), tm.hour(), tm.minute(), tm.second());
          worksheet_write_datetime(sheet, row, col, &t, dateTime);
          continue;
        }
      }
      const std::string text = cutUtf8(exportText(c, v).toStdString());
      if (text.empty()) continue;
      worksheet_write_string(sheet, row, col, text.c_str(),
                             display == TColumnDef::Display::Text ? nullptr : centred);
    }
  }
  const lxw_error e = wb.close();
  if (e != LXW_NO_ERROR) {
    QFile::remove(path);
    if (e == LXW_ERROR_CREATING_XLSX_FILE || e == LXW_ERROR_CREATING_TMPFILE)
      return NotWritableMessage(path);
    return QStringLiteral("导出失败：%1").arg(QString::fromUtf8(lxw_strerror(e)));
  }
  return QString();
}

QString CsvLine(const QStringList& fields) {
  QString line;
  for (qsizetype i = 0; i < fields.size(); ++i) {
    if (i > 0) line += ',';
    const QString& f = fields[i];
    const bool quote = f.contains(',') || f.contains('"') || f.contains('\n') || f.contains('\r') ||
                       f.startsWith(' ') || f.endsWith(' ') || f.startsWith('\t') ||
                       f.endsWith('\t');
    if (!quote) {
      line += f;
      continue;
    }
    line += '"';
    for (QChar ch : f) {
      if (ch == '"') line += '"';
      line += ch;
    }
    line += '"';
  }
  return line;
}

QString WriteCsv(const TExportTable& table, const QString& path) {
  QSaveFile out(path);
  if (!out.open(QIODevice::WriteOnly)) return NotWritableMessage(path);
  QByteArray chunk("\xEF\xBB\xBF");
  QStringList fields;
  for (const TShownColumn& c : table.columns)
    fields << headerOf(c);
  chunk += CsvLine(fields).toUtf8() + "\r\n";
  const int rows = rowCountOf(table);
  for (int r = 0; r < rows; ++r) {
    fields.clear();
    for (const TShownColumn& c : table.columns)
      fields << exportText(c, CellValue(*table.dataSet, r, c.field));
    chunk += CsvLine(fields).toUtf8();
    chunk += "\r\n";
    if (chunk.size() > (1 << 20)) {
      if (out.write(chunk) != chunk.size()) {
        out.cancelWriting();
        return NotWritableMessage(path);
      }
      chunk.clear();
    }
  }
  if (out.write(chunk) != chunk.size() || !out.commit()) return NotWritableMessage(path);
  return QString();
}

namespace {

TSaveFileChooser& chooser() {
  static TSaveFileChooser c;
  return c;
}

QString& lastFolder() {
  static QString folder;
  return folder;
}

}  // namespace

TSaveFileChooser SetSaveFileChooser(TSaveFileChooser c) {
  TSaveFileChooser old = std::move(chooser());
  chooser() = std::move(c);
  return old;
}

QString ChooseSaveFile(QWidget* parent, const QString& caption, const QString& suggestedName,
                       const QString& filter) {
  if (lastFolder().isEmpty())
    lastFolder() = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
  QString name = suggestedName;
  for (QChar& ch : name)
    if (QStringLiteral("/\\:*?\"<>|").contains(ch)) ch = '_';
  const QString suggested = QDir(lastFolder()).filePath(name);
  const QString chosen = chooser()
                             ? chooser()(parent, caption, suggested, filter)
                             : QFileDialog::getSaveFileName(parent, caption, suggested, filter);
  if (!chosen.isEmpty()) lastFolder() = QFileInfo(chosen).absolutePath();
  return chosen;
}

namespace {

// The busy cursor while a long list is written.
struct BusyCursor {
  BusyCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
  ~BusyCursor() { QApplication::restoreOverrideCursor(); }
  BusyCursor(const BusyCursor&) = delete;
  BusyCursor& operator=(const BusyCursor&) = delete;
};

}  // namespace

void ExportGrid(TNxStringGrid& grid, ExportFormat format) {
  // Typing in a cell is part of what the user sees: take it into the row first.
  grid.CloseEditor(true);
  QString title = grid.window() ? grid.window()->windowTitle().trimmed() : QString();
  if (title.isEmpty()) title = QStringLiteral("列表");
  const bool xlsx = format == ExportFormat::Xlsx;
  const QString path = ChooseSaveFile(
      &grid, xlsx ? QStringLiteral("导出到 Excel") : QStringLiteral("导出到 CSV"),
      title + (xlsx ? ".xlsx" : ".csv"),
      xlsx ? QStringLiteral("Excel 工作簿 (*.xlsx)") : QStringLiteral("CSV 文件 (*.csv)"));
  if (path.isEmpty()) return;
  const TExportTable table = ExportTableOf(grid, title);
  QString error;
  {
    BusyCursor busy;
    error = xlsx ? WriteXlsx(table, path) : WriteCsv(table, path);
  }
  if (!error.isEmpty()) {
    host::ShowMessage(error);
    return;
  }
  host::ShowMessage(QStringLiteral("已导出 %1 行到“%2”。")
                        .arg(rowCountOf(table))
                        .arg(QDir::toNativeSeparators(path)));
}

QToolButton* ExportMenuButton(TNxStringGrid* grid, QWidget* parent, const char* name) {
  auto* button = new QToolButton(parent);
  button->setObjectName(QString::fromLatin1(name));
  button->setText(QStringLiteral("导出"));
  button->setToolTip(QStringLiteral("导出到 Excel 或 CSV"));
  button->setFocusPolicy(Qt::NoFocus);
  button->setPopupMode(QToolButton::InstantPopup);
  button->setToolButtonStyle(Qt::ToolButtonTextOnly);
  auto* menu = new QMenu(button);
  for (const char* action : {"actExportExcel", "actExportCsv"})
    if (auto* a = grid->findChild<QAction*>(QString::fromLatin1(action))) menu->addAction(a);
  button->setMenu(menu);
  return button;
}

}  // namespace vlt::components
