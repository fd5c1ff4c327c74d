#include "tef/currency.h"

#include <cctype>
#include <cmath>
#include <limits>
#include <stdexcept>

#include "platform/regional.h"

namespace tef {

int64_t DivideRounded(int64_t n, int64_t d, TArredondamento modo) {
  int64_t q = n / d;
  int64_t r = n % d;
  // Bring the quotient to the floor so the remainder is in [0, d).
  if (r < 0) {
    q -= 1;
    r += d;
  }
  const int64_t other = d - r;  // distance to the next integer up
  if (r > other) return q + 1;
  if (r < other) return q;
  switch (modo) {  // exact tie
    case TArredondamento::MeioParaPar:
      return (q % 2 == 0) ? q : q + 1;
    case TArredondamento::MeioParaCima:
      return q + 1;
    case TArredondamento::MeioLongeDoZero:
      return q >= 0 ? q + 1 : q;
  }
  return q;
}

TCurrency TCurrency::FromDouble(double value) {
  const double scaled = value * static_cast<double>(kEscala);
  // 2^63 is exactly representable; anything at or past it cannot be held.
  if (!std::isfinite(scaled) || std::fabs(scaled) >= 9223372036854775808.0) {
    throw std::out_of_range("Valor fora do intervalo");
  }
  double fl = std::floor(scaled);
  const double diff = scaled - fl;
  if (diff > 0.5 || (diff == 0.5 && (static_cast<int64_t>(fl) & 1) != 0)) fl += 1.0;
  if (fl >= 9223372036854775808.0) throw std::out_of_range("Valor fora do intervalo");
  return FromUnits(static_cast<int64_t>(fl));
}

std::optional<TCurrency> TCurrency::Parse(std::string_view s) {
  auto blank = [](char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; };
  while (!s.empty() && blank(s.front())) s.remove_prefix(1);
  while (!s.empty() && blank(s.back())) s.remove_suffix(1);
  bool negative = false;
  if (!s.empty() && (s[0] == '+' || s[0] == '-')) {
    negative = s[0] == '-';
    s.remove_prefix(1);
  }
  constexpr int64_t kMax = std::numeric_limits<int64_t>::max() / 10 - 10;
  int64_t units = 0;
  int decimals = -1;  // -1: no separator seen yet
  int digits = 0;
  int extra_first = -1;  // first dropped decimal digit, for rounding
  for (char c : s) {
    if (c == '.' || c == ',') {
      if (decimals >= 0) return std::nullopt;
      decimals = 0;
      continue;
    }
    if (c < '0' || c > '9') return std::nullopt;
    ++digits;
    if (decimals >= 4) {
      if (extra_first < 0) extra_first = c - '0';
      continue;
    }
    if (units > kMax) return std::nullopt;
    units = units * 10 + (c - '0');
    if (decimals >= 0) ++decimals;
  }
  if (digits == 0) return std::nullopt;
  for (int k = decimals < 0 ? 0 : decimals; k < 4; ++k) {
    if (units > kMax) return std::nullopt;
    units *= 10;
  }
  // Magnitude is rounded, so this is half away from zero.
  if (extra_first >= 5) ++units;
  return FromUnits(negative ? -units : units);
}

int64_t TCurrency::ToCents(TArredondamento modo) const { return DivideRounded(FUnits, 100, modo); }

std::string TCurrency::FormatComma() const { return platform::FormatFixed(FUnits, 4, "0.00"); }

std::string TCurrency::FormatDot() const {
  std::string s = FormatComma();
  for (char& c : s) {
    if (c == ',') c = '.';
  }
  return s;
}

std::string TCurrency::FormatBR() const { return platform::FormatFixed(FUnits, 4, "#,##0.00"); }

}  // namespace tef
