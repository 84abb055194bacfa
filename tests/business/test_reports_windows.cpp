// The report windows over a recording proxy: each family data-driven over its windows (what a
// run asks the account set for, with the find value found literally), the grand totals, and the
// running balance of the receivable/payable flows computed in exact decimals per trader.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <memory>
#include <string>
#include <vector>

#include "fakehost.h"
#include "uBaseReportForm.h"
#include "uBusinessClasses.h"
#include "vlt/host.h"

using namespace vlt;
using namespace vlt::host;
using vlt::business::kBusinessPackage;
using vlt::test::createWindow;
using vlt::test::packetOf;

namespace {

const char* const kDb = "10001_01";
const std::string kRange = "(bdate between '2024-02-01' and '2024-02-29')";

struct TWindowRow {
  friend void PrintTo(const TWindowRow& row, std::ostream* os) { *os << row.name; }

  const char* name;  // "uReport_PurOrderM.TfrmRptPurOrderM"
  const char* caption;
  const char* reads;      // a piece of the statement: the table or view it reads
  QStringList findItems;  // after "全部"
  int findItem;           // the item a find test chooses
  const char* findsIn;    // what that find adds, before the escaped pattern
  bool total;             // a grand total below the grid
};

std::string testName(const char* qualified) {
  return QString::fromLatin1(qualified).section('.', 1).toStdString();
}

class ReportWindows : public ::testing::TestWithParam<TWindowRow> {
 protected:
  void SetUp() override { CurUserInfo().UserDBID = kDb; }
  test::HostFixture host;

