// An append-only file whose every append is on the disk before the call
// returns: the payment journal lives in one. Shaped as a small interface so
// tests can put a file in its place that fails at its N-th write.
//
// Distinct objects: safe. One object: not thread-safe (its owner locks).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace platform {

class IAppendFile {
 public:
  virtual ~IAppendFile() = default;
  // The whole content into out. A missing file reads as empty. False when
  // the file exists but cannot be read.
  virtual bool ReadAll(std::string& out) = 0;
  // Appends bytes and, when sync, flushes them to the disk (the folder too
  // when the append created the file). False when any of that failed: the
  // caller cannot count on the bytes being there. Without sync the bytes
  // reach the disk with the next synced append or when the system flushes.
  virtual bool Append(std::string_view bytes, bool sync = true) = 0;
  // Cuts the file to size bytes and flushes it.
  virtual bool Truncate(uint64_t size) = 0;
  // Replaces the whole content at once (written beside, flushed, renamed over
  // the file, folder flushed): a crash leaves the old or the new content.
  virtual bool Replace(std::string_view bytes) = 0;
};

// The file at path. Its folder must exist. The file is created on the first
// append with permissions 0600.
//
// Test switch: ZENTAVO_JOURNAL_KILL_AT="N", "N:after" or "N:torn" kills the
// process with SIGKILL just before the N-th append of the process, just
// after it, or after writing half of its bytes (a torn record). Read once,
// when the first file is opened.
std::unique_ptr<IAppendFile> OpenAppendFile(const std::string& path);

}  // namespace platform
