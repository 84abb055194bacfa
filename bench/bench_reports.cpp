// The report windows on books of years of bills: every report for the last month through the
// real service (the window opened, run and closed as the user does; and the report alone, run
// again on a window left open) against its statements run directly on MariaDB (Connector/C,
// every row fetched), and the stock summary and receivable flow on a long
// history against a short one (the cost should follow the period, not the history).
//
// Two account sets are generated with set-based statements (the triggers keep movements and
// balances as for bills saved one by one): 50 bills a day across the eight goods bills, five
// lines each, plus receipts, payments, incomes and expenses; one of 3 years and one of
// VLT_BENCH_REPORT_YEARS years (30 by default; a smaller number gives a shorter run, and the
// figures say which; 3 makes only the 3-year set, for the window figures alone).
// VLT_BENCH_REPORT_THIN=n makes both sets with one n-th of the bills a day, for a quicker
// comparison of the two (the ratio of history to period stays).
//
// VLT_BENCH_REPORT_ONLY=text limits the ratio table to the reports whose class names hold it.
// The long-history figure is timed last, in alternation, whatever the filters; for it alone:
//   VLT_BENCH_REPORT_ONLY=- vlt-bench-reports --benchmark_filter=-
//
// Run: build/release/bench/vlt-bench-reports (offscreen; starts its own private MariaDB, or uses
// the one in VLT_BENCH_DB_FOLDER).

#include <benchmark/benchmark.h>
#include <httplib.h>
#include <mysql.h>

#include <QApplication>
#include <QComboBox>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "benchdb.h"
#include "benchserved.h"
#include "http.h"
#include "service.h"
#include "uBaseReportForm.h"
#include "vlt/heap.h"
#include "vlt/host.h"
#include "vlt/servermethods.h"

using vlt::server::Connection;
using vlt::server::DbEndpoint;