  std::unique_ptr<TfrmBaseReportForm> open() {
    auto w = createWindow<TfrmBaseReportForm>(kBusinessPackage, GetParam().name);
    if (w) {
      w->edtStartDate->setText("2024-02-01");
      w->edtEndDate->setText("2024-02-29");
    }
    return w;
  }
};

TEST_P(ReportWindows, OpensWithItsCaptionAndFindItems) {
  const TWindowRow& r = GetParam();
  auto w = open();
  ASSERT_NE(w, nullptr);
  EXPECT_EQ(w->windowTitle(), QString::fromUtf8(r.caption));
  QStringList items;
  for (int i = 0; i < w->cbbFiterName->count(); ++i)
    items << w->cbbFiterName->itemText(i);
  EXPECT_EQ(items, QStringList{"全部"} + r.findItems);
  EXPECT_TRUE(host.proxy().calls.empty());  // nothing is loaded before "生成报表"
}

TEST_P(ReportWindows, RunReadsTheRangeAndFindsTheValueLiterally) {
  const TWindowRow& r = GetParam();
  auto w = open();
  ASSERT_NE(w, nullptr);
  w->cbbFiterName->setCurrentIndex(r.findItem);
  w->edtFilterValue->setText(" 5'0%_ ");
  w->actMakeReport->trigger();
  const auto calls = host.proxy().callsStartingWith(std::string("GetUserDBDataBySql|") + kDb);
  ASSERT_EQ(calls.size(), r.total ? 2U : 1U) << ::testing::PrintToString(host.proxy().calls);
  // The total goes out first, to run beside the rows.
  const std::string& report = calls.back();
  EXPECT_NE(report.find(r.reads), std::string::npos) << report;
  EXPECT_NE(report.find(kRange), std::string::npos) << report;
  EXPECT_NE(report.find(std::string(r.findsIn) + " like '%5''0!%!_%' ESCAPE '!'"),
            std::string::npos)
      << report;
  if (r.total) {
    EXPECT_NE(calls[0].find("'%5''0!%!_%' ESCAPE '!'"), std::string::npos) << calls[0];
    EXPECT_NE(calls[0].find(kRange), std::string::npos) << calls[0];
  }
  EXPECT_TRUE(host.ui().messages.isEmpty());
}

TEST_P(ReportWindows, GrandTotalShowsTheSumOrNothing) {
  const TWindowRow& r = GetParam();
  if (!r.total) GTEST_SKIP() << "no grand total";
  auto w = open();
  ASSERT_NE(w, nullptr);
  host.proxy().answer("as Amount from", packetOf({"Amount"}, {{"12345678901234567.89"}}));
  w->actMakeReport->trigger();
  EXPECT_EQ(w->lblTotalNum->text(), "12345678901234567.89");
  EXPECT_EQ(w->TotalText(), "12345678901234567.89");

  // A range without rows: the sum is null and the total stays empty.
  host.proxy().answers.clear();
  Packet none;
  none.fields.add("Amount", DataType::String);
  none.rows.push_back({Value()});
  host.proxy().answer("as Amount from", none);
  w->actMakeReport->trigger();
  EXPECT_EQ(w->lblTotalNum->text(), "");
}

const TWindowRow kWindows[] = {
    {"uReport_PurOrderM.TfrmRptPurOrderM",
     "采购订货单汇总表",
     "FROM (tb_pur_order M JOIN tb_pur_order_d D",
     {"供货商名称"},
     1,
     "ta.name",
     true},
    {"uReport_PurchaseM.TfrmRptPurchaseM",
     "采购收货单汇总表",
     "FROM (tb_pur_purchase M JOIN tb_pur_purchase_d D",
     {"供货商名称"},
     1,
     "ta.name",
     true},
    {"uReport_PurBackM.TfrmRptPurBackM",
     "采购退货单汇总表",
     "FROM (tb_pur_back M JOIN tb_pur_back_d D",
     {"供货商名称"},
     1,
     "ta.name",
     true},
    {"uReport_SalOrderM.TfrmRptSalOrderM",
     "销售订单货汇总表",
     "FROM (tb_sal_order M JOIN tb_sal_order_d D",
     {"客户名称"},
     1,
     "ta.name",
     true},
    {"uReport_SaleM.TfrmRptSaleM",
     "销售发货单汇总表",
     "FROM (tb_sal_sale M JOIN tb_sal_sale_d D",
     {"客户名称"},
     1,
     "ta.name",
     true},
    {"uReport_SalBackM.TfrmRptSalBackM",
     "销售退货单汇总表",
     "FROM (tb_sal_back M JOIN tb_sal_back_d D",
     {"客户名称"},
     1,
     "ta.name",
     true},
    {"uReport_PurOrderD.TfrmRptPurOrderD",
     "采购订货单明细表",
     "from (tb_pur_order m join tb_pur_order_d d",
     {"供货商名称"},
     1,
     "where traderid in (select id from td_trader where name",
     false},
    {"uReport_PurchaseD.TfrmRptPurchaseD",
     "采购收货单明细表",
     "from (tb_pur_purchase m join tb_pur_purchase_d d",
     {"供货商名称"},
     1,
     "where traderid in (select id from td_trader where name",
     false},
    {"uReport_PurBackD.TfrmRptPurBackD",
     "采购退货单明细表",
     "from (tb_pur_back m join tb_pur_back_d d",
     {"供货商名称"},
     1,
     "where traderid in (select id from td_trader where name",
     false},
    {"uReport_SalOrderD.TfrmRptSalOrderD",
     "销售订货单明细表",
     "from (tb_sal_order m join tb_sal_order_d d",
     {"客户名称"},
     1,
     "where traderid in (select id from td_trader where name",
     false},
    {"uReport_SaleD.TfrmRptSaleD",
     "销售发货单明细表",
     "from (tb_sal_sale m join tb_sal_sale_d d",
     {"客户名称"},
     1,
     "where traderid in (select id from td_trader where name",
     false},
    {"uReport_SalBackD.TfrmRptSalBackD",
     "销售退货单明细表",
     "from (tb_sal_back m join tb_sal_back_d d",
     {"客户名称"},
     1,
     "where traderid in (select id from td_trader where name",
     false},
    {"uReport_StoreFlowM.TfrmRptStoreFlowM",
     "库存货品出入库汇总表",
     "from view_storebillflow  where (1=1) and bdate<'2024-02-01'",
     {"货品编码", "货品名称", "货品规格"},
     2,
     "where g.name",
     false},
    {"uReport_StoreFlowD.TfrmRptStoreFlowD",
     "库存货品出入库明细表",
     "from view_storebillflow m",
     {"货品编码", "货品名称", "货品规格"},
     3,
     "where goodsid in (select id from td_goods where spec",
     false},
    {"uReport_BalGatheringflow.TfrmRptBalGatheringflow",
     "客户往来结算流水表",
     "from ts_traderyearflow where Year<'2024-01-01'",
     {"客户名称"},
     1,
     "where isclient='True' and (traderid in (select id from td_trader where name",
     false},
    {"uReport_BalPaymentflow.TfrmRptBalPaymentflow",
     "供应商往来结算流水表",
     "from ts_traderyearflow where Year<'2024-01-01'",
     {"供货商名称"},
     1,
     "where isclient='false' and (traderid in (select id from td_trader where name",
     false},
    {"uReport_CashInFlow.TfrmRptCashInflow",
     "其他收入流水表",
     "biodirect=1 ",
     {"收入类别", "帐户名称"},
     1,
     "and  a.name",
     true},
    {"uReport_CashOutFlow.TfrmRptCashOutFlow",
     "费用支出流水表",
     "biodirect=-1 ",
     {"支出类别", "帐户名称"},
     2,
     "and t.name",
     true},
};

INSTANTIATE_TEST_SUITE_P(Reports, ReportWindows, ::testing::ValuesIn(kWindows),
                         [](const auto& row) { return testName(row.param.name); });

// ---- running balance ---------------------------------------------------------------------------

struct TFlowRow {
  std::string trader;
  int sortId;
  const char* amount;   // IOAmount; empty for null
  const char* balance;  // balance as the statement answers it
};

struct TBalanceCase {
  const char* name;
  std::vector<TFlowRow> rows;
  std::vector<std::string> expected;  // balance shown per row ("" for null)
};

class RunningBalance : public ::testing::TestWithParam<TBalanceCase> {
 protected:
  void SetUp() override { CurUserInfo().UserDBID = kDb; }
  test::HostFixture host;
};

TEST_P(RunningBalance, StartsPerTraderAndAddsExactly) {
  const TBalanceCase& c = GetParam();
  Packet p;
  p.fields.add("TraderID", DataType::String);
  p.fields.addDecimal("IOAmount", 38, 4);
  p.fields.addDecimal("balance", 38, 4);
  p.fields.add("sortID", DataType::Int32);
  auto dec = [](const char* t) {
    return std::string(t).empty() ? Value() : Value(Decimal::parse(t));
  };
  for (const TFlowRow& r : c.rows)
    p.rows.push_back({Value(r.trader), dec(r.amount), dec(r.balance),
                      Value(static_cast<std::int32_t>(r.sortId))});
  host.proxy().answer("ts_traderbalancedetailflow", p);
  auto w = createWindow<TfrmBaseReportForm>(kBusinessPackage,
                                            "uReport_BalGatheringflow.TfrmRptBalGatheringflow");
  ASSERT_NE(w, nullptr);
  w->actMakeReport->trigger();
  ASSERT_TRUE(host.ui().messages.isEmpty()) << host.ui().messages.join("|").toStdString();
  std::vector<std::string> shown;
  for (w->cdsM.First(); !w->cdsM.Eof(); w->cdsM.Next()) {
    const Field& b = w->cdsM.FieldByName("balance");
    shown.push_back(b.IsNull() ? "" : b.AsDecimal().rescaled(2).toString());
  }
  EXPECT_EQ(shown, c.expected);
  EXPECT_EQ(w->cdsM.ChangeCount(), 0);  // computed for the eye only
}

INSTANTIATE_TEST_SUITE_P(
    Reports, RunningBalance,
    ::testing::Values(
        TBalanceCase{"opening_then_movements",
                     {{"A", -1, "", "100.10"},
                      {"A", 1, "0.10", "0"},
                      {"A", 1, "0.20", "0"},
                      {"A", 1, "-50.40", "0"},
                      {"A", 999999, "", ""}},
                     {"100.10", "100.20", "100.40", "50.00", ""}},
        TBalanceCase{"trader_without_opening_starts_at_zero",
                     {{"A", -1, "", "500.00"},
                      {"A", 1, "1.00", "0"},
                      {"A", 999999, "", ""},
                      {"B", 1, "0.30", "0"},
                      {"B", 1, "0.30", "0"}},
                     {"500.00", "501.00", "", "0.30", "0.60"}},
        TBalanceCase{
            "wide_amounts_stay_exact",
            {{"A", -1, "", "99999999999999999.99"}, {"A", 1, "0.01", "0"}, {"A", 1, "-0.03", "0"}},
            {"99999999999999999.99", "100000000000000000.00", "99999999999999999.97"}},
        TBalanceCase{"empty_answer", {}, {}}),
    [](const auto& row) { return std::string(row.param.name); });

}  // namespace
