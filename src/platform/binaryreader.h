// Bounds-checked reads of fixed-size integers from an untrusted byte buffer.
// Every read names its offset; one that does not fit the buffer gives
// nullopt instead of touching memory outside it.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace platform {

class TBinaryReader {
 public:
  TBinaryReader(std::string_view bytes, bool big_endian) : FBytes(bytes), FBigEndian(big_endian) {}

  size_t Size() const { return FBytes.size(); }
  // True when [offset, offset + length) lies inside the buffer.
  bool Fits(uint64_t offset, uint64_t length) const {
    return offset <= FBytes.size() && length <= FBytes.size() - offset;
  }
  std::optional<uint16_t> U16(uint64_t offset) const { return Read<uint16_t>(offset); }
  std::optional<uint32_t> U32(uint64_t offset) const { return Read<uint32_t>(offset); }
  std::optional<uint64_t> U64(uint64_t offset) const { return Read<uint64_t>(offset); }
  // The bytes [offset, offset + length), or nullopt.
  std::optional<std::string_view> Bytes(uint64_t offset, uint64_t length) const {
    if (!Fits(offset, length)) return std::nullopt;
    return FBytes.substr(static_cast<size_t>(offset), static_cast<size_t>(length));
  }

 private:
  template <typename T>
  std::optional<T> Read(uint64_t offset) const {
    if (!Fits(offset, sizeof(T))) return std::nullopt;
    T v = 0;
    for (size_t i = 0; i < sizeof(T); ++i) {
      const auto byte = static_cast<unsigned char>(FBytes[static_cast<size_t>(offset) + i]);
      const size_t shift = FBigEndian ? (sizeof(T) - 1 - i) * 8 : i * 8;
      v = static_cast<T>(v | static_cast<T>(static_cast<T>(byte) << shift));
    }
    return v;
  }

  std::string_view FBytes;
  bool FBigEndian;
};

}  // namespace platform
