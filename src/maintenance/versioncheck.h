// The version texts of the "/version" route: reading a file's installed
// version, reading a version text as four numbers, deciding whether an
// offered version is newer, and the two-character point-of-sale number.
// Stateless; any thread.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace maintenance {

inline constexpr const char* kVersaoNaoEncontrada = "Versão não encontrada";

using TVersionNumbers = std::array<uint16_t, 4>;

// "%d.%d.%d.%d" of the file's version information, or kVersaoNaoEncontrada.
// A name without a folder is looked for as libraries are, beginning with the
// executable's own folder.
std::string GetFileVersionText(const std::string& file);

// Four numbers: for each, skip what is not an ASCII digit, then read the run
// of digits (a run beyond a 32-bit signed integer counts as 0; above 65535
// the low 16 bits stay); numbers missing at the end are 0. So 1.0.0.32,
// v1.0.0.32 and 1-0-0-32 read alike.
TVersionNumbers ParseVersion(const std::string& text);

// Only the first and the fourth numbers count: newer when the offered first
// number is not lower and its fourth is higher.
bool IsNewerVersion(const std::string& installed, const std::string& offered);

// The number in decimal made exactly two characters: padded on the left with
// '0', or cut to its first two.
std::string FormatPdvNumber(long number);

}  // namespace maintenance
