#include "platform/ansi.h"

#include <cstdint>
#include <cstring>

namespace platform {
namespace {

// Code points of bytes 0x80..0x9F; 0 marks the five undefined bytes.
constexpr unsigned short kHigh[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

int ToAnsiByte(long cp) {
  if (cp < 0) return '?';
  if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) return static_cast<int>(cp);
  for (int k = 0; k < 32; ++k) {
    if (kHigh[k] == cp && cp != 0) return 0x80 + k;
  }
  // Undefined bytes round-trip through their C1 control characters.
  if (cp >= 0x80 && cp <= 0x9F && kHigh[cp - 0x80] == 0) return static_cast<int>(cp);
  return '?';
}

}  // namespace

long DecodeUtf8(std::string_view s, size_t& i) {
  const auto c = static_cast<unsigned char>(s[i]);
  int len;
  long cp;
  if (c < 0x80) {
    ++i;
    return c;
  } else if ((c & 0xE0) == 0xC0) {
    len = 2;
    cp = c & 0x1F;
  } else if ((c & 0xF0) == 0xE0) {
    len = 3;
    cp = c & 0x0F;
  } else if ((c & 0xF8) == 0xF0) {
    len = 4;
    cp = c & 0x07;
  } else {
    ++i;
    return -1;
  }
  if (i + len > s.size()) {
    ++i;
    return -1;
  }
  for (int k = 1; k < len; ++k) {
    const auto cc = static_cast<unsigned char>(s[i + k]);
    if ((cc & 0xC0) != 0x80) {
      ++i;
      return -1;
    }
    cp = (cp << 6) | (cc & 0x3F);
  }
  static constexpr long kMin[5] = {0, 0, 0x80, 0x800, 0x10000};
  if (cp < kMin[len] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
    ++i;
    return -1;
  }
  i += len;
  return cp;
}

void AppendUtf8(std::string& out, unsigned long cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

AnsiString Utf8ToAnsi(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size());
  for (size_t i = 0; i < utf8.size();) {
    out += static_cast<char>(ToAnsiByte(DecodeUtf8(utf8, i)));
  }
  return AnsiString::FromBytes(std::move(out));
}

std::string AnsiToUtf8(std::string_view ansi) {
  std::string out;
  out.reserve(ansi.size() + ansi.size() / 4);
  for (char ch : ansi) {
    const auto b = static_cast<unsigned char>(ch);
    unsigned long cp = b;
    if (b >= 0x80 && b <= 0x9F && kHigh[b - 0x80] != 0) cp = kHigh[b - 0x80];
    AppendUtf8(out, cp);
  }
  return out;
}

bool IsValidUtf8(std::string_view s) {
  // Messages are mostly ASCII: a block of 32 bytes with no high bit set is
  // passed in four word tests, and only a block that has one is decoded.
  constexpr size_t kBlock = 32;
  constexpr uint64_t kHighBits = 0x8080808080808080ULL;
  size_t i = 0;
  while (i < s.size()) {
    size_t end = s.size();
    if (s.size() - i >= kBlock) {
      uint64_t w[kBlock / 8];
      std::memcpy(w, s.data() + i, kBlock);
      if (((w[0] | w[1] | w[2] | w[3]) & kHighBits) == 0) {
        i += kBlock;
        continue;
      }
      end = i + kBlock;
    }
    while (i < end) {
      if (static_cast<unsigned char>(s[i]) < 0x80) {
        ++i;
      } else if (DecodeUtf8(s, i) < 0) {
        return false;
      }
    }
  }
  return true;
}

std::optional<std::string> ToValidUtf8(std::string bytes, size_t max_bytes) {
  if (IsValidUtf8(bytes)) return bytes;
  size_t size = 0;
  for (size_t j = 0; j < bytes.size();) {
    const size_t from = j;
    size += DecodeUtf8(bytes, j) < 0 ? 3 : j - from;
  }
  if (size > max_bytes) return std::nullopt;
  std::string out;
  out.reserve(size);
  for (size_t j = 0; j < bytes.size();) {
    const long cp = DecodeUtf8(bytes, j);
    AppendUtf8(out, cp < 0 ? 0xFFFD : static_cast<unsigned long>(cp));
  }
  return out;
}

}  // namespace platform
