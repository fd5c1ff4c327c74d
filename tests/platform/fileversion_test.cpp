#include "platform/fileversion.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "platform/elfversion.h"
#include "platform/peversion.h"
#include "platform/versionimages.h"

namespace platform {
namespace {

namespace fs = std::filesystem;
using testing::MakeElf;
using testing::MakePe;
using testing::TElfSpec;
using testing::TPeSpec;

constexpr TFileVersion k1_0_0_31{1, 0, 0, 31};

TEST(ElfVersionTest, ReadsTheNoteInEveryClassByteOrderAndHeaderKind) {
  for (bool elf64 : {false, true}) {
    for (bool big : {false, true}) {
      for (bool sections : {false, true}) {
        TElfSpec s;
        s.Elf64 = elf64, s.BigEndian = big, s.Sections = sections;
        s.Version[0] = 7, s.Version[1] = 65535, s.Version[2] = 117, s.Version[3] = 24;
        EXPECT_EQ(ReadElfVersionNote(MakeElf(s)), (TFileVersion{7, 65535, 117, 24}))
            << elf64 << big << sections;
      }
    }
  }
}

TEST(ElfVersionTest, OtherNotesAndDamagedFilesHaveNoVersion) {
  TElfSpec other_owner;
  other_owner.Owner = std::string("Zentava\0", 8);
  TElfSpec other_type;
  other_type.Type = 2;
  EXPECT_EQ(ReadElfVersionNote(MakeElf(other_owner)), std::nullopt);
  EXPECT_EQ(ReadElfVersionNote(MakeElf(other_type)), std::nullopt);
  EXPECT_EQ(ReadElfVersionNote("\x7f"
                               "ELF"),
            std::nullopt);
  EXPECT_EQ(ReadElfVersionNote("MZ"), std::nullopt);

  // Every truncation, and a note area that claims more than the file holds.
  const std::string whole = MakeElf(TElfSpec{});
  for (size_t n = 0; n < whole.size(); ++n) {
    const std::optional<TFileVersion> v = ReadElfVersionNote(whole.substr(0, n));
    EXPECT_TRUE(!v || *v == k1_0_0_31) << n;
  }
  std::string huge = whole;
  testing::TBytes b;
  b.Data() = huge;
  b.Put(whole.size() - 64 + 32, 0xFFFFFFFFFFFF0000ull, 8);  // sh_size of the note section
  EXPECT_EQ(ReadElfVersionNote(b.Data()), std::nullopt);
}

TEST(PeVersionTest, ReadsTheFixedFileVersionOfPe32AndPe32Plus) {
  for (bool plus : {false, true}) {
    TPeSpec s;
    s.Pe32Plus = plus;
    s.Version[0] = 7, s.Version[1] = 0, s.Version[2] = 117, s.Version[3] = 24;
    EXPECT_EQ(ReadPeFileVersion(MakePe(s)), (TFileVersion{7, 0, 117, 24})) << plus;
  }
}

TEST(PeVersionTest, WrongBlocksAndDamagedFilesHaveNoVersion) {
  TPeSpec bad_signature;
  bad_signature.Signature = 0xFEEF04BE;
  TPeSpec bad_key;
  bad_key.Key = "VS_VERSION_INFX";
  TPeSpec icon_only;
  icon_only.ResourceType = 3;
  for (const TPeSpec& s : {bad_signature, bad_key, icon_only}) {
    EXPECT_EQ(ReadPeFileVersion(MakePe(s)), std::nullopt);
  }
  const std::string whole = MakePe(TPeSpec{});
  for (size_t n = 0; n < whole.size(); ++n) {
    EXPECT_EQ(ReadPeFileVersion(whole.substr(0, n)), std::nullopt) << n;
  }
}

TEST(FileVersionTest, FileNameEndingInFourNumbers) {
  EXPECT_EQ(VersionFromFileName("libclisitef.so.7.0.117.24"), (TFileVersion{7, 0, 117, 24}));
  EXPECT_EQ(VersionFromFileName("a.65535.0.0.1"), (TFileVersion{65535, 0, 0, 1}));
  for (const char* name :
       {"libclisitef.so", "libclisitef.so.7.0.117", "1.2.3.4", ".1.2.3.4", "lib.so.1.2.3.65536",
        "lib.so.1.2.3.", "lib.so.1.2.3.4a", "lib.so.1.2.3.000001"}) {
    EXPECT_EQ(VersionFromFileName(name), std::nullopt) << name;
  }
}

class FileVersionFolder : public ::testing::Test {
 protected:
  void SetUp() override {
    FDir =
        fs::temp_directory_path() /
        ("fileversion_test_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()));
    fs::remove_all(FDir);
    fs::create_directories(FDir);
  }
  void TearDown() override { fs::remove_all(FDir); }
  std::string Write(const std::string& name, const std::string& bytes) {
    std::ofstream(FDir / name, std::ios::binary) << bytes;
    return (FDir / name).string();
  }
  fs::path FDir;
};

TEST_F(FileVersionFolder, ReadsEachKindAndFallsBackToTheRealFileName) {
  EXPECT_EQ(GetFileVersion(Write("svc", MakeElf(TElfSpec{}))), k1_0_0_31);
  EXPECT_EQ(GetFileVersion(Write("lib.dll", MakePe(TPeSpec{}))), k1_0_0_31);
  // A link is read through; its target's name gives the version when the
  // file itself declares none.
  Write("libclisitef.so.7.0.117.24", "not an image");
  fs::create_symlink("libclisitef.so.7.0.117.24", FDir / "libclisitef.so");
  EXPECT_EQ(GetFileVersion((FDir / "libclisitef.so").string()), (TFileVersion{7, 0, 117, 24}));
  TPeSpec unversioned;
  unversioned.ResourceType = 3;
  EXPECT_EQ(GetFileVersion(Write("x.2.0.0.5", MakePe(unversioned))), (TFileVersion{2, 0, 0, 5}));
  // The declared version wins over the name.
  EXPECT_EQ(GetFileVersion(Write("y.2.0.0.5", MakeElf(TElfSpec{}))), k1_0_0_31);

  EXPECT_EQ(GetFileVersion(Write("plain", "")), std::nullopt);
  EXPECT_EQ(GetFileVersion((FDir / "missing").string()), std::nullopt);
  EXPECT_EQ(GetFileVersion(FDir.string()), std::nullopt);
}

TEST(FileVersionTest, BareNamesAreLookedForBesideTheExecutableFirst) {
  EXPECT_EQ(FindLibraryFile("a/b.so"), "a/b.so");
  EXPECT_EQ(FindLibraryFile("no-such-library-here.so"), "no-such-library-here.so");
}

}  // namespace
}  // namespace platform
