// JSON of the front-end messages and tokens: one value type used both for
// what is parsed and for what the service builds.
//
// - Parsing keeps numbers exactly as written (no conversion to binary) and
//   object members in their order, duplicates included.
// - Values are read in "text form": a string gives its characters, a number
//   its text as written, true/false give "true"/"false"; null, objects and
//   arrays give an empty text (read their structure through Find/Items).
// - Serialize writes compactly, members in insertion order, escaping '"', '\'
//   and '/' (as "\/"), writing \b \f \n \r \t, and every other character
//   below U+0020 or above U+007F as \u + four upper-case hex digits
//   (characters beyond the BMP as their two UTF-16 surrogates). Invalid UTF-8
//   in a string is written as U+FFFD (\uFFFD).
//
// Values are plain data: no shared state, any thread may use its own values.
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace core {

struct TJsonMember;

class TJsonValue {
 public:
  enum class TKind { jkNull, jkBoolean, jkNumber, jkString, jkArray, jkObject };

  TJsonValue() = default;  // null
  static TJsonValue MakeString(std::string_view utf8);
  // text must follow the JSON number grammar (e.g. "12", "-0.5", "12.5000",
  // "1e3"); otherwise std::invalid_argument. Written exactly as given.
  static TJsonValue MakeNumber(std::string_view text);
  static TJsonValue MakeInteger(long long value);
  static TJsonValue MakeBoolean(bool value);
  static TJsonValue MakeObject();
  static TJsonValue MakeArray();

  TKind Kind() const { return FKind; }
  bool IsNull() const { return FKind == TKind::jkNull; }
  bool IsBoolean() const { return FKind == TKind::jkBoolean; }
  bool IsNumber() const { return FKind == TKind::jkNumber; }
  bool IsString() const { return FKind == TKind::jkString; }
  bool IsArray() const { return FKind == TKind::jkArray; }
  bool IsObject() const { return FKind == TKind::jkObject; }

  // The text form (see above). For a long string parsed from shared text
  // it refers into that text, which the value keeps alive.
  std::string_view Text() const { return FShared ? FView : std::string_view(FText); }

  // Objects. Add appends a member (an existing one of the same name is kept:
  // callers add each name once) and returns *this for chaining; it turns a
  // null value into an object. std::logic_error on other kinds.
  TJsonValue& Add(std::string name, TJsonValue value);
  TJsonValue& AddString(std::string name, std::string_view utf8);
  TJsonValue& AddNumber(std::string name, std::string_view text);
  TJsonValue& AddInteger(std::string name, long long value);
  TJsonValue& AddBoolean(std::string name, bool value);
  // The first member of that name, or nullptr (also when not an object).
  const TJsonValue* Find(std::string_view name) const;
  const std::vector<TJsonMember>& Members() const { return FMembers; }

  // Arrays. Push appends (a null value becomes an array); std::logic_error on
  // other kinds.
  TJsonValue& Push(TJsonValue value);
  const std::vector<TJsonValue>& Items() const { return FItems; }

  // Compact serialisation with the escaping rules above.
  std::string Serialize() const;

 private:
  friend class TJsonReader;
  void SerializeTo(std::string& out) const;

  TKind FKind = TKind::jkNull;
  std::string FText;
  // Set instead of FText for a long string parsed from shared text.
  std::shared_ptr<const std::string> FShared;
  std::string_view FView;
  std::vector<TJsonValue> FItems;
  std::vector<TJsonMember> FMembers;
};

struct TJsonMember {
  std::string Name;
  TJsonValue Value;
};

// The text form of member `name` of an object, or nullopt when the value is
// not an object or has no such member.
std::optional<std::string> MemberText(const TJsonValue& object, std::string_view name);

// Appends s as a quoted JSON string with the escaping rules above.
void AppendJsonString(std::string& out, std::string_view utf8);

// Limits for untrusted text (messages from the front end, token parts).
struct TJsonLimits {
  size_t MaxBytes = size_t{64} << 20;  // the largest WebSocket message
  int MaxDepth = 64;                   // nested arrays/objects
  size_t MaxValues = 1000000;          // values of any kind in the document
};

// Parses one JSON text (RFC 8259; UTF-8 only, no raw NUL or other control
// character, nothing but white space after the value). Returns nullopt when
// the text is not valid JSON or breaks a limit; error, when given, receives a
// short reason. A \u escape of a lone low surrogate becomes U+FFFD; a high
// surrogate escape without its low half makes the text invalid. Numbers of
// any size are kept as written. Runs in one pass over the text, sixteen bytes
// at a time through strings, checks UTF-8 only where a string has bytes from
// 0x80 up, and copies each string once.
std::optional<TJsonValue> ParseJson(std::string_view text, const TJsonLimits& limits = {},
                                    std::string* error = nullptr);

// The same, for text that the parsed value may share: a string value of at
// least kSharedStringBytes without escapes is not copied but refers into
// *text (a large document in a message is not duplicated).
inline constexpr size_t kSharedStringBytes = 4096;
std::optional<TJsonValue> ParseJson(std::shared_ptr<const std::string> text,
                                    const TJsonLimits& limits = {}, std::string* error = nullptr);

}  // namespace core
