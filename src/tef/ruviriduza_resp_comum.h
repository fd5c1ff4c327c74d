// Small helpers shared by the response mappings.
#pragma once

#include <optional>
#include <string_view>

namespace tef {

// Sequences are three digits in a key: 999 is the last one a field can have,
// so installment loops stop there whatever count a response claims.
constexpr int kMaxSequencia = 999;

// Optional sign and decimal digits (at most nine); nullopt for anything else.
inline std::optional<int> LerNumero(std::string_view s) {
  bool negative = false;
  if (!s.empty() && (s[0] == '+' || s[0] == '-')) {
    negative = s[0] == '-';
    s.remove_prefix(1);
  }
  if (s.empty() || s.size() > 9) return std::nullopt;
  int v = 0;
  for (char c : s) {
    if (c < '0' || c > '9') return std::nullopt;
    v = v * 10 + (c - '0');
  }
  return negative ? -v : v;
}

inline int NumeroOuZero(std::string_view s) { return LerNumero(s).value_or(0); }

}  // namespace tef
