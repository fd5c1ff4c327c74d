#include "core/base64.h"

#include <algorithm>
#include <array>
#include <cstdint>

namespace core {

namespace {

constexpr char kStandard[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr char kUrl[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";

std::string Encode(std::string_view in, const char* alphabet, bool pad) {
  std::string out;
  out.reserve((in.size() + 2) / 3 * 4);
  size_t i = 0;
  for (; i + 3 <= in.size(); i += 3) {
    const uint32_t v = (uint32_t{static_cast<uint8_t>(in[i])} << 16) |
                       (uint32_t{static_cast<uint8_t>(in[i + 1])} << 8) |
                       static_cast<uint8_t>(in[i + 2]);
    out += alphabet[(v >> 18) & 63];
    out += alphabet[(v >> 12) & 63];
    out += alphabet[(v >> 6) & 63];
    out += alphabet[v & 63];
  }
  const size_t rest = in.size() - i;
  if (rest > 0) {
    uint32_t v = uint32_t{static_cast<uint8_t>(in[i])} << 16;
    if (rest == 2) v |= uint32_t{static_cast<uint8_t>(in[i + 1])} << 8;
    out += alphabet[(v >> 18) & 63];
    out += alphabet[(v >> 12) & 63];
    if (rest == 2) out += alphabet[(v >> 6) & 63];
    if (pad) out.append(rest == 1 ? "==" : "=");
  }
  return out;
}

constexpr int8_t kInvalid = -1;
constexpr int8_t kSkip = -2;
constexpr int8_t kPad = -3;

std::optional<std::string> Decode(std::string_view text, const char* alphabet, bool allow_padding,
                                  size_t max_bytes, std::string_view skip = {}) {
  std::array<int8_t, 256> value;
  value.fill(kInvalid);
  for (int k = 0; k < 64; ++k) value[static_cast<uint8_t>(alphabet[k])] = static_cast<int8_t>(k);
  if (allow_padding) value['='] = kPad;
  for (char c : skip) value[static_cast<uint8_t>(c)] = kSkip;

  std::string out;
  out.reserve(std::min(text.size() / 4 * 3 + 3, max_bytes));
  uint32_t acc = 0;
  int bits = 0;
  size_t digits = 0;  // alphabet characters seen
  size_t pads = 0;
  for (char ch : text) {
    const int8_t v = value[static_cast<uint8_t>(ch)];
    if (v >= 0 && pads == 0) {
      ++digits;
      acc = (acc << 6) | static_cast<uint32_t>(v);
      bits += 6;
      if (bits >= 8) {
        bits -= 8;
        if (out.size() == max_bytes) return std::nullopt;
        out += static_cast<char>((acc >> bits) & 0xFF);
      }
    } else if (v == kSkip) {
      continue;
    } else if (v == kPad && pads < 2) {
      ++pads;  // only at the very end, checked below
    } else {
      return std::nullopt;
    }
  }
  // Padding completes the last group of four; a lone character of a group
  // encodes no byte.
  if (pads > 0 && (digits + pads) % 4 != 0) return std::nullopt;
  if (digits % 4 == 1) return std::nullopt;
  return out;
}

}  // namespace

std::string Base64Encode(std::string_view bytes) { return Encode(bytes, kStandard, true); }
std::string Base64UrlEncode(std::string_view bytes) { return Encode(bytes, kUrl, false); }

std::optional<std::string> Base64Decode(std::string_view text, size_t max_bytes) {
  return Decode(text, kStandard, true, max_bytes);
}
std::optional<std::string> Base64Decode(std::string_view text, size_t max_bytes,
                                        std::string_view skip) {
  return Decode(text, kStandard, true, max_bytes, skip);
}
std::optional<std::string> Base64UrlDecode(std::string_view text, size_t max_bytes) {
  return Decode(text, kUrl, false, max_bytes);
}

}  // namespace core
