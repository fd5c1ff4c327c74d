// Profile (INI) file with the Windows semantics the configuration relies on:
// case-insensitive sections and keys, defaults for a missing file or key,
// integers in decimal or 0x hexadecimal (anything else gives the default),
// booleans as integers, and every write reaching the file at once (a
// temporary file renamed over the old one). Comments (';') and unknown lines
// are kept on rewrite.
//
// Thread safety: one object per file, safe to share between threads. Every
// read looks at the file as it is now, so edits by hand are seen at once.
#pragma once

#include <mutex>
#include <string>

namespace platform {

class TIniFile {
 public:
  explicit TIniFile(std::string path);

  const std::string& FileName() const { return FPath; }

  std::string ReadString(const std::string& section, const std::string& key,
                         const std::string& def) const;
  long ReadInteger(const std::string& section, const std::string& key, long def) const;
  bool ReadBool(const std::string& section, const std::string& key, bool def) const;

  // Throw std::runtime_error when the file cannot be written.
  void WriteString(const std::string& section, const std::string& key, const std::string& value);
  void WriteInteger(const std::string& section, const std::string& key, long value);
  void WriteBool(const std::string& section, const std::string& key, bool value);

 private:
  bool Lookup(const std::string& section, const std::string& key, std::string& value) const;

  const std::string FPath;
  mutable std::mutex FLock;
};

// Parses a profile integer: optional sign, decimal digits, or 0x/0X and hex
// digits. Returns false for anything else (including empty text).
bool TryParseProfileInteger(const std::string& text, long& out);

}  // namespace platform
