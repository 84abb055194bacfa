#include "vlt/idalloc.h"

#include <utility>

#include "vlt/errors.h"

namespace vlt {

namespace {

// Reserved for a row the system itself owns; never handed to a new row.
constexpr std::uint64_t kFixedId = 100000000000001ULL;

}  // namespace

IdAllocator::IdAllocator(Supplier supplier) : supplier_(std::move(supplier)) {
  if (!supplier_) throw Error("id allocator needs a block supplier");
}

std::string IdAllocator::next() {
  std::lock_guard<std::mutex> lock(mutex_);
  for (;;) {
    while (next_ < end_) {
      std::uint64_t id = next_++;
      if (id != kFixedId) return std::to_string(id);
    }
    // The lock stays held so only one thread asks for a new block. The state is untouched until
    // a valid block arrives, so a throwing supplier leaves the allocator usable.
    IdBlock block = supplier_();
    if (block.count == 0) throw Error("id supplier returned an empty block");
    if (block.first < kMinId || block.first > kMaxId || block.count - 1 > kMaxId - block.first) {
      throw Error("id supplier returned a block (first " + std::to_string(block.first) +
                  ", count " + std::to_string(block.count) + ") outside the 15-digit range");
    }
    next_ = block.first;
    end_ = block.first + block.count;
  }
}

}  // namespace vlt
