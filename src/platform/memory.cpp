#include "platform/memory.h"

#include <malloc.h>

namespace platform {

void ConfigureAllocator() {
  // One arena: malloc_trim gives back the top of the main arena only.
  mallopt(M_ARENA_MAX, 1);
  // Blocks up to the largest threshold glibc takes come from the heap, where
  // a freed one is reused without new page faults; nothing is trimmed on its
  // own (fixed values also stop glibc from moving them).
  mallopt(M_MMAP_THRESHOLD, 32 * 1024 * 1024);
  mallopt(M_TRIM_THRESHOLD, 256 * 1024 * 1024);
}

void ReleaseFreeMemory() { malloc_trim(0); }

}  // namespace platform
