// Goods bills through the real service. On an account set with 10,000 purchases of 5 lines:
// Earlier across a page boundary in the purchase window against the same page (bills and their
// lines) read directly on MariaDB; saving a 50-line sale through the window against the same
// SaveMasterAndDetailData call alone; opening a bill window cold (absolute).
//
// Run: build/release/bench/vlt-bench-bills (offscreen; starts its own private MariaDB, or uses
// the one in VLT_BENCH_DB_FOLDER).

#include <benchmark/benchmark.h>
#include <httplib.h>
#include <mysql.h>

#include <QApplication>
#include <chrono>
#include <cstdio>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>

#include "benchdb.h"
#include "benchserved.h"
#include "bills/uBill_Goods.h"
#include "http.h"
#include "service.h"
#include "tplwidgets.h"
#include "vlt/heap.h"
#include "vlt/host.h"
#include "vlt/servermethods.h"

using vlt::server::Connection;
using vlt::server::DbEndpoint;

namespace {

constexpr int kPurchases = 10000;
constexpr int kLinesPerPurchase = 5;
constexpr int kSaleLines = 50;
const std::string kPassword = "bench owner pw";
// The purchase window's page statement and its lines, as the window sends them.
const std::string kPageSql =
    "select M.*,t.Name as Tradername,A.name as AccName,s.Name as StoreName from tb_pur_purchase "
    "M left join td_trader T on M.traderID=T.ID left join td_account A on M.AccountID=A.ID left "
    "join td_store S on M.storeID=S.ID where bcode<";
const std::string kLinesSql =
    "select D.*,g.Code as GoodsCode,g.Name as GoodsName,g.Spec as GoodsSpec  from "
    "tb_pur_purchase_d D left JOIN td_goods G on D.GoodsID=G.Id where Bid IN (";

struct Fixture : vlt::bench::BenchDatabase {
  vlt::bench::ServedOwner served;
};
Fixture* fx = nullptr;

void setUp(Fixture& f) {
  f.start("vlt-bench-bills", 'b');
  auto db = f.served.makeOwnerSet(f, kPassword);
  db->execute(
      "INSERT INTO td_trader (Id,Name,IsClient) VALUES ('100000000000301','西城批发','False')");
  db->execute(
      "INSERT INTO td_trader (Id,Name,IsClient) VALUES ('100000000000302','东方商行','True')");
  for (int g = 1; g <= kSaleLines; ++g)
    db->execute("INSERT INTO td_goods (Id,Code,Name,Spec) VALUES ('" +
                std::to_string(100000000000600 + g) + "','A" + std::to_string(100 + g) + "','货品" +
                std::to_string(g) + "','M3')");
  // Purchases of 5 lines each, not stocked, as the window saves them (master, then lines).
  db->execute(
      "INSERT INTO tb_pur_purchase (Bid,BDate,BCode,TraderID,IsPay,IsStoreIO,StoreId,NoteType,"
      "TaxRate,CreateOp,CreateTime) SELECT 100000000100000+seq, '2020-01-01' + INTERVAL (seq % "
      "2000) DAY, CONCAT('PC', 100000000 + seq), '100000000000301', 'False', 'False', "
      "'100000000000001', '收据', 0, 10001, NOW() FROM seq_1_to_" +
      std::to_string(kPurchases));
  db->execute(
      "INSERT INTO tb_pur_purchase_d (Bid,BNo,Pause,GoodsID,Qty,Price,TaxRate,Amount,doneQty) "
      "SELECT 100000000100000+p.seq, l.seq, 'False', 100000000000600+l.seq, l.seq, 2.5, 0, "
      "2.5*l.seq, 0 FROM seq_1_to_" +
      std::to_string(kPurchases) + " p JOIN seq_1_to_" + std::to_string(kLinesPerPurchase) + " l");
  vlt::bench::BenchDatabase::settle(*db);
  f.served.serve(*f.service, kPassword);
}

void tearDown(Fixture& f) {
  f.served.stop();
  f.stop("vlt-bench-bills");
}

// Earlier on the last bill of a page loads the next 20 bills with their lines. The moves inside
// a page are not timed.
class EarlierAcrossPages {
 public:
  // Moves to the page's last bill (untimed), then times Earlier; returns ms, or -1 when Earlier
  // did not reach an earlier page.
  double step() {
    if (!w_ || page_ == kPurchases / 20) {  // the oldest page: start again from the newest
      w_ = vlt::templates::CreateForm<TfrmBill_Pur_Purchase>();
      w_->actPrior->trigger();
      page_ = 1;
    }
    while (w_->cdsMaster.RecNo() != w_->cdsMaster.RecordCount())
      w_->actPrior->trigger();
    const std::string before = w_->cdsMaster.FieldByName("BCode").AsString();
    const auto start = std::chrono::steady_clock::now();
    w_->actPrior->trigger();
    const double ms = vlt::bench::msSince(start);
    ++page_;
    return w_->cdsMaster.FieldByName("BCode").AsString() < before ? ms : -1;
  }

