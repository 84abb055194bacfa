// The reports against the real service: bills go in with plain statements, every report window
// runs on them, and what it shows must equal what this test works out itself from the rows it
// inserted (totals, subtotals, opening and closing stock, opening and running balances, and the
// find filters with quotes and wildcards in names).
#include <gtest/gtest.h>

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <algorithm>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "fakehost.h"
#include "served_service.h"
#include "uBaseReportForm.h"
#include "vlt/decimal.h"
#include "vlt/host.h"
#include "vlt/sqltext.h"

using namespace vlt;
using namespace vlt::host;

namespace {

const QString kPkg = "VltBusiness.bpl";
const std::string kStart = "2024-02-01";
const std::string kEnd = "2024-02-29";

using Lines = std::vector<std::string>;

struct TTrader {
  std::string id, name;
  bool client;
  const char* opening;
};
struct TGoods {
  std::string id, code, name, spec;
};
const TTrader kTraders[] = {
    {"301", "东方商行", true, "120.50"},   {"302", "50%商店", true, "0"},
    {"303", "500商店", true, "-10.25"},    {"304", "it's 小店", true, "0"},
    {"311", "西城批发", false, "300.00"},  {"312", "50% 折扣行", false, "0"},
    {"313", "500 折扣行", false, "45.45"}, {"314", "O'Neil_批发", false, "0"}};
const TGoods kGoods[] = {{"601", "A-01", "螺丝", "M3"},
                         {"602", "B_02", "50%酒精", "500ml"},
                         {"603", "B702", "500克糖", "袋"},
                         {"604", "C'04", "垫圈", ""}};

// A goods-bill kind: its table, whose traders it names, how its lines move stock and debt.
struct TKind {
  const char* table;
  const char* prefix;
  int side;        // 1 clients, -1 vendors, 0 none
  int stockSign;   // when it moves stock
  bool storeFlag;  // stock moves only with IsStoreIO 'True'
  int debtSign;
};
const TKind kKinds[] = {
    {"tb_pur_order", "PO", -1, 0, false, 0}, {"tb_pur_purchase", "PC", -1, 1, true, 1},
    {"tb_pur_back", "PB", -1, -1, true, -1}, {"tb_sal_order", "SO", 1, 0, false, 0},
    {"tb_sal_sale", "SS", 1, -1, true, 1},   {"tb_sal_back", "SB", 1, 1, true, -1},
    {"tb_sto_in", "SI", 0, 1, false, 0},     {"tb_sto_out", "SX", 0, -1, false, 0}};
const char* const kDates[] = {"2024-01-20", "2024-02-01", "2024-02-15", "2024-02-29", "2024-03-01"};

struct TLine {
  const TKind* kind;
  std::string bid, bcode, date, trader, goods;
  Decimal qty, price, amount;
  bool movesStock;
};
struct TMovement {  // what a bill moves of a trader's debt
  std::string bid, trader, date, billName;
  Decimal amount;  // signed
};
struct TCash {
  std::string date, category, account;
  int direction;
  Decimal amount;
};

bool inRange(const std::string& d) {
  return d >= kStart && d <= kEnd;
}
bool contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}
std::string num(const Decimal& d, int scale) {
  return d.rescaled(scale).toString();
}
std::string cell(ClientDataSet& ds, const char* field, int scale = -1) {
  const Field& f = ds.FieldByName(field);
  if (f.IsNull()) return "";
  return scale < 0 ? f.AsString() : num(f.AsDecimal(), scale);
}
const TTrader& trader(const std::string& id) {
  for (const TTrader& t : kTraders)
    if (t.id == id) return t;
  throw std::logic_error("no trader " + id);
}
const TGoods& goods(const std::string& id) {
  for (const TGoods& g : kGoods)
    if (g.id == id) return g;
  throw std::logic_error("no goods " + id);
}
// Lines of a detail report come ordered by bill code; lines of one bill in any order.
Lines sortRuns(Lines rows) {
  auto isLine = [](const std::string& r) { return r.rfind("L|", 0) == 0; };
  for (auto it = rows.begin(); it != rows.end();) {
    auto end = std::find_if_not(it, rows.end(), isLine);
    std::sort(it, end);
    it = end == it ? it + 1 : end;
  }
  return rows;
}

