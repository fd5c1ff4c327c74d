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

// Writes every byte to the open descriptor, going on after interruptions.
// False on any other write error.
bool WriteAll(int fd, std::string_view bytes);

// Syncs the folder that holds path, so that a file created or renamed there
// survives a power loss. Best effort: some file systems refuse folder syncs.
void SyncFolderOf(const std::string& path);

enum class TNewFileResult { nfCreated, nfExists, nfFailed };

// Creates path only if no file of that name exists (never following or
// replacing one) and writes bytes into it. On nfFailed `error` holds the
// system's message and no file is left behind.
TNewFileResult WriteNewFile(const std::string& path, std::string_view bytes, std::string& error);

}  // namespace platform
