// Data service benchmarks: each remote operation through the client proxy over HTTP against the
// same work done directly with Connector/C, then many clients at once for a fixed time with the
// derived data (balances, stock movements) checked afterwards. One private MariaDB per run.
//
//   vlt-bench-service [--duration=SECONDS] [--clients=N] [--traders=N] [--default-malloc]
//                     [benchmark options]
//
// VLT_BENCH_DB_FOLDER names a database folder to use (kept); otherwise one under /tmp is made
// and removed at the end.

#include <benchmark/benchmark.h>
#include <httplib.h>
#include <mysql.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "benchdb.h"
#include "http.h"
#include "privatedb.h"
#include "service.h"
#include "vlt/dataset.h"
#include "vlt/heap.h"
#include "vlt/json.h"
#include "vlt/servermethods.h"
#include "vlt/sqltext.h"

namespace {

namespace fs = std::filesystem;
using vlt::server::Connection;
using vlt::server::DbEndpoint;

constexpr int kGoods = 10000;
constexpr int kSaveLines = 50;  // lines of the bill saved one at a time
constexpr int kMixedLines = 5;  // lines of the bills the concurrent clients save
constexpr const char* kBills = "tb_pur_purchase";
constexpr const char* kMainStore = "100000000000001";
const std::string kOwnerPassword = "bench owner pw";
const std::string kOperatorPassword = "bench operator pw";

struct Options {
  int durationSeconds = 10;
  int clients = 32;
  int traders = 8;
};

// Everything the benchmarks share: the database, the service answering HTTP, the base data.
struct Fixture : vlt::bench::BenchDatabase {
  Options options;
  httplib::Server http;
  std::thread httpThread;
  std::string url;
  std::string owner;
  std::string set;
  std::string setDb;
  std::vector<std::string> operators;
  std::vector<std::string> goods;
  std::vector<std::string> traders;
  vlt::Packet billShape;  // master fields with the lines nested, no rows
  std::atomic<std::uint64_t> billSeq{0};
  std::atomic<std::uint64_t> savedBills{0};
  std::atomic<std::uint64_t> savedLines{0};
};

Fixture* fx = nullptr;

// ---- setting up --------------------------------------------------------------------------

std::string fixedId(std::uint64_t base, std::uint64_t n) {
  return std::to_string(base + n);  // 15 digits for the bases used here
}

void seedBaseData(Fixture& f) {
  DbEndpoint e = f.root;
  e.database = f.setDb;
  auto db = Connection::open(e);
  db->execute("INSERT INTO td_unit (Id, Name) VALUES ('100000000000101', '个')");
  db->begin();
  std::string sql;
  for (int i = 0; i < kGoods; ++i) {
    std::string id = fixedId(100000000100000, static_cast<std::uint64_t>(i));
    f.goods.push_back(id);
    if (sql.empty())
      sql =
          "INSERT INTO td_goods (Id, Code, Name, Spec, UnitID, BarCode, PurPrice, SalPrice, "
          "WsaPrice, ReMark) VALUES ";
    else
      sql += ",";
    char row[400];
    std::snprintf(row, sizeof row,
                  "('%s','G%05d','货品%05d 袋装 %dkg','%d×%dg','100000000000101','69%011d',"
                  "%d.%02d,%d.%02d,%d.%02d,'备注 %d')",
                  id.c_str(), i, i, 1 + i % 25, 1 + i % 12, 50 * (1 + i % 20), i, 1 + i % 300,
                  i % 100, 2 + i % 400, (i * 7) % 100, 2 + i % 350, (i * 3) % 100, i);
    sql += row;
    if ((i + 1) % 1000 == 0) {
      db->execute(sql);
      sql.clear();
    }
  }
  for (int i = 0; i < f.options.traders; ++i) {
    std::string id = fixedId(100000000200000, static_cast<std::uint64_t>(i));
    f.traders.push_back(id);
    db->execute("INSERT INTO td_trader (Id, Name, Tel, IsClient) VALUES (" + vlt::quotedStr(id) +
                ", '供应商 " + std::to_string(i) + "', '0571-8888" + std::to_string(i) +
                "', 'False')");
  }
  db->commit();
}

void setUp(Fixture& f) {
  f.start("vlt-bench", 'b');

  f.owner = f.service->CreateUser("店主", kOwnerPassword);
  f.set = f.owner + "_01";
  f.setDb = f.prefix + "_" + f.set;
  vlt::server::Caller c{f.owner, "127.0.0.1"};
  std::string status = f.service->CreateUserDB(c, f.owner, f.set, "基准帐套", "False");
  if (status != "0") throw vlt::Error("Creating the account set failed: " + status);
  {
    DbEndpoint e = f.root;
    e.database = f.prefix + "_sys";
    auto sys = Connection::open(e);
    for (int i = 0; i < f.options.clients / 2; ++i) {
      std::string id = f.service->CreateUser("操作员" + std::to_string(i), kOperatorPassword);
      sys->execute("INSERT INTO userdatabaseoperator (UserDBID, UserID) VALUES (" +
                   vlt::quotedStr(f.set) + ", " + id + ")");
      f.operators.push_back(id);
    }
  }
  seedBaseData(f);

  // Served exactly as the program serves: its workers, keep-alive and listen queue.
  vlt::server::tuneServer(f.http, 64);
  vlt::server::mountApi(f.http, *f.service);
  int port = vlt::server::bindServer(f.http, "127.0.0.1", 0);
  if (port <= 0) throw vlt::Error("No free port for the service");
  f.httpThread = std::thread([&f] { f.http.listen_after_bind(); });
  while (!f.http.is_running())
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  f.url = "http://127.0.0.1:" + std::to_string(port);

  // The shape of a bill as the bill window holds it: master fields with the lines nested.
  vlt::TServerMethodsClient proxy(f.url);
  if (!proxy.CheckLoginUser(f.owner, kOwnerPassword)) throw vlt::Error("The owner cannot sign in");
  vlt::Packet master =
      proxy.GetUserDBDataBySql(f.set, std::string("select * from ") + kBills + " where 1=0");
  vlt::Packet lines =
      proxy.GetUserDBDataBySql(f.set, std::string("select * from ") + kBills + "_d where 1=0");
  vlt::FieldDef nested;
  nested.name = std::string(kBills) + "_d";
  nested.type = vlt::DataType::DataSet;
  nested.children = lines.fields.list();
  master.fields.add(nested);
  f.billShape = std::move(master);
}

void tearDown(Fixture& f) {
  if (f.httpThread.joinable()) {
    f.http.stop();
    f.httpThread.join();
  }
  f.stop("vlt-bench-service");
}

// ---- bills -------------------------------------------------------------------------------

struct Line {
  std::string goods;
  int qty;
  long long priceCents;
};

std::string money(long long cents) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%lld.%02lld", cents / 100, cents % 100);
  return buf;
}

