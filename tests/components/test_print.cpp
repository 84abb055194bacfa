// Printing a grid: what goes on the paper (columns as shown, exact totals, page numbers, headers
// on every page), read back from the PDF as text; the preview through the host; a PDF to a
// place that cannot be written.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QHeaderView>
#include <QPrintPreviewDialog>
#include <QPrintPreviewWidget>
#include <QPrinter>
#include <QTemporaryDir>

#include "export_fixtures.h"
#include "fakehost.h"
#include "vlt/printing.h"

using namespace vlt;
using namespace vlt::components;

namespace {

class PrintTest : public ::testing::Test {
 public:
  void SetUp() override {
    ASSERT_TRUE(dir.isValid());
    ds.LoadFromPacket(test::hardPacket());
    grid.resize(900, 300);
    grid.Bind(&ds, test::hardColumns());
  }
  test::HostFixture host;
  QTemporaryDir dir;
  ClientDataSet ds;
  TNxStringGrid grid;
};

TEST_F(PrintTest, DocumentHoldsColumnsAsShownAndExactTotals) {
  // The user moved the price before the name and hid the code.
  grid.horizontalHeader()->moveSection(3, 2);
  grid.setColumnHidden(1, true);
  TGridPrintOptions o;
  o.title = "销售明细";
  o.totalMembers = {"price", "Big"};
  const TPrintDoc doc = PrintDocFromGrid(grid, o);
  QStringList headers;
  for (const TPrintColumn& c : doc.columns)
    headers << c.header;
  EXPECT_EQ(headers, QStringList({"单价", "名称", "数量", "日期", "大额", "停用"}));
  ASSERT_EQ(doc.rows.size(), 4u);
  EXPECT_EQ(doc.rows[0],
            QStringList({"12.51", "螺丝 \"M6\", 镀锌", "3", "2024-02-29", "1.5000", "是"}));
  EXPECT_EQ(doc.rows[2][3], "");  // a null date prints blank
  // 12.505 - 0.01 + 0 + 99999999.99, and a 20-digit sum, both without rounding drift.
  EXPECT_EQ(doc.totals,
            QStringList({"100000012.49", "合计", "", "", "12345678901234567891.6233", ""}));
}

TEST_F(PrintTest, TotalsSkipCaptionsInNumberColumns) {
  // A report's heading rows carry text in a number column; the total counts numbers only.
  Packet p;
  p.fields = FieldDefs{test::stringField("Name"), test::stringField("Amount")};
  for (const char* a : {"小计", "0.10", "0.20", "", "abc", "-0.05"})
    p.rows.push_back(Row{Value("x"), Value(a)});
  ClientDataSet rows;
  rows.LoadFromPacket(p);
  TNxStringGrid g;
  g.Bind(&rows, {TColumnDef("Name", "名称", 80), TColumnDef("Amount", "金额", 80).Number(2)});
  TGridPrintOptions o;
  o.totalMembers = {"Amount"};
  EXPECT_EQ(PrintDocFromGrid(g, o).totals, QStringList({"合计", "0.25"}));
}

TEST_F(PrintTest, PdfReadsBackWithTitleLinesCellsTotalsAndPageNumber) {
  TGridPrintOptions o;
  o.title = "进货汇总表";
  o.headLines = {"日期：2026-12-01 至 2026-12-31", "查找：供应商 = 华强\"电子\""};
  o.totalMembers = {"Qty"};
  o.footLines = {"制单人：张三"};
  const QString path = dir.filePath("report.pdf");
  ASSERT_EQ(WritePdf(PrintDocFromGrid(grid, o), path), "");
  const QString text = test::readPdf(path);
  for (const char* expected :
       {"进货汇总表", "2026-12-01 至 2026-12-31", "华强\"电子\"", "编码", "名称", "单价", "\"M6\"",
        "=1+2", "12.51", "2024-02-29", "合计", "1000000", "制单人：张三", "第 1 页，共 1 页"}) {
    EXPECT_TRUE(test::pdfHas(text, QString::fromUtf8(expected))) << expected << "\n"
                                                                 << text.toStdString();
  }
  EXPECT_EQ(text.count(QChar('\f')), 1);  // one page
  EXPECT_FALSE(text.contains("键"));      // the hidden column stays off the paper
  // 3 - 7 + 0 + 1000000
  EXPECT_TRUE(text.contains("999996"));
}

TEST_F(PrintTest, LongListRepeatsHeadersOnEveryPageAndNumbersThem) {
  Packet p = test::hardPacket();
  const Row first = p.rows[0];
  for (int i = 0; i < 160; ++i)
    p.rows.push_back(first);
  ds.LoadFromPacket(p);
  TGridPrintOptions o;
  o.title = "长列表";
  o.totalMembers = {"Qty"};
  const TPrintDoc doc = PrintDocFromGrid(grid, o);
  QPrinter printer(QPrinter::HighResolution);
  printer.setOutputFormat(QPrinter::PdfFormat);
  printer.setPageSize(QPageSize(QPageSize::A4));
  printer.setPageMargins(QMarginsF(12, 12, 12, 12), QPageLayout::Millimeter);
  printer.setPageOrientation(PreferLandscape(doc) ? QPageLayout::Landscape : QPageLayout::Portrait);
  const int pages = PrintPageCount(doc, printer);
  ASSERT_GE(pages, 3);
  const QString path = dir.filePath("long.pdf");
  ASSERT_EQ(WritePdf(doc, path), "");
  const QStringList texts = test::readPdf(path).split(QChar('\f'), Qt::SkipEmptyParts);
  ASSERT_EQ(texts.size(), pages);
  for (int n = 0; n < pages; ++n) {
    EXPECT_TRUE(test::pdfHas(texts[n], "名称")) << "page " << n + 1;
    EXPECT_TRUE(test::pdfHas(texts[n], QStringLiteral("第 %1 页，共 %2 页").arg(n + 1).arg(pages)));
  }
  EXPECT_TRUE(test::pdfHas(texts.last(), "合计"));
  EXPECT_EQ(texts.join("").count("螺丝"), 161);  // every row once
}

TEST_F(PrintTest, PdfToAnUnwritablePlaceSaysSoAndWritesNothing) {
  QFile blocker(dir.filePath("afile"));
  ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
  blocker.close();
  const QString path = dir.filePath("afile/report.pdf");  // a file is no folder
  test::ChooserScript chooser(path);
  TPrintActions acts = MakePrintActions(&grid, [this] { return PrintDocFromGrid(grid, {}); });
  acts.actPdf->trigger();
  ASSERT_EQ(host.ui().messages.size(), 1);
  EXPECT_TRUE(host.ui().messages[0].startsWith("无法写入文件"))
      << host.ui().messages[0].toStdString();
  EXPECT_FALSE(QFile::exists(path));
  // Still usable: the next choice works.
  chooser.answer = dir.filePath("ok.pdf");
  acts.actPdf->trigger();
  EXPECT_TRUE(QFile::exists(chooser.answer));
  EXPECT_EQ(host.ui().messages.last(),
            QStringLiteral("已导出到“%1”。").arg(QDir::toNativeSeparators(chooser.answer)));
}

TEST_F(PrintTest, PreviewShowsTheDocumentThroughTheHost) {
  int pagesShown = 0;
  host.ui().scripts["QPrintPreviewDialog"] = [&](QDialog& d) {
    auto& preview = static_cast<QPrintPreviewDialog&>(d);
    QApplication::processEvents();
    test::saveShot(preview, "print_preview");
    if (auto* pages = preview.findChild<QPrintPreviewWidget*>()) pagesShown = pages->pageCount();
    return 0;
  };
  TGridPrintOptions o;
  o.title = "进货汇总表";
  TPrintActions acts = MakePrintActions(&grid, [&] { return PrintDocFromGrid(grid, o); });
  acts.actPreview->trigger();
  EXPECT_EQ(host.ui().modalShown, QStringList({"QPrintPreviewDialog"}));
  EXPECT_EQ(pagesShown, 1);
  EXPECT_EQ(acts.actPrint->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_P));
}

}  // namespace
