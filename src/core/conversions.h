// Text conversions of front-end and token values, with the messages the
// front end receives when a value does not convert.
#pragma once

#include <string>

#include "platform/regional.h"
#include "tef/currency.h"

namespace core {

// Decimal 32-bit integer with an optional sign; otherwise EDmSitefErro
// "'<text>' is not a valid integer value".
int StrToInt(const std::string& text);

// Amount with '.' or ',' as the decimal separator; otherwise EDmSitefErro
// "'<text>' is not a valid floating point value".
tef::TCurrency StrToCurr(const std::string& text);

// Amount written with the regional rules: ',' is the decimal separator and
// '.' groups thousands, which an amount typed as text may not use ("1.000"
// would otherwise read as one). Failures as StrToCurr.
tef::TCurrency RegionalStrToCurr(const std::string& text);

// The text after a round trip through the 8-bit code page: characters it
// lacks become '?', as text does on its way to the TEF library.
std::string ThroughAnsi(const std::string& s);

// Spaces and control characters removed from both ends.
std::string TrimControl(const std::string& s);

// An amount as the library's printer questions are answered: pattern
// "00,00" (thousands grouping, no decimals, rounded).
inline std::string PrinterAmountText(tef::TCurrency v) {
  return platform::FormatFixed(v.Units(), 4, "00,00");
}

}  // namespace core
