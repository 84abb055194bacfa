// A grid taken out of the program: the workbook read back cell by cell (types, formats,
// headers, frozen row, widths), CSV read back by an independent reader with hard texts, the
// menu and button every grid offers, and a folder that cannot be written.
#include <gtest/gtest.h>

#include <QAction>
#include <QFile>
#include <QHeaderView>
#include <QJsonArray>
#include <QMenu>
#include <QTemporaryDir>
#include <QToolButton>

#include "export_fixtures.h"
#include "fakehost.h"

using namespace vlt;
using namespace vlt::components;

namespace {

// The days a spreadsheet counts for a date (its day 0 is 1899-12-30).
double serialOf(int y, int m, int d) {
  return static_cast<double>(QDate(1899, 12, 30).daysTo(QDate(y, m, d)));
}

// Rows of a CSV file as python's csv module reads it (BOM removed by utf-8-sig).
QJsonArray readCsv(const QString& path) {
  bool ok = false;
  const QByteArray out =
      test::runTool("python3",
                    {"-c",
                     "import csv,json,sys\n"
                     "with open(sys.argv[1], encoding='utf-8-sig', newline='') as f:\n"
                     "  json.dump(list(csv.reader(f)), sys.stdout, ensure_ascii=False)\n",
                     path},
                    ok);
  return ok ? QJsonDocument::fromJson(out).array() : QJsonArray();
}

class ExportTest : public ::testing::Test {
 public:
  void SetUp() override {
    ASSERT_TRUE(dir.isValid());
    ds.LoadFromPacket(test::hardPacket());
    window.setWindowTitle("货品:资料/列表");
    grid = new TNxStringGrid(&window);
    grid->Bind(&ds, test::hardColumns());
  }
  void TearDown() override { delete grid; }
  QString path(const char* name) const { return dir.filePath(QString::fromUtf8(name)); }

