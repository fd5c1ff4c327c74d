#include "platform/elfversion.h"

#include <cstring>

#include "platform/binaryreader.h"

namespace platform {
namespace {

constexpr uint32_t kShtNote = 7;
constexpr uint32_t kPtNote = 4;

// Where the header fields sit, by class.
struct TLayout {
  uint64_t phoff, shoff, phentsize, phnum, shentsize, shnum;  // in the file header
  uint64_t sh_type, sh_offset, sh_size, sh_align, sh_min;     // in a section header
  uint64_t ph_offset, ph_filesz, ph_align, ph_min;            // in a program header
  bool wide;                                                  // 64-bit fields
};

constexpr TLayout kElf32{28, 32, 42, 44, 46, 48, 4, 16, 20, 32, 40, 4, 16, 28, 32, false};
constexpr TLayout kElf64{32, 40, 54, 56, 58, 60, 4, 24, 32, 48, 64, 8, 32, 48, 56, true};

std::optional<uint64_t> Word(const TBinaryReader& r, const TLayout& l, uint64_t offset) {
  if (l.wide) return r.U64(offset);
  if (std::optional<uint32_t> v = r.U32(offset)) return *v;
  return std::nullopt;
}

// Notes looked at in one file at most: many headers naming the same large
// area must not make the walk quadratic.
constexpr uint64_t kNoteBudget = uint64_t{1} << 20;

uint64_t AlignUp(uint64_t v, uint64_t a) { return (v + a - 1) / a * a; }

// Walks the notes in [offset, offset + size) and returns our version note.
std::optional<TFileVersion> FindNote(const TBinaryReader& r, uint64_t offset, uint64_t size,
                                     uint64_t align, uint64_t& budget) {
  if (!r.Fits(offset, size)) return std::nullopt;
  align = align == 8 ? 8 : 4;
  const uint64_t end = offset + size;
  const size_t owner_size = std::strlen(kVersionNoteOwner) + 1;
  uint64_t p = offset;
  while (end - p >= 12 && budget > 0) {
    --budget;
    const uint32_t namesz = *r.U32(p);
    const uint32_t descsz = *r.U32(p + 4);
    const uint32_t type = *r.U32(p + 8);
    const uint64_t name_at = p + 12;
    const uint64_t desc_at = AlignUp(name_at + namesz, align);
    const uint64_t next = AlignUp(desc_at + descsz, align);
    if (desc_at > end || descsz > end - desc_at) return std::nullopt;
    if (type == kVersionNoteType && namesz == owner_size && descsz == 8) {
      const std::string_view name = *r.Bytes(name_at, namesz);
      if (name == std::string_view(kVersionNoteOwner, owner_size)) {
        return TFileVersion{*r.U16(desc_at), *r.U16(desc_at + 2), *r.U16(desc_at + 4),
                            *r.U16(desc_at + 6)};
      }
    }
    if (next <= p || next > end) break;
    p = next;
  }
  return std::nullopt;
}

}  // namespace

bool IsElfImage(std::string_view bytes) {
  return bytes.size() >= 4 && bytes.substr(0, 4) == std::string_view(
                                                        "\x7f"
                                                        "ELF",
                                                        4);
}

std::optional<TFileVersion> ReadElfVersionNote(std::string_view bytes) {
  if (!IsElfImage(bytes) || bytes.size() < 16) return std::nullopt;
  const auto cls = static_cast<unsigned char>(bytes[4]);
  const auto data = static_cast<unsigned char>(bytes[5]);
  if ((cls != 1 && cls != 2) || (data != 1 && data != 2)) return std::nullopt;
  const TLayout& l = cls == 2 ? kElf64 : kElf32;
  const TBinaryReader r(bytes, data == 2);
  uint64_t budget = kNoteBudget;

  // Sections first: they survive in stripped files and name each note area.
  const std::optional<uint64_t> shoff = Word(r, l, l.shoff);
  const std::optional<uint16_t> shentsize = r.U16(l.shentsize);
  const std::optional<uint16_t> shnum = r.U16(l.shnum);
  if (shoff && shentsize && shnum && *shentsize >= l.sh_min) {
    for (uint32_t i = 0; i < *shnum; ++i) {
      const uint64_t h = *shoff + uint64_t{i} * *shentsize;
      if (!r.Fits(h, l.sh_min) || budget == 0) break;
      if (*r.U32(h + l.sh_type) != kShtNote) continue;
      const uint64_t off = *Word(r, l, h + l.sh_offset);
      const uint64_t size = *Word(r, l, h + l.sh_size);
      const uint64_t align = *Word(r, l, h + l.sh_align);
      if (std::optional<TFileVersion> v = FindNote(r, off, size, align, budget)) return v;
    }
  }
  // Then the note segments, for files without section headers.
  const std::optional<uint64_t> phoff = Word(r, l, l.phoff);
  const std::optional<uint16_t> phentsize = r.U16(l.phentsize);
  const std::optional<uint16_t> phnum = r.U16(l.phnum);
  if (phoff && phentsize && phnum && *phentsize >= l.ph_min) {
    for (uint32_t i = 0; i < *phnum; ++i) {
      const uint64_t h = *phoff + uint64_t{i} * *phentsize;
      if (!r.Fits(h, l.ph_min) || budget == 0) break;
      if (*r.U32(h) != kPtNote) continue;
      const uint64_t off = *Word(r, l, h + l.ph_offset);
      const uint64_t size = *Word(r, l, h + l.ph_filesz);
      const uint64_t align = *Word(r, l, h + l.ph_align);
      if (std::optional<TFileVersion> v = FindNote(r, off, size, align, budget)) return v;
    }
  }
  return std::nullopt;
}

}  // namespace platform
