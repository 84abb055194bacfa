#pragma once
// Shared by the export and print tests: a list with hard texts and every kind of cell, and the
// independent readers of what was written (python3's standard library for workbooks and CSV,
// pdftotext for PDFs).

#include <QByteArray>
#include <QDir>
#include <QFont>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRawFont>
#include <QString>
#include <QStringList>
#include <string>
#include <vector>

#include "components_fixtures.h"
#include "vlt/gridexport.h"

namespace vlt::test {

// A bill-line-like list: code text that looks like a number, names with quotes, commas, line
// breaks and Chinese, prices (2 decimals shown), quantities, dates, a 20-digit amount, a yes/no
// flag and a hidden key.
inline Packet hardPacket() {
  Packet p;
  p.fields = FieldDefs{
      stringField("ID", 15),        stringField("Code", 20), stringField("Name", 200),
      decimalField("Price", 18, 4), intField("Qty"),         typedField("BDate", DataType::Date),
      decimalField("Big", 38, 4),   stringField("IsStop", 8)};
  auto row = [](const char* id, const char* code, std::string name, Decimal price, int qty,
                const char* date, const char* big, const char* stop) {
    return Row{Value(id),
               Value(code),
               Value(std::move(name)),
               Value(price),
               Value(std::int32_t{qty}),
               date ? Value(Date::parse(date)) : Value(),
               Value(Decimal::parse(big)),
               Value(stop)};
  };
  p.rows = {
      row("1", "001", "螺丝 \"M6\", 镀锌", Decimal(12505, 3), 3, "2024-02-29", "1.5", "True"),
      row("2", "002", "两行\n名称", Decimal(-1, 2), -7, "2026-12-31", "12345678901234567890.1234",
          "False"),
      row("3", "003", " 前后空格 ", Decimal(0, 0), 0, nullptr, "0", "False"),
      row("4", "=1+2", "a,b;c\r\nd", Decimal(9999999999, 2), 1000000, "2000-01-01", "-0.0001",
          "True"),
  };
  return p;
}

inline std::vector<components::TColumnDef> hardColumns() {
  using components::TColumnDef;
  return {TColumnDef("ID", "键", 40, false),
          TColumnDef("Code", "编码", 70),
          TColumnDef("Name", "名称", 160),
          TColumnDef("Price", "单价", 80).Number(2),
          TColumnDef("Qty", "数量", 60),
          TColumnDef("BDate", "日期", 90),
          TColumnDef("Big", "大额", 200).Number(4),
          TColumnDef("IsStop", "停用", 40).YesNo()};
}

// Runs a program and returns its standard output; empty with `ok` false when it fails.
inline QByteArray runTool(const QString& program, const QStringList& arguments, bool& ok) {
  QProcess p;
  p.start(program, arguments);
  ok = p.waitForFinished(60000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
  if (!ok) return p.readAllStandardError();
  return p.readAllStandardOutput();
}

inline QString testScript(const char* name) {
  return QDir(qEnvironmentVariable("VLT_SOURCE_DIR"))
      .filePath("tests/components/" + QString::fromLatin1(name));
}

// The first sheet of a workbook as read_xlsx.py gives it.
inline QJsonObject readXlsx(const QString& path) {
  bool ok = false;
  const QByteArray out = runTool("python3", {testScript("read_xlsx.py"), path}, ok);
  if (!ok) return QJsonObject{{"error", QString::fromUtf8(out)}};
  return QJsonDocument::fromJson(out).object();
}

// The text of a PDF, pages separated by form feeds.
inline QString readPdf(const QString& path) {
  bool ok = false;
  const QByteArray out = runTool("pdftotext", {"-layout", "-enc", "UTF-8", path, "-"}, ok);
  return ok ? QString::fromUtf8(out) : QString();
}

// Whether text read back from a PDF holds `expected`. The PDF's font maps some ideographs back
// to another code point that shares their glyph (日 reads back as the radical ⽇, 户 as ⼾), so
// both are compared glyph by glyph in that font.
inline bool pdfHas(const QString& text, const QString& expected) {
  static const QRawFont font = QRawFont::fromFont(QFont(QStringLiteral("Noto Sans CJK SC")));
  auto key = [](const QString& s) {
    QString out;
    for (quint32 g : font.glyphIndexesForString(s))
      out += QChar(static_cast<char16_t>(g));
    return out;
  };
  return key(text).contains(key(expected));
}

// Installs a file chooser that answers `path` (empty: the user cancels) and counts its calls;
// restores the previous one at the end.
class ChooserScript {
 public:
  explicit ChooserScript(QString path = QString()) : answer(std::move(path)) {
    previous_ = components::SetSaveFileChooser(
        [this](QWidget*, const QString&, const QString& proposed, const QString&) {
          ++asked;
          suggested = proposed;
          return answer;
        });
  }
  ~ChooserScript() { components::SetSaveFileChooser(std::move(previous_)); }
  ChooserScript(const ChooserScript&) = delete;
  ChooserScript& operator=(const ChooserScript&) = delete;
  QString answer;
  QString suggested;
  int asked = 0;

 private:
  components::TSaveFileChooser previous_;
};

}  // namespace vlt::test
