#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include "vlt/heap.h"

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace vlt {
namespace {

// A window's 50,000 rows freed and loaded again must not hand their pages back to the system
// in between: faulting them in again cost as much as decoding the rows.
TEST(HeapTest, FreedRowsStayInTheProcessForTheNextLoad) {
#if !defined(__GLIBC__)
  GTEST_SKIP() << "no such setting in this C library";
#else
  KeepFreedMemory();
  std::vector<void*> rows;
  for (int i = 0; i < 50000; ++i)
    rows.push_back(std::malloc(700));
  const std::size_t held = mallinfo2().arena;
  for (void* r : rows)
    std::free(r);
  EXPECT_GE(mallinfo2().arena, held);
#endif
}

}  // namespace
}  // namespace vlt
