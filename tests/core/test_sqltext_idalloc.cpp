#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <limits>
#include <set>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "vlt/errors.h"
#include "vlt/idalloc.h"
#include "vlt/sqltext.h"

namespace vlt {
namespace {

TEST(SqlTextTest, QuotesStrings) {
  const std::pair<std::string_view, std::string_view> rows[] = {
      {"it's", "'it''s'"},
      {"", "''"},
      {"'", "''''"},
      {"''", "''''''"},
      {"C:\\dir\\", "'C:\\dir\\'"},  // backslashes are plain characters on this server
      {"a\"b", "'a\"b'"},
      {"茶叶 'A'", "'茶叶 ''A'''"},
      {std::string_view("a\0b", 3), std::string_view("'a\0b'", 5)},
  };
  for (const auto& [text, quoted] : rows) {
    SCOPED_TRACE(std::string(text));
    EXPECT_EQ(quotedStr(text), quoted);
  }
  EXPECT_EQ(likeContains("it's"), "'%it''s%'");
  EXPECT_EQ(likeContains(""), "'%%'");
}

TEST(SqlTextTest, WritesNumbers) {
  EXPECT_EQ(sqlNumber(std::int64_t{12}), "12");
  EXPECT_EQ(sqlNumber(std::int64_t{-1}), "-1");
  EXPECT_EQ(sqlNumber(std::numeric_limits<std::int64_t>::min()), "-9223372036854775808");
  const std::pair<double, const char*> doubles[] = {
      {12.5, "12.5"},  {0.1 + 0.2, "0.30000000000000004"}, {-3.0, "-3"}, {0.1, "0.1"},
      {1e-7, "1e-07"}, {123456789.0, "123456789"},
  };
  for (const auto& [value, text] : doubles) {
    SCOPED_TRACE(text);
    std::string s = sqlNumber(value);
    EXPECT_EQ(s, text);
    EXPECT_EQ(std::stod(s), value);
  }
  EXPECT_THROW(sqlNumber(std::nan("")), ConversionError);
  EXPECT_THROW(sqlNumber(std::numeric_limits<double>::infinity()), ConversionError);
  EXPECT_THROW(sqlNumber(-std::numeric_limits<double>::infinity()), ConversionError);
  EXPECT_EQ(sqlNumber(Decimal::parse("12.50")), "12.50");
  EXPECT_EQ(sqlNumber(Decimal::parse("-0.05")), "-0.05");
}

// Hands out consecutive blocks and counts its calls.
struct CountingSupplier {
  std::uint64_t first;
  std::uint64_t size;
  std::atomic<int>* calls;
  IdBlock operator()() {
    int n = calls->fetch_add(1);
    return {first + static_cast<std::uint64_t>(n) * size, size};
  }
};

TEST(IdAllocatorTest, UsesEachBlockBeforeAskingForTheNext) {
  std::atomic<int> calls{0};
  IdAllocator ids(CountingSupplier{200000000000000ULL, 3, &calls});
  EXPECT_EQ(calls.load(), 0) << "no block is reserved before the first id";
  const char* expected[] = {"200000000000000", "200000000000001", "200000000000002",
                            "200000000000003", "200000000000004"};
  for (const char* id : expected)
    EXPECT_EQ(ids.next(), id);
  EXPECT_EQ(calls.load(), 2);
}

TEST(IdAllocatorTest, SkipsTheFixedId) {
  std::atomic<int> calls{0};
  IdAllocator ids(CountingSupplier{IdAllocator::kMinId, 3, &calls});
  EXPECT_EQ(ids.next(), "100000000000000");
  EXPECT_EQ(ids.next(), "100000000000002");
  EXPECT_EQ(ids.next(), "100000000000003");

  // A block holding nothing but the fixed id is used up at once.
  int n = 0;
  IdAllocator onlyFixed([&n]() -> IdBlock {
    return ++n == 1 ? IdBlock{100000000000001ULL, 1} : IdBlock{500000000000000ULL, 10};
  });
  EXPECT_EQ(onlyFixed.next(), "500000000000000");
  EXPECT_EQ(n, 2);
}

TEST(IdAllocatorTest, RefusesBadBlocks) {
  const IdBlock rows[] = {
      {200000000000000ULL, 0},                   // empty
      {99999999999999ULL, 5},                    // 14 digits
      {IdAllocator::kMaxId, 2},                  // runs into 16 digits
      {IdAllocator::kMaxId + 1, 1},              // 16 digits
      {IdAllocator::kMinId, ~std::uint64_t{0}},  // count that would wrap around
  };
  for (const auto& block : rows) {
    SCOPED_TRACE(std::to_string(block.first) + " x " + std::to_string(block.count));
    IdAllocator ids([block] { return block; });
    EXPECT_THROW(ids.next(), Error);
  }
  IdAllocator last([] { return IdBlock{IdAllocator::kMaxId, 1}; });
  EXPECT_EQ(last.next(), "999999999999999");
  EXPECT_THROW(IdAllocator{IdAllocator::Supplier{}}, Error);
}

TEST(IdAllocatorTest, StaysUsableAfterTheSupplierFails) {
  int n = 0;
  IdAllocator ids([&n]() -> IdBlock {
    if (++n == 1) throw std::runtime_error("service unreachable");
    return {300000000000000ULL, 2};
  });
  EXPECT_THROW(ids.next(), std::runtime_error);
  EXPECT_EQ(ids.next(), "300000000000000");
  EXPECT_EQ(ids.next(), "300000000000001");
  EXPECT_EQ(n, 2);
}

TEST(IdAllocatorTest, ThreadsGetDistinctIds) {
  struct Row {
    int threads;
    int perThread;
    std::uint64_t blockSize;
  };
  const Row rows[] = {{4, 5000, 100}, {4, 5000, 7}, {3, 1000, 1}};
  for (const auto& r : rows) {
    SCOPED_TRACE(std::to_string(r.threads) + " threads, block " + std::to_string(r.blockSize));
    std::atomic<int> calls{0};
    IdAllocator ids(CountingSupplier{400000000000000ULL, r.blockSize, &calls});
    std::vector<std::vector<std::string>> got(static_cast<std::size_t>(r.threads));
    std::vector<std::thread> workers;
    for (auto& mine : got) {
      workers.emplace_back([&ids, &mine, &r] {
        for (int i = 0; i < r.perThread; ++i)
          mine.push_back(ids.next());
      });
    }
    for (auto& w : workers)
      w.join();
    std::set<std::string> all;
    for (const auto& mine : got) {
      for (const auto& id : mine) {
        EXPECT_EQ(id.size(), 15u);
        all.insert(id);
      }
    }
    const auto total = static_cast<std::uint64_t>(r.threads) * r.perThread;
    EXPECT_EQ(all.size(), total);
    EXPECT_EQ(static_cast<std::uint64_t>(calls.load()), (total + r.blockSize - 1) / r.blockSize);
  }
}

}  // namespace
}  // namespace vlt
