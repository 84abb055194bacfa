// Export benchmarks: a grid of 100,000 bill lines (codes, names, dates, quantities, prices,
// amounts, a remark) written to .xlsx and to CSV, and laid out for printing, offscreen. The
// figures are absolute times.

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QFileInfo>
#include <QTemporaryDir>
#include <cstdio>
#include <string>
#include <vector>

#include "vlt/gridexport.h"
#include "vlt/printing.h"

namespace {

using vlt::components::TColumnDef;
using vlt::components::TNxStringGrid;

constexpr int kRows = 100000;

vlt::FieldDef field(const char* name, vlt::DataType type, int precision = 0, int scale = 0) {
  vlt::FieldDef f;
  f.name = name;
  f.type = type;
  f.size = type == vlt::DataType::String ? 80 : 0;
  f.precision = precision;
  f.scale = scale;
  return f;
}

// Deterministic rows so that runs compare.
vlt::Packet linesPacket() {
  using vlt::DataType;
  vlt::Packet p;
  p.fields = vlt::FieldDefs(std::vector<vlt::FieldDef>{
      field("BCode", DataType::String), field("BDate", DataType::Date),
      field("TraderName", DataType::String), field("GoodsCode", DataType::String),
      field("GoodsName", DataType::String), field("Qty", DataType::Decimal, 18, 4),
      field("Price", DataType::Decimal, 18, 4), field("Amount", DataType::Decimal, 18, 4),
      field("Finished", DataType::String), field("Remark", DataType::String)});
  p.rows.reserve(kRows);
  const vlt::Date first = vlt::Date::parse("2024-01-01");
  for (int i = 0; i < kRows; ++i) {
    const std::string n = std::to_string(i);
    const std::int64_t qty = 1 + i % 37, price = 1999 + (i * 7919) % 100000;  // 2 decimals
    p.rows.push_back(vlt::Row{
        vlt::Value("XS" + std::to_string(20240000 + i / 5)), vlt::Value(first.addDays(i / 150)),
        vlt::Value("客户" + std::to_string(i % 400)), vlt::Value("G" + std::to_string(i % 3000)),
        vlt::Value("货品 \"" + std::to_string(i % 3000) + "\", 规格 " + n),
        vlt::Value(vlt::Decimal(qty, 0)), vlt::Value(vlt::Decimal(price, 2)),
        vlt::Value(vlt::Decimal(qty * price, 2)), vlt::Value(i % 3 == 0 ? "True" : "False"),
        i % 10 == 0 ? vlt::Value("备注,第" + n + "行\n第二行") : vlt::Value()});
  }
  return p;
}

struct Fixture {
  Fixture() {
    data.LoadFromPacket(linesPacket());
    grid.resize(1200, 700);
    grid.Bind(
        &data,
        {TColumnDef("BCode", "单号", 110), TColumnDef("BDate", "日期", 90),
         TColumnDef("TraderName", "客户", 120), TColumnDef("GoodsCode", "编码", 70),
         TColumnDef("GoodsName", "货品名称", 200), TColumnDef("Qty", "数量", 70).Number(2),
         TColumnDef("Price", "单价", 80).Number(2), TColumnDef("Amount", "金额", 100).Number(2),
         TColumnDef("Finished", "完成", 40).YesNo(), TColumnDef("Remark", "备注", 160)});
  }
  vlt::ClientDataSet data;
  TNxStringGrid grid;
  QTemporaryDir dir;
};

Fixture& fixture() {
  static Fixture f;
  return f;
}

void BM_ExportXlsx100k(benchmark::State& state) {
  Fixture& f = fixture();
  const QString path = f.dir.filePath("lines.xlsx");
  for (auto _ : state) {
    const QString error = vlt::components::WriteXlsx(
        vlt::components::ExportTableOf(f.grid, QStringLiteral("销售明细")), path);
    if (!error.isEmpty()) state.SkipWithError(error.toStdString().c_str());
  }
  state.counters["bytes"] = static_cast<double>(QFileInfo(path).size());
}

void BM_ExportCsv100k(benchmark::State& state) {
  Fixture& f = fixture();
  const QString path = f.dir.filePath("lines.csv");
  for (auto _ : state) {
    const QString error = vlt::components::WriteCsv(vlt::components::ExportTableOf(f.grid), path);
    if (!error.isEmpty()) state.SkipWithError(error.toStdString().c_str());
  }
  state.counters["bytes"] = static_cast<double>(QFileInfo(path).size());
}

void BM_PrintDoc100k(benchmark::State& state) {
  Fixture& f = fixture();
  vlt::components::TGridPrintOptions o;
  o.totalMembers = {"Qty", "Amount"};
  for (auto _ : state)
    benchmark::DoNotOptimize(vlt::components::PrintDocFromGrid(f.grid, o).rows.size());
}

BENCHMARK(BM_ExportXlsx100k)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_ExportCsv100k)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_PrintDoc100k)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  std::printf("100,000 bill lines, 10 columns (numbers typed, dates as dates):\n");
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
