// Version information of files: the four 16-bit numbers a file declares for
// itself, read without loading or running it.
//
// GetFileVersion looks, in order, for
//   1. the version note our build embeds in ELF files (elfversion.h),
//   2. the VERSIONINFO resource of PE files (.exe, .dll; peversion.h),
//   3. four numbers ending the real file name, links resolved
//      (libclisitef.so -> libclisitef.so.7.0.117.24).
// A file with none of these has no version. Stateless; any thread.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace platform {

struct TFileVersion {
  uint16_t Major = 0;
  uint16_t Minor = 0;
  uint16_t Release = 0;
  uint16_t Build = 0;

  bool operator==(const TFileVersion&) const = default;
};

// Files larger than this are not read (no version).
inline constexpr uint64_t kMaxVersionedFileSize = uint64_t{512} << 20;

std::optional<TFileVersion> GetFileVersion(const std::string& path);

// "name.a.b.c.d" -> a.b.c.d: four runs of decimal digits, each at most 65535,
// ending the name. Anything else: nullopt.
std::optional<TFileVersion> VersionFromFileName(const std::string& name);

// Where a file name without a folder is looked for, as libraries are: the
// executable's folder first, then the system library folders. A name with a
// folder, or one found nowhere, comes back unchanged.
std::string FindLibraryFile(const std::string& name);

}  // namespace platform
