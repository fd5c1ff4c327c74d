// JSON parser and writer under arbitrary text. A parsed value written by our
// writer must parse again to the same serialisation, and the writer's output
// is ASCII without control characters below U+0020 (U+007F is written as
// itself), whatever bytes a string holds.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "core/json.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);

  std::string quoted;
  core::AppendJsonString(quoted, text);
  for (char c : quoted) {
    if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) > 0x7F) abort();
  }

  const auto value = core::ParseJson(text);
  if (!value) return 0;
  const std::string once = value->Serialize();
  const auto again = core::ParseJson(once);
  if (!again || again->Serialize() != once) abort();
  return 0;
}
