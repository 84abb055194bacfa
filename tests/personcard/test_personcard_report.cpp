// The person-card flow report against the recording fake service: the statement it sends to
// the system database, and the running cash balance against a computation of its own.

#include <gtest/gtest.h>

#include <QAbstractItemModel>

#include "personcard_testing.h"
#include "uReport_PersionCardFlow.h"
#include "vlt/components.h"
#include "windowrows.h"

namespace {

using namespace vlt;
using namespace vlt::test;

constexpr const char* kReport = "uReport_PersionCardFlow.TfrmRptPersionCardFlow";

struct TFlowRow {
  int sortId;
  int kind;  // 0 for the opening row
  const char* amount;
  const char* balance;  // the opening row's only
};

// The rows as the service answers the report's statement, typed as the database types them.
Packet flowPacket(const std::vector<TFlowRow>& rows) {
  Packet p;
  p.fields.add("ID", DataType::Int64);
  p.fields.add("bdate", DataType::Date);
  p.fields.addDecimal("IOAmt", 13, 2);
  p.fields.addDecimal("balance", 38, 2);
  p.fields.add("IODirect", DataType::Int32);
  p.fields.add("IOKind", DataType::Int32);
  p.fields.add("sortID", DataType::Int32);
  p.fields.add("iodirectCn", DataType::String, 30);
  const int directions[] = {0, 1, -1, 0, 1};
  const char* const texts[] = {"期初余额", "收入", "支出", "信用卡消费", "信用卡还款"};
  std::int64_t id = 0;
  for (const TFlowRow& r : rows) {
    const bool opening = r.sortId == -1;
    p.rows.push_back({opening ? Value() : Value(++id),
                      opening ? Value() : Value(Date::parse("2026-03-0" + std::to_string(id))),
                      opening ? Value() : Value(Decimal::parse(r.amount)),
                      opening ? Value(Decimal::parse(r.balance)) : Value(Decimal()),
                      opening ? Value() : Value(std::int32_t{directions[r.kind]}),
                      opening ? Value() : Value(std::int32_t{r.kind}),
                      Value(std::int32_t{r.sortId}), Value(texts[r.kind])});
  }
  return p;
}

// The balance after each row in cents, worked out here: income and repayment add, expense
// takes away, card spending leaves the cash.
std::vector<std::int64_t> expectedCents(const std::vector<TFlowRow>& rows) {
  std::vector<std::int64_t> out;
  std::int64_t cash = 0;
  auto cents = [](const char* text) {
    std::string t(text);
    const bool negative = !t.empty() && t[0] == '-';
    if (negative) t.erase(0, 1);
    const auto point = t.find('.');
    const std::int64_t c =
        std::stoll(t.substr(0, point)) * 100 +
        (point == std::string::npos ? 0 : std::stoll((t.substr(point + 1) + "00").substr(0, 2)));
    return negative ? -c : c;
  };
  for (const TFlowRow& r : rows) {
    if (r.sortId == -1)
      cash = cents(r.balance);
    else if (r.kind == 1 || r.kind == 4)
      cash += cents(r.amount);
    else if (r.kind == 2)
      cash -= cents(r.amount);
    out.push_back(cash);
  }
  return out;
}

std::string centsText(std::int64_t c) {
  const std::string sign = c < 0 ? "-" : "";
  c = c < 0 ? -c : c;
  const std::string frac = std::to_string(c % 100);
  return sign + std::to_string(c / 100) + "." + (frac.size() < 2 ? "0" : "") + frac;
}

TEST(PersionCardFlow, RunningCashBalanceFromTheOpeningRow) {
  struct Case {
    const char* name;
    std::vector<TFlowRow> rows;
  };
  const Case cases[] = {
      {"only the opening row, nothing before", {{-1, 0, "", "0.00"}}},
      {"card spending leaves the cash, a repayment and an expense move it",
       {{-1, 0, "", "100.00"},
        {1, 1, "1000.10", ""},
        {1, 3, "300.00", ""},
        {1, 4, "50.05", ""},
        {1, 2, "0.10", ""},
        {1, 2, "0.20", ""}}},
      {"tenths that binary fractions would blur",
       {{-1, 0, "", "-0.30"},
        {1, 1, "0.10", ""},
        {1, 1, "0.20", ""},
        {1, 2, "0.30", ""},
        {1, 1, "99999999999.99", ""},
        {1, 2, "0.01", ""}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    HostFixture h;
    h.proxy().answer("from userpersincard", flowPacket(c.rows));
    auto w = OpenKind<TfrmRptPersionCardFlow>(h, kReport, "MainData");
    ASSERT_TRUE(w);
    EXPECT_EQ(w->windowTitle(), "理财流水表");
    w->actMakeReport->trigger();
    EXPECT_TRUE(h.ui().messages.isEmpty()) << h.ui().messages.join("\n").toStdString();
    const std::vector<std::int64_t> expected = expectedCents(c.rows);
    ASSERT_EQ(w->cdsM.RecordCount(), static_cast<int>(expected.size()));
    int i = 0;
    for (w->cdsM.First(); !w->cdsM.Eof(); w->cdsM.Next(), ++i)
      EXPECT_EQ(w->cdsM.FieldByName("balance").AsDecimal().rescaled(2).toString(),
                centsText(expected[static_cast<std::size_t>(i)]))
          << "row " << i;
    EXPECT_EQ(w->cdsM.ChangeCount(), 0);
    if (c.rows.size() == 6 && c.rows[1].kind == 1 && QString(c.rows[1].amount) == "1000.10") {
      w->resize(1000, 420);
      saveShot(*w, "personcard_flow_report");
    }
  }
}

TEST(PersionCardFlow, AsksTheSystemDatabaseForTheUsersOwnRowsOfTheRange) {
  HostFixture h;
  h.proxy().answer("from userpersincard", flowPacket({{-1, 0, "", "0.00"}}));
  auto w = OpenKind<TfrmRptPersionCardFlow>(h, kReport, "MainData");
  ASSERT_TRUE(w);
  Type(*w, "edtStartDate", "2026-02-01");
  Type(*w, "edtEndDate", "2026-02-28");
  w->actMakeReport->trigger();
  const auto loads = h.proxy().callsStartingWith("GetSysMainDBDataBySql");
  ASSERT_EQ(loads.size(), 1u);
  EXPECT_EQ(
      loads[0],
      "GetSysMainDBDataBySql|Main|select * from ((select ID,UserID,IOType,bdate,IOAmt,0 as "
      "balance,Remark,IODirect,IOKind,1 as sortID,CASE WHEN IOKind=1 then '收入' WHEN IOKind=2 "
      "then '支出' WHEN IOKind=3 then '信用卡消费' WHEN IOKind=4 then '信用卡还款' END as "
      "iodirectCn from userpersincard  where (1=1)  and (bdate between '2026-02-01' and "
      "'2026-02-28') and (userID='10001')) union all (select null as ID,null as UserID,null as "
      "IOType,null as bdate,null as IOAmt,ifnull(sum(IOAmt*IODirect),0) as balance,null as "
      "Remark,null as IODirect,null as IOKind,-1 as sortID,'期初余额' as iodirectCn from "
      "userpersincard where (1=1) and bdate<'2026-02-01' and (userID='10001'))) as rlt  order "
      "BY sortID,bdate,ID");

  // A reversed range and a date that is none are stopped before anything is sent.
  for (const auto& [start, end] : std::vector<std::pair<QString, QString>>{
           {"2026-03-01", "2026-02-01"}, {"2026-02-30", "2026-03-01"}}) {
    h.proxy().calls.clear();
    h.ui().messages.clear();
    Type(*w, "edtStartDate", start);
    Type(*w, "edtEndDate", end);
    w->actMakeReport->trigger();
    EXPECT_TRUE(h.proxy().callsStartingWith("GetSysMainDBDataBySql").empty());
    EXPECT_EQ(h.ui().messages.size(), 1);
  }
}

}  // namespace
