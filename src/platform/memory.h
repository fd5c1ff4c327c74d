// Memory of a long-running service that serves one front end: a small
// footprint while idle and the memory of a large message (a document to
// print arrives as megabytes of base64) given back once it is handled.
#pragma once

#include <cstddef>

namespace platform {

// Process-wide allocator settings, called once at start before any thread:
// one allocator arena for every thread (an arena per thread would keep its
// own free memory out of reach of ReleaseFreeMemory), and free memory kept until ReleaseFreeMemory,
// so that the buffers of a burst of large messages are reused instead of
// being mapped and faulted in again for each one.
void ConfigureAllocator();

// A message from this size up is large: its memory is worth giving back.
inline constexpr size_t kLargeBlock = 256 * 1024;

// Returns the allocator's free memory to the system; for when a connection
// that received a large message falls idle.
void ReleaseFreeMemory();

}  // namespace platform
