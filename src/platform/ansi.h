// Windows-1252 text: the 8-bit encoding of the TEF library, the log files and
// every "ANSI" string. Inside the program text is UTF-8 in std::string; the
// distinct type AnsiString keeps the two encodings from being mixed up.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

// Bytes in Windows-1252. Construct only through Utf8ToAnsi or FromBytes.
class AnsiString {
 public:
  AnsiString() = default;
  static AnsiString FromBytes(std::string bytes) {
    AnsiString a;
    a.FBytes = std::move(bytes);
    return a;
  }
  const std::string& bytes() const { return FBytes; }
  const char* c_str() const { return FBytes.c_str(); }
  size_t size() const { return FBytes.size(); }
  bool empty() const { return FBytes.empty(); }
  bool operator==(const AnsiString&) const = default;

 private:
  std::string FBytes;
};

// UTF-8 to Windows-1252; a character the code page lacks (and any invalid
// UTF-8 sequence) becomes '?'.
AnsiString Utf8ToAnsi(std::string_view utf8);

// Windows-1252 to UTF-8. The five bytes the code page leaves undefined map to
// the C1 control characters of the same value, as Windows does.
std::string AnsiToUtf8(std::string_view ansi);
inline std::string AnsiToUtf8(const AnsiString& a) { return AnsiToUtf8(a.bytes()); }

// Decodes one UTF-8 code point at s[i], advancing i. Returns -1 for an invalid
// sequence (i then advances by one byte).
long DecodeUtf8(std::string_view s, size_t& i);

// True when the bytes are well-formed UTF-8 (no overlong forms, surrogates or
// code points above U+10FFFF). ASCII is checked a word at a time, so long
// messages pass at memory speed.
bool IsValidUtf8(std::string_view s);

// The text itself when it is valid UTF-8; otherwise each byte of an invalid
// sequence becomes U+FFFD (three bytes), or nullopt when that would make the
// text longer than max_bytes: its size is counted before it is built, so a
// text of bad bytes does not triple in memory only to be refused.
std::optional<std::string> ToValidUtf8(std::string bytes, size_t max_bytes = SIZE_MAX);

// Appends the UTF-8 form of a code point.
void AppendUtf8(std::string& out, unsigned long cp);

}  // namespace platform
