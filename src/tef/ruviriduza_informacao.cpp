#include "tef/ruviriduza_informacao.h"

#include <limits>
#include <optional>

#include "platform/regional.h"
#include "platform/text.h"

namespace tef {
namespace {

// Optional sign and decimal digits only; nullopt otherwise or on overflow.
std::optional<int64_t> ParseInt64(std::string_view s) {
  bool negative = false;
  if (!s.empty() && (s[0] == '+' || s[0] == '-')) {
    negative = s[0] == '-';
    s.remove_prefix(1);
  }
  if (s.empty()) return std::nullopt;
  uint64_t v = 0;
  for (char c : s) {
    if (c < '0' || c > '9') return std::nullopt;
    if (v > (uint64_t{1} << 62)) return std::nullopt;  // well before overflow
    v = v * 10 + static_cast<uint64_t>(c - '0');
  }
  if (v > static_cast<uint64_t>(std::numeric_limits<int64_t>::max())) return std::nullopt;
  const auto sv = static_cast<int64_t>(v);
  return negative ? -sv : sv;
}

std::string Digits(const std::string& s) {
  std::string out;
  for (char c : s) {
    if (c >= '0' && c <= '9') out += c;
  }
  return out;
}

int Num(const std::string& d, size_t pos, size_t len) {
  int v = 0;
  for (size_t k = pos; k < pos + len; ++k) v = v * 10 + (d[k] - '0');
  return v;
}

platform::TDateTime MakeDate(int y, int m, int d, int hh = 0, int nn = 0, int ss = 0) {
  platform::TDateTime t;
  if (!platform::IsValidDate(y, m, d) || !platform::IsValidTime(hh, nn, ss)) return t;
  t.Year = y;
  t.Month = m;
  t.Day = d;
  t.Hour = hh;
  t.Minute = nn;
  t.Second = ss;
  return t;
}

std::string FormatOrEmpty(const char* pattern, const platform::TDateTime& t) {
  return t.IsZero() ? std::string() : platform::FormatDateTime(pattern, t);
}

}  // namespace

std::string TrimTef(std::string_view s) { return platform::TrimControle(s); }

platform::TDateTime JuntarDataHora(const platform::TDateTime& d, const platform::TDateTime& t) {
  platform::TDateTime r = d;
  r.Hour = t.Hour;
  r.Minute = t.Minute;
  r.Second = t.Second;
  r.Millisecond = t.Millisecond;
  return r;
}

int TRuVirIdUzaInformacao::AsInteger() const {
  const auto v = ParseInt64(TrimTef(fInformacao));
  if (!v || *v > std::numeric_limits<int>::max() || *v < std::numeric_limits<int>::min()) return 0;
  return static_cast<int>(*v);
}

void TRuVirIdUzaInformacao::SetAsInteger(int valor) {
  fInformacao = valor == 0 ? std::string() : std::to_string(valor);
}

TCurrency TRuVirIdUzaInformacao::AsFloat() const {
  std::string s;
  for (char c : TrimTef(fInformacao)) {
    if (c != ',' && c != '.') s += c;
  }
  const auto cents = ParseInt64(s);
  // Cents beyond what the currency can hold are as unreadable as letters.
  constexpr int64_t kMaxCents = std::numeric_limits<int64_t>::max() / 100;
  if (!cents || *cents > kMaxCents || *cents < -kMaxCents) return TCurrency();
  return TCurrency::FromCents(*cents);
}

void TRuVirIdUzaInformacao::SetAsFloat(TCurrency valor) {
  if (valor.IsZero()) {
    fInformacao.clear();
    return;
  }
  const int64_t cents = valor.ToCents(TArredondamento::MeioLongeDoZero);
  const bool negative = cents < 0;
  std::string digits = std::to_string(negative ? -cents : cents);
  if (digits.size() < 3) digits.insert(0, 3 - digits.size(), '0');
  fInformacao = negative ? "-" + digits : digits;
}

platform::TDateTime TRuVirIdUzaInformacao::AsDate() const {
  const std::string d = Digits(fInformacao);
  if (d.size() < 8) return {};
  return MakeDate(Num(d, 4, 4), Num(d, 2, 2), Num(d, 0, 2));
}

void TRuVirIdUzaInformacao::SetAsDate(const platform::TDateTime& d) {
  fInformacao = FormatOrEmpty("ddmmyyyy", d);
}

platform::TDateTime TRuVirIdUzaInformacao::AsTime() const {
  const std::string d = Digits(fInformacao);
  platform::TDateTime t;
  if (d.size() < 6) return t;
  const int hh = Num(d, 0, 2), nn = Num(d, 2, 2), ss = Num(d, 4, 2);
  if (!platform::IsValidTime(hh, nn, ss)) return t;
  t.Hour = hh;
  t.Minute = nn;
  t.Second = ss;
  return t;
}

void TRuVirIdUzaInformacao::SetAsTime(const platform::TDateTime& t) {
  fInformacao = FormatOrEmpty("hhnnss", t);
}

platform::TDateTime TRuVirIdUzaInformacao::AsTimeStamp() const {
  const std::string d = Digits(fInformacao);
  if (d.size() < 10) return {};
  return MakeDate(platform::Now().Year, Num(d, 2, 2), Num(d, 0, 2), Num(d, 4, 2), Num(d, 6, 2),
                  Num(d, 8, 2));
}

void TRuVirIdUzaInformacao::SetAsTimeStamp(const platform::TDateTime& t) {
  fInformacao = FormatOrEmpty("ddmmhhnnss", t);
}

platform::TDateTime TRuVirIdUzaInformacao::AsTimeStampSQL() const {
  const std::string d = Digits(fInformacao);
  if (d.size() < 14) return {};
  return MakeDate(Num(d, 0, 4), Num(d, 4, 2), Num(d, 6, 2), Num(d, 8, 2), Num(d, 10, 2),
                  Num(d, 12, 2));
}

void TRuVirIdUzaInformacao::SetAsTimeStampSQL(const platform::TDateTime& t) {
  fInformacao = FormatOrEmpty("yyyymmddhhnnss", t);
}

}  // namespace tef
