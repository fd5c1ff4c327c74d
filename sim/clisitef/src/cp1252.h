// Conversions between the UTF-8 used inside the simulator (configuration, journal)
// and the Windows-1252 bytes exchanged with the automation through the entry points.
#pragma once

#include <string>
#include <string_view>

namespace clisitef_sim {

// Characters that Windows-1252 lacks (and invalid UTF-8 bytes) become '?'.
std::string Utf8ToCp1252(std::string_view utf8);
// Every byte maps; the five bytes undefined in Windows-1252 map to U+FFFD.
std::string Cp1252ToUtf8(std::string_view cp1252);

}  // namespace clisitef_sim