 private:
  std::unique_ptr<TfrmBill_Pur_Purchase> w_;
  int page_ = 0;
};

void BM_WindowEarlierAcrossPage(benchmark::State& state) {
  EarlierAcrossPages pages;
  for (auto _ : state) {
    const double ms = pages.step();
    if (ms < 0) {
      state.SkipWithError("Earlier did not reach an earlier page");
      break;
    }
    state.SetIterationTime(ms / 1000);
  }
}

// The same page read on Connector/C: the 20 bills, then their lines, every row fetched.
MYSQL* connectDirect() {
  MYSQL* m = mysql_init(nullptr);
  mysql_optionsv(m, MYSQL_SET_CHARSET_NAME, "utf8mb4");
  if (!mysql_real_connect(m, nullptr, "root", "", fx->served.setDb.c_str(), 0,
                          fx->root.socket.c_str(), 0)) {
    std::fprintf(stderr, "vlt-bench-bills: %s\n", mysql_error(m));
    mysql_close(m);
    return nullptr;
  }
  return m;
}

// Page `page` (1 the newest); false when a bill lacks its lines.
bool directPage(MYSQL* m, int page) {
  // Codes are PC1000xxxxx, the newest highest.
  const int below = kPurchases - 20 * page + 1;
  const std::string sql =
      kPageSql + "'PC" + std::to_string(100000000 + below) + "' ORDER BY BCode DESC LIMIT 20";
  mysql_real_query(m, sql.data(), sql.size());
  MYSQL_RES* res = mysql_store_result(m);
  std::string bids;
  while (MYSQL_ROW row = mysql_fetch_row(res))
    bids += (bids.empty() ? "'" : ",'") + std::string(row[0]) + "'";
  mysql_free_result(res);
  const std::string lines = kLinesSql + bids + ")";
  mysql_real_query(m, lines.data(), lines.size());
  res = mysql_store_result(m);
  std::size_t count = 0;
  while (MYSQL_ROW row = mysql_fetch_row(res)) {
    benchmark::DoNotOptimize(row);
    ++count;
  }
  mysql_free_result(res);
  return count == 20 * kLinesPerPurchase;
}

void BM_DirectPage(benchmark::State& state) {
  MYSQL* m = connectDirect();
  if (!m) return state.SkipWithError("no direct connection");
  int page = 1;
  for (auto _ : state) {
    if (!directPage(m, page)) state.SkipWithError("a page without its lines");
    page = page % (kPurchases / 20 - 1) + 1;
  }
  mysql_close(m);
}

// Where the window's time goes: the same page through the proxy alone (HTTP and the codec
// included), and through the service alone (no HTTP, no decoding).
std::string pageSql(int page) {
  const int below = kPurchases - 20 * (page % (kPurchases / 20 - 1) + 1) + 1;
  return kPageSql + "'PC" + std::to_string(100000000 + below) + "' ORDER BY BCode DESC LIMIT 20";
}
const std::string kDetailSql = kLinesSql.substr(0, kLinesSql.find(" where ")) + " where Bid=:Bid";

// Page `page` (counted from 1, wrapping) read through the proxy; false when it did not come.
bool proxyPage(int page) {
  auto p = vlt::host::doServerMethods().GetMasterAndDetailData(fx->served.set, "tb_pur_purchase",
                                                               pageSql(page), kDetailSql);
  return p && p->rows.size() == 20;
}

// The same page's answer made by the service in this process, as it goes out on the wire.
bool servicePage(int page) {
  const vlt::server::Caller owner{fx->served.owner, "127.0.0.1"};
  return fx->service
      ->GetMasterAndDetailText(owner, fx->served.set, "tb_pur_purchase", pageSql(page), kDetailSql)
      .has_value();
}

void BM_ProxyPage(benchmark::State& state) {
  int page = 0;
  for (auto _ : state)
    if (!proxyPage(++page)) state.SkipWithError("no page");
}

void BM_ServicePage(benchmark::State& state) {
  int page = 0;
  for (auto _ : state)
    if (!servicePage(++page)) state.SkipWithError("no page");
}

// A 50-line sale typed into the window (not timed), then saved: checks, the bill code, the save
// and the after-save step.
void fillSale(TfrmBill_Sal_Sale& w) {
  w.cdsMaster.FieldByName("TraderID").SetAsString("100000000000302");
  for (int g = 1; g <= kSaleLines; ++g) {
    w.cdsDetail.Append();
    w.cdsDetail.FieldByName("GoodsID").SetAsString(std::to_string(100000000000600 + g));
    w.cdsDetail.FieldByName("Qty").SetAsString(std::to_string(g % 7 + 1));
    w.cdsDetail.FieldByName("Price").SetAsString("9.9");
    w.cdsDetail.Post();
  }
}

void BM_WindowSaveSale(benchmark::State& state) {
  auto w = vlt::templates::CreateForm<TfrmBill_Sal_Sale>();
  for (auto _ : state) {
    state.PauseTiming();
    fillSale(*w);
    state.ResumeTiming();
    w->actSaveAndNew->trigger();
    if (w->OperateState() != "Append") {
      state.SkipWithError("the sale was not saved");
      break;
    }
  }
}

// The same bill's delta sent alone, each time as a new bill.
void BM_SaveMasterAndDetailData(benchmark::State& state) {
  auto w = vlt::templates::CreateForm<TfrmBill_Sal_Sale>();
  fillSale(*w);
  w->cdsMaster.Post();
  const vlt::Delta delta = w->cdsMaster.GetDelta();
  const int bid = delta.fields.indexOf("Bid");
  const int code = delta.fields.indexOf("BCode");
  static long long n = 0;  // across the runs the library makes
  for (auto _ : state) {
    state.PauseTiming();
    vlt::Delta d = delta;
    const std::string id = std::to_string(900000000000000 + ++n);
    d.rows[0].newValues[static_cast<std::size_t>(bid)] = vlt::Value(id);
    d.rows[0].newValues[static_cast<std::size_t>(code)] = vlt::Value("SX" + id);
    for (vlt::DetailDelta& lines : d.rows[0].details)
      for (vlt::DeltaRow& line : lines.rows)
        line.newValues[0] = vlt::Value(id);  // Bid is the lines' first column
    state.ResumeTiming();
    const std::string status = vlt::host::doServerMethods().SaveMasterAndDetailData(
        vlt::host::CurUserInfo().UserDBID, "tb_sal_sale", d);
    if (status != "0") {
      std::fprintf(stderr, "saving the sale: %s\n", status.c_str());
      state.SkipWithError("the sale was refused");
      break;
    }
  }
}

// Created, its defaults in place and a new bill ready to type.
void BM_OpenBillWindowCold(benchmark::State& state) {
  for (auto _ : state) {
    auto w = vlt::templates::CreateForm<TfrmBill_Pur_Purchase>();
    if (w->OperateState() != "Append") state.SkipWithError("no new bill");
    benchmark::DoNotOptimize(w.get());
  }
}

BENCHMARK(BM_WindowEarlierAcrossPage)->Unit(benchmark::kMillisecond)->UseManualTime()->MinTime(2.0);
BENCHMARK(BM_DirectPage)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);
BENCHMARK(BM_ProxyPage)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(1.0);
BENCHMARK(BM_ServicePage)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(1.0);
BENCHMARK(BM_WindowSaveSale)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);
BENCHMARK(BM_SaveMasterAndDetailData)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);
BENCHMARK(BM_OpenBillWindowCold)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(1.0);

