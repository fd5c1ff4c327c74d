#include "core/conversions.h"

#include <climits>
#include <optional>

#include "core/dmsitef.h"
#include "platform/ansi.h"
#include "platform/text.h"

namespace core {

int StrToInt(const std::string& text) {
  long long v = 0;
  size_t i = 0;
  bool neg = false;
  bool ok = !text.empty();
  if (ok && (text[0] == '-' || text[0] == '+')) {
    neg = text[0] == '-';
    i = 1;
  }
  ok = ok && i < text.size();
  for (; ok && i < text.size(); ++i) {
    if (text[i] < '0' || text[i] > '9' || v > INT_MAX)
      ok = false;
    else
      v = v * 10 + (text[i] - '0');
  }
  if (neg) v = -v;
  if (!ok || v > INT_MAX || v < INT_MIN) {
    throw EDmSitefErro("'" + text + "' is not a valid integer value");
  }
  return static_cast<int>(v);
}

tef::TCurrency StrToCurr(const std::string& text) {
  std::optional<tef::TCurrency> v = tef::TCurrency::Parse(text);
  if (!v) throw EDmSitefErro("'" + text + "' is not a valid floating point value");
  return *v;
}

tef::TCurrency RegionalStrToCurr(const std::string& text) {
  if (text.find('.') != std::string::npos) {
    throw EDmSitefErro("'" + text + "' is not a valid floating point value");
  }
  return StrToCurr(text);
}

std::string ThroughAnsi(const std::string& s) {
  return platform::AnsiToUtf8(platform::Utf8ToAnsi(s));
}

std::string TrimControl(const std::string& s) { return platform::TrimControle(s); }

}  // namespace core
