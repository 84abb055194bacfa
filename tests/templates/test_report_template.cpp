// The report template through a small descendant: quick date ranges, the checks before a run,
// the statement it assembles for both kinds, where it runs, and the find value's handling.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QLineEdit>
#include <memory>
#include <string>
#include <vector>

#include "fakehost.h"
#include "tplwidgets.h"
#include "uBaseReportForm.h"
#include "vlt/host.h"

using namespace vlt;
using namespace vlt::host;
using vlt::templates::CreateForm;
using vlt::test::packetOf;

namespace {

const char* const kDb = "10001_01";

// Names each data row after its first member.
const auto RowName = [](const auto& row) { return std::string(row.param.name); };

}  // namespace

class TfrmTestReport : public TfrmBaseReportForm {
  Q_OBJECT
 public:
  explicit TfrmTestReport(TRtpType kind, bool allParts = true) : kind_(kind), all_(allParts) {}
  void FormCreate() override {
    FrptType = kind_;
    FcommStrMaster = "SELECT name FROM t";
    if (kind_ == rtDeltail && all_) {
      FcommStrHeader = "SELECT 'h'";
      FcommStrTotal = "SELECT 't'";
      FcommStrSeparate = "SELECT 's'";
      FGroupBystr = " GROUP BY x";
    }
    FOrderByStr = " ORDER BY name";
    cbbFiterName->addItem("名称");
    setWindowTitle("测试报表");
    TfrmBaseReportForm::FormCreate();
  }
  std::string where;  // what SetOpenWhereStr built, to check the find value's handling

 protected:
  void SetOpenWhereStr() override {
    TfrmBaseReportForm::SetOpenWhereStr();
    F_Master_WhereStr = " where (1=1) " + GetDateArea();
    F_Header_WhereStr = " wh";
    F_Total_WhereStr = " wt";
    F_Separate_WhereStr = " ws";
    if (FilterIndex() == 1) F_Master_WhereStr += " and name like " + FindPattern();
    where = F_Master_WhereStr;
  }

 private:
  TRtpType kind_;
  bool all_;
};

class ReportTemplateTest : public ::testing::Test {
 protected:
  void SetUp() override { CurUserInfo().UserDBID = kDb; }
  test::HostFixture host;

  std::unique_ptr<TfrmTestReport> open(TRtpType kind, bool allParts = true) {
    return CreateForm<TfrmTestReport>(kind, allParts);
  }
  void range(TfrmTestReport& w, const char* start, const char* end) {
    w.edtStartDate->setText(start);
    w.edtEndDate->setText(end);
  }
};

struct TQuickRow {
  const char* name;
  int choice;
  const char* today;
  const char* start;
  const char* end;
};

class QuickRanges : public ::testing::TestWithParam<TQuickRow> {};

TEST_P(QuickRanges, FirstAndLastDay) {
  const TQuickRow& r = GetParam();
  const auto [start, end] =
      TfrmBaseReportForm::DateRangeOf(r.choice, QDate::fromString(r.today, Qt::ISODate));
  EXPECT_EQ(start.toString(Qt::ISODate), QString(r.start));
  EXPECT_EQ(end.toString(Qt::ISODate), QString(r.end));
}

INSTANTIATE_TEST_SUITE_P(
    Template, QuickRanges,
    ::testing::Values(
        TQuickRow{"today", TfrmBaseReportForm::dcToday, "2024-02-15", "2024-02-15", "2024-02-15"},
        TQuickRow{"week_from_thursday", TfrmBaseReportForm::dcWeek, "2024-02-15", "2024-02-12",
                  "2024-02-18"},
        TQuickRow{"week_from_sunday", TfrmBaseReportForm::dcWeek, "2024-02-18", "2024-02-12",
                  "2024-02-18"},
        TQuickRow{"week_from_monday_across_year", TfrmBaseReportForm::dcWeek, "2024-12-30",
                  "2024-12-30", "2025-01-05"},
        TQuickRow{"month_leap_february", TfrmBaseReportForm::dcMonth, "2024-02-15", "2024-02-01",
                  "2024-02-29"},
        TQuickRow{"month_plain_february", TfrmBaseReportForm::dcMonth, "2023-02-15", "2023-02-01",
                  "2023-02-28"},
        TQuickRow{"year", TfrmBaseReportForm::dcYear, "2024-02-15", "2024-01-01", "2024-12-31"}),
    RowName);