void ratio(const char* what, double a, double b, double target) {
  if (a <= 0 || b <= 0) return;
  std::printf("%s: %.1f ms / %.1f ms = %.2f (target <= %.1f)%s\n", what, a, b, a / b, target,
              a / b <= target ? "  ok" : "  MISSED");
}

}  // namespace

int main(int argc, char** argv) {
  vlt::KeepFreedMemory();  // as the client and the service do
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  Fixture f;
  fx = &f;
  int rc = 0;
  try {
    setUp(f);
    vlt::bench::TimesReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    auto& t = reporter.times;
    std::printf("\n");
    // The ratio: Earlier in the window and the direct page in alternation (medians).
    MYSQL* m = connectDirect();
    if (!m) throw std::runtime_error("no direct connection");
    EarlierAcrossPages pages;
    int page = 1;
    const auto timedDirectPage = [m, &page] {
      page = page % (kPurchases / 20 - 1) + 1;
      const auto start = std::chrono::steady_clock::now();
      if (!directPage(m, page)) throw std::runtime_error("a page without its lines");
      return vlt::bench::msSince(start);
    };
    const vlt::bench::Paired p = vlt::bench::RunPaired(
        2000,
        [&pages] {
          const double ms = pages.step();
          if (ms < 0) throw std::runtime_error("Earlier did not reach an earlier page");
          return ms;
        },
        timedDirectPage);
    p.print("Earlier across a page, window / direct page (in alternation, medians)", 1.5);
    // Where the window's time goes, layer by layer, in an alternation of their own: the same
    // page through the proxy (HTTP both ways, the service, the client's decoding), through the
    // service in this process (no HTTP, no client), and directly.
    int proxyRound = 0, serviceRound = 0;
    const auto timed = [](bool (*read)(int), int& round, const char* what) {
      return [read, &round, what] {
        const auto start = std::chrono::steady_clock::now();
        if (!read(++round)) throw std::runtime_error(std::string("no page ") + what);
        return vlt::bench::msSince(start);
      };
    };
    const std::vector<double> layers = vlt::bench::RunAlternating(
        2000, {timed(proxyPage, proxyRound, "(proxy)"),
               timed(servicePage, serviceRound, "(service)"), timedDirectPage});
    mysql_close(m);
    std::printf(
        "  the same page (another alternation, medians): through the proxy %.2f ms, the service in "
        "this process %.2f ms, direct %.2f ms\n",
        layers[0], layers[1], layers[2]);
    // The figures below come from the registered benchmarks: shown only for those a filter kept.
    const auto ran = [&t](std::initializer_list<const char*> names) {
      for (const char* n : names)
        if (!t.count(n)) return false;
      return true;
    };
    if (ran({"BM_ProxyPage", "BM_ServicePage", "BM_DirectPage"}))
      std::printf(
          "  the page through the proxy alone / direct: %.2f; the service alone / direct: "
          "%.2f (for information)\n",
          t["BM_ProxyPage"] / t["BM_DirectPage"], t["BM_ServicePage"] / t["BM_DirectPage"]);
    if (ran({"BM_WindowSaveSale", "BM_SaveMasterAndDetailData"}))
      ratio("50-line sale, window / SaveMasterAndDetailData alone", t["BM_WindowSaveSale"],
            t["BM_SaveMasterAndDetailData"], 1.3);
    if (ran({"BM_OpenBillWindowCold"}))
      std::printf("opening a bill window cold: %.1f ms\n", t["BM_OpenBillWindowCold"]);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "vlt-bench-bills: %s\n", e.what());
    rc = 1;
  }
  tearDown(f);
  return rc;
}
