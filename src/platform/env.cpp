#include "platform/env.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <system_error>
#include <thread>

#include "platform/files.h"

namespace platform {
namespace {

// The files appended to most recently, kept open: the logs take a line per
// call, and opening and closing the file each time is most of a line's cost.
// A file unlinked meanwhile (a log removed by hand) is opened again by path;
// a new day's log is a new path and pushes out the one least recently used.
class TAppendFiles {
 public:
  ~TAppendFiles() {
    for (TEntry& e : FEntries) Close(e);
  }

  bool Append(const std::string& path, std::string_view bytes) {
    std::lock_guard<std::mutex> lock(FMutex);
    TEntry* entry = Find(path);
    if (entry != nullptr) {
      struct stat st;
      if (::fstat(entry->FFd, &st) != 0 || st.st_nlink == 0) Close(*entry);
    }
    if (entry == nullptr || entry->FFd < 0) {
      const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | O_APPEND, 0666);
      if (fd < 0) return false;
      if (entry == nullptr) entry = &Oldest();
      Close(*entry);
      entry->FPath = path;
      entry->FFd = fd;
    }
    entry->FUsed = ++FClock;
    return WriteAll(entry->FFd, bytes);
  }

  // Closes the path's file when it is kept (before it is removed or renamed).
  void Forget(const std::string& path) {
    std::lock_guard<std::mutex> lock(FMutex);
    if (TEntry* entry = Find(path)) Close(*entry);
  }

 private:
  struct TEntry {
    std::string FPath;
    int FFd = -1;
    uint64_t FUsed = 0;
  };

  TEntry* Find(const std::string& path) {
    for (TEntry& e : FEntries) {
      if (e.FFd >= 0 && e.FPath == path) return &e;
    }
    return nullptr;
  }
  TEntry& Oldest() {
    TEntry* oldest = &FEntries[0];
    for (TEntry& e : FEntries) {
      if (e.FUsed < oldest->FUsed) oldest = &e;
    }
    return *oldest;
  }
  static void Close(TEntry& e) {
    if (e.FFd >= 0) ::close(e.FFd);
    e.FFd = -1;
    e.FPath.clear();
    e.FUsed = 0;
  }

  std::mutex FMutex;
  std::array<TEntry, 4> FEntries;
  uint64_t FClock = 0;
};

class TPosixEnv final : public TEnv {
 public:
  int64_t NowUnixMillis() override { return UnixNowMillis(); }

  int64_t MonotonicMillis() override {
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
  }

  void SleepMillis(int64_t ms) override {
    if (ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
  }

  bool FileExists(const std::string& path) override {
    std::error_code ec;
    return !path.empty() && std::filesystem::exists(path, ec);
  }

  bool IsFolder(const std::string& path) override {
    std::error_code ec;
    return std::filesystem::is_directory(path, ec);
  }

  bool IsRegularFile(const std::string& path) override {
    std::error_code ec;
    return std::filesystem::is_regular_file(path, ec);
  }

  bool FileSize(const std::string& path, uint64_t& size) override {
    std::error_code ec;
    const auto n = std::filesystem::file_size(path, ec);
    if (ec) return false;
    size = n;
    return true;
  }

  bool ReadFile(const std::string& path, std::string& out) override {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    std::string bytes;
    char buf[65536];
    bool ok = true;
    for (;;) {
      const ssize_t n = ::read(fd, buf, sizeof buf);
      if (n == 0) break;
      if (n < 0) {
        if (errno == EINTR) continue;
        ok = false;
        break;
      }
      bytes.append(buf, static_cast<size_t>(n));
    }
    ::close(fd);
    if (ok) out.swap(bytes);
    return ok;
  }

  bool WriteFile(const std::string& path, std::string_view bytes, bool durable) override {
    if (durable) return WriteFileDurably(path, bytes);
    return WriteFd(path, bytes, O_TRUNC);
  }

  bool AppendToFile(const std::string& path, std::string_view bytes) override {
    return FAppendFiles.Append(path, bytes);
  }

  bool RemoveFile(const std::string& path) override {
    FAppendFiles.Forget(path);
    std::error_code ec;
    std::filesystem::remove(path, ec);
    return !std::filesystem::exists(path, ec) && !ec;
  }

  bool RenameFile(const std::string& from, const std::string& to) override {
    FAppendFiles.Forget(from);
    FAppendFiles.Forget(to);
    std::error_code ec;
    std::filesystem::rename(from, to, ec);
    return !ec;
  }

  bool ListFolder(const std::string& folder, std::vector<std::string>& names) override {
    std::error_code ec;
    std::filesystem::directory_iterator it(folder, ec);
    if (ec) return false;
    for (; it != std::filesystem::directory_iterator(); it.increment(ec)) {
      if (ec) return false;
      names.push_back(it->path().filename().string());
    }
    return !ec;
  }

  bool CreateFolders(const std::string& path) override {
    std::error_code ec;
    std::filesystem::create_directories(path, ec);
    return std::filesystem::is_directory(path, ec);
  }

 private:
  static bool WriteFd(const std::string& path, std::string_view bytes, int mode) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | mode, 0666);
    if (fd < 0) return false;
    const bool ok = WriteAll(fd, bytes);
    return (::close(fd) == 0) && ok;
  }

  TAppendFiles FAppendFiles;
};

}  // namespace

TEnv& DefaultEnv() {
  static TPosixEnv env;
  return env;
}

}  // namespace platform
