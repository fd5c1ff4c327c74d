// ELF version-note reader under arbitrary file bytes: it finds our note or
// nothing, and never reads outside the buffer (the sanitizers watch that).
// Seeds: fuzz/corpus/elf_version_fuzz, made with tests/platform/versionimages.h.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "platform/elfversion.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  platform::ReadElfVersionNote(std::string_view(reinterpret_cast<const char*>(data), size));
  return 0;
}
