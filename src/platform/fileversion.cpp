#include "platform/fileversion.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string_view>
#include <system_error>

#include "platform/elfversion.h"
#include "platform/paths.h"
#include "platform/peversion.h"

namespace platform {
namespace {

// A read-only view of a whole file, mapped rather than copied (a library may
// be several megabytes).
class TMappedFile {
 public:
  explicit TMappedFile(const std::string& path) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return;
    struct stat st;
    if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0 &&
        static_cast<uint64_t>(st.st_size) <= kMaxVersionedFileSize) {
      void* p = mmap(nullptr, static_cast<size_t>(st.st_size), PROT_READ, MAP_PRIVATE, fd, 0);
      if (p != MAP_FAILED) {
        FData = p;
        FSize = static_cast<size_t>(st.st_size);
      }
    }
    close(fd);
  }
  ~TMappedFile() {
    if (FData != nullptr) munmap(FData, FSize);
  }
  TMappedFile(const TMappedFile&) = delete;
  TMappedFile& operator=(const TMappedFile&) = delete;

  std::string_view Bytes() const {
    return FData == nullptr ? std::string_view()
                            : std::string_view(static_cast<const char*>(FData), FSize);
  }

 private:
  void* FData = nullptr;
  size_t FSize = 0;
};

}  // namespace

std::optional<TFileVersion> GetFileVersion(const std::string& path) {
  std::error_code ec;
  const std::filesystem::path real = std::filesystem::canonical(path, ec);
  if (ec) return std::nullopt;
  {
    const TMappedFile file(real.string());
    const std::string_view bytes = file.Bytes();
    if (IsElfImage(bytes)) {
      if (std::optional<TFileVersion> v = ReadElfVersionNote(bytes)) return v;
    } else if (IsPeImage(bytes)) {
      if (std::optional<TFileVersion> v = ReadPeFileVersion(bytes)) return v;
    }
  }
  return VersionFromFileName(real.filename().string());
}

std::optional<TFileVersion> VersionFromFileName(const std::string& name) {
  uint16_t parts[4] = {0, 0, 0, 0};
  size_t end = name.size();
  for (int i = 3; i >= 0; --i) {
    size_t start = end;
    while (start > 0 && name[start - 1] >= '0' && name[start - 1] <= '9') --start;
    if (start == end || end - start > 5) return std::nullopt;
    const unsigned long n = std::stoul(name.substr(start, end - start));
    if (n > 0xFFFF) return std::nullopt;
    parts[i] = static_cast<uint16_t>(n);
    // Four numbers after something: "x.1.2.3.4", never a bare "1.2.3.4".
    if (start == 0 || name[start - 1] != '.') return std::nullopt;
    end = start - 1;
  }
  if (end == 0) return std::nullopt;
  return TFileVersion{parts[0], parts[1], parts[2], parts[3]};
}

std::string FindLibraryFile(const std::string& name) {
  if (name.empty() || name.find('/') != std::string::npos) return name;
  static const char* const kSystemFolders[] = {"/usr/local/lib/", "/usr/lib/", "/lib/",
                                               "/usr/lib64/", "/lib64/"};
  std::error_code ec;
  const std::string own = ExeDir() + name;
  if (std::filesystem::exists(own, ec)) return own;
  for (const char* folder : kSystemFolders) {
    const std::string candidate = folder + name;
    if (std::filesystem::exists(candidate, ec)) return candidate;
  }
  return name;
}

}  // namespace platform
