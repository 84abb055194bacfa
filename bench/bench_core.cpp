// Data set benchmarks and the main that prints each measured ratio against the same work done
// directly (a plain JSON library, a hand-written loop), all in one run.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "bench_data.h"
#include "vlt/dataset.h"
#include "vlt/heap.h"

namespace {

constexpr std::size_t kRows = 100000;

const vlt::Packet& goods() {
  static const vlt::Packet packet = makeGoodsPacket(kRows);
  return packet;
}

vlt::ClientDataSet& loadedGoods() {
  static vlt::ClientDataSet* ds = [] {
    auto* d = new vlt::ClientDataSet;
    d->LoadFromPacket(goods());
    return d;
  }();
  return *ds;
}

void BM_LoadDataSet(benchmark::State& state) {
  for (auto _ : state) {
    state.PauseTiming();
    auto copy = std::make_unique<vlt::Packet>(goods());
    auto ds = std::make_unique<vlt::ClientDataSet>();
    state.ResumeTiming();
    ds->LoadFromPacket(std::move(*copy));
    benchmark::DoNotOptimize(ds->RecordCount());
    state.PauseTiming();  // freeing the rows is not loading
    ds.reset();
    copy.reset();
    state.ResumeTiming();
  }
}

void BM_FilterLikeKg(benchmark::State& state) {
  vlt::ClientDataSet& ds = loadedGoods();
  for (auto _ : state) {
    ds.SetFiltered(false);
    ds.SetFilter("Name like '%kg%'");
    ds.SetFiltered(true);
    benchmark::DoNotOptimize(ds.RecordCount());
  }
  ds.SetFiltered(false);
}

// The same test written by hand: ASCII case folded, "kg" anywhere in the name.
bool containsKg(const std::string& s) {
  for (std::size_t i = 0; i + 1 < s.size(); ++i) {
    char a = s[i], b = s[i + 1];
    if ((a == 'k' || a == 'K') && (b == 'g' || b == 'G')) return true;
  }
  return false;
}

void BM_FilterHandLoop(benchmark::State& state) {
  const vlt::Packet& p = goods();
  const std::size_t name = static_cast<std::size_t>(p.fields.indexOf("Name"));
  std::vector<std::uint32_t> visible;
  for (auto _ : state) {
    visible.clear();
    for (std::size_t r = 0; r < p.rows.size(); ++r) {
      const vlt::Value& v = p.rows[r][name];
      if (!v.isNull() && containsKg(v.string())) visible.push_back(static_cast<std::uint32_t>(r));
    }
    benchmark::DoNotOptimize(visible.size());
  }
}

void BM_LocateTwoKeys(benchmark::State& state) {
  vlt::ClientDataSet& ds = loadedGoods();
  const vlt::Row& target = goods().rows[kRows - 10];
  const std::size_t code = static_cast<std::size_t>(goods().fields.indexOf("Code"));
  const std::size_t name = static_cast<std::size_t>(goods().fields.indexOf("Name"));
  std::vector<vlt::Value> keys{target[code], target[name]};
  for (auto _ : state)
    benchmark::DoNotOptimize(ds.Locate("Code;Name", keys));
}

void BM_LocateHandLoop(benchmark::State& state) {
  const vlt::Packet& p = goods();
  const vlt::Row& target = p.rows[kRows - 10];
  const std::size_t code = static_cast<std::size_t>(p.fields.indexOf("Code"));
  const std::size_t name = static_cast<std::size_t>(p.fields.indexOf("Name"));
  const std::string& c = target[code].string();
  const std::string& n = target[name].string();
  for (auto _ : state) {
    std::size_t found = p.rows.size();
    for (std::size_t r = 0; r < p.rows.size(); ++r) {
      const vlt::Row& row = p.rows[r];
      if (row[code].string() == c && row[name].string() == n) {
        found = r;
        break;
      }
    }
    benchmark::DoNotOptimize(found);
  }
}

vlt::FieldDefs lineFields() {
  vlt::FieldDefs f;
  f.add("bid", vlt::DataType::String, 15);
  f.add("bno", vlt::DataType::Int32);
  f.add("goodsid", vlt::DataType::String, 15);
  f.addDecimal("qty", 13, 4);
  f.addDecimal("price", 11, 2);
  f.addDecimal("taxrate", 5, 2);
  f.addDecimal("amount", 20, 2);
  f.add("pause", vlt::DataType::String, 8);
  return f;
}

void BM_AppendLines(benchmark::State& state) {
  for (auto _ : state) {
    vlt::ClientDataSet ds;
    ds.FieldDefinitions() = lineFields();
    ds.CreateDataSet();
    for (int i = 1; i <= 10000; ++i) {
      ds.Append();
      ds.FieldByIndex(0).SetAsString("100000000000123");
      ds.FieldByIndex(1).SetAsInteger(i);
      ds.FieldByIndex(2).SetAsString("100000000004567");
      ds.FieldByIndex(3).SetAsFloat(2);
      ds.FieldByIndex(4).SetAsString("10.50");
      ds.FieldByIndex(5).SetAsInteger(17);
      ds.FieldByIndex(6).SetAsFloat(2 * 10.5 * 1.17);
      ds.FieldByIndex(7).SetAsString("false");
      ds.Post();
    }
    benchmark::DoNotOptimize(ds.ChangeCount());
  }
}

// The same rows pushed into a vector of rows by hand, values converted the same way.
void BM_AppendLinesHandLoop(benchmark::State& state) {
  for (auto _ : state) {
    std::vector<vlt::Row> rows;
    for (int i = 1; i <= 10000; ++i) {
      vlt::Row row(8);
      row[0] = vlt::Value("100000000000123");
      row[1] = vlt::Value(std::int32_t{i});
      row[2] = vlt::Value("100000000004567");
      row[3] = vlt::Decimal::fromDouble(2, 4);
      row[4] = vlt::Decimal::parse("10.50");
      row[5] = vlt::Decimal(17, 0).rescaled(2);
      row[6] = vlt::Decimal::fromDouble(2 * 10.5 * 1.17, 2);
      row[7] = vlt::Value("false");
      rows.push_back(std::move(row));
    }
    benchmark::DoNotOptimize(rows.size());
  }
}

}  // namespace