// A bill's codes and lines, chosen from its sequence number (so both sides of a ratio save
// the same kind of bill).
struct BillPlan {
  std::string bid;
  std::string bcode;
  std::string trader;
  std::vector<Line> lines;
};

BillPlan planBill(Fixture& f, int lineCount, std::size_t traderHint) {
  std::uint64_t seq = ++f.billSeq;
  BillPlan b;
  b.bid = fixedId(300000000000000, seq);
  char code[24];
  std::snprintf(code, sizeof code, "PC20261208%07llu", static_cast<unsigned long long>(seq));
  b.bcode = code;
  b.trader = f.traders[traderHint % f.traders.size()];
  for (int i = 0; i < lineCount; ++i) {
    std::uint64_t g = (seq * 7919 + static_cast<std::uint64_t>(i) * 104729) % f.goods.size();
    b.lines.push_back(
        {f.goods[g], 1 + static_cast<int>((seq + static_cast<std::uint64_t>(i)) % 9),
         100 + static_cast<long long>((seq * 31 + static_cast<std::uint64_t>(i) * 17) % 9900)});
  }
  return b;
}

// The delta the bill window sends for a new bill: master row appended, lines appended to the
// nested data set, master posted.
vlt::Delta billDelta(const Fixture& f, const BillPlan& b, const std::string& op) {
  vlt::ClientDataSet master, lines;
  master.LoadFromPacket(f.billShape);
  lines.SetDataSetField(master, std::string(kBills) + "_d");
  master.Append();
  master.FieldByName("Bid").SetAsString(b.bid);
  master.FieldByName("BDate").SetAsString("2026-12-08");
  master.FieldByName("BCode").SetAsString(b.bcode);
  master.FieldByName("BKind").SetAsInteger(3100);
  master.FieldByName("BState").SetAsInteger(1);
  master.FieldByName("TraderID").SetAsString(b.trader);
  master.FieldByName("IsPay").SetAsString("False");
  master.FieldByName("StoreId").SetAsString(kMainStore);
  master.FieldByName("IsStoreIO").SetAsString("True");
  master.FieldByName("ReMark").SetAsString("基准进货单");
  master.FieldByName("CreateOp").SetAsString(op);
  master.FieldByName("CreateTime").SetAsString("2026-12-08 10:30:00");
  int no = 0;
  for (const Line& l : b.lines) {
    lines.Append();
    lines.FieldByName("Bid").SetAsString(b.bid);
    lines.FieldByName("BNo").SetAsInteger(++no);
    lines.FieldByName("GoodsID").SetAsString(l.goods);
    lines.FieldByName("Qty").SetAsInteger(l.qty);
    lines.FieldByName("Price").SetAsString(money(l.priceCents));
    lines.FieldByName("Amount").SetAsString(money(l.priceCents * l.qty));
    lines.Post();
  }
  master.Post();
  return master.GetDelta();
}

