#include "platform/memory.h"

#include <malloc.h>

namespace platform {

void ConfigureAllocator() {
  mallopt(M_ARENA_MAX, 2);
  // A fixed threshold also stops glibc from raising it after a large block is
  // freed, which would keep the next large message in the heap for good.
  mallopt(M_MMAP_THRESHOLD, static_cast<int>(kLargeBlock));
  mallopt(M_TRIM_THRESHOLD, static_cast<int>(kLargeBlock));
}

void ReleaseFreeMemory() { malloc_trim(0); }

}  // namespace platform
