#include "endpoint/unmask.h"

#include <gtest/gtest.h>

#include <string>

namespace endpoint {
namespace {

// Against the definition, byte by byte, for every length around a block and
// every starting offset in the key, as a payload read in pieces needs.
TEST(UnmaskTest, MatchesTheByteWiseDefinitionForEveryLengthAndOffset) {
  const uint8_t key[4] = {0x37, 0xFA, 0x21, 0x3D};
  for (size_t n = 0; n < 140; ++n) {
    for (uint64_t offset = 0; offset < 9; ++offset) {
      std::string data;
      for (size_t i = 0; i < n; ++i) data += static_cast<char>('a' + (i * 7) % 26);
      std::string expected = data;
      for (size_t i = 0; i < n; ++i)
        expected[i] = static_cast<char>(expected[i] ^ key[(offset + i) % 4]);
      UnmaskInPlace(data.data(), data.size(), key, offset);
      EXPECT_EQ(data, expected) << "n=" << n << " offset=" << offset;
    }
  }
}

}  // namespace
}  // namespace endpoint
