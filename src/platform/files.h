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

enum class TNewFileResult { nfCreated, nfExists, nfFailed };

// Creates path only if no file of that name exists (never following or
// replacing one) and writes bytes into it. On nfFailed `error` holds the
// system's message and no file is left behind.
TNewFileResult WriteNewFile(const std::string& path, std::string_view bytes, std::string& error);

}  // namespace platform
