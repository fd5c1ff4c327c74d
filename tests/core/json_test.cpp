#include "core/json.h"

#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <string>

namespace core {
namespace {

std::string Quoted(std::string_view s) {
  std::string out;
  AppendJsonString(out, s);
  return out;
}

TEST(JsonWriterTest, EscapesEachCharacterClass) {
  const struct {
    std::string in;
    std::string out;
  } cases[] = {
      {"Sessão", R"("Sess\u00E3o")"},
      {"/", R"("\/")"},
      {"https://x/y", R"("https:\/\/x\/y")"},
      {"\xF0\x9F\x98\x80", R"("\uD83D\uDE00")"},  // U+1F600, beyond the BMP
      {"\xF4\x8F\xBF\xBF", R"("\uDBFF\uDFFF")"},  // U+10FFFF
      {"\"\\", R"("\"\\")"},
      {"\b\f\n\r\t", R"("\b\f\n\r\t")"},
      {std::string("\x00\x01\x1F", 3), R"("\u0000\u0001\u001F")"},
      {" ~\x7F", "\" ~\x7F\""},  // U+007F itself is not above U+007F
      {"\xC2\x80\xC3\xA9\xEF\xBF\xBF", R"("\u0080\u00E9\uFFFF")"},
      {"a\xFF"
       "b",
       R"("a\uFFFDb")"},                  // invalid UTF-8
      {"\xC3", R"("\uFFFD")"},            // truncated sequence
      {"\xC0\xAF", R"("\uFFFD\uFFFD")"},  // overlong '/'
      {"\xED\xA0\x80", R"("\uFFFD")"},    // an encoded surrogate
      {"", R"("")"},
  };
  for (const auto& c : cases) EXPECT_EQ(Quoted(c.in), c.out) << c.in;
}

TEST(JsonWriterTest, BuildsCompactObjectsInInsertionOrder) {
  TJsonValue inner = TJsonValue::MakeObject();
  inner.AddString("z", "last?").AddString("a", "no, first added last");
  TJsonValue list = TJsonValue::MakeArray();
  list.Push(TJsonValue::MakeInteger(1)).Push(TJsonValue::MakeString("dois")).Push(TJsonValue());
  TJsonValue v = TJsonValue::MakeObject();
  v.AddString("type", "message")
      .AddNumber("value", "12.5000")
      .AddInteger("count", -3)
      .AddBoolean("can_cancel", false)
      .AddBoolean("ok", true)
      .Add("inner", std::move(inner))
      .Add("list", std::move(list))
      .Add("options", TJsonValue::MakeArray())
      .Add("empty", TJsonValue::MakeObject())
      .Add("nothing", TJsonValue())
      .AddString("a/b", "x");
  EXPECT_EQ(v.Serialize(),
            R"({"type":"message","value":12.5000,"count":-3,"can_cancel":false,"ok":true,)"
            R"("inner":{"z":"last?","a":"no, first added last"},"list":[1,"dois",null],)"
            R"("options":[],"empty":{},"nothing":null,"a\/b":"x"})");
}

TEST(JsonWriterTest, NumbersMustBeJsonNumbersAndKindsAreKept) {
  for (const char* ok : {"0", "-0", "12", "-0.5", "12.5000", "1e3", "1E+3", "2.5e-10"}) {
    EXPECT_EQ(TJsonValue::MakeNumber(ok).Serialize(), ok);
  }
  for (const char* bad : {"", "-", "01", "1.", ".5", "+1", "NaN", "1e", "0x10", "1,5", " 1"}) {
    EXPECT_THROW(TJsonValue::MakeNumber(bad), std::invalid_argument) << bad;
  }
  TJsonValue arr = TJsonValue::MakeArray();
  EXPECT_THROW(arr.Add("a", TJsonValue()), std::logic_error);
  TJsonValue obj = TJsonValue::MakeObject();
  EXPECT_THROW(obj.Push(TJsonValue()), std::logic_error);
  TJsonValue str = TJsonValue::MakeString("s");
  EXPECT_THROW(str.Add("a", TJsonValue()), std::logic_error);
}

TEST(JsonParseTest, ReadsValuesInTextFormKeepingNumbersAsWritten) {
  const auto v = ParseJson(
      R"( {"s":"Sess\u00e3o \/ ok","i":12,"d":12.50,"e":1e3,"neg":-0,"big":123456789012345678901234567890,)"
      R"("t":true,"f":false,"n":null,"o":{"x":1},"a":[1,2],"dup":"first","dup":"second"} )");
  ASSERT_TRUE(v.has_value());
  ASSERT_TRUE(v->IsObject());
  const struct {
    const char* name;
    const char* text;
  } cases[] = {{"s", "Sessão / ok"},
               {"i", "12"},
               {"d", "12.50"},
               {"e", "1e3"},
               {"neg", "-0"},
               {"big", "123456789012345678901234567890"},
               {"t", "true"},
               {"f", "false"},
               {"n", ""},
               {"o", ""},
               {"a", ""},
               {"dup", "first"}};
  for (const auto& c : cases) EXPECT_EQ(MemberText(*v, c.name), c.text) << c.name;
  EXPECT_EQ(MemberText(*v, "missing"), std::nullopt);
  EXPECT_EQ(MemberText(TJsonValue::MakeString("x"), "s"), std::nullopt);
  EXPECT_TRUE(v->Find("i")->IsNumber());
  EXPECT_TRUE(v->Find("s")->IsString());
  EXPECT_TRUE(v->Find("n")->IsNull());
  ASSERT_EQ(v->Find("a")->Items().size(), 2u);
  EXPECT_EQ(v->Find("o")->Find("x")->Text(), "1");
  ASSERT_EQ(v->Members().size(), 13u);
  EXPECT_EQ(v->Members()[0].Name, "s");
  EXPECT_EQ(v->Members()[12].Value.Text(), "second");
}

TEST(JsonParseTest, ReserialisesWithOurRules) {
  const auto v = ParseJson(R"({"b":"a/b\u00e3\ud83d\ude00","a":[1.10,{}],"c":"\u0000"})");
  ASSERT_TRUE(v.has_value());
  EXPECT_EQ(v->Serialize(), R"({"b":"a\/b\u00E3\uD83D\uDE00","a":[1.10,{}],"c":"\u0000"})");
}

TEST(JsonParseTest, RejectsInvalidText) {
  const std::string cases[] = {
      "",
      "   ",
      "{",
      "{}x",
      "{} {}",
      "[1,]",
      "{'a':1}",
      "{\"a\":01}",
      "nul",
      "\"\xFF\"",              // invalid UTF-8
      std::string("{}\0", 3),  // a raw NUL
      std::string("{\"a\":\"\0\"}", 8),
      R"("\ud800")",  // high surrogate without its low half
      R"("\x")",
      "\"tab\there\"",  // raw control character in a string
  };
  for (const auto& text : cases) {
    std::string error;
    EXPECT_FALSE(ParseJson(text, {}, &error).has_value()) << text;
    EXPECT_FALSE(error.empty()) << text;
  }
  for (const char* text : {"[]", "1", "\"s\"", "null", " {} "}) {
    const auto v = ParseJson(text);
    ASSERT_TRUE(v.has_value()) << text;
  }
  EXPECT_FALSE(ParseJson("[]")->IsObject());
  // A lone low surrogate escape is kept as U+FFFD.
  EXPECT_EQ(ParseJson(R"("a\udc00b")")->Text(),
            "a\xEF\xBF\xBD"
            "b");
}

// Strings are scanned a block of bytes at a time: a stop character or a bad
// byte must be found at every position of a block, after non-ASCII bytes too.
TEST(JsonParseTest, FindsEscapesQuotesAndControlsAtEveryPosition) {
  std::string filler;
  while (filler.size() < 140) filler += "abcdefghijklmnopqrstuvwxyz";
  for (size_t k = 0; k < 140; ++k) {
    const std::string head = "\xC3\xA9" + filler.substr(0, k);  // "é" and k letters
    const auto escaped = ParseJson("\"" + head + "\\n" + head + "\"");
    ASSERT_TRUE(escaped.has_value()) << k;
    EXPECT_EQ(escaped->Text(), head + "\n" + head) << k;
    const auto quoted = ParseJson("[\"" + head + "\",\"" + head + "x\"]");
    ASSERT_TRUE(quoted.has_value()) << k;
    EXPECT_EQ(quoted->Items()[1].Text(), head + "x") << k;
    for (const char control : {'\x01', '\x1F', '\n'}) {
      EXPECT_FALSE(ParseJson("\"" + head + control + head + "\"").has_value()) << k;
    }
    for (const char* bad : {"\xFF", "\xC3", "\xED\xA0\x80"}) {  // lone, cut short, a surrogate
      std::string error;
      EXPECT_FALSE(ParseJson("[\"" + filler.substr(0, k) + bad + "\"]", {}, &error)) << k;
      EXPECT_EQ(error.substr(0, 13), "invalid UTF-8") << k;
    }
    EXPECT_FALSE(ParseJson("\"" + head).has_value()) << k;  // unterminated
  }
  // DEL and every byte from 0x80 are plain string bytes.
  EXPECT_EQ(ParseJson("\"\x7F\xF0\x9F\x98\x80\x7F\"")->Text(), "\x7F\xF0\x9F\x98\x80\x7F");
  const std::string big(3 << 20, 'Q');
  const auto v = ParseJson("{\"route\":\"\\/print\",\"data\":\"" + big + "\"}");
  ASSERT_TRUE(v.has_value());
  EXPECT_EQ(v->Find("data")->Text(), big);
}

// From shared text, a long string without escapes is read where it lies and
// keeps the text alive; anything else is copied as from a plain parse.
TEST(JsonParseTest, SharedTextLendsItsLongStrings) {
  const std::string big(kSharedStringBytes, 'Q');
  const std::string doc = "{\"data\":\"" + big + "\",\"esc\":\"" + big + "\\n\",\"short\":\"s\"," +
                          "\"" + big + "\":1}";
  auto text = std::make_shared<const std::string>(doc);
  const char* begin = text->data();
  std::optional<TJsonValue> v = ParseJson(std::move(text));
  ASSERT_TRUE(v.has_value());
  const std::string_view data = v->Find("data")->Text();
  EXPECT_EQ(data, big);
  EXPECT_GE(data.data(), begin);  // not a copy
  EXPECT_LT(data.data(), begin + doc.size());
  EXPECT_EQ(v->Find("esc")->Text(), big + "\n");
  EXPECT_EQ(v->Find("short")->Text(), "s");
  EXPECT_EQ(v->Members()[3].Name, big);
  EXPECT_EQ(v->Serialize(), ParseJson(doc)->Serialize());
  const TJsonValue copy = *v;  // the value alone keeps the text
  v.reset();
  EXPECT_EQ(copy.Find("data")->Text(), big);

  const std::string bad = "[\"" + big + "\xC3\"]";
  EXPECT_FALSE(ParseJson(std::make_shared<const std::string>(bad)).has_value());
  EXPECT_FALSE(ParseJson(std::shared_ptr<const std::string>()).has_value());
}

TEST(JsonParseTest, EnforcesTheLimits) {
  const auto nested = [](int depth) { return std::string(depth, '[') + std::string(depth, ']'); };
  EXPECT_TRUE(ParseJson(nested(64)).has_value());
  std::string error;
  EXPECT_FALSE(ParseJson(nested(65), {}, &error).has_value());
  EXPECT_EQ(error, "nesting too deep");
  EXPECT_FALSE(ParseJson(std::string(1000000, '[')).has_value());  // no stack exhaustion

  TJsonLimits small;
  small.MaxBytes = 10;
  EXPECT_TRUE(ParseJson("[1,2,3,4]", small).has_value());
  EXPECT_FALSE(ParseJson("[1,2,3,4,5]", small, &error).has_value());
  EXPECT_EQ(error, "text too large");

  small = {};
  small.MaxValues = 4;
  EXPECT_TRUE(ParseJson("[1,2,3]", small).has_value());
  EXPECT_FALSE(ParseJson("[1,2,3,4]", small, &error).has_value());
  EXPECT_EQ(error, "too many values");
}

}  // namespace
}  // namespace core
