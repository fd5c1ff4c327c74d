// Brazilian Portuguese regional formatting, fixed: decimal ',', thousands '.',
// date '/', time ':', months "janeiro".."dezembro". Nothing here depends on
// the machine's locale.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/clock.h"

namespace platform {

extern const char* const kLongMonthNames[12];   // "janeiro" ...
extern const char* const kShortMonthNames[12];  // "jan" ...

// Formats with the classic specifiers: d dd ddd dddd, m mm mmm mmmm (four or
// more m: the long month name), yy yyyy, h hh, n nn (m right after h means
// minutes), s ss, z zzz, '/' and ':' as the regional separators, and quoted
// literal text in '...' or "...". Other characters are copied.
std::string FormatDateTime(std::string_view format, const TDateTime& t);

// Formats value / 10^scale with the pattern "0", "0.00", "#,##0.00", "00,00"
// and the like: the number of '0' after '.' gives the decimals, the number of
// '0' before it the integer digits always written, a ',' in the integer part
// asks for thousands separators. Rounds half away from zero.
std::string FormatFixed(int64_t value, int scale, std::string_view pattern);

// Parses "dd/mm/yyyy" optionally followed by " hh:nn:ss" (or " hh:nn").
// Returns false for any other text or an impossible date or time.
bool TryParseDayFirst(std::string_view text, TDateTime& out);

// Upper-cases the first character when it is an ASCII letter.
std::string CapitalizeFirstAscii(std::string s);

}  // namespace platform
