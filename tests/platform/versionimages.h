// Small hand-made ELF and PE images for the version readers: the smallest
// files that carry (or almost carry) a version, built field by field so a
// test can break exactly one field. Also the seeds of the fuzz targets.
#pragma once

#include <cstdint>
#include <string>

namespace platform::testing {

class TBytes {
 public:
  explicit TBytes(bool big_endian = false) : FBigEndian(big_endian) {}
  std::string& Data() { return FBytes; }
  size_t Size() const { return FBytes.size(); }
  void Resize(size_t n) { FBytes.resize(n, '\0'); }
  void Put(size_t at, uint64_t v, int width) {
    if (FBytes.size() < at + width) FBytes.resize(at + width, '\0');
    for (int i = 0; i < width; ++i) {
      const int shift = FBigEndian ? (width - 1 - i) * 8 : i * 8;
      FBytes[at + i] = static_cast<char>((v >> shift) & 0xFF);
    }
  }
  void PutText(size_t at, const std::string& s) {
    if (FBytes.size() < at + s.size()) FBytes.resize(at + s.size(), '\0');
    FBytes.replace(at, s.size(), s);
  }

 private:
  std::string FBytes;
  bool FBigEndian;
};

struct TElfSpec {
  bool Elf64 = true;
  bool BigEndian = false;
  bool Sections = true;  // the note named by a section header, else by PT_NOTE only
  std::string Owner = std::string("Zentavo\0", 8);
  uint32_t Type = 1;
  uint16_t Version[4] = {1, 0, 0, 31};
};

inline std::string MakeElf(const TElfSpec& s) {
  TBytes b(s.BigEndian);
  const size_t ehsize = s.Elf64 ? 64 : 52;
  b.PutText(0, std::string("\x7f"
                           "ELF",
                           4));
  b.Put(4, s.Elf64 ? 2 : 1, 1);
  b.Put(5, s.BigEndian ? 2 : 1, 1);
  b.Put(6, 1, 1);
  b.Put(16, 3, 2);  // ET_DYN
  // An unrelated note first, then ours.
  const size_t notes = ehsize;
  size_t p = notes;
  b.Put(p, 4, 4), b.Put(p + 4, 4, 4), b.Put(p + 8, 3, 4),
      b.PutText(p + 12, std::string("GNU\0", 4));
  b.Put(p + 16, 0xdeadbeef, 4);
  p += 20;
  const size_t owner_padded = (s.Owner.size() + 3) / 4 * 4;
  b.Put(p, s.Owner.size(), 4), b.Put(p + 4, 8, 4), b.Put(p + 8, s.Type, 4);
  b.PutText(p + 12, s.Owner);
  for (int i = 0; i < 4; ++i) b.Put(p + 12 + owner_padded + 2 * i, s.Version[i], 2);
  p += 12 + owner_padded + 8;
  const size_t notes_size = p - notes;
  const size_t headers = p;
  if (s.Sections) {
    const size_t shentsize = s.Elf64 ? 64 : 40;
    b.Put(s.Elf64 ? 40 : 32, headers, s.Elf64 ? 8 : 4);  // e_shoff
    b.Put(s.Elf64 ? 58 : 46, shentsize, 2);
    b.Put(s.Elf64 ? 60 : 48, 2, 2);  // null section + the notes
    const size_t h = headers + shentsize;
    b.Put(h + 4, 7, 4);  // SHT_NOTE
    b.Put(h + (s.Elf64 ? 24 : 16), notes, s.Elf64 ? 8 : 4);
    b.Put(h + (s.Elf64 ? 32 : 20), notes_size, s.Elf64 ? 8 : 4);
    b.Put(h + (s.Elf64 ? 48 : 32), 4, s.Elf64 ? 8 : 4);
    b.Resize(h + shentsize);
  } else {
    const size_t phentsize = s.Elf64 ? 56 : 32;
    b.Put(s.Elf64 ? 32 : 28, headers, s.Elf64 ? 8 : 4);  // e_phoff
    b.Put(s.Elf64 ? 54 : 42, phentsize, 2);
    b.Put(s.Elf64 ? 56 : 44, 1, 2);
    b.Put(headers, 4, 4);  // PT_NOTE
    b.Put(headers + (s.Elf64 ? 8 : 4), notes, s.Elf64 ? 8 : 4);
    b.Put(headers + (s.Elf64 ? 32 : 16), notes_size, s.Elf64 ? 8 : 4);
    b.Put(headers + (s.Elf64 ? 48 : 28), 4, s.Elf64 ? 8 : 4);
    b.Resize(headers + phentsize);
  }
  return b.Data();
}

struct TPeSpec {
  bool Pe32Plus = false;
  uint32_t Signature = 0xFEEF04BD;
  std::string Key = "VS_VERSION_INFO";
  uint32_t ResourceType = 16;  // RT_VERSION
  uint16_t Version[4] = {1, 0, 0, 31};
};

inline std::string MakePe(const TPeSpec& s) {
  TBytes b;
  b.PutText(0, "MZ");
  b.Put(0x3C, 0x40, 4);
  b.PutText(0x40, std::string("PE\0\0", 4));
  const size_t coff = 0x44;
  const size_t optional_size = s.Pe32Plus ? 240 : 224;
  b.Put(coff, s.Pe32Plus ? 0x8664 : 0x14c, 2);
  b.Put(coff + 2, 1, 2);  // one section
  b.Put(coff + 16, optional_size, 2);
  const size_t opt = coff + 20;
  b.Put(opt, s.Pe32Plus ? 0x20b : 0x10b, 2);
  const size_t count_at = opt + (s.Pe32Plus ? 108 : 92);
  b.Put(count_at, 16, 4);
  const uint32_t rva = 0x1000;
  const size_t raw = 0x200;
  b.Put(count_at + 4 + 2 * 8, rva, 4);  // the resource directory

  // Resource tree: type -> name 1 -> language 0x416 -> data.
  const size_t info_at = 0x58;
  const size_t info_size = 40 + 52;
  b.Put(raw + 14, 1, 2), b.Put(raw + 16, s.ResourceType, 4), b.Put(raw + 20, 0x80000018u, 4);
  b.Put(raw + 0x18 + 14, 1, 2), b.Put(raw + 0x18 + 16, 1, 4),
      b.Put(raw + 0x18 + 20, 0x80000030u, 4);
  b.Put(raw + 0x30 + 14, 1, 2), b.Put(raw + 0x30 + 16, 0x416, 4), b.Put(raw + 0x30 + 20, 0x48, 4);
  b.Put(raw + 0x48, rva + info_at, 4), b.Put(raw + 0x48 + 4, info_size, 4);
  const size_t v = raw + info_at;
  b.Put(v, info_size, 2), b.Put(v + 2, 52, 2), b.Put(v + 4, 0, 2);
  for (size_t i = 0; i < s.Key.size(); ++i)
    b.Put(v + 6 + 2 * i, static_cast<unsigned char>(s.Key[i]), 2);
  b.Put(v + 40, s.Signature, 4);
  b.Put(v + 44, 0x10000, 4);
  b.Put(v + 48, (uint32_t{s.Version[0]} << 16) | s.Version[1], 4);
  b.Put(v + 52, (uint32_t{s.Version[2]} << 16) | s.Version[3], 4);
  b.Put(v + 56, 0x00090009, 4);  // product version differs on purpose
  b.Resize(v + info_size);
  const size_t section_size = b.Size() - raw;

  const size_t sec = opt + optional_size;
  b.PutText(sec, ".rsrc");
  b.Put(sec + 8, section_size, 4);
  b.Put(sec + 12, rva, 4);
  b.Put(sec + 16, section_size, 4);
  b.Put(sec + 20, raw, 4);
  return b.Data();
}

}  // namespace platform::testing
