#include "vlt/heap.h"

// The C library's headers say which library it is: test for it only after one of them.
#include <cstdlib>
#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace vlt {

void KeepFreedMemory() {
#if defined(__GLIBC__)
  // Blocks up to 32 MiB (a result's row table) come from the heap rather than from their own
  // mapping, which is handed back when freed; the heap is trimmed only past 256 MiB free.
  mallopt(M_MMAP_THRESHOLD, 32 << 20);
  mallopt(M_TRIM_THRESHOLD, 256 << 20);
#endif
}

}  // namespace vlt