class ReportsE2E : public test::OwnerSetFixture {
 protected:
  void SetUp() override {
    OwnerSetFixture::SetUp();
    for (const TTrader& t : kTraders) {
      run("insert into td_trader (Id,Name,IsClient) values ('" + t.id + "'," + quotedStr(t.name) +
          ",'" + (t.client ? "True" : "False") + "')");
      run("update ts_traderbalancedetailflow set IOAmount=" + std::string(t.opening) +
          " where TraderID='" + t.id + "' and Bid='-99'");
    }
    for (const TGoods& g : kGoods)
      run("insert into td_goods (Id,Code,Name,Spec) values ('" + g.id + "'," + quotedStr(g.code) +
          "," + quotedStr(g.name) + "," + quotedStr(g.spec) + ")");
    run("insert into td_account (Id,Name) values ('401','现金')");
    run("insert into td_account (Id,Name) values ('402','50%银行')");
    run("insert into td_accountiotype (Id,Name,IODirect) values ('501','利息',1)");
    run("insert into td_accountiotype (Id,Name,IODirect) values ('502','50%返利',1)");
    run("insert into td_accountiotype (Id,Name,IODirect) values ('503','房租',-1)");
    insertBills();
  }

  void run(const std::string& sql) {
    ASSERT_EQ(doServerMethods().doUserDBDataBySql(set, sql), "0") << sql;
  }

  std::string nextBid() { return std::to_string(900000000000 + ++bidSeq_); }

  void insertBills() {
    int seq = 0;
    for (const TKind& k : kKinds) {
      std::vector<std::string> sideTraders;
      for (const TTrader& t : kTraders)
        if (k.side != 0 && t.client == (k.side == 1)) sideTraders.push_back(t.id);
      if (k.side == 0) sideTraders.push_back("");
      for (const char* date : kDates) {
        for (std::size_t ti = 0; ti < sideTraders.size(); ++ti) {
          ++seq;
          const std::string bid = nextBid();
          const std::string bcode = std::string(k.prefix) + date + "-" + std::to_string(seq);
          // Every fifth stock-flagged bill does not move its stock itself.
          const bool storeIO = !k.storeFlag || seq % 5 != 0;
          std::string cols = "Bid,BDate,BCode",
                      vals = "'" + bid + "','" + date + "','" + bcode + "'";
          if (k.side != 0) {
            cols += ",TraderID";
            vals += ",'" + sideTraders[ti] + "'";
          }
          if (k.storeFlag) {
            cols += ",IsStoreIO";
            vals += storeIO ? ",'True'" : ",'False'";
          }
          run(std::string("insert into ") + k.table + " (" + cols + ") values (" + vals + ")");
          Decimal billAmount;
          const bool priced = k.side != 0;  // stock bills carry no prices
          std::string values;
          for (int bno = 1; bno <= 2; ++bno) {
            TLine l{&k,
                    bid,
                    bcode,
                    date,
                    sideTraders[ti],
                    kGoods[(seq + bno) % std::size(kGoods)].id,
                    Decimal::parse(std::to_string(seq % 7 + bno) + ".5"),
                    Decimal::parse(std::to_string(seq % 11 + 1) + ".33"),
                    Decimal(),
                    false};
            l.amount = (l.qty * l.price).rescaled(2);
            l.movesStock = k.stockSign != 0 && storeIO;
            values += std::string(values.empty() ? "" : ",") + "('" + bid + "'," +
                      std::to_string(bno) + ",'" + l.goods + "'," + l.qty.toString() +
                      (priced ? "," + l.price.toString() + "," + l.amount.toString() : "") + ")";
            billAmount = billAmount + l.amount;
            lines.push_back(l);
          }
          run(std::string("insert into ") + k.table + "_d (Bid,BNo,GoodsID,Qty" +
              (priced ? ",Price,Amount" : "") + ") values " + values);
          if (k.debtSign != 0)
            moves.push_back({bid, sideTraders[ti], date, billName(k.table),
                             k.debtSign > 0 ? billAmount : -billAmount});
        }
      }
    }
    // Receipts and payments: the money and the amount written off lower the debt.
    for (const TTrader& t : kTraders) {
      for (const char* date : {"2024-01-25", "2024-02-10"}) {
        const std::string bid = nextBid();
        const Decimal money = Decimal::parse("33.10"), trim = Decimal::parse("0.05");
        run(std::string("insert into ") + (t.client ? "tb_bal_gathering" : "tb_bal_payment") +
            " (Bid,BDate,BCode,TraderID,AccountId,AccAmt,TrimAmt) values ('" + bid + "','" + date +
            "','" + (t.client ? "GA" : "PA") + bid + "','" + t.id + "','401'," + money.toString() +
            "," + trim.toString() + ")");
        moves.push_back({bid, t.id, date, t.client ? "收款单" : "付款单", -(money + trim)});
      }
    }
    // Incomes and expenses; one names a category that is gone (listed, not in the total).
    const TCash cash[] = {{"2024-01-31", "501", "401", 1, Decimal::parse("10.10")},
                          {"2024-02-03", "501", "401", 1, Decimal::parse("20.20")},
                          {"2024-02-03", "502", "402", 1, Decimal::parse("0.30")},
                          {"2024-02-20", "599", "401", 1, Decimal::parse("7.00")},
                          {"2024-02-29", "502", "401", 1, Decimal::parse("99999999.99")},
                          {"2024-02-05", "503", "402", -1, Decimal::parse("1500.00")},
                          {"2024-02-28", "503", "401", -1, Decimal::parse("0.01")},
                          {"2024-03-01", "503", "401", -1, Decimal::parse("8.00")}};
    for (const TCash& c : cash) {
      run("insert into tb_acc_io (Bid,BDate,BIoDirect,AccountId,AccIoTypeID,AccAmt) values ('" +
          nextBid() + "','" + c.date + "'," + std::to_string(c.direction) + ",'" + c.account +
          "','" + c.category + "'," + c.amount.toString() + ")");
      cashRows.push_back(c);
    }
  }

