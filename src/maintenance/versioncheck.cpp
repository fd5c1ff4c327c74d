#include "maintenance/versioncheck.h"

#include <cstdio>
#include <limits>
#include <optional>

#include "platform/fileversion.h"

namespace maintenance {

std::string GetFileVersionText(const std::string& file) {
  const std::optional<platform::TFileVersion> v =
      platform::GetFileVersion(platform::FindLibraryFile(file));
  if (!v) return kVersaoNaoEncontrada;
  char buf[32];
  std::snprintf(buf, sizeof buf, "%d.%d.%d.%d", v->Major, v->Minor, v->Release, v->Build);
  return buf;
}

TVersionNumbers ParseVersion(const std::string& text) {
  TVersionNumbers out{0, 0, 0, 0};
  size_t i = 0;
  for (uint16_t& number : out) {
    while (i < text.size() && !(text[i] >= '0' && text[i] <= '9')) ++i;
    if (i == text.size()) break;
    long long value = 0;
    bool fits = true;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
      if (fits) {
        value = value * 10 + (text[i] - '0');
        if (value > std::numeric_limits<int32_t>::max()) fits = false;
      }
    }
    number = fits ? static_cast<uint16_t>(value & 0xFFFF) : 0;
  }
  return out;
}

bool IsNewerVersion(const std::string& installed, const std::string& offered) {
  const TVersionNumbers i = ParseVersion(installed);
  const TVersionNumbers o = ParseVersion(offered);
  return !(o[0] < i[0] || o[3] <= i[3]);
}

std::string FormatPdvNumber(long number) {
  const std::string s = std::to_string(number);
  return s.size() >= 2 ? s.substr(0, 2) : std::string(2 - s.size(), '0') + s;
}

}  // namespace maintenance
