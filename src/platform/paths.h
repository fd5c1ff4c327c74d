// Where the running executable lives: everything the service reads or writes
// sits beside it.
#pragma once

#include <string>

namespace platform {

// Full path of the running executable (resolved, as /proc/self/exe gives it).
std::string ExePath();
// Folder of the executable, with a trailing '/'.
std::string ExeDir();
// The executable's path with its extension replaced by ext (appended when
// the file name has none). ext includes the dot: ".ini".
std::string ChangeFileExt(const std::string& path, const std::string& ext);
// The file name's extension with its dot (".pdf"); empty when it has none.
std::string ExtractFileExt(const std::string& path);
// The last part of the path ("b.pdf" of "/a/b.pdf").
std::string ExtractFileName(const std::string& path);

// Creates every missing folder on the path; false when that fails.
bool ForceDirectories(const std::string& path);
// Creates one folder level; failures (it exists, no parent) are ignored.
void CreateDir(const std::string& path);

}  // namespace platform
