#include "core/base64.h"

#include <gtest/gtest.h>

namespace core {
namespace {

TEST(Base64Test, EncodesTheRfcVectorsInBothAlphabets) {
  const struct {
    const char* in;
    const char* standard;
    const char* url;
  } cases[] = {
      {"", "", ""},
      {"f", "Zg==", "Zg"},
      {"fo", "Zm8=", "Zm8"},
      {"foo", "Zm9v", "Zm9v"},
      {"foob", "Zm9vYg==", "Zm9vYg"},
      {"fooba", "Zm9vYmE=", "Zm9vYmE"},
      {"foobar", "Zm9vYmFy", "Zm9vYmFy"},
      {"\xFB\xFF\xBF", "+/+/", "-_-_"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Base64Encode(c.in), c.standard);
    EXPECT_EQ(Base64UrlEncode(c.in), c.url);
    EXPECT_EQ(Base64Decode(c.standard, 100), c.in) << c.standard;
    EXPECT_EQ(Base64UrlDecode(c.url, 100), c.in) << c.url;
  }
  EXPECT_EQ(Base64Decode("Zm9vYg", 100), "foob");  // standard padding is optional
}

TEST(Base64Test, RefusesWhatNoEncoderWrites) {
  for (const char* bad :
       {"Zg=", "Z", "Zm9vY", "Zg==Zg==", "Z=g=", "Zm 9v", "Zm9v\n", "-_-_", "====", "Zg==="}) {
    EXPECT_EQ(Base64Decode(bad, 100), std::nullopt) << bad;
  }
  for (const char* bad : {"Zg==", "Zm8=", "+/+/", "Z", "Zm 9v", "Zm9v.", "Zg%3D"}) {
    EXPECT_EQ(Base64UrlDecode(bad, 100), std::nullopt) << bad;
  }
  EXPECT_EQ(Base64UrlDecode("Zm9vYmFy", 6), "foobar");
  EXPECT_EQ(Base64UrlDecode("Zm9vYmFy", 5), std::nullopt);
  EXPECT_EQ(Base64Decode("Zm9vYg==", 3), std::nullopt);
}

// Skipped characters count nowhere: not as digits, not against the padding.
TEST(Base64Test, SkipsWrappingAsIfItWereNotThere) {
  const std::string_view wrap = "\r\n ";
  EXPECT_EQ(Base64Decode("Zm9v\r\nYmFy\n", 100, wrap), "foobar");
  EXPECT_EQ(Base64Decode(" Zm9v Yg= =\r\n", 100, wrap), "foob");
  EXPECT_EQ(Base64Decode("\r\n", 100, wrap), "");
  for (const char* bad : {"Zg=\n", "Z\n", "Zg==\nZg==", "Zm\t9v", "Zm9vYg==\n=", "Z\n=g="}) {
    EXPECT_EQ(Base64Decode(bad, 100, wrap), std::nullopt) << bad;
  }
  EXPECT_EQ(Base64Decode("Zm9v\nYg==", 3, wrap), std::nullopt);
}

}  // namespace
}  // namespace core
