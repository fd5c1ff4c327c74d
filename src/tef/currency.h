// Fixed-point money of the TEF layer: a signed count of 1/10000 units (four
// decimals), so amounts never pass through binary floating point. A plain
// value type; safe on any thread. Range about +-9.2e14 units; arithmetic does
// not check for overflow (no real amount comes close).
#pragma once

#include <compare>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tef {

// How a value is brought to fewer decimals.
enum class TArredondamento {
  MeioParaPar,      // ties to even (banker's rounding)
  MeioParaCima,     // ties toward +infinity ("half up")
  MeioLongeDoZero,  // ties away from zero
};

class TCurrency {
 public:
  static constexpr int64_t kEscala = 10000;

  constexpr TCurrency() = default;
  static constexpr TCurrency FromUnits(int64_t ten_thousandths) {
    TCurrency c;
    c.FUnits = ten_thousandths;
    return c;
  }
  static constexpr TCurrency FromCents(int64_t cents) { return FromUnits(cents * 100); }
  static constexpr TCurrency FromInteger(int64_t whole) { return FromUnits(whole * kEscala); }

  // value x 10000 rounded to the nearest integer, ties to even (the rule of
  // the component's Double parameters). NaN, infinities and values outside
  // the range fail with std::out_of_range.
  static TCurrency FromDouble(double value);

  // Reads an optional sign, digits and at most one decimal separator ('.' or
  // ','), surrounding blanks ignored. Decimals beyond four are rounded half
  // away from zero. Empty, malformed or out-of-range text gives nullopt.
  static std::optional<TCurrency> Parse(std::string_view text);

  constexpr int64_t Units() const { return FUnits; }
  double ToDouble() const { return static_cast<double>(FUnits) / kEscala; }
  constexpr bool IsZero() const { return FUnits == 0; }

  // The amount as a whole number of cents, rounded by the given rule.
  int64_t ToCents(TArredondamento modo) const;
  // The amount rounded to two decimals, kept with four.
  TCurrency RoundedToCents(TArredondamento modo) const { return FromCents(ToCents(modo)); }

  // "0.00": two decimals (half away from zero), '.' as separator, no
  // thousands separator. This is the form given to the TEF library.
  std::string FormatDot() const;
  // "0.00" with the Brazilian decimal comma: 12,50.
  std::string FormatComma() const;
  // Brazilian "#,##0.00": 1.234,50.
  std::string FormatBR() const;

  constexpr TCurrency operator-() const { return FromUnits(-FUnits); }
  constexpr TCurrency operator+(TCurrency o) const { return FromUnits(FUnits + o.FUnits); }
  constexpr TCurrency operator-(TCurrency o) const { return FromUnits(FUnits - o.FUnits); }
  constexpr TCurrency operator*(int64_t n) const { return FromUnits(FUnits * n); }
  TCurrency& operator+=(TCurrency o) {
    FUnits += o.FUnits;
    return *this;
  }
  TCurrency& operator-=(TCurrency o) {
    FUnits -= o.FUnits;
    return *this;
  }
  constexpr auto operator<=>(const TCurrency&) const = default;

 private:
  int64_t FUnits = 0;
};

// Divides n by d (d > 0) rounding by the given rule.
int64_t DivideRounded(int64_t n, int64_t d, TArredondamento modo);

}  // namespace tef
