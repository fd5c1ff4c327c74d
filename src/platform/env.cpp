#include "platform/env.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <system_error>
#include <thread>

#include "platform/files.h"

namespace platform {
namespace {

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
    return WriteFd(path, bytes, O_APPEND);
  }

  bool RemoveFile(const std::string& path) override {
    std::error_code ec;
    std::filesystem::remove(path, ec);
    return !std::filesystem::exists(path, ec) && !ec;
  }

  bool RenameFile(const std::string& from, const std::string& to) override {
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
};

}  // namespace

TEnv& DefaultEnv() {
  static TPosixEnv env;
  return env;
}

}  // namespace platform
