// Small text helpers for the values exchanged with the automation: amounts,
// dates, digit strings.
#pragma once

#include <string>

namespace clisitef_sim {

std::string Trim(const std::string& s);
// Non-empty run of decimal digits (at most 18).
bool ParseDigits(const std::string& s, long& value);
// Optional sign followed by digits.
bool ParseSigned(const std::string& s, long& value);
// "12,50", "12.50", "12,5" or "12" (reais); "1.234,56" is refused (no grouping).
bool ParseAmount(const std::string& s, long& cents);
// "1234,56": two decimals, comma separator, no grouping (the library's format).
std::string FormatCents(long cents);
// "1.234,56": for messages and receipts.
std::string FormatCentsGrouped(long cents);
bool IsDateDDMMYYYY(const std::string& s);
// Leading zeros do not count: "000123" equals "123".
bool SameNumber(const std::string& a, const std::string& b);

}  // namespace clisitef_sim
