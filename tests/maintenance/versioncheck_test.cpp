#include "maintenance/versioncheck.h"

#include <gtest/gtest.h>

namespace maintenance {
namespace {

TEST(VersionCheckTest, ParseVersionReadsFourNumbersWhateverSeparatesThem) {
  const struct {
    const char* text;
    TVersionNumbers want;
  } cases[] = {
      {"1.0.0.32", {1, 0, 0, 32}},
      {"v1.0.0.32", {1, 0, 0, 32}},
      {"1-0-0-32", {1, 0, 0, 32}},
      {"Versão não encontrada", {0, 0, 0, 0}},
      {"", {0, 0, 0, 0}},
      {"7.2", {7, 2, 0, 0}},
      {"1.2.3.4.5", {1, 2, 3, 4}},
      {"65536.65537.2147483647.0", {0, 1, 65535, 0}},
      {"2147483648.1.99999999999999999999.3", {0, 1, 0, 3}},
      {"0000000000000000000012.1", {12, 1, 0, 0}},
  };
  for (const auto& c : cases) EXPECT_EQ(ParseVersion(c.text), c.want) << c.text;
}

TEST(VersionCheckTest, OnlyTheFirstAndFourthNumbersDecide) {
  EXPECT_TRUE(IsNewerVersion("1.0.0.31", "1.0.0.32"));
  EXPECT_FALSE(IsNewerVersion("1.0.0.31", "2.0.0.1"));
  EXPECT_FALSE(IsNewerVersion("1.0.0.31", "1.0.0.31"));
  EXPECT_FALSE(IsNewerVersion("1.0.0.31", "1.5.0.31"));
  EXPECT_TRUE(IsNewerVersion("1.0.0.31", "1.0.9.32"));
  EXPECT_TRUE(IsNewerVersion("1.9.9.31", "2.0.0.32"));
  EXPECT_FALSE(IsNewerVersion("2.0.0.31", "1.0.0.40"));
  EXPECT_TRUE(IsNewerVersion(kVersaoNaoEncontrada, "1.0.0.1"));
  EXPECT_FALSE(IsNewerVersion(kVersaoNaoEncontrada, ""));
}

TEST(VersionCheckTest, PdvNumberIsExactlyTwoCharacters) {
  EXPECT_EQ(FormatPdvNumber(0), "00");
  EXPECT_EQ(FormatPdvNumber(7), "07");
  EXPECT_EQ(FormatPdvNumber(42), "42");
  EXPECT_EQ(FormatPdvNumber(123), "12");
  EXPECT_EQ(FormatPdvNumber(-5), "-5");
  EXPECT_EQ(FormatPdvNumber(-12), "-1");
}

TEST(VersionCheckTest, FileWithoutVersionInformation) {
  EXPECT_EQ(GetFileVersionText("/nonexistent/libclisitef.so"), kVersaoNaoEncontrada);
  EXPECT_EQ(GetFileVersionText("/etc/hostname"), kVersaoNaoEncontrada);
}

}  // namespace
}  // namespace maintenance
