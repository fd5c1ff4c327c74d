// JSON parser and writer under arbitrary text. A parsed value written by our
// writer must parse again to the same serialisation, and the writer's output
// is ASCII without control characters below U+0020 (U+007F is written as
// itself), whatever bytes a string holds. Parsing shared text (long strings
// referred to, not copied) must give what parsing a plain view gives.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
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
  const auto shared = core::ParseJson(std::make_shared<const std::string>(text));
  if (value.has_value() != shared.has_value()) abort();
  if (!value) return 0;
  if (shared->Serialize() != value->Serialize()) abort();
  const std::string once = value->Serialize();
  const auto again = core::ParseJson(once);
  if (!again || again->Serialize() != once) abort();
  return 0;
}