namespace {

const std::string kPassword = "bench owner pw";
const char* const kLastDay = "2025-12-31";
const char* const kMonthStart = "2025-12-01";

const char* const kReports[] = {"uReport_PurOrderM.TfrmRptPurOrderM",
                                "uReport_PurOrderD.TfrmRptPurOrderD",
                                "uReport_PurchaseM.TfrmRptPurchaseM",
                                "uReport_PurchaseD.TfrmRptPurchaseD",
                                "uReport_PurBackM.TfrmRptPurBackM",
                                "uReport_PurBackD.TfrmRptPurBackD",
                                "uReport_SalOrderM.TfrmRptSalOrderM",
                                "uReport_SalOrderD.TfrmRptSalOrderD",
                                "uReport_SaleM.TfrmRptSaleM",
                                "uReport_SaleD.TfrmRptSaleD",
                                "uReport_SalBackM.TfrmRptSalBackM",
                                "uReport_SalBackD.TfrmRptSalBackD",
                                "uReport_StoreFlowM.TfrmRptStoreFlowM",
                                "uReport_StoreFlowD.TfrmRptStoreFlowD",
                                "uReport_BalGatheringflow.TfrmRptBalGatheringflow",
                                "uReport_BalPaymentflow.TfrmRptBalPaymentflow",
                                "uReport_CashInFlow.TfrmRptCashInflow",
                                "uReport_CashOutFlow.TfrmRptCashOutFlow"};

// The proxy the windows use, keeping the statements they send.
class RecordingProxy : public vlt::TServerMethodsClient {
 public:
  using vlt::TServerMethodsClient::TServerMethodsClient;
  vlt::Packet GetUserDBDataBySql(const std::string& db, const std::string& sql) override {
    sent.push_back(sql);
    return vlt::TServerMethodsClient::GetUserDBDataBySql(db, sql);
  }
  std::future<vlt::Packet> GetUserDBDataBySqlAside(const std::string& db,
                                                   const std::string& sql) override {
    sent.push_back(sql);
    return vlt::TServerMethodsClient::GetUserDBDataBySqlAside(db, sql);
  }
  std::vector<std::string> sent;
};

struct Fixture : vlt::bench::BenchDatabase {
  vlt::server::HttpServer http{8};  // the service's own HTTP server
  std::thread httpThread;
  std::string owner;
  std::map<int, std::string> sets;  // years -> account set
  RecordingProxy* proxy = nullptr;
};
Fixture* fx = nullptr;

// One goods-bill kind and how many of the day's 50 bills it gets.
struct TKind {
  const char* table;
  const char* prefix;
  int side;  // 1 clients, -1 vendors, 0 none
  bool storeFlag;
  int perDay;
};
const TKind kKinds[] = {
    {"tb_pur_order", "PO", -1, false, 6}, {"tb_pur_purchase", "PC", -1, true, 7},
    {"tb_pur_back", "PB", -1, true, 6},   {"tb_sal_order", "SO", 1, false, 6},
    {"tb_sal_sale", "SS", 1, true, 7},    {"tb_sal_back", "SB", 1, true, 6},
    {"tb_sto_in", "SI", 0, false, 6},     {"tb_sto_out", "SX", 0, false, 6}};

// One n-th of the day's bills (VLT_BENCH_REPORT_THIN), 1 for the full mix.
long thin() {
  const char* given = std::getenv("VLT_BENCH_REPORT_THIN");
  return given && std::atol(given) > 1 ? std::atol(given) : 1;
}

// The date of the seq-th of perDay bills a day, thinned.
std::string billDate(const std::string& first, int perDay) {
  return "DATE_ADD(" + first + ", INTERVAL FLOOR((seq-1)*" + std::to_string(thin()) + "/" +
         std::to_string(perDay) + ") DAY)";
}

void generate(Connection& db, int years) {
  const long days = 365L * years;
  const auto t0 = std::chrono::steady_clock::now();
  for (int i = 1; i <= 20; ++i) {
    db.execute("INSERT INTO td_trader (Id,Name,IsClient) VALUES ('" + std::to_string(1000 + i) +
               "','供货商" + std::to_string(i) + "','False')");
    db.execute("INSERT INTO td_trader (Id,Name,IsClient) VALUES ('" + std::to_string(2000 + i) +
               "','客户" + std::to_string(i) + "','True')");
  }
  db.execute(
      "INSERT INTO td_goods (Id,Code,Name,Spec) SELECT 3000+seq, CONCAT('G',seq), "
      "CONCAT('货品',seq), 'S' FROM seq_1_to_200");
  db.execute("INSERT INTO td_account (Id,Name) VALUES ('401','现金')");
  db.execute("INSERT INTO td_accountiotype (Id,Name,IODirect) VALUES ('501','利息',1)");
  db.execute("INSERT INTO td_accountiotype (Id,Name,IODirect) VALUES ('502','房租',-1)");
  long base = 100000000000L;
  const std::string first =
      "DATE_SUB('" + std::string(kLastDay) + "', INTERVAL " + std::to_string(days - 1) + " DAY)";
  for (const TKind& k : kKinds) {
    const long count = days * k.perDay / thin();
    const std::string n = std::to_string(count);
    std::string cols = "Bid,BDate,BCode", sel = "CAST(" + std::to_string(base) + "+seq AS CHAR), " +
                                                billDate(first, k.perDay) + ", CONCAT('" +
                                                k.prefix + "'," + std::to_string(base) + "+seq)";
    if (k.side != 0) {
      cols += ",TraderID";
      sel += std::string(",CAST(") + (k.side > 0 ? "2001" : "1001") + "+seq%20 AS CHAR)";
    }
    if (k.storeFlag) {
      cols += ",IsStoreIO";
      sel += ",'True'";
    }
    db.execute(std::string("INSERT INTO ") + k.table + " (" + cols + ") SELECT " + sel +
               " FROM seq_1_to_" + n);
    const bool priced = k.side != 0;
    // Lines from the sequence alone: their triggers change the bill, which a select from the
    // bill table in the same statement would forbid.
    const std::string b = std::to_string(base);
    db.execute(std::string("INSERT INTO ") + k.table + "_d (Bid,BNo,GoodsID,Qty" +
               (priced ? ",Price,Amount" : "") + ") SELECT CAST(" + b +
               "+(seq-1) DIV 5+1 AS CHAR), (seq-1)%5+1, CAST(3001+seq%200 AS CHAR), 1+seq%5" +
               (priced ? ", 2.50, (1+seq%5)*2.50" : "") + " FROM seq_1_to_" +
               std::to_string(count * 5));
    base += count + 1;
  }
  // Receipts and payments (one of each a day per five traders), incomes and expenses.
  for (const char* table : {"tb_bal_gathering", "tb_bal_payment"}) {
    const bool clients = std::string(table) == "tb_bal_gathering";
    db.execute(std::string("INSERT INTO ") + table +
               " (Bid,BDate,BCode,TraderID,AccountId,AccAmt,TrimAmt) SELECT CAST(" +
               std::to_string(base) + "+seq AS CHAR), " + billDate(first, 4) + ", CONCAT('" +
               (clients ? "GA" : "PA") + "'," + std::to_string(base) + "+seq), CAST(" +
               (clients ? "2001" : "1001") + "+seq%20 AS CHAR), '401', 10.00, 0 FROM seq_1_to_" +
               std::to_string(days * 4 / thin()));
    base += days * 4 / thin() + 1;
  }
  db.execute(
      "INSERT INTO tb_acc_io (Bid,BDate,BIoDirect,AccountId,AccIoTypeID,AccAmt) SELECT "
      "CAST(" +
      std::to_string(base) + "+seq AS CHAR), " + billDate(first, 4) +
      ", IF(seq%2=0,1,-1), '401', IF(seq%2=0,'501','502'), 12.34 FROM seq_1_to_" +
      std::to_string(days * 4 / thin()));
  const double secs = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  std::printf("%d years of bills (one %ld-th of the daily mix) generated in %.0f s\n", years,
              thin(), secs);
  std::fflush(stdout);
}

void setUp(Fixture& f, int longYears) {
  f.start("vlt-bench-reports", 'r');
  f.owner = f.service->CreateUser("店主", kPassword);
  int n = 1;
  for (int years : {3, longYears}) {
    if (f.sets.count(years)) continue;
    const std::string set = f.owner + "_0" + std::to_string(n++);
    if (f.service->CreateUserDB({f.owner, "127.0.0.1"}, f.owner, set, "基准帐套", "False") != "0")
      throw vlt::Error("creating the account set failed");
    DbEndpoint e = f.root;
    e.database = f.prefix + "_" + set;
    auto db = Connection::open(e);
    generate(*db, years);
    vlt::bench::BenchDatabase::settle(*db);
    f.sets[years] = set;
  }
  vlt::server::mountApi(f.http, *f.service);
  const int port = vlt::server::bindServer(f.http, "127.0.0.1", 0);
  f.httpThread = std::thread([&f] { f.http.listen_after_bind(); });
  while (!f.http.is_running())
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  auto proxy = std::make_unique<RecordingProxy>("http://127.0.0.1:" + std::to_string(port));
  if (!proxy->CheckLoginUser(f.owner, kPassword)) throw vlt::Error("the owner cannot sign in");
  f.proxy = proxy.get();
  vlt::host::SetServerMethods(std::move(proxy));
  vlt::host::CurUserInfo().UserID = f.owner;
}

void tearDown(Fixture& f) {
  vlt::host::SetServerMethods(nullptr);
  if (f.httpThread.joinable()) {
    f.http.stop();
    f.httpThread.join();
  }
  f.stop("vlt-bench-reports");
}

std::unique_ptr<vlt::host::TForm> openWindow(const char* report, const std::string& set) {
  vlt::host::CurUserInfo().UserDBID = set;
  std::unique_ptr<vlt::host::TForm> form(
      vlt::host::CreateRttiForm("VltBusiness.bpl", report, nullptr));
  auto* w = qobject_cast<TfrmBaseReportForm*>(form.get());
  if (!w) throw vlt::Error(std::string("no report ") + report);
  w->edtStartDate->setText(kMonthStart);
  w->edtEndDate->setText(kLastDay);
  return form;
}

// "生成报表" on an open window for the last month; the statements it sent.
std::vector<std::string> makeReport(vlt::host::TForm& form) {
  fx->proxy->sent.clear();
  static_cast<TfrmBaseReportForm&>(form).actMakeReport->trigger();
  return fx->proxy->sent;
}

// The report as the user runs it for the last month: opened, range typed, "生成报表".
std::vector<std::string> runWindow(const char* report, const std::string& set) {
  return makeReport(*openWindow(report, set));
}

void BM_Window(benchmark::State& state, const char* report, int years) {
  const std::string set = fx->sets.at(years);
  for (auto _ : state)
    benchmark::DoNotOptimize(runWindow(report, set));
}

// Only the report, on a window opened once (as a user runs it again for another range).
void BM_Report(benchmark::State& state, const char* report, int years) {
  const std::string set = fx->sets.at(years);
  const std::unique_ptr<vlt::host::TForm> form = openWindow(report, set);
  for (auto _ : state)
    benchmark::DoNotOptimize(makeReport(*form));
}

// A report's statements (as its window sends them) run directly on MariaDB, every row fetched.
class DirectRun {
 public:
  DirectRun(const char* report, const std::string& set)
      : statements_(runWindow(report, set)), m_(mysql_init(nullptr)) {
    mysql_optionsv(m_, MYSQL_SET_CHARSET_NAME, "utf8mb4");
    const std::string dbName = fx->prefix + "_" + set;
    if (!mysql_real_connect(m_, nullptr, "root", "", dbName.c_str(), 0, fx->root.socket.c_str(), 0))
      throw vlt::Error(mysql_error(m_));
    mysql_query(m_, "SET SESSION sql_mode=CONCAT(@@sql_mode,',NO_BACKSLASH_ESCAPES')");
    mysql_query(m_, "SET SESSION sql_mode=REPLACE(@@sql_mode,'ONLY_FULL_GROUP_BY','')");
  }
  ~DirectRun() { mysql_close(m_); }
  DirectRun(const DirectRun&) = delete;
  DirectRun& operator=(const DirectRun&) = delete;

