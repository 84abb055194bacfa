// Grid benchmarks: the string grid bound to 100,000 goods rows against the same rows copied
// into a QStandardItemModel shown by a plain QTableView, in one run, offscreen.

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QHeaderView>
#include <QImage>
#include <QStandardItemModel>
#include <QTableView>
#include <cstdint>
#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "vlt/components.h"
#include "vlt/host.h"

namespace {

using vlt::components::TColumnDef;
using vlt::components::TNxStringGrid;

constexpr int kRows = 100000;
constexpr int kMoves = 1000;

std::string padded(std::uint64_t n, std::size_t width) {
  std::string s = std::to_string(n);
  return s.size() < width ? std::string(width - s.size(), '0') + s : s;
}

// The goods list as its window loads it: 15 columns of codes, names, prices, stock, a flag, a
// creation time and an optional remark. Deterministic so that runs compare.
vlt::Packet goodsPacket() {
  using vlt::DataType;
  auto text = [](const char* name, int size) {
    vlt::FieldDef f;
    f.name = name;
    f.type = DataType::String;
    f.size = size;
    return f;
  };
  auto number = [](const char* name, int precision, int scale) {
    vlt::FieldDef f;
    f.name = name;
    f.type = DataType::Decimal;
    f.precision = precision;
    f.scale = scale;
    return f;
  };
  vlt::FieldDef created;
  created.name = "CreateTime";
  created.type = DataType::DateTime;
  vlt::Packet p;
  p.fields = vlt::FieldDefs(std::vector<vlt::FieldDef>{
      text("ID", 15), text("Code", 20), text("Name", 80), text("Spec", 40), text("UnitID", 15),
      text("GoodsTypeID", 15), text("LevelCode", 30), text("BarCode", 30),
      number("PurPrice", 11, 2), number("SalPrice", 11, 2), number("MinPrice", 11, 2),
      number("StockQty", 13, 4), text("IsStop", 8), created, text("Remark", 100)});
  const char* const names[] = {"白砂糖", "东北大米", "花生油",       "Coca Cola", "洗衣粉",
                               "矿泉水", "Nescafe",  "Colgate 牙膏", "纯棉毛巾",  "苏打饼干"};
  const char* const specs[] = {"500g*20", "1L*12", "大号", "24瓶/箱", ""};
  p.rows.reserve(kRows);
  std::uint64_t seed = 20240601;
  auto next = [&seed] {
    seed = seed * 6364136223846793005ULL + 1442695040888963407ULL;
    return static_cast<std::uint32_t>(seed >> 33);
  };
  for (int i = 0; i < kRows; ++i) {
    const auto n = static_cast<std::uint64_t>(i);
    const std::int64_t cents = 50 + next() % 200000;
    vlt::Row r;
    r.reserve(15);
    r.emplace_back(std::to_string(100000 + n));
    r.emplace_back("G" + padded(n + 1, 6));
    r.emplace_back(std::string(names[next() % 10]) + " " + std::to_string(next() % 900 + 100) +
                   "g");
    r.emplace_back(specs[next() % 5]);
    r.emplace_back("U" + padded(next() % 12 + 1, 2));
    r.emplace_back("T" + padded(next() % 12 + 1, 3));
    r.emplace_back("001" + padded(next() % 999, 3));
    r.emplace_back("69" + padded(next() % 100000000, 11));
    r.emplace_back(vlt::Decimal(cents, 2));
    r.emplace_back(vlt::Decimal(cents * 6 / 5, 2));
    r.emplace_back(vlt::Decimal(cents * 21 / 20, 2));
    r.emplace_back(vlt::Decimal(static_cast<std::int64_t>(next() % 50000000), 4));
    r.emplace_back(next() % 20 == 0 ? "True" : "False");
    r.emplace_back(vlt::DateTime::fromSeconds(1577836800 + next() % (5 * 365 * 86400)));
    if (next() % 10 < 3)
      r.emplace_back("供应商直送");
    else
      r.emplace_back(nullptr);
    p.rows.push_back(std::move(r));
  }
  return p;
}

vlt::ClientDataSet& goods() {
  static vlt::ClientDataSet* ds = [] {
    auto* d = new vlt::ClientDataSet;
    d->LoadFromPacket(goodsPacket());
    return d;
  }();
  return *ds;
}

std::vector<TColumnDef> goodsColumns() {
  std::vector<TColumnDef> columns;
  for (const vlt::FieldDef& f : goods().Fields())
    columns.emplace_back(vlt::host::qs(f.name), vlt::host::qs(f.name), 90);
  return columns;
}

// Both views get what the grid does for itself: fixed row heights, no row header, whole rows.
void likeTheGrid(QTableView& view) {
  view.resize(1200, 700);
  view.setAlternatingRowColors(true);
  view.setSelectionBehavior(QAbstractItemView::SelectRows);
  view.setSelectionMode(QAbstractItemView::SingleSelection);
  view.setWordWrap(false);
  view.verticalHeader()->hide();
  view.verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  view.verticalHeader()->setMinimumSectionSize(1);
  view.verticalHeader()->setDefaultSectionSize(24);
}

// The plain way: every value copied into an item.
std::unique_ptr<QStandardItemModel> standardModel() {
  vlt::ClientDataSet& ds = goods();
  const int columns = static_cast<int>(ds.FieldCount());
  auto model = std::make_unique<QStandardItemModel>(kRows, columns);
  for (int c = 0; c < columns; ++c) {
    const auto field = static_cast<std::size_t>(c);
    model->setHeaderData(c, Qt::Horizontal, vlt::host::qs(ds.Fields()[field].name));
    const bool number = ds.Fields()[field].type == vlt::DataType::Decimal;
    for (int r = 0; r < kRows; ++r) {
      auto* item = new QStandardItem(vlt::host::qs(ds.DisplayValue(r, field).toText()));
      if (number) item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
      model->setItem(r, c, item);
    }
  }
  return model;
}

void BM_GridBindAndPaint(benchmark::State& state) {
  vlt::ClientDataSet& ds = goods();
  const std::vector<TColumnDef> columns = goodsColumns();
  for (auto _ : state) {
    TNxStringGrid grid;
    grid.resize(1200, 700);
    grid.Bind(&ds, columns);
    grid.show();
    QImage image = grid.grab().toImage();
    benchmark::DoNotOptimize(image.bits());
    state.PauseTiming();
    grid.Bind(nullptr, {});
    state.ResumeTiming();
  }
}

void BM_StandardBindAndPaint(benchmark::State& state) {
  goods();
  for (auto _ : state) {
    std::unique_ptr<QStandardItemModel> model = standardModel();
    QTableView view;
    likeTheGrid(view);
    view.setModel(model.get());
    view.show();
    QImage image = view.grab().toImage();
    benchmark::DoNotOptimize(image.bits());
    state.PauseTiming();  // freeing 1.5 million items is not showing them
    view.setModel(nullptr);
    model.reset();
    state.ResumeTiming();
  }
}

// Alternately to the last row and back to the first, painting each time.
void scrollAndPaint(benchmark::State& state, QTableView& view) {
  view.show();
  bool down = true;
  for (auto _ : state) {
    if (down)
      view.scrollToBottom();
    else
      view.scrollToTop();
    down = !down;
    QImage image = view.grab().toImage();
    benchmark::DoNotOptimize(image.bits());
  }
}

void BM_GridScrollToEnd(benchmark::State& state) {
  TNxStringGrid grid;
  grid.resize(1200, 700);
  grid.Bind(&goods(), goodsColumns());
  scrollAndPaint(state, grid);
  grid.Bind(nullptr, {});
}

void BM_StandardScrollToEnd(benchmark::State& state) {
  std::unique_ptr<QStandardItemModel> model = standardModel();
  QTableView view;
  likeTheGrid(view);
  view.setModel(model.get());
  scrollAndPaint(state, view);
  view.setModel(nullptr);
}

// The data set's cursor walks 1,000 rows (down, then back up); the grid follows every step.
void BM_GridMoveCursor(benchmark::State& state) {
  vlt::ClientDataSet& ds = goods();
  TNxStringGrid grid;
  grid.resize(1200, 700);
  grid.Bind(&ds, goodsColumns());
  grid.show();
  ds.First();
  bool down = true;
  for (auto _ : state) {
    for (int i = 0; i < kMoves; ++i)
      ds.MoveBy(down ? 1 : -1);
    down = !down;
    benchmark::DoNotOptimize(grid.SelectedRow());
  }
  grid.Bind(nullptr, {});
}

void BM_StandardMoveCursor(benchmark::State& state) {
  std::unique_ptr<QStandardItemModel> model = standardModel();
  QTableView view;
  likeTheGrid(view);
  view.setModel(model.get());
  view.show();
  view.setCurrentIndex(model->index(0, 0));
  bool down = true;
  for (auto _ : state) {
    for (int i = 0; i < kMoves; ++i)
      view.setCurrentIndex(model->index(view.currentIndex().row() + (down ? 1 : -1), 0));
    down = !down;
    benchmark::DoNotOptimize(view.currentIndex().row());
  }
  view.setModel(nullptr);
}

}  // namespace

BENCHMARK(BM_GridBindAndPaint)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StandardBindAndPaint)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_GridScrollToEnd)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StandardScrollToEnd)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GridMoveCursor)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StandardMoveCursor)->Unit(benchmark::kMillisecond);

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

  // Prints `label: a / b = r`.
  void ratio(const char* label, const char* a, const char* b) const {
    auto ia = times_.find(a), ib = times_.find(b);
    if (ia == times_.end() || ib == times_.end()) return;
    std::printf("%-52s %8.3f   (for information)\n", label, ia->second / ib->second);
  }

 private:
  std::map<std::string, double> times_;
};

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  std::printf("\nRatios measured in this run (100,000 goods rows, 15 columns, 1200x700):\n");
  reporter.ratio("bind + first paint: grid / QStandardItemModel", "BM_GridBindAndPaint",
                 "BM_StandardBindAndPaint/iterations:3");
  reporter.ratio("scroll to the end + paint: grid / QStandardItemModel", "BM_GridScrollToEnd",
                 "BM_StandardScrollToEnd");
  reporter.ratio("cursor across 1,000 rows: grid / QTableView", "BM_GridMoveCursor",
                 "BM_StandardMoveCursor");
  benchmark::Shutdown();
  return 0;
}
