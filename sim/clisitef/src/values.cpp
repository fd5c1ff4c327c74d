#include "values.h"

#include <cctype>
#include <cstdlib>

namespace clisitef_sim {

std::string Trim(const std::string& s) {
  std::size_t b = 0;
  std::size_t e = s.size();
  while (b < e && std::isspace(static_cast<unsigned char>(s[b]))) ++b;
  while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1]))) --e;
  return s.substr(b, e - b);
}

bool ParseDigits(const std::string& s, long& value) {
  if (s.empty() || s.size() > 18) return false;
  long v = 0;
  for (char c : s) {
    if (!std::isdigit(static_cast<unsigned char>(c))) return false;
    v = v * 10 + (c - '0');
  }
  value = v;
  return true;
}

bool ParseSigned(const std::string& s, long& value) {
  if (s.empty()) return false;
  const bool negative = s[0] == '-';
  const std::string digits = (s[0] == '-' || s[0] == '+') ? s.substr(1) : s;
  if (!ParseDigits(digits, value)) return false;
  if (negative) value = -value;
  return true;
}

bool ParseAmount(const std::string& s, long& cents) {
  const std::string t = Trim(s);
  const std::size_t sep = t.find_first_of(",.");
  long whole = 0;
  long fraction = 0;
  if (sep == std::string::npos) {
    if (!ParseDigits(t, whole) || t.size() > 15) return false;
  } else {
    const std::string w = t.substr(0, sep);
    const std::string f = t.substr(sep + 1);
    if (w.empty() && f.empty()) return false;
    if (!w.empty() && (!ParseDigits(w, whole) || w.size() > 15)) return false;
    if (f.size() > 2 || (!f.empty() && !ParseDigits(f, fraction))) return false;
    if (f.size() == 1) fraction *= 10;
  }
  cents = whole * 100 + fraction;
  return true;
}

std::string FormatCents(long cents) {
  const bool negative = cents < 0;
  const long a = negative ? -cents : cents;
  std::string frac = std::to_string(a % 100);
  if (frac.size() < 2) frac.insert(0, "0");
  return (negative ? "-" : "") + std::to_string(a / 100) + "," + frac;
}

std::string FormatCentsGrouped(long cents) {
  const bool negative = cents < 0;
  const long a = negative ? -cents : cents;
  std::string whole = std::to_string(a / 100);
  for (int i = static_cast<int>(whole.size()) - 3; i > 0; i -= 3) {
    whole.insert(static_cast<std::size_t>(i), ".");
  }
  std::string frac = std::to_string(a % 100);
  if (frac.size() < 2) frac.insert(0, "0");
  return (negative ? "-" : "") + whole + "," + frac;
}

bool IsDateDDMMYYYY(const std::string& s) {
  long v = 0;
  if (s.size() != 8 || !ParseDigits(s, v)) return false;
  const int day = std::atoi(s.substr(0, 2).c_str());
  const int month = std::atoi(s.substr(2, 2).c_str());
  const int year = std::atoi(s.substr(4, 4).c_str());
  if (month < 1 || month > 12 || day < 1 || year < 1900) return false;
  static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  int days = kDays[month - 1];
  if (month == 2 && ((year % 4 == 0 && year % 100 != 0) || year % 400 == 0)) days = 29;
  return day <= days;
}

bool SameNumber(const std::string& a, const std::string& b) {
  auto strip = [](const std::string& s) {
    const std::string t = Trim(s);
    const std::size_t nz = t.find_first_not_of('0');
    return nz == std::string::npos ? std::string() : t.substr(nz);
  };
  const std::string x = strip(a);
  const std::string y = strip(b);
  return !Trim(a).empty() && !Trim(b).empty() && x == y;
}

}  // namespace clisitef_sim
