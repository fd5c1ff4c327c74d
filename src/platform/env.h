// The operating system as the rest of the program sees it: the clocks,
// sleeping, and the few file operations the code needs. Production code uses
// DefaultEnv(); an object that reads the time or touches files holds a TEnv&
// given at construction (defaulting to DefaultEnv()), so a test can hand it a
// TEnvWrapper that overrides one thing: a clock it moves by hand, a sleep
// that returns at once, a file write that fails at its N-th call.
//
// Thread safety: every implementation is safe for concurrent use from
// several threads. No call throws; failures are reported by the result.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/clock.h"

namespace platform {

class TEnv {
 public:
  virtual ~TEnv() = default;

  // ---- clocks
  // Wall clock, Unix time in milliseconds.
  virtual int64_t NowUnixMillis() = 0;
  // A clock that never goes back, in milliseconds from an arbitrary origin:
  // the one for deadlines and durations.
  virtual int64_t MonotonicMillis() = 0;
  // The wall clock as local time (the process time zone) and as UTC.
  TDateTime Now() { return UnixMillisToLocal(NowUnixMillis()); }
  TDateTime UtcNow() { return FromUnixMillisUtc(NowUnixMillis()); }

  // ---- sleeper
  // Blocks the calling thread for ms milliseconds; ms <= 0 returns at once.
  virtual void SleepMillis(int64_t ms) = 0;

  // ---- files (paths as given; relative ones against the working folder)
  // Whether anything (file, folder, ...) is at path.
  virtual bool FileExists(const std::string& path) = 0;
  virtual bool IsFolder(const std::string& path) = 0;
  virtual bool IsRegularFile(const std::string& path) = 0;
  // Size of the regular file at path; false when it cannot be had.
  virtual bool FileSize(const std::string& path, uint64_t& size) = 0;
  // The whole file into out; false when missing or unreadable.
  virtual bool ReadFile(const std::string& path, std::string& out) = 0;
  // Replaces the file with bytes. With durable, the bytes are on the disk
  // before this returns and a crash leaves the old or the whole new content
  // (see WriteFileDurably). False when any step failed.
  virtual bool WriteFile(const std::string& path, std::string_view bytes, bool durable) = 0;
  // Appends bytes, creating the file when missing. False when not all were
  // written.
  virtual bool AppendToFile(const std::string& path, std::string_view bytes) = 0;
  // True when nothing is left at path afterwards (a missing file included).
  virtual bool RemoveFile(const std::string& path) = 0;
  // Renames a file or folder, replacing a file at `to`.
  virtual bool RenameFile(const std::string& from, const std::string& to) = 0;
  // Names (not paths) of the entries in folder, unordered; false when the
  // folder cannot be read.
  virtual bool ListFolder(const std::string& folder, std::vector<std::string>& names) = 0;
  // Creates the folder and its missing parents; true when it exists after.
  virtual bool CreateFolders(const std::string& path) = 0;
};

// The real environment of this machine. Lives for the whole process.
TEnv& DefaultEnv();

// Forwards every call to another TEnv; a test double derives from it and
// overrides only what it changes. The target must outlive the wrapper.
class TEnvWrapper : public TEnv {
 public:
  explicit TEnvWrapper(TEnv& target) : FTarget(target) {}
  TEnv& Target() const { return FTarget; }

  int64_t NowUnixMillis() override { return FTarget.NowUnixMillis(); }
  int64_t MonotonicMillis() override { return FTarget.MonotonicMillis(); }
  void SleepMillis(int64_t ms) override { FTarget.SleepMillis(ms); }
  bool FileExists(const std::string& p) override { return FTarget.FileExists(p); }
  bool IsFolder(const std::string& p) override { return FTarget.IsFolder(p); }
  bool IsRegularFile(const std::string& p) override { return FTarget.IsRegularFile(p); }
  bool FileSize(const std::string& p, uint64_t& s) override { return FTarget.FileSize(p, s); }
  bool ReadFile(const std::string& p, std::string& out) override {
    return FTarget.ReadFile(p, out);
  }
  bool WriteFile(const std::string& p, std::string_view b, bool durable) override {
    return FTarget.WriteFile(p, b, durable);
  }
  bool AppendToFile(const std::string& p, std::string_view b) override {
    return FTarget.AppendToFile(p, b);
  }
  bool RemoveFile(const std::string& p) override { return FTarget.RemoveFile(p); }
  bool RenameFile(const std::string& f, const std::string& t) override {
    return FTarget.RenameFile(f, t);
  }
  bool ListFolder(const std::string& f, std::vector<std::string>& n) override {
    return FTarget.ListFolder(f, n);
  }
  bool CreateFolders(const std::string& p) override { return FTarget.CreateFolders(p); }

 private:
  TEnv& FTarget;
};

}  // namespace platform
