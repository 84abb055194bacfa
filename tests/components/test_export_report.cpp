// Every report window offers export, print and a chart: a summary report and a flow report
// built on the report template, their chart drawn from exact values (totals rows left out),
// the chart written as PNG, and the printed report (date range, find line, grand total) read
// back from its PDF.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QImage>
#include <QLineEdit>
#include <QSplitter>
#include <QTemporaryDir>
#include <QToolButton>
#include <memory>

#include "export_fixtures.h"
#include "fakehost.h"
#include "reportoutput.h"
#include "tplwidgets.h"
#include "uBaseReportForm.h"

using namespace vlt;
using namespace vlt::components;

namespace {

// Sales per client with a grand-total row, as a trade summary shows it.
Packet summaryPacket() {
  Packet p;
  p.fields = FieldDefs{test::stringField("TraderCode"), test::stringField("TraderName"),
                       test::decimalField("Qty", 18, 4), test::decimalField("Amount", 18, 4)};
  auto row = [](const char* code, const char* name, const char* qty, const char* amount) {
    return Row{Value(code), Value(name), Value(Decimal::parse(qty)), Value(Decimal::parse(amount))};
  };
  p.rows = {row("C01", "华强电子", "3", "0.10"), row("C02", "客户\"乙\"", "1", "0.20"),
            row("C01", "华强电子", "2", "1234567.015"), row("", "合计", "6", "1234567.315")};
  return p;
}

// A receivable flow of two clients: opening rows and running balances.
Packet flowPacket() {
  Packet p;
  p.fields = FieldDefs{test::stringField("TraderName"), test::typedField("BDate", DataType::Date),
                       test::stringField("BCode"), test::decimalField("AddMoney", 18, 2),
                       test::decimalField("Balance", 18, 2)};
  auto row = [](const char* name, const char* date, const char* code, const char* add,
                const char* balance) {
    return Row{Value(name), Value(Date::parse(date)), Value(code), Value(Decimal::parse(add)),
               Value(Decimal::parse(balance))};
  };
  p.rows = {row("甲", "2026-12-01", "期初", "0", "100.00"),
            row("甲", "2026-12-03", "XS001", "50.50", "150.50"),
            row("甲", "2026-12-09", "SK001", "-150.50", "0.00"),
            row("乙", "2026-12-02", "期初", "0", "-20.00"),
            row("乙", "2026-12-05", "XS002", "20.01", "0.01")};
  return p;
}

class TfrmTestSummary : public TfrmBaseReportForm {
 public:
  explicit TfrmTestSummary(bool flow) : flow_(flow) {}
  void FormCreate() override {
    FrptType = rtMaster;
    FcommStrMaster = flow_ ? "SELECT flow" : "SELECT summary";
    cbbFiterName->addItem("客户名称");
    setWindowTitle(flow_ ? "客户应收款流水" : "销售汇总表(按客户)");
    if (flow_) {
      GrdMain->Bind(&cdsM,
                    {TColumnDef("TraderName", "客户名称", 100), TColumnDef("BDate", "日期", 90),
                     TColumnDef("BCode", "单号", 90), TColumnDef("AddMoney", "增加", 80).Number(2),
                     TColumnDef("Balance", "余额", 90).Number(2)});
    } else {
      GrdMain->Bind(
          &cdsM,
          {TColumnDef("TraderCode", "客户编码", 80), TColumnDef("TraderName", "客户名称", 120),
           TColumnDef("Qty", "数量", 70).Number(2), TColumnDef("Amount", "金额", 100).Number(2)});
    }
    TfrmBaseReportForm::FormCreate();
  }

 protected:
  void SetOpenWhereStr() override { F_Master_WhereStr = GetDateArea(); }
  void doCdsEnableControls() override {
    TfrmBaseReportForm::doCdsEnableControls();
    if (!flow_) {
      ShowTotalStrip();
      lblTotalNum->setText("1234567.32");
    }
  }

