#include "platform/paths.h"

#include <unistd.h>

#include <filesystem>
#include <mutex>
#include <system_error>

namespace platform {

std::string ExePath() {
  // Asked for every log line; the executable of a running process stays
  // where it started, so the first answer is kept.
  static std::once_flag once;
  static std::string known;
  std::call_once(once, [] {
    char buf[4096];
    const ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n > 0) known.assign(buf, static_cast<size_t>(n));
  });
  return known;
}

std::string ExeDir() {
  const std::string p = ExePath();
  const size_t slash = p.rfind('/');
  return slash == std::string::npos ? std::string("./") : p.substr(0, slash + 1);
}

std::string ChangeFileExt(const std::string& path, const std::string& ext) {
  const size_t slash = path.rfind('/');
  const size_t dot = path.rfind('.');
  if (dot != std::string::npos && (slash == std::string::npos || dot > slash)) {
    return path.substr(0, dot) + ext;
  }
  return path + ext;
}

std::string ExtractFileExt(const std::string& path) {
  const std::string name = ExtractFileName(path);
  const size_t dot = name.rfind('.');
  // A leading dot names a hidden file, not an extension.
  return dot == std::string::npos || dot == 0 || name == ".." ? std::string() : name.substr(dot);
}

std::string ExtractFileName(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool ForceDirectories(const std::string& path) {
  std::error_code ec;
  std::filesystem::create_directories(path, ec);
  return std::filesystem::is_directory(path, ec);
}

void CreateDir(const std::string& path) {
  std::error_code ec;
  std::filesystem::create_directory(path, ec);
}

}  // namespace platform
