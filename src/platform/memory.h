// Memory of a long-running service that serves one front end: a small
// footprint while idle and the memory of a large message (a document to
// print arrives as megabytes of base64) given back once it is handled.
#pragma once

#include <cstddef>

namespace platform {

// Process-wide allocator settings, called once at start before any thread:
// few allocator arenas (each connection has a thread, and an arena per
// thread keeps its own free memory), and blocks from kLargeBlock up taken
// from and returned straight to the system.
void ConfigureAllocator();

// Blocks of this size and above are mapped on their own.
inline constexpr size_t kLargeBlock = 256 * 1024;

// Returns the allocator's free memory to the system; for after a large
// message.
void ReleaseFreeMemory();

}  // namespace platform