TEST_F(ReportTemplateTest, QuickChoiceSetsBothBoxesFromToday) {
  auto w = open(rtMaster);
  const QDate today = QDate::currentDate();
  EXPECT_EQ(w->edtStartDate->Date(), today);
  EXPECT_EQ(w->edtEndDate->Date(), today);
  w->cbbDatefitler->setCurrentIndex(TfrmBaseReportForm::dcYear);
  EXPECT_EQ(w->edtStartDate->Date(), QDate(today.year(), 1, 1));
  EXPECT_EQ(w->edtEndDate->Date(), QDate(today.year(), 12, 31));
}

struct TRunRow {
  const char* name;
  const char* start;
  const char* end;
  const char* message;  // empty: the report runs
};

class ReportRuns : public ReportTemplateTest, public ::testing::WithParamInterface<TRunRow> {};

TEST_P(ReportRuns, DatesAreCheckedBeforeAnythingIsSent) {
  const TRunRow& r = GetParam();
  auto w = open(rtMaster);
  range(*w, r.start, r.end);
  w->actMakeReport->trigger();
  const bool runs = std::string(r.message).empty();
  EXPECT_EQ(host.proxy().callsStartingWith("GetUserDBDataBySql").size(), runs ? 1U : 0U);
  if (runs)
    EXPECT_TRUE(host.ui().messages.isEmpty()) << host.ui().messages.join("|").toStdString();
  else
    EXPECT_EQ(host.ui().messages, QStringList{QString::fromUtf8(r.message)});
}

INSTANTIATE_TEST_SUITE_P(Template, ReportRuns,
                         ::testing::Values(TRunRow{"one_day", "2024-02-15", "2024-02-15", ""},
                                           TRunRow{"ten_years", "2014-01-01", "2023-12-31", ""},
                                           TRunRow{"reversed", "2024-03-01", "2024-02-29",
                                                   "单据开始日期不能大于结束日期"},
                                           TRunRow{"start_not_a_date", "2024-02-30", "2024-03-01",
                                                   "开始日期必须是日期（年-月-日，如 2024-03-01）"},
                                           TRunRow{"end_blank", "2024-02-01", " ",
                                                   "结束日期不能为空"}),
                         RowName);

TEST_F(ReportTemplateTest, MasterStatementIsMainWhereAndTail) {
  auto w = open(rtMaster);
  range(*w, "2024-02-01", "2024-02-29");
  w->actMakeReport->trigger();
  EXPECT_EQ(host.proxy().calls,
            std::vector<std::string>{std::string("GetUserDBDataBySql|") + kDb +
                                     "|SELECT name FROM t where (1=1)  and (bdate between "
                                     "'2024-02-01' and '2024-02-29') ORDER BY name"});
}

TEST_F(ReportTemplateTest, DetailStatementUnitesTheParts) {
  auto w = open(rtDeltail);
  range(*w, "2024-02-01", "2024-02-29");
  w->actMakeReport->trigger();
  EXPECT_EQ(host.proxy().calls,
            std::vector<std::string>{
                std::string("GetUserDBDataBySql|") + kDb +
                "|select * from ((SELECT name FROM t where (1=1)  and (bdate between "
                "'2024-02-01' and '2024-02-29')) union all (SELECT 'h' wh GROUP BY x) union all "
                "(SELECT 't' wt GROUP BY x) union all (SELECT 's' ws GROUP BY x)) as rlt  "
                "ORDER BY name"});
}

TEST_F(ReportTemplateTest, DetailWithoutOtherPartsIsTheLinesAlone) {
  auto w = open(rtDeltail, false);
  range(*w, "2024-02-01", "2024-02-01");
  EXPECT_EQ(w->AssembledStatement(" ORDER BY name"),
            "select * from ((SELECT name FROM t)) as rlt  ORDER BY name");
}

