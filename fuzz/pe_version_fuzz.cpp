// PE VERSIONINFO reader under arbitrary file bytes: it finds the fixed file
// version or nothing, and never reads outside the buffer.
// Seeds: fuzz/corpus/pe_version_fuzz, made with tests/platform/versionimages.h.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "platform/peversion.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  platform::ReadPeFileVersion(std::string_view(reinterpret_cast<const char*>(data), size));
  return 0;
}