  void run() {
    for (const std::string& sql : statements_) {
      if (mysql_real_query(m_, sql.data(), sql.size()) != 0) throw vlt::Error(mysql_error(m_));
      MYSQL_RES* res = mysql_store_result(m_);
      while (MYSQL_ROW row = mysql_fetch_row(res))
        benchmark::DoNotOptimize(row);
      mysql_free_result(res);
    }
  }

 private:
  std::vector<std::string> statements_;
  MYSQL* m_;
};

void BM_Direct(benchmark::State& state, const char* report, int years) {
  try {
    DirectRun direct(report, fx->sets.at(years));
    for (auto _ : state)
      direct.run();
  } catch (const std::exception& e) {
    state.SkipWithError(e.what());
  }
}

// Work as a round of RunAlternating: its time in ms.
std::function<double()> timed(std::function<void()> work) {
  return [work = std::move(work)] {
    const auto start = std::chrono::steady_clock::now();
    work();
    return vlt::bench::msSince(start);
  };
}

// Window, report and direct run in alternation, round after round: medians in that order.
std::vector<double> alternating(const char* report, int rounds) {
  const std::string set = fx->sets.at(3);
  DirectRun direct(report, set);
  const std::unique_ptr<vlt::host::TForm> form = openWindow(report, set);
  return vlt::bench::RunAlternating(
      rounds, {timed([&] { runWindow(report, set); }), timed([&] { makeReport(*form); }),
               timed([&] { direct.run(); })});
}

// The report opened and run for the last month on the 3-year set and on the long history, in
// alternation round after round, so that both medians see the same machine: {3-year, long}.
std::vector<double> historyAlternating(const char* report, int longYears, int rounds) {
  const std::string shortSet = fx->sets.at(3), longSet = fx->sets.at(longYears);
  return vlt::bench::RunAlternating(rounds, {timed([=] { runWindow(report, shortSet); }),
                                             timed([=] { runWindow(report, longSet); })});
}

// Rounds of the ratio table (VLT_BENCH_REPORT_ROUNDS, 41 by default).
int rounds() {
  const char* given = std::getenv("VLT_BENCH_REPORT_ROUNDS");
  return given && std::atoi(given) > 0 ? std::atoi(given) : 41;
}

std::string unitClass(const char* report) {
  const std::string s = report;
  return s.substr(s.find('.') + 1);
}

}  // namespace

