#include "endpoint/unmask.h"

#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace endpoint {

void UnmaskInPlace(char* data, size_t n, const uint8_t key[4], uint64_t offset) {
  // The key rotated so that its first byte lines up with data[0], repeated.
  uint8_t k[16];
  for (int i = 0; i < 16; ++i) k[i] = key[(offset + static_cast<uint64_t>(i)) % 4];
  size_t i = 0;
#if defined(__SSE2__)
  // Sixteen bytes a lane, four lanes a step: the reader unmasks every
  // payload byte, so this runs at memory speed rather than eight at a time.
  const __m128i k128 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(k));
  const auto lane = [&](size_t at) {
    __m128i* p = reinterpret_cast<__m128i*>(data + at);
    _mm_storeu_si128(p, _mm_xor_si128(_mm_loadu_si128(p), k128));
  };
  for (; i + 64 <= n; i += 64) {
    lane(i);
    lane(i + 16);
    lane(i + 32);
    lane(i + 48);
  }
  for (; i + 16 <= n; i += 16) lane(i);
#endif
  uint64_t k64;
  std::memcpy(&k64, k, 8);
  for (; i + 8 <= n; i += 8) {
    uint64_t w;
    std::memcpy(&w, data + i, 8);
    w ^= k64;
    std::memcpy(data + i, &w, 8);
  }
  for (; i < n; ++i) data[i] = static_cast<char>(data[i] ^ k[i % 8]);
}

}  // namespace endpoint
