#include "core/base64.h"

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
                       (uint32_t{static_cast<uint8_t>(in[i + 1])} << 8) | static_cast<uint8_t>(in[i + 2]);
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

std::optional<std::string> Decode(std::string_view text, const char* alphabet, bool allow_padding,
                                  size_t max_bytes) {
  std::array<int8_t, 256> value;
  value.fill(-1);
  for (int k = 0; k < 64; ++k) value[static_cast<uint8_t>(alphabet[k])] = static_cast<int8_t>(k);

  if (allow_padding && text.size() % 4 == 0 && !text.empty()) {
    if (text.back() == '=') text.remove_suffix(1);
    if (text.back() == '=') text.remove_suffix(1);
  }
  if (text.size() % 4 == 1) return std::nullopt;
  const size_t out_size = text.size() / 4 * 3 + (text.size() % 4 == 0 ? 0 : text.size() % 4 - 1);
  if (out_size > max_bytes) return std::nullopt;

  std::string out;
  out.reserve(out_size);
  uint32_t acc = 0;
  int bits = 0;
  for (char ch : text) {
    const int8_t v = value[static_cast<uint8_t>(ch)];
    if (v < 0) return std::nullopt;
    acc = (acc << 6) | static_cast<uint32_t>(v);
    bits += 6;
    if (bits >= 8) {
      bits -= 8;
      out += static_cast<char>((acc >> bits) & 0xFF);
    }
  }
  return out;
}

}  // namespace

std::string Base64Encode(std::string_view bytes) { return Encode(bytes, kStandard, true); }
std::string Base64UrlEncode(std::string_view bytes) { return Encode(bytes, kUrl, false); }

std::optional<std::string> Base64Decode(std::string_view text, size_t max_bytes) {
  return Decode(text, kStandard, true, max_bytes);
}
std::optional<std::string> Base64UrlDecode(std::string_view text, size_t max_bytes) {
  return Decode(text, kUrl, false, max_bytes);
}

}  // namespace core
