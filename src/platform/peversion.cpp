#include "platform/peversion.h"

#include "platform/binaryreader.h"

namespace platform {
namespace {

constexpr uint32_t kRtVersion = 16;
constexpr uint32_t kFixedFileInfoSignature = 0xFEEF04BD;
constexpr uint16_t kPe32 = 0x10b;
constexpr uint16_t kPe32Plus = 0x20b;
constexpr uint32_t kResourceDirectory = 2;
// "VS_VERSION_INFO" with its terminator, UTF-16LE.
constexpr std::string_view kVersionKey("V\0S\0_\0V\0E\0R\0S\0I\0O\0N\0_\0I\0N\0F\0O\0\0\0", 32);

// Maps a relative virtual address to a file offset through the section
// table; only bytes that are present in the file count.
class TSections {
 public:
  TSections(const TBinaryReader& r, uint64_t table, uint16_t count)
      : FReader(r), FTable(table), FCount(count) {}

  std::optional<uint64_t> Offset(uint32_t rva) const {
    for (uint32_t i = 0; i < FCount; ++i) {
      const uint64_t h = FTable + uint64_t{i} * 40;
      if (!FReader.Fits(h, 40)) return std::nullopt;
      const uint32_t va = *FReader.U32(h + 12);
      const uint32_t raw_size = *FReader.U32(h + 16);
      const uint32_t raw_at = *FReader.U32(h + 20);
      if (rva >= va && rva - va < raw_size) return uint64_t{raw_at} + (rva - va);
    }
    return std::nullopt;
  }

 private:
  const TBinaryReader& FReader;
  uint64_t FTable;
  uint16_t FCount;
};

struct TEntry {
  uint32_t Name;
  uint32_t Target;  // high bit: a subdirectory
};

// The first entry of the resource directory at base + offset with the given
// id (any when none) that leads to a subdirectory (or to data); entries past
// the end of the buffer end the search.
std::optional<TEntry> FindEntry(const TBinaryReader& r, uint64_t base, uint32_t offset,
                                std::optional<uint32_t> id, bool want_directory) {
  const uint64_t dir = base + offset;
  const std::optional<uint16_t> named = r.U16(dir + 12);
  const std::optional<uint16_t> ids = r.U16(dir + 14);
  if (!named || !ids) return std::nullopt;
  const uint32_t total = uint32_t{*named} + *ids;
  for (uint32_t i = 0; i < total; ++i) {
    const uint64_t e = dir + 16 + uint64_t{i} * 8;
    if (!r.Fits(e, 8)) return std::nullopt;
    const TEntry entry{*r.U32(e), *r.U32(e + 4)};
    if (id && entry.Name != *id) continue;
    if (((entry.Target & 0x80000000u) != 0) != want_directory) continue;
    return entry;
  }
  return std::nullopt;
}

}  // namespace

bool IsPeImage(std::string_view bytes) { return bytes.size() >= 2 && bytes.substr(0, 2) == "MZ"; }

std::optional<TFileVersion> ReadPeFileVersion(std::string_view bytes) {
  if (!IsPeImage(bytes)) return std::nullopt;
  const TBinaryReader r(bytes, false);
  const std::optional<uint32_t> pe = r.U32(0x3C);
  if (!pe || r.Bytes(*pe, 4) != std::string_view("PE\0\0", 4)) return std::nullopt;
  const uint64_t coff = uint64_t{*pe} + 4;
  const std::optional<uint16_t> sections = r.U16(coff + 2);
  const std::optional<uint16_t> optional_size = r.U16(coff + 16);
  const uint64_t opt = coff + 20;
  const std::optional<uint16_t> magic = r.U16(opt);
  if (!sections || !optional_size || !magic) return std::nullopt;
  uint64_t count_at = 0;
  if (*magic == kPe32)
    count_at = 92;
  else if (*magic == kPe32Plus)
    count_at = 108;
  else
    return std::nullopt;
  const std::optional<uint32_t> directories = r.U32(opt + count_at);
  if (!directories || *directories <= kResourceDirectory) return std::nullopt;
  const uint64_t dir_entry = opt + count_at + 4 + kResourceDirectory * 8;
  if (dir_entry + 8 > opt + *optional_size) return std::nullopt;
  const std::optional<uint32_t> resource_rva = r.U32(dir_entry);
  if (!resource_rva || *resource_rva == 0) return std::nullopt;

  const TSections table(r, opt + *optional_size, *sections);
  const std::optional<uint64_t> base = table.Offset(*resource_rva);
  if (!base) return std::nullopt;

  // Type RT_VERSION, then its first name, then that name's first language.
  const std::optional<TEntry> type = FindEntry(r, *base, 0, kRtVersion, true);
  if (!type) return std::nullopt;
  const std::optional<TEntry> name =
      FindEntry(r, *base, type->Target & 0x7FFFFFFFu, std::nullopt, true);
  if (!name) return std::nullopt;
  const std::optional<TEntry> language =
      FindEntry(r, *base, name->Target & 0x7FFFFFFFu, std::nullopt, false);
  if (!language) return std::nullopt;
  const uint64_t data_entry = *base + language->Target;
  const std::optional<uint32_t> data_rva = r.U32(data_entry);
  const std::optional<uint32_t> data_size = r.U32(data_entry + 4);
  if (!data_rva || !data_size) return std::nullopt;
  const std::optional<uint64_t> data = table.Offset(*data_rva);
  if (!data) return std::nullopt;

  // VS_VERSIONINFO: wLength, wValueLength, wType, the key, padding to 32
  // bits (offset 40), then VS_FIXEDFILEINFO.
  const std::optional<std::string_view> block = r.Bytes(*data, *data_size);
  if (!block) return std::nullopt;
  const TBinaryReader v(*block, false);
  const std::optional<uint16_t> length = v.U16(0);
  const std::optional<uint16_t> value_length = v.U16(2);
  if (!length || !value_length || *length > block->size() || *value_length < 16 ||
      uint64_t{40} + *value_length > *length) {
    return std::nullopt;
  }
  if (v.Bytes(6, kVersionKey.size()) != kVersionKey) return std::nullopt;
  if (v.U32(40) != kFixedFileInfoSignature) return std::nullopt;
  const uint32_t ms = *v.U32(48);
  const uint32_t ls = *v.U32(52);
  return TFileVersion{static_cast<uint16_t>(ms >> 16), static_cast<uint16_t>(ms & 0xFFFF),
                      static_cast<uint16_t>(ls >> 16), static_cast<uint16_t>(ls & 0xFFFF)};
}

}  // namespace platform