int main(int argc, char** argv) {
  vlt::KeepFreedMemory();  // as the client and the service do
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  const char* given = std::getenv("VLT_BENCH_REPORT_YEARS");
  const int longYears = given && std::atoi(given) >= 3 ? std::atoi(given) : 30;
  Fixture f;
  fx = &f;
  int rc = 0;
  try {
    setUp(f, longYears);
    for (const char* report : kReports) {
      const std::string name = unitClass(report);
      benchmark::RegisterBenchmark(("window/3y/" + name).c_str(), BM_Window, report, 3)
          ->Unit(benchmark::kMillisecond)
          ->UseRealTime()
          ->MinTime(0.5);
      benchmark::RegisterBenchmark(("report/3y/" + name).c_str(), BM_Report, report, 3)
          ->Unit(benchmark::kMillisecond)
          ->UseRealTime()
          ->MinTime(0.5);
      benchmark::RegisterBenchmark(("direct/3y/" + name).c_str(), BM_Direct, report, 3)
          ->Unit(benchmark::kMillisecond)
          ->UseRealTime()
          ->MinTime(0.5);
    }
    benchmark::RunSpecifiedBenchmarks();
    std::printf(
        "\nlast month, through the service / its statements on Connector/C (target <= 1.3);\n"
        "window: opened, run and closed; report: run on a window opened once; medians of %d "
        "rounds, the three in alternation:\n",
        rounds());
    std::fflush(stdout);  // the table's rows take a while; its heading shows when they start
    const char* only = std::getenv("VLT_BENCH_REPORT_ONLY");
    for (const char* report : kReports) {
      const std::string name = unitClass(report);
      if (only && *only && name.find(only) == std::string::npos) continue;
      const std::vector<double> m = alternating(report, rounds());
      const double w = m[0], r = m[1], d = m[2];
      std::printf(
          "  %-26s window %7.2f ms = %5.2f%s   report %7.2f ms = %5.2f%s   direct %7.2f ms\n",
          name.c_str(), w, w / d, w / d <= 1.3 ? "" : " MISSED", r, r / d,
          r / d <= 1.3 ? "" : " MISSED", d);
      std::fflush(stdout);
    }
    // Timed here rather than as registered benchmarks, so that the figure never depends on
    // which benchmarks a filter kept.
    if (longYears > 3) {
      std::printf(
          "\nlast month, %d-year set / 3-year set (target <= 2), medians of %d rounds "
          "in alternation:\n",
          longYears, rounds());
      for (const char* report : {"uReport_StoreFlowM.TfrmRptStoreFlowM",
                                 "uReport_BalGatheringflow.TfrmRptBalGatheringflow"}) {
        const std::vector<double> m = historyAlternating(report, longYears, rounds());
        std::printf("  %-26s %8.1f ms / %8.1f ms = %.2f%s\n", unitClass(report).c_str(), m[1], m[0],
                    m[1] / m[0], m[1] / m[0] <= 2 ? "" : "  MISSED");
        std::fflush(stdout);
      }
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "vlt-bench-reports: %s\n", e.what());
    rc = 1;
  }
  tearDown(f);
  return rc;
}
