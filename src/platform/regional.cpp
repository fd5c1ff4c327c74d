#include "platform/regional.h"

#include <cctype>
#include <cstdio>

namespace platform {

const char* const kLongMonthNames[12] = {"janeiro",  "fevereiro", "março",    "abril",
                                         "maio",     "junho",     "julho",    "agosto",
                                         "setembro", "outubro",   "novembro", "dezembro"};
const char* const kShortMonthNames[12] = {"jan", "fev", "mar", "abr", "mai", "jun",
                                          "jul", "ago", "set", "out", "nov", "dez"};

namespace {

const char* const kLongDayNames[7] = {"domingo",      "segunda-feira", "terça-feira",
                                      "quarta-feira", "quinta-feira",  "sexta-feira",
                                      "sábado"};
const char* const kShortDayNames[7] = {"dom", "seg", "ter", "qua", "qui", "sex", "sáb"};

std::string Pad(int value, int width) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%0*d", width, value);
  return buf;
}

int DayOfWeek(const TDateTime& t) {  // 0 = Sunday
  const int64_t days = DaysFromCivil(t.Year, t.Month, t.Day);
  return static_cast<int>(((days % 7) + 11) % 7);
}

}  // namespace

std::string FormatDateTime(std::string_view f, const TDateTime& t) {
  std::string out;
  bool last_was_hour = false;
  for (size_t i = 0; i < f.size();) {
    const char c = f[i];
    const char lc = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    size_t n = 1;
    if (c == '\'' || c == '"') {
      const size_t end = f.find(c, i + 1);
      const size_t stop = end == std::string_view::npos ? f.size() : end;
      out.append(f.substr(i + 1, stop - i - 1));
      i = stop == f.size() ? stop : stop + 1;
      continue;
    }
    while (i + n < f.size() && std::tolower(static_cast<unsigned char>(f[i + n])) == lc &&
           std::isalpha(static_cast<unsigned char>(lc))) {
      ++n;
    }
    switch (lc) {
      case 'd':
        if (n == 1)
          out += std::to_string(t.Day);
        else if (n == 2)
          out += Pad(t.Day, 2);
        else if (n == 3)
          out += kShortDayNames[DayOfWeek(t)];
        else
          out += kLongDayNames[DayOfWeek(t)];
        break;
      case 'm':
        if (last_was_hour && n <= 2) {
          out += n == 1 ? std::to_string(t.Minute) : Pad(t.Minute, 2);
        } else if (n == 1) {
          out += std::to_string(t.Month);
        } else if (n == 2) {
          out += Pad(t.Month, 2);
        } else if (t.Month >= 1 && t.Month <= 12) {
          out += n == 3 ? kShortMonthNames[t.Month - 1] : kLongMonthNames[t.Month - 1];
        }
        break;
      case 'y':
        out += n <= 2 ? Pad(t.Year % 100, 2) : Pad(t.Year, 4);
        break;
      case 'h':
        out += n == 1 ? std::to_string(t.Hour) : Pad(t.Hour, 2);
        break;
      case 'n':
        out += n == 1 ? std::to_string(t.Minute) : Pad(t.Minute, 2);
        break;
      case 's':
        out += n == 1 ? std::to_string(t.Second) : Pad(t.Second, 2);
        break;
      case 'z':
        out += n < 3 ? std::to_string(t.Millisecond) : Pad(t.Millisecond, 3);
        break;
      case '/':
        out += '/';
        break;
      case ':':
        out += ':';
        break;
      default:
        out.append(f.substr(i, n));
        break;
    }
    if (std::isalpha(static_cast<unsigned char>(lc))) last_was_hour = lc == 'h';
    i += n;
  }
  return out;
}

std::string FormatFixed(int64_t value, int scale, std::string_view pattern) {
  const size_t dot = pattern.find('.');
  int decimals = 0;
  if (dot != std::string_view::npos) {
    for (size_t k = dot + 1; k < pattern.size() && (pattern[k] == '0' || pattern[k] == '#'); ++k) {
      ++decimals;
    }
  }
  const std::string_view integer_part = pattern.substr(0, dot);
  const bool thousands = integer_part.find(',') != std::string_view::npos;
  // Each '0' before the decimal point is an integer digit always written.
  size_t min_digits = 0;
  for (char c : integer_part) min_digits += c == '0';
  if (min_digits == 0) min_digits = 1;
  const bool negative = value < 0;
  // Work on the magnitude in unsigned arithmetic so INT64_MIN cannot overflow.
  uint64_t mag = negative ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
  if (scale > decimals) {
    uint64_t div = 1;
    for (int k = 0; k < scale - decimals; ++k) div *= 10;
    const uint64_t rem = mag % div;
    mag /= div;
    if (rem >= div - rem) ++mag;  // half away from zero
  } else {
    for (int k = scale; k < decimals; ++k) mag *= 10;
  }
  uint64_t pow10 = 1;
  for (int k = 0; k < decimals; ++k) pow10 *= 10;
  const uint64_t ip = mag / pow10;
  const uint64_t fp = mag % pow10;
  std::string digits = std::to_string(ip);
  if (digits.size() < min_digits) digits.insert(0, min_digits - digits.size(), '0');
  if (thousands) {
    std::string grouped;
    const int len = static_cast<int>(digits.size());
    for (int k = 0; k < len; ++k) {
      grouped += digits[k];
      const int left = len - k - 1;
      if (left > 0 && left % 3 == 0) grouped += '.';
    }
    digits = grouped;
  }
  std::string out = (negative && mag != 0) ? "-" : "";
  out += digits;
  if (decimals > 0) {
    std::string frac = std::to_string(fp);
    out += ',';
    out.append(decimals - frac.size(), '0');
    out += frac;
  }
  return out;
}

bool TryParseDayFirst(std::string_view s, TDateTime& out) {
  auto num = [&](size_t pos, size_t len, int& v) {
    if (pos + len > s.size()) return false;
    v = 0;
    for (size_t k = pos; k < pos + len; ++k) {
      if (!std::isdigit(static_cast<unsigned char>(s[k]))) return false;
      v = v * 10 + (s[k] - '0');
    }
    return true;
  };
  TDateTime t;
  if (s.size() < 10 || s[2] != '/' || s[5] != '/') return false;
  if (!num(0, 2, t.Day) || !num(3, 2, t.Month) || !num(6, 4, t.Year)) return false;
  if (!IsValidDate(t.Year, t.Month, t.Day)) return false;
  if (s.size() > 10) {
    if (s[10] != ' ') return false;
    if (s.size() == 16) {
      if (s[13] != ':' || !num(11, 2, t.Hour) || !num(14, 2, t.Minute)) return false;
    } else if (s.size() == 19) {
      if (s[13] != ':' || s[16] != ':' || !num(11, 2, t.Hour) || !num(14, 2, t.Minute) ||
          !num(17, 2, t.Second)) {
        return false;
      }
    } else {
      return false;
    }
    if (!IsValidTime(t.Hour, t.Minute, t.Second)) return false;
  }
  out = t;
  return true;
}

std::string CapitalizeFirstAscii(std::string s) {
  if (!s.empty() && s[0] >= 'a' && s[0] <= 'z') s[0] = static_cast<char>(s[0] - 'a' + 'A');
  return s;
}

}  // namespace platform