// The statements the service runs for that delta, written by hand.
std::vector<std::string> billStatements(const BillPlan& b, const std::string& op) {
  std::vector<std::string> out;
  out.push_back(std::string("INSERT INTO `") + kBills +
                "` (`Bid`,`BDate`,`BCode`,`BKind`,`BState`,`TraderID`,`IsPay`,`StoreId`,"
                "`IsStoreIO`,`ReMark`,`CreateOp`,`CreateTime`) VALUES ('" +
                b.bid + "','2026-12-08','" + b.bcode + "',3100,1,'" + b.trader + "','False','" +
                kMainStore + "','True','基准进货单'," + op + ",'2026-12-08 10:30:00')");
  int no = 0;
  for (const Line& l : b.lines)
    out.push_back(std::string("INSERT INTO `") + kBills +
                  "_d` (`Bid`,`BNo`,`GoodsID`,`Qty`,`Price`,`Amount`) VALUES ('" + b.bid + "'," +
                  std::to_string(++no) + ",'" + l.goods + "'," + std::to_string(l.qty) + "," +
                  money(l.priceCents) + "," + money(l.priceCents * l.qty) + ")");
  return out;
}

// ---- direct Connector/C -------------------------------------------------------------------

MYSQL* openDirect(const Fixture& f) {
  MYSQL* m = mysql_init(nullptr);
  mysql_optionsv(m, MYSQL_SET_CHARSET_NAME, "utf8mb4");
  if (!mysql_real_connect(m, nullptr, "root", "", f.setDb.c_str(), 0, f.root.socket.c_str(), 0))
    throw vlt::Error(std::string("direct connection: ") + mysql_error(m));
  return m;
}

void directExecute(MYSQL* m, const std::string& sql) {
  if (mysql_real_query(m, sql.data(), sql.size()) != 0)
    throw vlt::Error(std::string("direct statement: ") + mysql_error(m));
}

void sessionSignedIn(vlt::TServerMethodsClient& proxy) {
  if (!proxy.CheckLoginUser(fx->owner, kOwnerPassword))
    throw vlt::Error("The owner cannot sign in");
}

// ---- benchmarks --------------------------------------------------------------------------

const std::string kGoodsSql = "select * from td_goods";

void BM_ProxyReadGoods(benchmark::State& state) {
  vlt::TServerMethodsClient proxy(fx->url);
  sessionSignedIn(proxy);
  for (auto _ : state) {
    vlt::Packet p = proxy.GetUserDBDataBySql(fx->set, kGoodsSql);
    if (p.rows.size() != static_cast<std::size_t>(kGoods)) {
      state.SkipWithError("wrong row count");
      break;
    }
    benchmark::DoNotOptimize(p.rows.data());
  }
}

void BM_DirectReadGoods(benchmark::State& state) {
  MYSQL* m = openDirect(*fx);
  for (auto _ : state) {
    directExecute(m, kGoodsSql);
    MYSQL_RES* res = mysql_use_result(m);
    const unsigned n = mysql_num_fields(res);
    std::vector<std::vector<std::string>> rows;
    while (MYSQL_ROW row = mysql_fetch_row(res)) {
      unsigned long* len = mysql_fetch_lengths(res);
      std::vector<std::string> r;
      r.reserve(n);
      for (unsigned i = 0; i < n; ++i)
        r.emplace_back(row[i] ? std::string(row[i], len[i]) : std::string());
      rows.push_back(std::move(r));
    }
    mysql_free_result(res);
    if (rows.size() != static_cast<std::size_t>(kGoods)) {
      state.SkipWithError("wrong row count");
      break;
    }
    benchmark::DoNotOptimize(rows.data());
  }
  mysql_close(m);
}