TEST_F(ReportTemplateTest, MainDataRunsOnTheSystemDatabaseAndLoadsTheGrid) {
  auto w = open(rtMaster);
  w->TagString = "maindata";
  w->GrdMain->Bind(&w->cdsM, {{"name", "名称", 100}});
  host.proxy().answer("SELECT name", packetOf({"name"}, {{"a"}, {"b"}}));
  int opened = 0;
  QObject::connect(w.get(), &TfrmBaseReportForm::ReportOpened, [&] { ++opened; });
  w->actMakeReport->trigger();
  ASSERT_EQ(host.proxy().callsStartingWith("GetSysMainDBDataBySql|Main|").size(), 1U);
  EXPECT_EQ(w->GrdMain->model()->rowCount(), 2);
  EXPECT_EQ(opened, 1);
}

struct TFindRow {
  const char* name;
  const char* typed;
  const char* whereTail;  // what the find adds to the where clause; empty: nothing
};

class FindValues : public ReportTemplateTest, public ::testing::WithParamInterface<TFindRow> {};

TEST_P(FindValues, ValueIsTrimmedAndFoundLiterally) {
  const TFindRow& r = GetParam();
  auto w = open(rtMaster);
  w->cbbFiterName->setCurrentIndex(1);
  ASSERT_TRUE(w->edtFilterValue->isEnabled());
  w->edtFilterValue->setText(QString::fromUtf8(r.typed));
  w->actMakeReport->trigger();
  const std::string date = " where (1=1)  and (bdate between " + std::string("'") +
                           ss(QDate::currentDate().toString(Qt::ISODate)) + "' and '" +
                           ss(QDate::currentDate().toString(Qt::ISODate)) + "')";
  EXPECT_EQ(w->where, date + r.whereTail);
  const bool reset = std::string(r.whereTail).empty();
  EXPECT_EQ(w->cbbFiterName->currentIndex(), reset ? 0 : 1);
  EXPECT_EQ(w->edtFilterValue->isEnabled(), !reset);
}

INSTANTIATE_TEST_SUITE_P(
    Template, FindValues,
    ::testing::Values(TFindRow{"empty_resets_to_all", "", ""},
                      TFindRow{"blanks_reset_to_all", "   ", ""},
                      TFindRow{"trimmed", "  螺丝 ", " and name like '%螺丝%' ESCAPE '!'"},
                      TFindRow{"quote", "O'Brien", " and name like '%O''Brien%' ESCAPE '!'"},
                      TFindRow{"percent_literal", "50%", " and name like '%50!%%' ESCAPE '!'"},
                      TFindRow{"underscore_literal", "a_b", " and name like '%a!_b%' ESCAPE '!'"},
                      TFindRow{"escape_char_itself", "x!y", " and name like '%x!!y%' ESCAPE '!'"},
                      TFindRow{"backslash_plain", "a\\b", " and name like '%a\\b%' ESCAPE '!'"},
                      TFindRow{"sql_text_stays_text", "x' or '1'='1",
                               " and name like '%x'' or ''1''=''1%' ESCAPE '!'"}),
    RowName);

TEST_F(ReportTemplateTest, ChoosingAllDisablesTheValue) {
  auto w = open(rtMaster);
  EXPECT_FALSE(w->edtFilterValue->isEnabled());
  w->cbbFiterName->setCurrentIndex(1);
  EXPECT_TRUE(w->edtFilterValue->isEnabled());
  w->cbbFiterName->setCurrentIndex(0);
  EXPECT_FALSE(w->edtFilterValue->isEnabled());
}

TEST_F(ReportTemplateTest, FailedRunLeavesTheWindowUsable) {
  auto w = open(rtMaster);
  host.proxy().failWith = "Connection refused";
  QString seen;
  SetApplicationExceptionHandler([&](const std::exception& e) { seen = e.what(); });
  w->actMakeReport->trigger();
  EXPECT_TRUE(seen.contains("Connection refused"));
  host.proxy().failWith.clear();
  host.proxy().answer("SELECT name", packetOf({"name"}, {{"a"}}));
  w->GrdMain->Bind(&w->cdsM, {{"name", "名称", 100}});
  w->actMakeReport->trigger();
  EXPECT_EQ(w->GrdMain->model()->rowCount(), 1);
  SetApplicationExceptionHandler(nullptr);
}

#include "test_report_template.moc"