  static std::string billName(const std::string& table) {
    static const std::map<std::string, std::string> names = {{"tb_pur_purchase", "采购收货单"},
                                                             {"tb_pur_back", "采购退货单"},
                                                             {"tb_sal_sale", "销售发货单"},
                                                             {"tb_sal_back", "销售退货单"}};
    return names.at(table);
  }

  // Opens a report, runs it for February with a find choice and value, and saves a picture.
  std::unique_ptr<TfrmBaseReportForm> report(const char* name, int find = 0,
                                             const std::string& value = "",
                                             const std::string& start = kStart) {
    auto w = test::createWindow<TfrmBaseReportForm>(kPkg, name);
    if (!w) return w;
    test::showSettled(*w);
    w->edtStartDate->setText(QString::fromStdString(start));
    w->edtEndDate->setText(QString::fromStdString(kEnd));
    w->cbbFiterName->setCurrentIndex(find);
    w->edtFilterValue->setText(QString::fromStdString(value));
    w->actMakeReport->trigger();
    EXPECT_EQ(host.ui().messages.join("|").toStdString(), "");
    if (find == 0 && start == kStart) test::saveShot(*w, QString::fromLatin1(name).section('.', 1));
    return w;
  }

  std::vector<TLine> lines;
  std::vector<TMovement> moves;
  std::vector<TCash> cashRows;
  test::HostFixture host;

 private:
  int bidSeq_ = 0;
};

// ---- trade summaries and details ---------------------------------------------------------------

struct TTradeRow {
  const char* summary;
  const char* detail;
  const char* table;
  const char* find;  // a trader-name fragment with wildcards or a quote
};

class TradeReports : public ReportsE2E, public ::testing::WithParamInterface<TTradeRow> {};