void BM_ProxySaveBill(benchmark::State& state) {
  vlt::TServerMethodsClient proxy(fx->url);
  sessionSignedIn(proxy);
  std::size_t n = 0;
  for (auto _ : state) {
    BillPlan b = planBill(*fx, kSaveLines, n++);
    vlt::Delta d = billDelta(*fx, b, fx->owner);
    std::string status = proxy.SaveMasterAndDetailData(fx->set, kBills, d);
    if (status != "0") {
      state.SkipWithError(status.c_str());
      break;
    }
    ++fx->savedBills;
    fx->savedLines += kSaveLines;
  }
}

void BM_DirectSaveBill(benchmark::State& state) {
  MYSQL* m = openDirect(*fx);
  std::size_t n = 0;
  for (auto _ : state) {
    BillPlan b = planBill(*fx, kSaveLines, n++);
    directExecute(m, "START TRANSACTION");
    for (const std::string& sql : billStatements(b, fx->owner))
      directExecute(m, sql);
    directExecute(m, "COMMIT");
    ++fx->savedBills;
    fx->savedLines += kSaveLines;
  }
  mysql_close(m);
}

// Where the proxy's time goes: the service's own work without HTTP, and the codec.
void BM_ServiceReadGoods(benchmark::State& state) {
  vlt::server::Caller c{fx->owner, "127.0.0.1"};
  for (auto _ : state) {
    vlt::Packet p = fx->service->GetUserDBDataBySql(c, fx->set, kGoodsSql);
    benchmark::DoNotOptimize(p.rows.data());
  }
}

void BM_EncodeGoods(benchmark::State& state) {
  vlt::server::Caller c{fx->owner, "127.0.0.1"};
  vlt::Packet p = fx->service->GetUserDBDataBySql(c, fx->set, kGoodsSql);
  for (auto _ : state) {
    std::string out = "{\"packet\":";
    vlt::appendPacket(out, p);
    benchmark::DoNotOptimize(out.data());
  }
}

void BM_DecodeGoods(benchmark::State& state) {
  vlt::server::Caller c{fx->owner, "127.0.0.1"};
  std::string text = vlt::encodePacket(fx->service->GetUserDBDataBySql(c, fx->set, kGoodsSql));
  state.counters["bytes"] = static_cast<double>(text.size());
  for (auto _ : state) {
    vlt::Packet p = vlt::decodePacket(text);
    benchmark::DoNotOptimize(p.rows.data());
  }
}

void BM_ServiceSaveBill(benchmark::State& state) {
  vlt::server::Caller c{fx->owner, "127.0.0.1"};
  std::size_t n = 0;
  for (auto _ : state) {
    BillPlan b = planBill(*fx, kSaveLines, n++);
    vlt::Delta d = billDelta(*fx, b, fx->owner);
    std::string status = fx->service->SaveMasterAndDetailData(c, fx->set, kBills, d);
    if (status != "0") {
      state.SkipWithError(status.c_str());
      break;
    }
    ++fx->savedBills;
    fx->savedLines += kSaveLines;
  }
}

// One row by key: what every call costs besides its own work (HTTP, session, tenancy check).
std::string oneRowSql() {
  return "select * from td_goods where Id = " + vlt::quotedStr(fx->goods[4321]);
}

void BM_ProxyOneRow(benchmark::State& state) {
  vlt::TServerMethodsClient proxy(fx->url);
  sessionSignedIn(proxy);
  const std::string sql = oneRowSql();
  for (auto _ : state) {
    vlt::Packet p = proxy.GetUserDBDataBySql(fx->set, sql);
    benchmark::DoNotOptimize(p.rows.data());
  }
}

void BM_ServiceOneRow(benchmark::State& state) {
  vlt::server::Caller c{fx->owner, "127.0.0.1"};
  const std::string sql = oneRowSql();
  for (auto _ : state) {
    vlt::Packet p = fx->service->GetUserDBDataBySql(c, fx->set, sql);
    benchmark::DoNotOptimize(p.rows.data());
  }
}

