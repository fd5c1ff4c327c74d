// VERSIONINFO of PE files (.exe, .dll), read portably from the file's bytes:
// the resource directory of type RT_VERSION (first name, first language),
// its VS_VERSIONINFO block and the fixed file-information block that follows
// the key (signature 0xFEEF04BD). The bytes are untrusted: every offset and
// size is checked, the directory walk is depth- and count-limited.
#pragma once

#include <optional>
#include <string_view>

#include "platform/fileversion.h"

namespace platform {

// True when bytes start with "MZ".
bool IsPeImage(std::string_view bytes);
// The file version of VS_FIXEDFILEINFO (high and low words of
// dwFileVersionMS, then of dwFileVersionLS), or nullopt.
std::optional<TFileVersion> ReadPeFileVersion(std::string_view bytes);

}  // namespace platform