TEST_P(TradeReports, SummaryTotalsAndDetailBlocksMatchTheBills) {
  const TTradeRow& r = GetParam();
  for (const std::string& find : {std::string(), std::string(r.find)}) {
    SCOPED_TRACE("find '" + find + "'");
    // What the bills say, per trader, for February and the find value.
    std::map<std::string, std::pair<Decimal, Decimal>> perTrader;  // id -> qty, amount
    std::map<std::string, Lines> blocks;
    std::set<std::string> billTraders;
    Decimal total;
    for (const TLine& l : lines) {
      if (l.kind->table != std::string(r.table) || !inRange(l.date)) continue;
      if (!contains(trader(l.trader).name, find)) continue;
      billTraders.insert(l.trader);
      auto& [qty, amount] = perTrader[l.trader];
      qty = qty + l.qty;
      amount = amount + l.amount;
      total = total + l.amount;
      const TGoods& g = goods(l.goods);
      blocks[l.trader].push_back("L|" + l.bcode + "|" + g.code + "|" + num(l.qty, 4) + "|" +
                                 num(l.amount, 2));
    }
    Lines summary, detail;
    for (const auto& [id, sums] : perTrader)
      summary.push_back(trader(id).name + "|" + num(sums.first, 4) + "|" + num(sums.second, 2));
    for (const std::string& id : billTraders) {  // ordered by id, as the report
      detail.push_back("H|" + trader(id).name);
      Lines& b = blocks[id];
      std::sort(b.begin(), b.end());
      detail.insert(detail.end(), b.begin(), b.end());
      detail.push_back("S|" + num(perTrader[id].first, 4) + "|" + num(perTrader[id].second, 2));
      detail.push_back("E");
    }

    auto s = report(r.summary, find.empty() ? 0 : 1, find);
    ASSERT_NE(s, nullptr);
    Lines shown;
    for (s->cdsM.First(); !s->cdsM.Eof(); s->cdsM.Next())
      shown.push_back(cell(s->cdsM, "name") + "|" + cell(s->cdsM, "qty", 4) + "|" +
                      cell(s->cdsM, "amount", 2));
    std::sort(shown.begin(), shown.end());
    std::sort(summary.begin(), summary.end());
    EXPECT_EQ(shown, summary);
    EXPECT_EQ(s->lblTotalNum->text().toStdString(), perTrader.empty() ? "" : num(total, 2));

    auto d = report(r.detail, find.empty() ? 0 : 1, find);
    ASSERT_NE(d, nullptr);
    Lines rows;
    for (d->cdsM.First(); !d->cdsM.Eof(); d->cdsM.Next()) {
      const std::string sort = cell(d->cdsM, "sortID");
      if (sort == "-1")
        rows.push_back("H|" + cell(d->cdsM, "BCode"));
      else if (sort == "1")
        rows.push_back("L|" + cell(d->cdsM, "BCode") + "|" + cell(d->cdsM, "Code") + "|" +
                       cell(d->cdsM, "Qty", 4) + "|" + cell(d->cdsM, "Amount", 2));
      else if (sort == "999998")
        rows.push_back("S|" + cell(d->cdsM, "Qty", 4) + "|" + cell(d->cdsM, "Amount", 2));
      else
        rows.push_back("E");
    }
    EXPECT_EQ(sortRuns(rows), detail);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Reports, TradeReports,
    ::testing::Values(TTradeRow{"uReport_PurOrderM.TfrmRptPurOrderM",
                                "uReport_PurOrderD.TfrmRptPurOrderD", "tb_pur_order", "50%"},
                      TTradeRow{"uReport_PurchaseM.TfrmRptPurchaseM",
                                "uReport_PurchaseD.TfrmRptPurchaseD", "tb_pur_purchase", "O'Neil_"},
                      TTradeRow{"uReport_PurBackM.TfrmRptPurBackM",
                                "uReport_PurBackD.TfrmRptPurBackD", "tb_pur_back", "_"},
                      TTradeRow{"uReport_SalOrderM.TfrmRptSalOrderM",
                                "uReport_SalOrderD.TfrmRptSalOrderD", "tb_sal_order", "it's"},
                      TTradeRow{"uReport_SaleM.TfrmRptSaleM", "uReport_SaleD.TfrmRptSaleD",
                                "tb_sal_sale", "50%"},
                      TTradeRow{"uReport_SalBackM.TfrmRptSalBackM",
                                "uReport_SalBackD.TfrmRptSalBackD", "tb_sal_back", "%"}),
    [](const auto& row) { return std::string(row.param.table); });

// ---- stock -------------------------------------------------------------------------------------

struct TStockRow {
  const char* name;
  int find;  // 1 code, 2 name, 3 spec
  const char* value;
  const char* start = "2024-02-01";  // a start inside a month splits the opening stock
};

class StockReports : public ReportsE2E, public ::testing::WithParamInterface<TStockRow> {};

TEST_P(StockReports, OpeningInOutClosingAndMovementsMatchTheBills) {
  const TStockRow& r = GetParam();
  const std::string value = r.value;
  const std::string start = r.start;
  auto wanted = [&](const TGoods& g) {
    const std::string& field = r.find == 1 ? g.code : r.find == 2 ? g.name : g.spec;
    return r.find == 0 || contains(field, value);
  };
  struct TSums {
    bool before = false, in = false, out = false, period = false;
    Decimal init, inQty, outQty, net;
    Lines lines;
  };
  std::map<std::string, TSums> sums;
  for (const TLine& l : lines) {
    if (!l.movesStock || l.date > kEnd || !wanted(goods(l.goods))) continue;
    TSums& s = sums[l.goods];
    const Decimal signedQty = l.kind->stockSign > 0 ? l.qty : -l.qty;
    if (l.date < start) {
      s.before = true;
      s.init = s.init + signedQty;
      continue;
    }
    s.period = true;
    (l.kind->stockSign > 0 ? s.in : s.out) = true;
    (l.kind->stockSign > 0 ? s.inQty : s.outQty) =
        (l.kind->stockSign > 0 ? s.inQty : s.outQty) + l.qty;
    s.net = s.net + signedQty;
    s.lines.push_back("L|" + l.bcode + "|" + (l.kind->stockSign > 0 ? "入库" : "出库") + "|" +
                      num(signedQty, 4));
  }
  Lines summary, detail;
  for (auto& [id, s] : sums) {
    const TGoods& g = goods(id);
    summary.push_back(g.code + "|" + (s.before ? num(s.init, 4) : "") + "|" +
                      (s.in ? num(s.inQty, 4) : "") + "|" + (s.out ? num(s.outQty, 4) : "") + "|" +
                      num(s.init + s.inQty - s.outQty, 4));
    if (!s.period) continue;
    detail.push_back("H|『" + g.code + ":" + g.name + "_" + g.spec + " 』");
    std::sort(s.lines.begin(), s.lines.end());
    detail.insert(detail.end(), s.lines.begin(), s.lines.end());
    detail.push_back("S|" + num(s.net, 4));
    detail.push_back("E");
  }

  auto m = report("uReport_StoreFlowM.TfrmRptStoreFlowM", r.find, value, start);
  ASSERT_NE(m, nullptr);
  Lines shown;
  for (m->cdsM.First(); !m->cdsM.Eof(); m->cdsM.Next())
    shown.push_back(cell(m->cdsM, "goodscode") + "|" + cell(m->cdsM, "InitQty", 4) + "|" +
                    cell(m->cdsM, "InQty", 4) + "|" + cell(m->cdsM, "OutQty", 4) + "|" +
                    cell(m->cdsM, "BalanceQty", 4));
  std::sort(shown.begin(), shown.end());
  std::sort(summary.begin(), summary.end());
  EXPECT_EQ(shown, summary);

  auto d = report("uReport_StoreFlowD.TfrmRptStoreFlowD", r.find, value, start);
  ASSERT_NE(d, nullptr);
  Lines rows;
  for (d->cdsM.First(); !d->cdsM.Eof(); d->cdsM.Next()) {
    const std::string sort = cell(d->cdsM, "sortID");
    if (sort == "-1")
      rows.push_back("H|" + cell(d->cdsM, "bcode"));
    else if (sort == "1")
      rows.push_back("L|" + cell(d->cdsM, "bcode") + "|" + cell(d->cdsM, "ioDirect") + "|" +
                     cell(d->cdsM, "Qty", 4));
    else if (sort == "999998")
      rows.push_back("S|" + cell(d->cdsM, "Qty", 4));
    else
      rows.push_back("E");
  }
  EXPECT_EQ(sortRuns(rows), detail);
}

INSTANTIATE_TEST_SUITE_P(Reports, StockReports,
                         ::testing::Values(TStockRow{"all", 0, ""},
                                           TStockRow{"code_underscore", 1, "B_"},
                                           TStockRow{"name_percent", 2, "50%"},
                                           TStockRow{"code_quote", 1, "C'0"},
                                           TStockRow{"spec_nothing", 3, "no such"},
                                           TStockRow{"from_mid_month", 0, "", "2024-02-10"},
                                           TStockRow{"from_month_end", 0, "", "2024-02-29"},
                                           TStockRow{"code_from_mid_month", 1, "B", "2024-02-16"}),
                         [](const auto& row) { return std::string(row.param.name); });

// ---- receivables and payables ------------------------------------------------------------------

struct TFlowRow {
  const char* name;
  const char* window;
  bool clients;
  const char* find;
  const char* start = "2024-02-01";  // a start inside a month splits the opening balance
};

class FlowReports : public ReportsE2E, public ::testing::WithParamInterface<TFlowRow> {};

TEST_P(FlowReports, OpeningAndRunningBalancesMatchTheBills) {
  const TFlowRow& r = GetParam();
  const std::string find = r.find;
  const std::string start = r.start;
  Lines expected;
  for (const TTrader& t : kTraders) {  // ordered by id
    if (t.client != r.clients || !contains(t.name, find)) continue;
    Decimal balance = Decimal::parse(t.opening);
    std::vector<const TMovement*> period;
    for (const TMovement& m : moves) {
      if (m.trader != t.id || m.date > kEnd) continue;
      if (m.date < start)
        balance = balance + m.amount;
      else
        period.push_back(&m);
    }
    std::sort(period.begin(), period.end(),
              [](const TMovement* a, const TMovement* b) { return a->bid < b->bid; });
    expected.push_back("H|" + t.name + "|" + num(balance, 2));
    for (const TMovement* m : period) {
      balance = balance + m->amount;
      expected.push_back("M|" + m->billName + "|" + num(m->amount, 2) + "|" + num(balance, 2));
    }
    expected.push_back("E");
  }

  auto w = report(r.window, find.empty() ? 0 : 1, find, start);
  ASSERT_NE(w, nullptr);
  Lines rows;
  for (w->cdsM.First(); !w->cdsM.Eof(); w->cdsM.Next()) {
    const std::string sort = cell(w->cdsM, "sortID");
    if (sort == "-1")
      rows.push_back("H|" + cell(w->cdsM, "bcode") + "|" + cell(w->cdsM, "balance", 2));
    else if (sort == "1")
      rows.push_back("M|" + cell(w->cdsM, "billName") + "|" + cell(w->cdsM, "IOAmount", 2) + "|" +
                     cell(w->cdsM, "balance", 2));
    else
      rows.push_back("E");
  }
  EXPECT_EQ(rows, expected);
}

INSTANTIATE_TEST_SUITE_P(
    Reports, FlowReports,
    ::testing::Values(
        TFlowRow{"clients", "uReport_BalGatheringflow.TfrmRptBalGatheringflow", true, ""},
        TFlowRow{"clients_quote", "uReport_BalGatheringflow.TfrmRptBalGatheringflow", true, "it's"},
        TFlowRow{"clients_percent", "uReport_BalGatheringflow.TfrmRptBalGatheringflow", true,
                 "50%"},
        TFlowRow{"vendors", "uReport_BalPaymentflow.TfrmRptBalPaymentflow", false, ""},
        TFlowRow{"vendors_underscore", "uReport_BalPaymentflow.TfrmRptBalPaymentflow", false, "_"},
        TFlowRow{"clients_from_mid_month", "uReport_BalGatheringflow.TfrmRptBalGatheringflow", true,
                 "", "2024-02-10"},
        TFlowRow{"vendors_from_month_end", "uReport_BalPaymentflow.TfrmRptBalPaymentflow", false,
                 "", "2024-02-29"}),
    [](const auto& row) { return std::string(row.param.name); });

// ---- incomes and expenses ----------------------------------------------------------------------

struct TCashRow {
  const char* name;
  const char* window;
  int direction;
  int find;  // 1 category, 2 account
  const char* value;
};

class CashReports : public ReportsE2E, public ::testing::WithParamInterface<TCashRow> {};

TEST_P(CashReports, RowsAndTotalMatchTheRecords) {
  const TCashRow& r = GetParam();
  const std::map<std::string, std::string> categories = {
      {"501", "利息"}, {"502", "50%返利"}, {"503", "房租"}};
  const std::map<std::string, std::string> accounts = {{"401", "现金"}, {"402", "50%银行"}};
  Lines expected;
  Decimal total;
  bool any = false;
  for (const TCash& c : cashRows) {
    if (c.direction != r.direction || !inRange(c.date)) continue;
    const auto cat = categories.find(c.category);
    const std::string catName = cat == categories.end() ? "" : cat->second;
    const std::string accName = accounts.at(c.account);
    if (r.find == 1 && !contains(catName, r.value)) continue;
    if (r.find == 2 && !contains(accName, r.value)) continue;
    expected.push_back(c.date + "|" + catName + "|" + accName + "|" + num(c.amount, 2));
    if (cat != categories.end()) {  // the total joins the category
      total = total + c.amount;
      any = true;
    }
  }
  auto w = report(r.window, r.find, r.value);
  ASSERT_NE(w, nullptr);
  Lines rows;
  std::string lastDate;
  for (w->cdsM.First(); !w->cdsM.Eof(); w->cdsM.Next()) {
    const std::string date = cell(w->cdsM, "BDate");
    EXPECT_LE(lastDate, date);  // by date
    lastDate = date;
    rows.push_back(date + "|" + cell(w->cdsM, "AccIoTypeName") + "|" + cell(w->cdsM, "AccName") +
                   "|" + cell(w->cdsM, "AccAmt", 2));
  }
  std::sort(rows.begin(), rows.end());
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(rows, expected);
  EXPECT_EQ(w->lblTotalNum->text().toStdString(), any ? num(total, 2) : "");
}

INSTANTIATE_TEST_SUITE_P(
    Reports, CashReports,
    ::testing::Values(TCashRow{"incomes", "uReport_CashInFlow.TfrmRptCashInflow", 1, 0, ""},
                      TCashRow{"incomes_category_percent", "uReport_CashInFlow.TfrmRptCashInflow",
                               1, 1, "50%"},
                      TCashRow{"expenses", "uReport_CashOutFlow.TfrmRptCashOutFlow", -1, 0, ""},
                      TCashRow{"expenses_account_percent", "uReport_CashOutFlow.TfrmRptCashOutFlow",
                               -1, 2, "50%"}),
    [](const auto& row) { return std::string(row.param.name); });

TEST_F(ReportsE2E, EmptyRangeShowsNothingAndAnEmptyTotal) {
  auto w = test::createWindow<TfrmBaseReportForm>(kPkg, "uReport_SaleM.TfrmRptSaleM");
  ASSERT_NE(w, nullptr);
  w->edtStartDate->setText("1999-01-01");
  w->edtEndDate->setText("1999-12-31");
  w->actMakeReport->trigger();
  w->actMakeReport->trigger();  // twice: the same answer
  EXPECT_TRUE(host.ui().messages.isEmpty());
  EXPECT_EQ(w->cdsM.RecordCount(), 0);
  EXPECT_EQ(w->lblTotalNum->text(), "");
}

}  // namespace
