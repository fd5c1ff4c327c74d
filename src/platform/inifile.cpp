#include "platform/inifile.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <vector>

#include "platform/ansi.h"
#include "platform/text.h"

namespace platform {
namespace {

// The file holds Windows-1252 text, as profile files do.
std::vector<std::string> ReadLines(const std::string& path) {
  // stdio rather than a stream: the service's idle memory does not pay for
  // the C++ stream and locale machinery.
  FILE* in = std::fopen(path.c_str(), "rb");
  if (in == nullptr) return {};
  std::string bytes;
  char buf[4096];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, in)) > 0) bytes.append(buf, n);
  std::fclose(in);
  return DividirLinhas(AnsiToUtf8(bytes));
}

bool SectionName(const std::string& line, std::string& name) {
  const std::string t = TrimControle(line);
  if (t.size() < 2 || t.front() != '[') return false;
  const size_t close = t.find(']');
  if (close == std::string::npos) return false;
  name = TrimControle(t.substr(1, close - 1));
  return true;
}

bool KeyValue(const std::string& line, std::string& key, std::string& value) {
  const std::string t = TrimControle(line);
  if (t.empty() || t[0] == ';' || t[0] == '#') return false;
  const size_t eq = t.find('=');
  if (eq == std::string::npos) return false;
  key = TrimControle(t.substr(0, eq));
  value = TrimControle(t.substr(eq + 1));
  if (value.size() >= 2 && ((value.front() == '"' && value.back() == '"') ||
                            (value.front() == '\'' && value.back() == '\''))) {
    value = value.substr(1, value.size() - 2);
  }
  return true;
}

}  // namespace

bool TryParseProfileInteger(const std::string& text, long& out) {
  const std::string t = TrimControle(text);
  if (t.empty()) return false;
  size_t i = 0;
  bool neg = false;
  if (t[i] == '+' || t[i] == '-') {
    neg = t[i] == '-';
    ++i;
  }
  int base = 10;
  if (i + 1 < t.size() && t[i] == '0' && (t[i + 1] == 'x' || t[i + 1] == 'X')) {
    base = 16;
    i += 2;
  }
  if (i >= t.size()) return false;
  long long v = 0;
  for (; i < t.size(); ++i) {
    const char c = t[i];
    int d;
    if (c >= '0' && c <= '9')
      d = c - '0';
    else if (base == 16 && c >= 'a' && c <= 'f')
      d = c - 'a' + 10;
    else if (base == 16 && c >= 'A' && c <= 'F')
      d = c - 'A' + 10;
    else
      return false;
    v = v * base + d;
    if (v > static_cast<long long>(UINT_MAX)) return false;
  }
  // Hexadecimal values are 32-bit patterns, as the Windows reader treats them.
  if (base == 16 && v > INT_MAX) v -= (1LL << 32);
  out = static_cast<long>(neg ? -v : v);
  return true;
}

TIniFile::TIniFile(std::string path) : FPath(std::move(path)) {}

bool TIniFile::Lookup(const std::string& section, const std::string& key,
                      std::string& value) const {
  std::lock_guard<std::mutex> lock(FLock);
  bool in_section = false;
  for (const std::string& line : ReadLines(FPath)) {
    std::string name, k, v;
    if (SectionName(line, name)) {
      in_section = IgualSemCaixa(name, section);
    } else if (in_section && KeyValue(line, k, v) && IgualSemCaixa(k, key)) {
      value = v;
      return true;
    }
  }
  return false;
}

std::string TIniFile::ReadString(const std::string& section, const std::string& key,
                                 const std::string& def) const {
  std::string v;
  return Lookup(section, key, v) ? v : def;
}

long TIniFile::ReadInteger(const std::string& section, const std::string& key, long def) const {
  std::string v;
  long out;
  if (Lookup(section, key, v) && TryParseProfileInteger(v, out)) return out;
  return def;
}

bool TIniFile::ReadBool(const std::string& section, const std::string& key, bool def) const {
  return ReadInteger(section, key, def ? 1 : 0) != 0;
}

void TIniFile::WriteString(const std::string& section, const std::string& key,
                           const std::string& value) {
  std::lock_guard<std::mutex> lock(FLock);
  std::vector<std::string> lines = ReadLines(FPath);
  bool in_section = false, written = false;
  long section_end = -1;  // index after the last line of the wanted section
  for (size_t i = 0; i < lines.size() && !written; ++i) {
    std::string name, k, v;
    if (SectionName(lines[i], name)) {
      in_section = IgualSemCaixa(name, section);
      if (in_section) section_end = static_cast<long>(i) + 1;
    } else if (in_section) {
      if (KeyValue(lines[i], k, v) && IgualSemCaixa(k, key)) {
        lines[i] = k + "=" + value;
        written = true;
      } else if (!TrimControle(lines[i]).empty()) {
        section_end = static_cast<long>(i) + 1;
      }
    }
  }
  if (!written) {
    if (section_end < 0) {
      if (!lines.empty() && !TrimControle(lines.back()).empty()) lines.push_back("");
      lines.push_back("[" + section + "]");
      lines.push_back(key + "=" + value);
    } else {
      lines.insert(lines.begin() + section_end, key + "=" + value);
    }
  }
  std::string text;
  for (const std::string& l : lines) text += l + "\r\n";
  const std::string bytes = Utf8ToAnsi(text).bytes();
  const std::string tmp = FPath + ".tmp";
  const int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) throw std::runtime_error("Não foi possível gravar " + FPath);
  size_t off = 0;
  bool ok = true;
  while (off < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + off, bytes.size() - off);
    if (n < 0) {
      if (errno == EINTR) continue;
      ok = false;
      break;
    }
    off += static_cast<size_t>(n);
  }
  ok = ok && ::fsync(fd) == 0;
  ::close(fd);
  if (!ok || ::rename(tmp.c_str(), FPath.c_str()) != 0) {
    ::unlink(tmp.c_str());
    throw std::runtime_error("Não foi possível gravar " + FPath);
  }
}

void TIniFile::WriteInteger(const std::string& section, const std::string& key, long value) {
  WriteString(section, key, std::to_string(value));
}

void TIniFile::WriteBool(const std::string& section, const std::string& key, bool value) {
  WriteString(section, key, value ? "1" : "0");
}

}  // namespace platform
