#pragma once
// Row and bill ids: 15-digit decimal texts handed out from blocks that a supplier reserves (the
// data service, in production). Thread-safe; one supplier call per block, none per id.

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

namespace vlt {

struct IdBlock {
  std::uint64_t first = 0;  // first id of the block
  std::uint64_t count = 0;  // ids in the block
};

class IdAllocator {
 public:
  static constexpr std::uint64_t kMinId = 100000000000000ULL;  // smallest 15-digit number
  static constexpr std::uint64_t kMaxId = 999999999999999ULL;

  using Supplier = std::function<IdBlock()>;
  explicit IdAllocator(Supplier supplier);

  // The next id as 15-digit text. Throws vlt::Error when the supplier fails or hands out a block
  // outside the 15-digit range. Fixed ids of the system ("100000000000001") are never returned.
  std::string next();

 private:
  Supplier supplier_;
  std::mutex mutex_;
  std::uint64_t next_ = 0;
  std::uint64_t end_ = 0;
};

}  // namespace vlt