BENCHMARK(BM_LoadDataSet)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FilterLikeKg)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FilterHandLoop)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LocateTwoKeys)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LocateHandLoop)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AppendLines)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AppendLinesHandLoop)->Unit(benchmark::kMillisecond);

namespace {

// Remembers each benchmark's mean time so that the ratios can be printed at the end.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs)
      if (run.run_type == Run::RT_Iteration && !run.error_occurred)
        times_[run.benchmark_name()] = run.GetAdjustedRealTime();
    ConsoleReporter::ReportRuns(runs);
  }

  // Prints `label: a / b = r` and whether it meets the target.
  void ratio(const char* label, const char* a, const char* b, const char* target, double limit,
             bool atLeast) const {
    auto ia = times_.find(a), ib = times_.find(b);
    if (ia == times_.end() || ib == times_.end()) return;
    double r = ia->second / ib->second;
    bool ok = atLeast ? r >= limit : r <= limit;
    std::printf("%-44s %8.2f   (%s)%s\n", label, r, target,
                limit > 0 ? (ok ? "  ok" : "  MISSED") : "");
  }

 private:
  std::map<std::string, double> times_;
};

}  // namespace

int main(int argc, char** argv) {
  // Freed memory stays in the process between iterations, as the client and the service keep
  // it; pass --default-malloc to measure without it.
  bool keepMemory = true;
  int kept = 1;
  for (int i = 1; i < argc; ++i) {
    if (std::string(argv[i]) == "--default-malloc")
      keepMemory = false;
    else
      argv[kept++] = argv[i];
  }
  argc = kept;
  if (keepMemory) vlt::KeepFreedMemory();
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  std::printf("\nRatios measured in this run (100,000 goods rows, 15 columns):\n");
  reporter.ratio("decode: plain JSON parse / our decode", "BM_NlohmannParse", "BM_DecodePacket",
                 "target >= 2", 2, true);
  reporter.ratio("encode: plain JSON dump / our encode", "BM_NlohmannDump", "BM_EncodePacket",
                 "target >= 2", 2, true);
  reporter.ratio("filter Name like '%kg%': ours / hand loop", "BM_FilterLikeKg",
                 "BM_FilterHandLoop", "target <= 3", 3, false);
  reporter.ratio("locate on two keys: ours / hand loop", "BM_LocateTwoKeys", "BM_LocateHandLoop",
                 "for information", 0, false);
  reporter.ratio("append 10,000 lines: ours / hand loop", "BM_AppendLines",
                 "BM_AppendLinesHandLoop", "for information", 0, false);
  reporter.ratio("load into a data set / our decode", "BM_LoadDataSet", "BM_DecodePacket",
                 "for information", 0, false);
  benchmark::Shutdown();
  return 0;
}
