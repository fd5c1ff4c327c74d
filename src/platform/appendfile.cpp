#include "platform/appendfile.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>

#include "platform/environment.h"
#include "platform/files.h"

namespace platform {
namespace {

enum class TKillWhen { kwNever, kwBefore, kwAfter, kwTorn };

struct TKillSwitch {
  long At = 0;
  TKillWhen When = TKillWhen::kwNever;
};

const TKillSwitch& KillSwitch() {
  static const TKillSwitch s = [] {
    TKillSwitch k;
    const std::optional<std::string> v = GetEnv("ZENTAVO_JOURNAL_KILL_AT");
    if (!v || v->empty()) return k;
    char* end = nullptr;
    k.At = std::strtol(v->c_str(), &end, 10);
    const std::string when = end ? std::string(end) : std::string();
    if (k.At <= 0) return k;
    if (when.empty())
      k.When = TKillWhen::kwBefore;
    else if (when == ":after")
      k.When = TKillWhen::kwAfter;
    else if (when == ":torn")
      k.When = TKillWhen::kwTorn;
    return k;
  }();
  return s;
}

std::atomic<long> gAppends{0};

[[noreturn]] void KillNow() {
  ::kill(::getpid(), SIGKILL);
  std::abort();
}

class TPosixAppendFile : public IAppendFile {
 public:
  explicit TPosixAppendFile(std::string path) : FPath(std::move(path)) { KillSwitch(); }
  ~TPosixAppendFile() override { Close(); }

  bool ReadAll(std::string& out) override {
    out.clear();
    const int fd = ::open(FPath.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return errno == ENOENT;
    char buf[65536];
    bool ok = true;
    while (true) {
      const ssize_t n = ::read(fd, buf, sizeof buf);
      if (n < 0) {
        if (errno == EINTR) continue;
        ok = false;
        break;
      }
      if (n == 0) break;
      out.append(buf, static_cast<size_t>(n));
    }
    ::close(fd);
    return ok;
  }

  bool Append(std::string_view bytes, bool sync) override {
    const TKillSwitch& k = KillSwitch();
    const long n = ++gAppends;
    const bool fire = k.When != TKillWhen::kwNever && n == k.At;
    if (fire && k.When == TKillWhen::kwBefore) KillNow();
    if (!EnsureOpen()) return false;
    if (fire && k.When == TKillWhen::kwTorn) {
      WriteAll(FHandle, bytes.substr(0, bytes.size() / 2));
      ::fdatasync(FHandle);
      KillNow();
    }
    const bool ok = WriteAll(FHandle, bytes) && (!sync || ::fdatasync(FHandle) == 0);
    if (ok && fire && k.When == TKillWhen::kwAfter) KillNow();
    if (!ok) Close();  // reopened, and the folder synced again, on the next try
    return ok;
  }

  bool Truncate(uint64_t size) override {
    Close();
    const int fd = ::open(FPath.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd < 0) return false;
    const bool ok = ::ftruncate(fd, static_cast<off_t>(size)) == 0 && ::fsync(fd) == 0;
    ::close(fd);
    return ok;
  }

  bool Replace(std::string_view bytes) override {
    Close();
    return WriteFileDurably(FPath, bytes) && ::chmod(FPath.c_str(), 0600) == 0;
  }

 private:
  bool EnsureOpen() {
    if (FHandle >= 0) return true;
    struct stat st;
    const bool existed = ::stat(FPath.c_str(), &st) == 0;
    FHandle = ::open(FPath.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
    if (FHandle < 0) return false;
    if (!existed) {
      if (::fsync(FHandle) != 0) {
        Close();
        return false;
      }
      SyncFolderOf(FPath);
    }
    return true;
  }

  void Close() {
    if (FHandle >= 0) ::close(FHandle);
    FHandle = -1;
  }

  const std::string FPath;
  int FHandle = -1;
};

}  // namespace

std::unique_ptr<IAppendFile> OpenAppendFile(const std::string& path) {
  return std::make_unique<TPosixAppendFile>(path);
}

}  // namespace platform