void BM_DirectOneRow(benchmark::State& state) {
  MYSQL* m = openDirect(*fx);
  const std::string sql = oneRowSql();
  for (auto _ : state) {
    directExecute(m, sql);
    MYSQL_RES* res = mysql_use_result(m);
    const unsigned n = mysql_num_fields(res);
    std::vector<std::string> r;
    while (MYSQL_ROW row = mysql_fetch_row(res)) {
      unsigned long* len = mysql_fetch_lengths(res);
      for (unsigned i = 0; i < n; ++i)
        r.emplace_back(row[i] ? std::string(row[i], len[i]) : std::string());
    }
    mysql_free_result(res);
    benchmark::DoNotOptimize(r.data());
  }
  mysql_close(m);
}

// The client's part of a save alone: the bill built in data sets and its delta taken.
void BM_BuildBillDelta(benchmark::State& state) {
  std::size_t n = 0;
  for (auto _ : state) {
    BillPlan b = planBill(*fx, kSaveLines, n++);
    vlt::Delta d = billDelta(*fx, b, fx->owner);
    benchmark::DoNotOptimize(d.rows.data());
  }
}

BENCHMARK(BM_ProxyReadGoods)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(1.0);
BENCHMARK(BM_DirectReadGoods)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(1.0);
BENCHMARK(BM_ProxySaveBill)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(1.5);
BENCHMARK(BM_DirectSaveBill)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(1.5);
BENCHMARK(BM_ServiceReadGoods)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(0.5);
BENCHMARK(BM_EncodeGoods)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(0.3);
BENCHMARK(BM_DecodeGoods)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(0.3);
BENCHMARK(BM_ServiceSaveBill)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(1.0);
BENCHMARK(BM_ProxyOneRow)->Unit(benchmark::kMicrosecond)->UseRealTime()->MinTime(0.5);
BENCHMARK(BM_ServiceOneRow)->Unit(benchmark::kMicrosecond)->UseRealTime()->MinTime(0.5);
BENCHMARK(BM_DirectOneRow)->Unit(benchmark::kMicrosecond)->UseRealTime()->MinTime(0.5);
BENCHMARK(BM_BuildBillDelta)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(0.3);

// Remembers each benchmark's mean time so that the ratios can be printed at the end.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs)
      if (run.run_type == Run::RT_Iteration && !run.error_occurred)
        times_[run.run_name.function_name] = run.GetAdjustedRealTime();
    ConsoleReporter::ReportRuns(runs);
  }

  // Prints `label: a / b = r` and whether it meets the target.
  void ratio(const char* label, const char* a, const char* b, const char* target, double limit,
             bool atLeast) const {
    auto ia = times_.find(a), ib = times_.find(b);
    if (ia == times_.end() || ib == times_.end()) {
      std::printf("%-44s      n/a   (%s)\n", label, target);
      return;
    }
    double r = ia->second / ib->second;
    bool ok = atLeast ? r >= limit : r <= limit;
    std::printf("%-44s %8.2f   (%s)%s\n", label, r, target,
                limit > 0 ? (ok ? "  ok" : "  MISSED") : "");
  }

 private:
  std::map<std::string, double> times_;
};

// ---- many clients at once ----------------------------------------------------------------

enum OpKind { kSave, kList, kPage, kOpKinds };
const char* const kOpNames[kOpKinds] = {"save bill (5 lines)", "list 20 bills", "bill page"};

struct OpLog {
  std::vector<double> ms;
  std::uint64_t failures = 0;
  std::map<std::string, std::uint64_t> errors;  // message -> how often
  void fail(const std::string& e) {
    ++failures;
    std::size_t n = std::min<std::size_t>(e.size(), 120);
    while (n < e.size() && (static_cast<unsigned char>(e[n]) & 0xC0) == 0x80)
      --n;  // not inside a UTF-8 sequence
    ++errors[e.substr(0, n)];
  }
};

struct ClientLog {
  OpLog ops[kOpKinds];
};

const char* const kListSql =
    "select m.Bid, m.BCode, m.BDate, m.TraderID, t.Name as TraderName, m.IsStoreIO, m.Finished, "
    "m.ReMark from tb_pur_purchase m left join td_trader t on t.Id = m.TraderID "
    "order by m.bcode desc limit 20";

