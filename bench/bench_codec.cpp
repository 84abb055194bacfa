// Packet codec benchmarks: decoding and encoding a large goods list, against a general JSON
// library parsing and writing the same text.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "bench_data.h"
#include "vlt/json.h"

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace {

// Small fixed-seed generator: the same rows on every machine and library version.
class Rng {
 public:
  explicit Rng(std::uint64_t seed) : state_(seed) {}
  std::uint32_t next() {
    state_ = state_ * 6364136223846793005ULL + 1442695040888963407ULL;
    return static_cast<std::uint32_t>(state_ >> 33);
  }
  // 0 <= result < n
  std::uint32_t below(std::uint32_t n) { return next() % n; }

 private:
  std::uint64_t state_;
};

vlt::FieldDef stringField(const char* name, int size) {
  vlt::FieldDef f;
  f.name = name;
  f.type = vlt::DataType::String;
  f.size = size;
  return f;
}

vlt::FieldDef decimalField(const char* name, int precision, int scale) {
  vlt::FieldDef f;
  f.name = name;
  f.type = vlt::DataType::Decimal;
  f.precision = precision;
  f.scale = scale;
  return f;
}

std::string zeroPadded(std::uint64_t n, int width) {
  std::string s = std::to_string(n);
  if (static_cast<int>(s.size()) < width)
    s.insert(0, static_cast<std::size_t>(width) - s.size(), '0');
  return s;
}

const char* const kNames[] = {"白砂糖",           "红糖",     "东北大米",     "高筋面粉",
                              "花生油",           "生抽酱油", "加碘食盐",     "鸡精",
                              "矿泉水",           "青岛啤酒", "Coca Cola",    "Nescafe Coffee",
                              "Lipton Black Tea", "洗衣粉",   "Colgate 牙膏", "Head Shoulders",
                              "纯棉毛巾",         "苏打饼干", "红烧牛肉面",   "Milk Powder"};
const char* const kPackSizes[] = {"500g*20", "1L*12", "大号", "24瓶/箱",
                                  "400g",    "5L",    "",     "10包/袋"};
const char* const kRemarks[] = {"供应商直送", "seasonal item", "促销商品, 限购两件",
                                "check expiry date", "新品"};

}  // namespace

vlt::Packet makeGoodsPacket(std::size_t rows) {
  using vlt::DataType;
  vlt::Packet p;
  vlt::FieldDef created;
  created.name = "CreateTime";
  created.type = DataType::DateTime;
  p.fields = vlt::FieldDefs(std::vector<vlt::FieldDef>{
      stringField("ID", 15), stringField("Code", 20), stringField("Name", 80),
      stringField("Spec", 40), stringField("UnitID", 15), stringField("GoodsTypeID", 15),
      stringField("LevelCode", 30), stringField("BarCode", 30), decimalField("PurPrice", 11, 2),
      decimalField("SalPrice", 11, 2), decimalField("MinPrice", 11, 2),
      decimalField("StockQty", 13, 4), stringField("IsStop", 8), created,
      stringField("Remark", 100)});
  p.rows.reserve(rows);
  Rng rng(20240601);
  const std::int64_t start = 1577836800;  // 2020-01-01 00:00:00
  for (std::size_t i = 0; i < rows; ++i) {
    vlt::Row r;
    r.reserve(15);
    std::string name = kNames[rng.below(20)];
    if (rng.below(10) == 0) {
      name += " " + std::to_string(1 + rng.below(25)) + "kg";
    } else if (rng.below(2) == 0) {
      name += " " + std::to_string(100 * (1 + rng.below(9))) + "g";
    }
    const std::uint32_t type = rng.below(12);
    const std::int64_t purchase = 50 + rng.below(200000);  // cents
    r.emplace_back(std::to_string(100000 + i));
    r.emplace_back("G" + zeroPadded(i + 1, 6));
    r.emplace_back(name);
    r.emplace_back(kPackSizes[rng.below(8)]);
    r.emplace_back("U" + zeroPadded(1 + rng.below(12), 2));
    r.emplace_back("T" + zeroPadded(type + 1, 3));
    r.emplace_back("001" + zeroPadded(type + 1, 3) + zeroPadded(1 + rng.below(40), 3));
    r.emplace_back("69" + zeroPadded(rng.next() % 100000000000ULL, 11));
    r.emplace_back(vlt::Decimal(purchase, 2));
    r.emplace_back(vlt::Decimal(purchase * 6 / 5, 2));
    r.emplace_back(vlt::Decimal(purchase * 21 / 20, 2));
    r.emplace_back(vlt::Decimal(static_cast<std::int64_t>(rng.below(50000000)) - 1000000, 4));
    r.emplace_back(rng.below(20) == 0 ? "True" : "False");
    r.emplace_back(vlt::DateTime::fromSeconds(start + rng.below(5 * 365 * 86400)));
    if (rng.below(10) < 3) {
      r.emplace_back(kRemarks[rng.below(5)]);
    } else {
      r.emplace_back(nullptr);
    }
    p.rows.push_back(std::move(r));
  }
  return p;
}

namespace {

constexpr std::size_t kBenchRows = 100000;

const vlt::Packet& goodsPacket() {
  static const vlt::Packet packet = makeGoodsPacket(kBenchRows);
  return packet;
}

const std::string& goodsText() {
  static const std::string text = vlt::encodePacket(goodsPacket());
  return text;
}

const nlohmann::json& goodsDocument() {
  static const nlohmann::json doc = nlohmann::json::parse(goodsText());
  return doc;
}

void BM_DecodePacket(benchmark::State& state) {
  const std::string& text = goodsText();
  for (auto _ : state) {
    vlt::Packet p = vlt::decodePacket(text);
    benchmark::DoNotOptimize(p);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}

void BM_EncodePacket(benchmark::State& state) {
  const vlt::Packet& packet = goodsPacket();
  const std::size_t bytes = goodsText().size();
  for (auto _ : state) {
    std::string text = vlt::encodePacket(packet);
    benchmark::DoNotOptimize(text);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes));
}

void BM_NlohmannParse(benchmark::State& state) {
  const std::string& text = goodsText();
  for (auto _ : state) {
    nlohmann::json doc = nlohmann::json::parse(text);
    benchmark::DoNotOptimize(doc);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}

void BM_NlohmannDump(benchmark::State& state) {
  const nlohmann::json& doc = goodsDocument();
  const std::size_t bytes = goodsText().size();
  for (auto _ : state) {
    std::string text = doc.dump();
    benchmark::DoNotOptimize(text);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes));
}

}  // namespace

BENCHMARK(BM_DecodePacket)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EncodePacket)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_NlohmannParse)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_NlohmannDump)->Unit(benchmark::kMillisecond);
