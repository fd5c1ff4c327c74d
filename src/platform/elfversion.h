// The version note our build embeds in ELF files (the service executable and
// the TEF library simulator; cmake/versionnote.cmake writes it): an SHT_NOTE
// section ".note.zentavo.version", also reachable through PT_NOTE, with
//   owner name "Zentavo", type 1, descriptor four 16-bit numbers in the
//   file's byte order (major, minor, release, build).
// The reader takes the file's bytes as untrusted input: every offset and size
// is checked against the buffer, ELF32 and ELF64, either byte order.
#pragma once

#include <optional>
#include <string_view>

#include "platform/fileversion.h"

namespace platform {

inline constexpr const char* kVersionNoteOwner = "Zentavo";
inline constexpr unsigned kVersionNoteType = 1;

// True when bytes start with the ELF magic.
bool IsElfImage(std::string_view bytes);
// The embedded version, or nullopt (not ELF, damaged, or no note).
std::optional<TFileVersion> ReadElfVersionNote(std::string_view bytes);

}  // namespace platform