void runClient(Fixture& f, int index, std::chrono::steady_clock::time_point until, ClientLog& log) {
  using Clock = std::chrono::steady_clock;
  vlt::TServerMethodsClient proxy(f.url);
  const bool owner = index % 2 == 0 || f.operators.empty();
  const std::string user =
      owner ? f.owner : f.operators[static_cast<std::size_t>(index / 2) % f.operators.size()];
  try {
    if (!proxy.CheckLoginUser(user, owner ? kOwnerPassword : kOperatorPassword)) {
      log.ops[kSave].fail("sign-in: refused");
      return;
    }
  } catch (const std::exception& e) {
    log.ops[kSave].fail(std::string("sign-in: ") + e.what());
    return;
  }
  std::mt19937 rng(static_cast<unsigned>(index) * 7919u + 1u);
  auto timed = [&](OpKind kind, auto&& body) {
    auto t0 = Clock::now();
    try {
      if (body())
        log.ops[kind].ms.push_back(
            std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
    } catch (const std::exception& e) {
      log.ops[kind].fail(e.what());
    }
  };
  std::size_t n = static_cast<std::size_t>(index);
  while (Clock::now() < until) {
    BillPlan b = planBill(f, kMixedLines, n);
    n += static_cast<std::size_t>(f.options.clients);
    vlt::Delta d = billDelta(f, b, user);
    timed(kSave, [&] {
      std::string status = proxy.SaveMasterAndDetailData(f.set, kBills, d);
      if (status != "0") {
        log.ops[kSave].fail(status);
        return false;
      }
      ++f.savedBills;
      f.savedLines += kMixedLines;
      return true;
    });
    std::string bid;
    timed(kList, [&] {
      vlt::Packet list = proxy.GetUserDBDataBySql(f.set, kListSql);
      if (list.rows.empty()) {
        log.ops[kList].fail("no bills listed");
        return false;
      }
      bid = list.rows[rng() % list.rows.size()][0].toText();
      return true;
    });
    if (bid.empty()) continue;
    timed(kPage, [&] {
      auto page = proxy.GetMasterAndDetailData(
          f.set, kBills,
          std::string("select * from ") + kBills + " where Bid = " + vlt::quotedStr(bid),
          std::string("select * from ") + kBills + "_d where Bid = :Bid order by BNo");
      if (!page || page->rows.size() != 1) {
        log.ops[kPage].fail("bill " + bid + " not found");
        return false;
      }
      const vlt::Value& lines = page->rows[0].back();
      if (lines.isNull() || lines.nested()->empty()) {
        log.ops[kPage].fail("bill " + bid + " without lines");
        return false;
      }
      return true;
    });
  }
}

double percentile(const std::vector<double>& sorted, double p) {
  if (sorted.empty()) return 0;
  std::size_t i = static_cast<std::size_t>(std::ceil(p * static_cast<double>(sorted.size())));
  return sorted[std::min(sorted.size() - 1, i == 0 ? 0 : i - 1)];
}

// A counter of the database server ("Connections", "Innodb_deadlocks").
long long serverStatus(const Fixture& f, const char* name) {
  auto db = Connection::open(f.root);
  vlt::Packet p = db->query(std::string("SHOW GLOBAL STATUS LIKE ") + vlt::quotedStr(name));
  return p.rows.empty() ? -1 : std::stoll(p.rows[0][1].toText());
}

// Connections the kernel dropped because a listen queue was full (whole machine; -1 unknown).
long long listenOverflows() {
  std::ifstream in("/proc/net/netstat");
  std::string names, values;
  while (std::getline(in, names) && std::getline(in, values)) {
    if (names.rfind("TcpExt:", 0) != 0) continue;
    std::istringstream n(names), v(values);
    for (std::string name, value; n >> name && v >> value;)
      if (name == "ListenOverflows") return std::stoll(value);
  }
  return -1;
}

void runConcurrent(Fixture& f) {
  const int clients = f.options.clients;
  std::printf("\n%d clients at once for %d s (%s), %d traders:\n", clients,
              f.options.durationSeconds,
              f.operators.empty() ? "all owner sessions" : "half owner sessions, half operators",
              f.options.traders);
  std::fflush(stdout);
  const long long connectionsBefore = serverStatus(f, "Connections");
  const long long deadlocksBefore = serverStatus(f, "Innodb_deadlocks");
  const long long overflowsBefore = listenOverflows();
  std::vector<ClientLog> logs(static_cast<std::size_t>(clients));
  std::vector<std::thread> threads;
  auto start = std::chrono::steady_clock::now();
  auto until = start + std::chrono::seconds(f.options.durationSeconds);
  for (int i = 0; i < clients; ++i)
    threads.emplace_back(runClient, std::ref(f), i, until,
                         std::ref(logs[static_cast<std::size_t>(i)]));
  for (auto& t : threads)
    t.join();
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

  std::uint64_t total = 0;
  std::printf("%-22s %9s %9s %9s %9s %9s\n", "operation", "count", "ops/s", "p50 ms", "p99 ms",
              "failures");
  for (int k = 0; k < kOpKinds; ++k) {
    std::vector<double> all;
    std::uint64_t failures = 0;
    std::map<std::string, std::uint64_t> errors;
    for (const ClientLog& l : logs) {
      all.insert(all.end(), l.ops[k].ms.begin(), l.ops[k].ms.end());
      for (const auto& [message, n] : l.ops[k].errors)
        errors[message] += n;
      failures += l.ops[k].failures;
    }
    std::sort(all.begin(), all.end());
    total += all.size();
    std::printf("%-22s %9zu %9.1f %9.2f %9.2f %9llu\n", kOpNames[k], all.size(),
                static_cast<double>(all.size()) / seconds, percentile(all, 0.5),
                percentile(all, 0.99), static_cast<unsigned long long>(failures));
    for (const auto& [message, n] : errors)
      std::printf("    %llu x %s\n", static_cast<unsigned long long>(n), message.c_str());
  }
  std::printf("%-22s %9llu %9.1f\n", "all operations", static_cast<unsigned long long>(total),
              static_cast<double>(total) / seconds);
  std::printf("database connections opened: %lld; deadlocks: %lld\n",
              serverStatus(f, "Connections") - connectionsBefore,
              serverStatus(f, "Innodb_deadlocks") - deadlocksBefore);
  if (overflowsBefore >= 0)
    std::printf("listen queue overflows (whole machine): %lld\n",
                listenOverflows() - overflowsBefore);
}

// ---- derived data --------------------------------------------------------------------------

bool checkInvariants(Fixture& f) {
  DbEndpoint e = f.root;
  e.database = f.setDb;
  auto db = Connection::open(e);
  auto count = [&](const std::string& sql) {
    auto v = db->scalar(sql);
    return v ? std::stoll(*v) : -1;
  };
  struct Check {
    const char* what;
    long long bad;
  };
  const long long bills = count(std::string("SELECT COUNT(*) FROM ") + kBills);
  const long long lines = count(std::string("SELECT COUNT(*) FROM ") + kBills + "_d");
  const std::string lineTables =
      "SELECT Bid, BNo, Qty FROM tb_pur_purchase_d UNION ALL SELECT Bid, BNo, Qty FROM "
      "tb_sal_back_d UNION ALL SELECT Bid, BNo, Qty FROM tb_sal_sale_d UNION ALL SELECT Bid, BNo, "
      "Qty FROM tb_pur_back_d UNION ALL SELECT Bid, BNo, Qty FROM tb_sto_in_d UNION ALL SELECT "
      "Bid, BNo, Qty FROM tb_sto_out_d";
  const Check checks[] = {
      {"bills saved = bills stored",
       std::llabs(bills - static_cast<long long>(f.savedBills.load()))},
      {"lines saved = lines stored",
       std::llabs(lines - static_cast<long long>(f.savedLines.load()))},
      {"td_trader.Balance = sum of its movements",
       count("SELECT COUNT(*) FROM td_trader t WHERE t.Balance <> IFNULL((SELECT "
             "SUM(f.IOAmount * f.IODirection) FROM ts_traderbalancedetailflow f WHERE "
             "f.TraderID = t.Id), 0)")},
      {"each bill's movement = sum of its lines",
       count("SELECT COUNT(*) FROM tb_pur_purchase m LEFT JOIN ts_traderbalancedetailflow f ON "
             "f.Bid = m.Bid AND f.SrcTable = 'tb_pur_purchase' AND f.SrcPart = 1 WHERE f.ID IS "
             "NULL OR f.IODirection <> 1 OR NOT (f.TraderID <=> m.TraderID) OR f.IOAmount <> "
             "IFNULL((SELECT SUM(d.Amount) FROM tb_pur_purchase_d d WHERE d.Bid = m.Bid), 0)")},
      {"no movement without its bill",
       count("SELECT COUNT(*) FROM ts_traderbalancedetailflow f WHERE f.Bid <> '-99' AND NOT "
             "EXISTS (SELECT 1 FROM tb_pur_purchase m WHERE m.Bid = f.Bid)")},
      {"each stock movement is a line",
       count("SELECT COUNT(*) FROM view_storebillflow v LEFT JOIN (" + lineTables +
             ") d ON d.Bid = v.bid AND d.BNo = v.bno WHERE d.Bid IS NULL OR v.qty <> "
             "IFNULL(d.Qty, 0)")},
      {"each line of a stock-moving bill moves stock",
       count("SELECT COUNT(*) FROM tb_pur_purchase_d d JOIN tb_pur_purchase m ON m.Bid = d.Bid "
             "WHERE m.IsStoreIO = 'True' AND NOT EXISTS (SELECT 1 FROM view_storebillflow v "
             "WHERE v.bid = d.Bid AND v.bno = d.BNo AND v.ioDirect = 1)")},
      {"doneQty = Qty and bill finished",
       count("SELECT COUNT(*) FROM tb_pur_purchase_d d JOIN tb_pur_purchase m ON m.Bid = d.Bid "
             "WHERE m.IsStoreIO = 'True' AND (d.doneQty <> d.Qty OR m.Finished <> 'True')")},
  };
  std::printf("\nDerived data after the run (%lld bills, %lld lines):\n", bills, lines);
  bool ok = true;
  for (const Check& c : checks) {
    bool pass = c.bad == 0;
    ok = ok && pass;
    std::printf("  %-46s %s", c.what, pass ? "PASS" : "FAIL");
    if (!pass) std::printf("  (%lld off)", c.bad);
    std::printf("\n");
  }
  std::printf("Invariants: %s\n", ok ? "PASS" : "FAIL");
  return ok;
}

bool takeInt(const std::string& arg, const char* name, int& out) {
  std::string prefix = std::string("--") + name + "=";
  if (arg.compare(0, prefix.size(), prefix) != 0) return false;
  out = std::atoi(arg.c_str() + prefix.size());
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  bool keepMemory = true;
  int kept = 1;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--default-malloc")
      keepMemory = false;
    else if (!takeInt(a, "duration", options.durationSeconds) &&
             !takeInt(a, "clients", options.clients) && !takeInt(a, "traders", options.traders))
      argv[kept++] = argv[i];
  }
  argc = kept;
  options.clients = std::max(1, options.clients);
  options.traders = std::max(1, options.traders);
  // As the client and the service keep freed memory (--default-malloc measures without).
  if (keepMemory) vlt::KeepFreedMemory();
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;

  Fixture f;
  f.options = options;
  fx = &f;
  int rc = 0;
  try {
    setUp(f);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    std::printf("\nRatios measured in this run (10,000 goods rows; a bill of 50 lines):\n");
    reporter.ratio("read goods: proxy over HTTP / Connector/C", "BM_ProxyReadGoods",
                   "BM_DirectReadGoods", "target <= 1.5", 1.5, false);
    reporter.ratio("save bill: proxy over HTTP / Connector/C", "BM_ProxySaveBill",
                   "BM_DirectSaveBill", "target <= 2", 2, false);
    reporter.ratio("  service alone (no HTTP) / Connector/C", "BM_ServiceReadGoods",
                   "BM_DirectReadGoods", "for information", 0, false);
    reporter.ratio("  encode the answer / Connector/C", "BM_EncodeGoods", "BM_DirectReadGoods",
                   "for information", 0, false);
    reporter.ratio("  decode the answer / Connector/C", "BM_DecodeGoods", "BM_DirectReadGoods",
                   "for information", 0, false);
    reporter.ratio("  service save alone (no HTTP) / Connector/C", "BM_ServiceSaveBill",
                   "BM_DirectSaveBill", "for information", 0, false);
    reporter.ratio("one row by key: proxy over HTTP / Connector/C", "BM_ProxyOneRow",
                   "BM_DirectOneRow", "for information", 0, false);
    reporter.ratio("  service alone (no HTTP) / Connector/C", "BM_ServiceOneRow", "BM_DirectOneRow",
                   "for information", 0, false);
    if (options.durationSeconds > 0) runConcurrent(f);
    if (!checkInvariants(f)) rc = 1;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "vlt-bench-service: %s\n", e.what());
    rc = 1;
  }
  tearDown(f);
  benchmark::Shutdown();
  return rc;
}