 private:
  bool flow_;
};

class ReportOutputTest : public ::testing::Test {
 public:
  void SetUp() override {
    ASSERT_TRUE(dir.isValid());
    host::CurUserInfo().UserDBID = "10001_01";
    host.proxy().answer("SELECT summary", summaryPacket());
    host.proxy().answer("SELECT flow", flowPacket());
  }
  std::unique_ptr<TfrmTestSummary> run(bool flow) {
    auto w = templates::CreateForm<TfrmTestSummary>(flow);
    w->resize(1200, 560);
    w->edtStartDate->setText("2026-12-01");
    w->edtEndDate->setText("2026-12-31");
    w->actMakeReport->trigger();
    return w;
  }
  test::HostFixture host;
  QTemporaryDir dir;
};

std::vector<std::pair<QString, std::string>> barsOf(const TChartData& data) {
  std::vector<std::pair<QString, std::string>> out;
  for (const auto& b : data.bars)
    out.emplace_back(b.label, b.value.toString());
  return out;
}

TEST_F(ReportOutputTest, ToolsLineUpAfterTheReportButtonAndTheChartWaitsToBeAsked) {
  auto w = run(false);
  TReportOutput* out = TReportOutput::Of(w.get());
  ASSERT_NE(out, nullptr);
  auto* tools = w->findChild<QWidget*>("lytReportTools");
  for (const char* name : {"btnExport", "btnPrint", "btnChart"})
    EXPECT_NE(tools->findChild<QToolButton*>(name), nullptr) << name;
  EXPECT_EQ(w->GrdMain->parentWidget(), out->Split);
  EXPECT_FALSE(out->ChartPane->isVisibleTo(w.get()));
  EXPECT_TRUE(out->Chart->Data().empty());  // nothing drawn until asked
  out->actChart->trigger();
  EXPECT_TRUE(out->ChartPane->isVisibleTo(w.get()));
  out->actChart->trigger();
  EXPECT_FALSE(out->ChartPane->isVisibleTo(w.get()));
}

TEST_F(ReportOutputTest, SummaryChartsOneExactBarPerTraderWithoutTheTotalRow) {
  auto w = run(false);
  TReportOutput* out = TReportOutput::Of(w.get());
  out->actChart->trigger();
  using Bars = std::vector<std::pair<QString, std::string>>;
  EXPECT_EQ(barsOf(out->Chart->Data()),
            (Bars{{"华强电子", "1234567.115"}, {"客户\"乙\"", "0.20"}}));
  // A new run redraws the open chart.
  Packet fewer = summaryPacket();
  fewer.rows.erase(fewer.rows.begin());
  host.proxy().answers.clear();
  host.proxy().answer("SELECT summary", fewer);
  w->actMakeReport->trigger();
  EXPECT_EQ(barsOf(out->Chart->Data()),
            (Bars{{"客户\"乙\"", "0.20"}, {"华强电子", "1234567.015"}}));
}

TEST_F(ReportOutputTest, ManyTradersKeepTheLargestBarsAndSumTheRest) {
  Packet p = summaryPacket();
  p.rows.clear();
  for (int i = 1; i <= 25; ++i)
    p.rows.push_back(Row{Value("C"), Value("客户" + std::to_string(i)), Value(Decimal(1, 0)),
                         Value(Decimal(i, 2))});
  host.proxy().answers.clear();
  host.proxy().answer("SELECT summary", p);
  auto w = run(false);
  TReportOutput* out = TReportOutput::Of(w.get());
  out->actChart->trigger();
  const TChartData& data = out->Chart->Data();
  ASSERT_EQ(data.bars.size(), 20u);
  EXPECT_EQ(data.bars.front().label, "客户7");  // 7..25 kept in their order
  EXPECT_EQ(data.bars.back().label, "其他");
  EXPECT_EQ(data.bars.back().value.toString(), "0.21");  // 0.01 + ... + 0.06
}

TEST_F(ReportOutputTest, FlowChartsTheRunningBalancePerTraderOverTime) {
  auto w = run(true);
  TReportOutput* out = TReportOutput::Of(w.get());
  out->actChart->trigger();
  const TChartData& data = out->Chart->Data();
  ASSERT_EQ(data.lines.size(), 2u);
  EXPECT_EQ(data.lines[0].name, "甲");
  ASSERT_EQ(data.lines[0].points.size(), 3u);
  EXPECT_EQ(data.lines[0].points[1].date.toString(), "2026-12-03");
  EXPECT_EQ(data.lines[0].points[1].value.toString(), "150.50");
  EXPECT_EQ(data.lines[1].name, "乙");
  EXPECT_EQ(data.lines[1].points.back().value.toString(), "0.01");
  QApplication::processEvents();
  test::saveShot(*w, "report_flow_chart");
}

TEST_F(ReportOutputTest, LinesAreNamedByTheHeadingRowOfTheirTrader) {
  // The flow as the receivable report loads it: per trader a heading row without a date that
  // carries the trader's name in the code column and the opening balance.
  Packet p = flowPacket();
  p.rows.insert(p.rows.begin() + 3, Row{Value("乙"), Value(), Value("客户乙公司"), Value(),
                                        Value(Decimal::parse("-20.00"))});
  p.rows.insert(p.rows.begin(), Row{Value("甲"), Value(), Value("华强电子"), Value(),
                                    Value(Decimal::parse("100.00"))});
  host.proxy().answers.clear();
  host.proxy().answer("SELECT flow", p);
  auto w = run(true);
  TReportOutput* out = TReportOutput::Of(w.get());
  out->SetChart(BalanceOverTime("流水", "BDate", "Balance", "TraderName", "BCode"));
  out->actChart->trigger();
  const TChartData& data = out->Chart->Data();
  ASSERT_EQ(data.lines.size(), 2u);
  EXPECT_EQ(data.lines[0].name, "华强电子");
  // The opening balance stands at the start of the range.
  ASSERT_EQ(data.lines[0].points.size(), 4u);
  EXPECT_EQ(data.lines[0].points[0].date.toString(), "2026-12-01");
  EXPECT_EQ(data.lines[0].points[0].value.toString(), "100.00");
  EXPECT_EQ(data.lines[1].name, "客户乙公司");
}

TEST_F(ReportOutputTest, DetailReportWithoutBalanceOffersNoChart) {
  struct Detail : TfrmTestSummary {
    Detail() : TfrmTestSummary(false) {}
    void FormCreate() override {
      TfrmTestSummary::FormCreate();
      FrptType = rtDeltail;
    }
  };
  auto w = templates::CreateForm<Detail>();
  test::showSettled(*w);
  TReportOutput* out = TReportOutput::Of(w.get());
  EXPECT_FALSE(out->ChartSetup().has_value());
  EXPECT_FALSE(out->btnChart->isVisible());
  EXPECT_TRUE(out->btnExport->isVisible());
  EXPECT_TRUE(out->btnPrint->isVisible());
}

TEST_F(ReportOutputTest, ChartIsWrittenAsPngAndAReportMayHaveNone) {
  auto w = run(false);
  w->show();
  TReportOutput* out = TReportOutput::Of(w.get());
  out->actChart->trigger();
  QApplication::processEvents();
  test::saveShot(*w, "report_summary_chart");
  test::ChooserScript chooser(dir.filePath("chart.png"));
  out->actChartPng->trigger();
  EXPECT_TRUE(chooser.suggested.endsWith("销售汇总表(按客户).png"))
      << chooser.suggested.toStdString();
  const QImage png(dir.filePath("chart.png"));
  ASSERT_FALSE(png.isNull());
  EXPECT_GT(png.width(), 100);
  EXPECT_EQ(QString(out->Chart->SavePng(dir.filePath("big.png"), QSize(800, 500))), "");
  EXPECT_EQ(QImage(dir.filePath("big.png")).size(), QSize(800, 500));
  chooser.answer = dir.filePath("missing/chart.png");
  out->actChartPng->trigger();
  EXPECT_EQ(host.ui().messages.last(), NotWritableMessage(chooser.answer));

  out->SetChart(std::nullopt);
  EXPECT_FALSE(out->btnChart->isVisibleTo(w.get()));
  EXPECT_FALSE(out->ChartPane->isVisibleTo(w.get()));
}

TEST_F(ReportOutputTest, PrintedReportCarriesRangeFindLineAndGrandTotal) {
  auto w = run(false);
  w->cbbFiterName->setCurrentIndex(1);
  w->edtFilterValue->setText(" 华强 ");
  w->actMakeReport->trigger();
  const QString path = dir.filePath("report.pdf");
  test::ChooserScript chooser(path);
  TReportOutput::Of(w.get())->Print.actPdf->trigger();
  const QString text = test::readPdf(path);
  host.ui().scripts["QPrintPreviewDialog"] = [](QDialog& d) {
    QApplication::processEvents();
    test::saveShot(d, "report_preview");
    return 0;
  };
  TReportOutput::Of(w.get())->Print.actPreview->trigger();
  EXPECT_EQ(host.ui().modalShown, QStringList({"QPrintPreviewDialog"}));
  for (const char* expected :
       {"销售汇总表(按客户)", "日期：2026-12-01 至 2026-12-31", "查找：客户名称: 华强", "客户编码",
        "金额", "1234567.02", "总合计：1234567.32", "第 1 页，共 1 页"})
    EXPECT_TRUE(test::pdfHas(text, QString::fromUtf8(expected))) << expected << "\n"
                                                                 << text.toStdString();
}

TEST_F(ReportOutputTest, ExportTakesTheReportAsShown) {
  auto w = run(true);
  test::ChooserScript chooser(dir.filePath("flow.xlsx"));
  w->GrdMain->findChild<QAction*>("actExportExcel")->trigger();
  const QJsonObject cells = test::readXlsx(dir.filePath("flow.xlsx"))["cells"].toObject();
  EXPECT_EQ(cells["E1"].toObject()["value"].toString(), "余额");
  EXPECT_EQ(cells["E3"].toObject()["value"].toDouble(), 150.5);
  EXPECT_EQ(cells["E3"].toObject()["format"].toString(), "0.00");
  EXPECT_EQ(cells["B2"].toObject()["format"].toString(), "yyyy-mm-dd");
}

// Pictures of real reports with their charts (loaded from the business package by name, as the
// report tree opens them), to look at; only when VLT_SHOTS_DIR is set.
TEST_F(ReportOutputTest, ScreenshotsOfRealReportsWithCharts) {
  if (qEnvironmentVariableIsEmpty("VLT_SHOTS_DIR")) GTEST_SKIP() << "VLT_SHOTS_DIR not set";
  Packet total;
  total.fields = FieldDefs{test::decimalField("Amount", 18, 2)};
  total.rows = {Row{Value(Decimal::parse("48210.50"))}};
  host.proxy().answer("select SUM(Amount) as Amount from", total);
  Packet sales;
  sales.fields = FieldDefs{test::stringField("name"), test::decimalField("qty", 18, 4),
                           test::decimalField("amount", 18, 4)};
  const char* const traders[] = {"华强电子", "东方五金", "宏达建材", "李记商行",
                                 "恒通贸易", "新华书店", "顺丰百货"};
  for (int i = 0; i < 7; ++i)
    sales.rows.push_back(Row{Value(traders[i]), Value(Decimal(10 + i * 7, 0)),
                             Value(Decimal(1234500 + i * 791300 % 1200000, 2))});
  host.proxy().answer("SELECT ta.name", sales);
  Packet flow;
  flow.fields = FieldDefs{test::stringField("bid"),
                          test::stringField("TraderID"),
                          test::stringField("isclient"),
                          test::decimalField("IOAmount", 18, 2),
                          test::decimalField("balance", 18, 2),
                          test::stringField("Revmemo"),
                          test::stringField("billName"),
                          test::typedField("bdate", DataType::Date),
                          test::stringField("bcode"),
                          test::intField("IODirection"),
                          test::stringField("billRemark"),
                          test::intField("sortID")};
  auto move = [](const char* trader, const char* date, const char* code, const char* amount) {
    return Row{Value("b"),      Value(trader),
               Value("True"),   Value(Decimal::parse(amount)),
               Value(),         Value(""),
               Value("销售单"), Value(Date::parse(date)),
               Value(code),     Value(std::int32_t{1}),
               Value(),         Value(std::int32_t{1})};
  };
  auto head = [](const char* trader, const char* name, const char* opening) {
    return Row{
        Value(), Value(trader),          Value("True"), Value(),     Value(Decimal::parse(opening)),
        Value(), Value("期初余额"),      Value(),       Value(name), Value(),
        Value(), Value(std::int32_t{-1})};
  };
  auto gap = [](const char* trader) {
    return Row{Value(), Value(trader), Value("True"), Value(),
               Value(), Value(),       Value(),       Value(),
               Value(), Value(),       Value(),       Value(std::int32_t{999999})};
  };
  flow.rows = {head("1", "华强电子", "1200.00"),
               move("1", "2026-12-02", "XS001", "800.00"),
               move("1", "2026-12-06", "SK001", "-1500.00"),
               move("1", "2026-12-12", "XS007", "640.50"),
               move("1", "2026-12-20", "SK004", "-300.00"),
               gap("1"),
               head("2", "东方五金", "-200.00"),
               move("2", "2026-12-04", "XS003", "950.00"),
               move("2", "2026-12-15", "XS009", "420.00"),
               move("2", "2026-12-28", "SK008", "-1000.00"),
               gap("2")};
  host.proxy().answer("ts_traderbalancedetailflow", flow);
  for (auto [qualified, shot] : {std::pair{"uReport_SaleM.TfrmRptSaleM", "real_sale_summary_chart"},
                                 std::pair{"uReport_BalGatheringflow.TfrmRptBalGatheringflow",
                                           "real_receivable_flow_chart"}}) {
    auto w = test::openWindow<TfrmBaseReportForm>("VltBusiness.bpl", qualified);
    ASSERT_NE(w, nullptr) << qualified;
    w->resize(1300, 620);
    w->edtStartDate->setText("2026-12-01");
    w->edtEndDate->setText("2026-12-31");
    w->actMakeReport->trigger();
    TReportOutput* out = TReportOutput::Of(w.get());
    ASSERT_TRUE(out->btnChart->isVisible()) << qualified;
    out->actChart->trigger();
    EXPECT_FALSE(out->Chart->Data().empty()) << qualified;
    QApplication::processEvents();
    test::saveShot(*w, shot);
  }
}

}  // namespace
