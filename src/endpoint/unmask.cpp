#include "endpoint/unmask.h"

#include <cstring>

namespace endpoint {

void UnmaskInPlace(char* data, size_t n, const uint8_t key[4], uint64_t offset) {
  // The key rotated so that its first byte lines up with data[0].
  uint8_t k[8];
  for (int i = 0; i < 8; ++i) k[i] = key[(offset + static_cast<uint64_t>(i)) % 4];
  uint64_t k64;
  std::memcpy(&k64, k, 8);
  size_t i = 0;
  for (; i + 8 <= n; i += 8) {
    uint64_t w;
    std::memcpy(&w, data + i, 8);
    w ^= k64;
    std::memcpy(data + i, &w, 8);
  }
  for (; i < n; ++i) data[i] = static_cast<char>(data[i] ^ k[i % 8]);
}

}  // namespace endpoint
