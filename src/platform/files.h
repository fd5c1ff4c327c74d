// File writes that must survive a crash or power loss (TEF backup files).
// Stateless; safe on any thread as long as two callers do not write the same
// path at once.
#pragma once

#include <string>
#include <string_view>

namespace platform {

// Replaces the file at path with bytes and flushes it to disk: the bytes go
// to path + ".tmp", which is synced, renamed over path, and the folder is
// synced. A reader sees either the old or the whole new content. Returns
// false (and leaves no temporary file) when any step fails.
bool WriteFileDurably(const std::string& path, std::string_view bytes);

}  // namespace platform
