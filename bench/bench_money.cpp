// The receipt window loads every stored receipt when it opens. With 50,000 receipts in the
// account set: opening the window through the real service against running its load statement
// directly on MariaDB (Connector/C), and the absolute time of each.
//
// Run: build/release/bench/vlt-bench-money (offscreen; starts its own private MariaDB, or uses
// the one in VLT_BENCH_DB_FOLDER).

#include <benchmark/benchmark.h>
#include <httplib.h>
#include <mysql.h>
#include <unistd.h>

#include <QApplication>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <random>
#include <stdexcept>
#include <string>
#include <thread>

#include "benchdb.h"
#include "benchserved.h"
#include "http.h"
#include "privatedb.h"
#include "service.h"
#include "settlement/uBill_Bal.h"
#include "tplwidgets.h"
#include "vlt/heap.h"
#include "vlt/host.h"
#include "vlt/servermethods.h"

namespace fs = std::filesystem;
using vlt::server::Connection;
using vlt::server::DbEndpoint;

namespace {

constexpr int kReceipts = 50000;
const std::string kPassword = "bench owner pw";
const std::string kLoadSql =
    "SELECT m.*,t.Name as TraderName,a.Name as accName  from tb_bal_gathering m LEFT JOIN "
    "td_trader t on m.TraderID=t.Id LEFT JOIN td_account a on m.AccountId=a.Id";

struct Fixture : vlt::bench::BenchDatabase {
  vlt::bench::ServedOwner served;
};
Fixture* fx = nullptr;

void setUp(Fixture& f) {
  f.start("vlt-bench-money", 'm');
  auto db = f.served.makeOwnerSet(f, kPassword);
  db->execute(
      "INSERT INTO td_trader (Id,Name,IsClient) VALUES ('100000000000301','东方商行','True')");
  db->execute("INSERT INTO td_account (Id,Name) VALUES ('100000000000401','现金')");
  // Years of receipts, one a bill as the window saves it (the triggers write their movements).
  db->execute(
      "INSERT INTO tb_bal_gathering (Bid,BDate,BCode,TraderID,RevMemo,AccountId,AccAmt,TrimAmt,"
      "NowBalance,ReMark,CreateOp,CreateTime,UpdateOP,UpdateTime) SELECT 100000000100000+seq, "
      "'2020-01-01' + INTERVAL (seq % 2000) DAY, CONCAT('BG', 100000000 + seq), "
      "'100000000000301', '第二期货款', '100000000000401', 100 + seq % 900 + 0.25, seq % 3, "
      "-1000.0 - CAST(seq AS SIGNED), '月底结清', 10001, NOW(), 10001, NOW() FROM seq_1_to_" +
      std::to_string(kReceipts));
  vlt::bench::BenchDatabase::settle(*db);
  f.served.serve(*f.service, kPassword);
}

void tearDown(Fixture& f) {
  f.served.stop();
  f.stop("vlt-bench-money");
}

// The window as the business frame opens it: created, its bills loaded, a new one started.
void BM_OpenReceiptWindow(benchmark::State& state) {
  for (auto _ : state) {
    auto w = vlt::templates::CreateForm<TfrmBill_Bal_Gathering>();
    if (w->cdsMaster.RecordCount() != kReceipts) state.SkipWithError("not every receipt loaded");
    benchmark::DoNotOptimize(w.get());
    // Opening is timed, not closing.
    state.PauseTiming();
    w.reset();
    state.ResumeTiming();
  }
}

// The same statement on Connector/C, every row fetched; false when a row is missing.
MYSQL* connectDirect() {
  MYSQL* m = mysql_init(nullptr);
  mysql_optionsv(m, MYSQL_SET_CHARSET_NAME, "utf8mb4");
  if (!mysql_real_connect(m, nullptr, "root", "", fx->served.setDb.c_str(), 0,
                          fx->root.socket.c_str(), 0)) {
    std::fprintf(stderr, "vlt-bench-money: %s\n", mysql_error(m));
    mysql_close(m);
    return nullptr;
  }
  return m;
}

bool directLoad(MYSQL* m) {
  mysql_real_query(m, kLoadSql.data(), kLoadSql.size());
  MYSQL_RES* res = mysql_store_result(m);
  std::size_t rows = 0;
  while (MYSQL_ROW row = mysql_fetch_row(res)) {
    benchmark::DoNotOptimize(row);
    ++rows;
  }
  mysql_free_result(res);
  return rows == kReceipts;
}

void BM_DirectLoad(benchmark::State& state) {
  MYSQL* m = connectDirect();
  if (!m) return state.SkipWithError("no direct connection");
  for (auto _ : state)
    if (!directLoad(m)) state.SkipWithError("not every receipt fetched");
  mysql_close(m);
}

// Where the window's time goes: the load through the proxy (HTTP and decoding), the same
// packet put into a data set, and the service alone (no HTTP, no decoding).
void BM_ProxyLoad(benchmark::State& state) {
  for (auto _ : state) {
    vlt::Packet p = vlt::host::doServerMethods().GetUserDBDataBySql(fx->served.set, kLoadSql);
    if (p.rows.size() != kReceipts) state.SkipWithError("not every receipt read");
  }
}

void BM_LoadFromPacket(benchmark::State& state) {
  const vlt::Packet p = vlt::host::doServerMethods().GetUserDBDataBySql(fx->served.set, kLoadSql);
  auto ds = std::make_unique<vlt::ClientDataSet>();
  for (auto _ : state) {
    state.PauseTiming();
    vlt::Packet copy = p;
    ds = std::make_unique<vlt::ClientDataSet>();  // the last one is freed untimed
    state.ResumeTiming();
    ds->LoadFromPacket(std::move(copy));
    ds->MergeChangeLog();
    if (ds->RecordCount() != kReceipts) state.SkipWithError("not every receipt loaded");
  }
}

void BM_ServiceLoad(benchmark::State& state) {
  const vlt::server::Caller c{fx->served.owner, "127.0.0.1"};
  for (auto _ : state) {
    vlt::Packet p = fx->service->GetUserDBDataBySql(c, fx->served.set, kLoadSql);
    if (p.rows.size() != kReceipts) state.SkipWithError("not every receipt read");
  }
}

BENCHMARK(BM_ProxyLoad)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(1.0);
BENCHMARK(BM_LoadFromPacket)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(1.0);
BENCHMARK(BM_ServiceLoad)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(1.0);
BENCHMARK(BM_OpenReceiptWindow)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);
BENCHMARK(BM_DirectLoad)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

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
    // The ratio: the window and the direct load in alternation (medians of 41 rounds each).
    MYSQL* m = connectDirect();
    if (!m) throw std::runtime_error("no direct connection");
    const vlt::bench::Paired p = vlt::bench::RunPaired(
        41,
        [] {
          const auto start = std::chrono::steady_clock::now();
          auto w = vlt::templates::CreateForm<TfrmBill_Bal_Gathering>();
          const double ms = vlt::bench::msSince(start);
          if (w->cdsMaster.RecordCount() != kReceipts) throw std::runtime_error("rows missing");
          return ms;
        },
        [m] {
          const auto start = std::chrono::steady_clock::now();
          if (!directLoad(m)) throw std::runtime_error("rows missing");
          return vlt::bench::msSince(start);
        });
    mysql_close(m);
    std::printf("\n%d receipts, in alternation:\n", kReceipts);
    p.print("opening the receipt window through the service / its load statement on Connector/C",
            1.5);
    if (p.first > 1000) std::printf("A shop with this many receipts waits over a second.\n");
  } catch (const std::exception& e) {
    std::fprintf(stderr, "vlt-bench-money: %s\n", e.what());
    rc = 1;
  }
  tearDown(f);
  return rc;
}
