#include "platform/regional.h"

#include <gtest/gtest.h>

#include "platform/ansi.h"

namespace platform {
namespace {

TEST(RegionalTest, FormatDateTime) {
  const TDateTime t{2025, 1, 5, 14, 3, 9, 45};
  struct Case {
    const char* format;
    const char* expected;
  } cases[] = {
      {"dd/mm/yyyy hh:nn:ss", "05/01/2025 14:03:09"},
      {"mmmmm-yyyy", "janeiro-2025"},
      {"mm-yyyy", "01-2025"},
      {"dd-mm-yyyy", "05-01-2025"},
      {"yyyymmdd", "20250105"},
      {"hhnnss", "140309"},
      {"dd/mm hh:nn:ss:zzz", "05/01 14:03:09:045"},
      {"hh:mm", "14:03"},  // m right after h is minutes
      {"yyyy-mm-dd\"T\"hh:nn:ss\"Z\"", "2025-01-05T14:03:09Z"},
  };
  for (const Case& c : cases) EXPECT_EQ(FormatDateTime(c.format, t), c.expected) << c.format;
  EXPECT_EQ(CapitalizeFirstAscii(FormatDateTime("mmmmm-yyyy", TDateTime{2026, 3, 1})),
            "Março-2026");
}

TEST(RegionalTest, FormatFixedRoundsHalfAwayFromZero) {
  struct Case {
    int64_t value;
    int scale;
    const char* pattern;
    const char* expected;
  } cases[] = {
      {100000, 4, "#,##0.00", "10,00"}, {12345678900, 4, "#,##0.00", "1.234.567,89"},
      {125, 3, "0.00", "0,13"},         {-125, 3, "0.00", "-0,13"},
      {124, 3, "0.00", "0,12"},         {5, 0, "0.00", "5,00"},
      {-4, 4, "0.00", "0,00"},          {1234, 0, "0", "1234"},
      {125000, 4, "00,00", "0.013"},    {123456780000, 4, "00,00", "12.345.678"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(FormatFixed(c.value, c.scale, c.pattern), c.expected) << c.value << " " << c.pattern;
  }
}

TEST(RegionalTest, ParseDayFirst) {
  TDateTime t;
  ASSERT_TRUE(TryParseDayFirst("31/01/2024 12:05:00", t));
  EXPECT_EQ(t, (TDateTime{2024, 1, 31, 12, 5, 0, 0}));
  ASSERT_TRUE(TryParseDayFirst("29/02/2024", t));
  for (const char* bad : {"30/02/2024", "2024-01-31", "31/01/2024 25:00:00", "31/01/24",
                          "Formato de data inválido", "31/01/2024T12:00:00"}) {
    EXPECT_FALSE(TryParseDayFirst(bad, t)) << bad;
  }
}

TEST(AnsiTest, ConvertsBetweenUtf8AndWindows1252) {
  EXPECT_EQ(Utf8ToAnsi("Sessão €").bytes(), "Sess\xE3o \x80");
  EXPECT_EQ(AnsiToUtf8(std::string_view("Sess\xE3o \x80")), "Sessão €");
  EXPECT_EQ(Utf8ToAnsi("日本").bytes(), "??");  // not in the code page
  EXPECT_EQ(Utf8ToAnsi("a\xFF"
                       "b")
                .bytes(),
            "a?b");  // invalid UTF-8
  std::string all;
  for (int b = 1; b < 256; ++b) all += static_cast<char>(b);
  EXPECT_EQ(Utf8ToAnsi(AnsiToUtf8(std::string_view(all))).bytes(), all);
}

// Each sequence is tried at every offset of a long ASCII text, so that it
// falls inside, at the edge of and across the validator's ASCII blocks.
TEST(AnsiTest, ValidatesUtf8AtAnyOffset) {
  const struct {
    std::string_view bytes;
    bool valid;
  } cases[] = {
      {"\xC3\xA3", true},
      {"\xE2\x82\xAC", true},
      {"\xF0\x9F\x92\xB3", true},
      {"\xF4\x8F\xBF\xBF", true},
      {"\xEF\xBF\xBF", true},
      {"\x7F", true},
      {"\xC3", false},
      {"\xA3", false},
      {"\xC0\xAF", false},
      {"\xE0\x80\xAF", false},
      {"\xED\xA0\x80", false},
      {"\xF4\x90\x80\x80", false},
      {"\xF8\x88\x80\x80", false},
      {"\xE2\x82", false},
      {"\xC3\xA3\xFF", false},
  };
  for (const auto& c : cases) {
    for (size_t at = 0; at <= 70; ++at) {
      std::string text(80, 'a');
      text.replace(at, c.bytes.size(), c.bytes);
      EXPECT_EQ(IsValidUtf8(text), c.valid) << "at " << at;
      // And with the text ending right after it.
      EXPECT_EQ(IsValidUtf8(std::string_view(text).substr(0, at + c.bytes.size())), c.valid);
    }
  }
}

// Each bad byte becomes one U+FFFD; the repaired size is held to the limit
// exactly, and a valid text is given back as it is.
TEST(AnsiTest, RepairsUtf8WithinALimit) {
  const std::string fffd = "\xEF\xBF\xBD";
  EXPECT_EQ(ToValidUtf8("ok\xC3\xA3"), "ok\xC3\xA3");
  EXPECT_EQ(ToValidUtf8("a\xC3"
                        "b\xF0\x9F"),
            "a" + fffd + "b" + fffd + fffd);
  EXPECT_EQ(ToValidUtf8("\xFF\xFF", 6), fffd + fffd);
  EXPECT_EQ(ToValidUtf8("\xFF\xFF", 5), std::nullopt);
  EXPECT_EQ(ToValidUtf8(std::string(10, 'a'), 3), std::string(10, 'a'));
}

}  // namespace
}  // namespace platform