  test::HostFixture host;
  QTemporaryDir dir;
  ClientDataSet ds;
  QWidget window;
  TNxStringGrid* grid = nullptr;
};

struct CellCase {
  const char* cell;
  const char* type;  // s, n, b
  QVariant value;
  const char* format;  // null: none expected
};

TEST_F(ExportTest, WorkbookReadsBackWithTypedCellsHeadersAndFrozenRow) {
  grid->setColumnWidth(2, 230);  // the user widened the name
  ASSERT_EQ(WriteXlsx(ExportTableOf(*grid, "货品:资料/列表"), path("goods.xlsx")), "");
  const QJsonObject book = test::readXlsx(path("goods.xlsx"));
  ASSERT_FALSE(book.contains("error")) << book["error"].toString().toStdString();
  EXPECT_EQ(book["freeze"].toString(), "A2");
  EXPECT_EQ(book["sheet"].toString(), "货品资料列表");
  const QJsonObject cells = book["cells"].toObject();
  const std::vector<CellCase> cases = {
      // headers as shown, the hidden key left out
      {"A1", "s", "编码", nullptr},
      {"B1", "s", "名称", nullptr},
      {"G1", "s", "停用", nullptr},
      // a code that looks like a number or a formula stays text
      {"A2", "s", "001", nullptr},
      {"A5", "s", "=1+2", nullptr},
      {"B2", "s", "螺丝 \"M6\", 镀锌", nullptr},
      {"B3", "s", "两行\n名称", nullptr},
      {"B5", "s", "a,b;c\r\nd", nullptr},
      // prices as numbers with the column's two decimals (12.505 shown as 12.51)
      {"C2", "n", 12.51, "0.00"},
      {"C3", "n", -0.01, "0.00"},
      {"C5", "n", 99999999.99, "0.00"},
      // integers as numbers
      {"D3", "n", -7.0, nullptr},
      {"D5", "n", 1000000.0, nullptr},
      // dates as dates
      {"E2", "n", serialOf(2024, 2, 29), "yyyy-mm-dd"},
      {"E5", "n", serialOf(2000, 1, 1), "yyyy-mm-dd"},
      // more digits than a spreadsheet keeps: text, every digit kept
      {"F3", "s", "12345678901234567890.1234", nullptr},
      {"F5", "n", -0.0001, "0.0000"},
      {"G2", "s", "是", nullptr},
      {"G3", "s", "否", nullptr},
  };
  for (const CellCase& c : cases) {
    const QJsonObject cell = cells[c.cell].toObject();
    SCOPED_TRACE(c.cell);
    EXPECT_EQ(cell["type"].toString(), c.type);
    if (c.value.typeId() == QMetaType::Double) {
      EXPECT_DOUBLE_EQ(cell["value"].toDouble(), c.value.toDouble());
    } else {
      EXPECT_EQ(cell["value"].toString(), c.value.toString());
    }
    if (c.format) {
      EXPECT_EQ(cell["format"].toString(), c.format);
    }
  }
  EXPECT_FALSE(cells.contains("E4"));  // a null date is an empty cell
  EXPECT_FALSE(cells.contains("H1"));  // nothing beyond the shown columns
  EXPECT_EQ(cells.size(), 7 * 5 - 1);
  // Widths follow the grid: the widened name is the widest text column.
  const QJsonObject widths = book["widths"].toObject();
  EXPECT_GT(widths["2"].toDouble(), widths["1"].toDouble() * 2.5);
}

TEST_F(ExportTest, CsvReadsBackExactlyWithBom) {
  // Only what the grid shows: the filtered rows, in the user's column order.
  ds.SetFilter("Qty >= 0");
  ds.SetFiltered(true);
  grid->horizontalHeader()->moveSection(2, 1);  // name before code
  ASSERT_EQ(WriteCsv(ExportTableOf(*grid), path("goods.csv")), "");
  QFile f(path("goods.csv"));
  ASSERT_TRUE(f.open(QIODevice::ReadOnly));
  EXPECT_TRUE(f.read(3) == QByteArray("\xEF\xBB\xBF"));
  const QJsonArray rows = readCsv(path("goods.csv"));
  const QJsonArray expected = {
      QJsonArray{"名称", "编码", "单价", "数量", "日期", "大额", "停用"},
      QJsonArray{"螺丝 \"M6\", 镀锌", "001", "12.51", "3", "2024-02-29", "1.5000", "是"},
      QJsonArray{" 前后空格 ", "003", "0.00", "0", "", "0.0000", "否"},
      QJsonArray{"a,b;c\r\nd", "=1+2", "99999999.99", "1000000", "2000-01-01", "-0.0001", "是"},
  };
  EXPECT_EQ(rows, expected) << QJsonDocument(rows).toJson().toStdString();
}

struct CsvLineCase {
  QStringList fields;
  const char* line;
};

TEST(CsvLine, QuotesExactlyWhatNeedsIt) {
  const std::vector<CsvLineCase> cases = {
      {{"a", "b"}, "a,b"},
      {{"", ""}, ","},
      {{"a,b"}, "\"a,b\""},
      {{"say \"hi\""}, "\"say \"\"hi\"\"\""},
      {{"\""}, "\"\"\"\""},
      {{"two\nlines"}, "\"two\nlines\""},
      {{"cr\rhere"}, "\"cr\rhere\""},
      {{" pad"}, "\" pad\""},
      {{"中文", "单价"}, "中文,单价"},
      {{"semi;colon", "tab\tinside"}, "semi;colon,tab\tinside"},
  };
  for (const CsvLineCase& c : cases)
    EXPECT_EQ(CsvLine(c.fields), QString::fromUtf8(c.line)) << c.line;
}

TEST_F(ExportTest, EveryGridOffersBothFromItsContextMenuAndAButton) {
  EXPECT_EQ(grid->contextMenuPolicy(), Qt::ActionsContextMenu);
  QStringList names;
  for (QAction* a : grid->actions())
    names << a->objectName();
  EXPECT_EQ(names, QStringList({"actExportExcel", "actExportCsv"}));
  QToolButton* button = ExportMenuButton(grid, &window);
  ASSERT_NE(button->menu(), nullptr);
  EXPECT_EQ(button->menu()->actions(), grid->actions());

  // The menu suggests the window's title as the name, in a folder of the user's.
  test::ChooserScript chooser(path("list.xlsx"));
  grid->findChild<QAction*>("actExportExcel")->trigger();
  EXPECT_TRUE(chooser.suggested.endsWith("货品_资料_列表.xlsx")) << chooser.suggested.toStdString();
  EXPECT_EQ(host.ui().messages,
            QStringList({QStringLiteral("已导出 4 行到“%1”。").arg(path("list.xlsx"))}));
  EXPECT_EQ(test::readXlsx(path("list.xlsx"))["cells"].toObject()["B1"].toObject()["value"],
            "名称");
}

TEST_F(ExportTest, CancelledChoiceWritesNothingAndSaysNothing) {
  test::ChooserScript chooser;  // the user cancels
  grid->findChild<QAction*>("actExportCsv")->trigger();
  EXPECT_EQ(chooser.asked, 1);
  EXPECT_TRUE(host.ui().messages.isEmpty());
  EXPECT_TRUE(QDir(dir.path()).entryList(QDir::Files).isEmpty());
}

struct UnwritableCase {
  const char* action;
  const char* file;
};

TEST_F(ExportTest, UnwritableFolderGivesAClearMessageAndTheGridStaysUsable) {
  QFile blocker(path("notafolder"));
  ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
  blocker.close();
  QDir(dir.path()).mkdir("locked");
  QFile::setPermissions(path("locked"), QFileDevice::ReadOwner | QFileDevice::ExeOwner);
  const bool rootBypasses = QFileInfo(path("locked")).isWritable();
  const std::vector<UnwritableCase> cases = {
      {"actExportExcel", "notafolder/list.xlsx"},
      {"actExportCsv", "notafolder/list.csv"},
      {"actExportExcel", "missing/folder/list.xlsx"},
      {"actExportExcel", "locked/list.xlsx"},
      {"actExportCsv", "locked/list.csv"},
  };
  for (const UnwritableCase& c : cases) {
    if (rootBypasses && QString(c.file).startsWith("locked")) continue;  // root writes anyway
    SCOPED_TRACE(c.file);
    host.ui().messages.clear();
    test::ChooserScript chooser(path(c.file));
    grid->findChild<QAction*>(c.action)->trigger();
    EXPECT_EQ(host.ui().messages, QStringList({NotWritableMessage(path(c.file))}));
    EXPECT_FALSE(QFile::exists(path(c.file)));
  }
  // Then a writable place works, and the list still moves.
  test::ChooserScript chooser(path("ok.csv"));
  grid->findChild<QAction*>("actExportCsv")->trigger();
  EXPECT_TRUE(QFile::exists(path("ok.csv")));
  grid->SelectCell(1, 2);
  EXPECT_EQ(ds.RecNo(), 3);
  QFile::setPermissions(path("locked"),
                        QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
}

TEST_F(ExportTest, AnExistingFileIsReplacedAndAnEmptyListKeepsItsHeaders) {
  {
    QFile old(path("list.csv"));
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write("old contents that are longer than the new file will be\r\n");
  }
  ds.SetFilter("Qty > 100000000");
  ds.SetFiltered(true);
  ASSERT_EQ(WriteCsv(ExportTableOf(*grid), path("list.csv")), "");
  EXPECT_EQ(readCsv(path("list.csv")),
            (QJsonArray{QJsonArray{"编码", "名称", "单价", "数量", "日期", "大额", "停用"}}));
  ASSERT_EQ(WriteXlsx(ExportTableOf(*grid), path("list.xlsx")), "");
  EXPECT_EQ(test::readXlsx(path("list.xlsx"))["cells"].toObject().size(), 7);
}

}  // namespace
