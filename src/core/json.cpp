#include "core/json.h"

#include <rapidjson/error/en.h>
#include <rapidjson/memorystream.h>
#include <rapidjson/reader.h>

#include <stdexcept>

#include "platform/ansi.h"

namespace core {

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// RFC 8259 number grammar.
bool IsJsonNumber(std::string_view s) {
  size_t i = 0;
  const auto digits = [&] {
    const size_t from = i;
    while (i < s.size() && IsDigit(s[i])) ++i;
    return i > from;
  };
  if (i < s.size() && s[i] == '-') ++i;
  if (i < s.size() && s[i] == '0') {
    ++i;
  } else if (!digits()) {
    return false;
  }
  if (i < s.size() && s[i] == '.') {
    ++i;
    if (!digits()) return false;
  }
  if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
    ++i;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
    if (!digits()) return false;
  }
  return i == s.size();
}

// The code point at s[i], advancing i; an invalid sequence gives U+FFFD. A
// UTF-16 surrogate written as three bytes (what the parser makes of a lone
// \uDC00 escape) counts as one invalid character.
unsigned long NextCodePoint(std::string_view s, size_t& i) {
  const size_t from = i;
  const long cp = platform::DecodeUtf8(s, i);
  if (cp >= 0) return static_cast<unsigned long>(cp);
  if (from + 2 < s.size() && static_cast<unsigned char>(s[from]) == 0xED &&
      (static_cast<unsigned char>(s[from + 1]) & 0xE0) == 0xA0 &&
      (static_cast<unsigned char>(s[from + 2]) & 0xC0) == 0x80) {
    i = from + 3;
  }
  return 0xFFFD;
}

// Valid UTF-8 unchanged; otherwise each invalid sequence becomes U+FFFD.
std::string SanitizedUtf8(std::string_view s) {
  bool valid = true;
  for (size_t i = 0; valid && i < s.size();) valid = platform::DecodeUtf8(s, i) >= 0;
  if (valid) return std::string(s);
  std::string out;
  out.reserve(s.size() + 8);
  for (size_t j = 0; j < s.size();) platform::AppendUtf8(out, NextCodePoint(s, j));
  return out;
}

void AppendEscape(std::string& out, unsigned long unit) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  out += "\\u";
  out += kHex[(unit >> 12) & 0xF];
  out += kHex[(unit >> 8) & 0xF];
  out += kHex[(unit >> 4) & 0xF];
  out += kHex[unit & 0xF];
}

}  // namespace

// --- Values ---------------------------------------------------------------

TJsonValue TJsonValue::MakeString(std::string_view utf8) {
  TJsonValue v;
  v.kind_ = TKind::jkString;
  v.text_ = std::string(utf8);
  return v;
}

TJsonValue TJsonValue::MakeNumber(std::string_view text) {
  if (!IsJsonNumber(text)) throw std::invalid_argument("not a JSON number: " + std::string(text));
  TJsonValue v;
  v.kind_ = TKind::jkNumber;
  v.text_ = std::string(text);
  return v;
}

TJsonValue TJsonValue::MakeInteger(long long value) {
  TJsonValue v;
  v.kind_ = TKind::jkNumber;
  v.text_ = std::to_string(value);
  return v;
}

TJsonValue TJsonValue::MakeBoolean(bool value) {
  TJsonValue v;
  v.kind_ = TKind::jkBoolean;
  v.text_ = value ? "true" : "false";
  return v;
}

TJsonValue TJsonValue::MakeObject() {
  TJsonValue v;
  v.kind_ = TKind::jkObject;
  return v;
}

TJsonValue TJsonValue::MakeArray() {
  TJsonValue v;
  v.kind_ = TKind::jkArray;
  return v;
}

TJsonValue& TJsonValue::Add(std::string name, TJsonValue value) {
  if (kind_ == TKind::jkNull) kind_ = TKind::jkObject;
  if (kind_ != TKind::jkObject) throw std::logic_error("JSON value is not an object");
  members_.push_back(TJsonMember{std::move(name), std::move(value)});
  return *this;
}

TJsonValue& TJsonValue::AddString(std::string name, std::string_view utf8) {
  return Add(std::move(name), MakeString(utf8));
}
TJsonValue& TJsonValue::AddNumber(std::string name, std::string_view text) {
  return Add(std::move(name), MakeNumber(text));
}
TJsonValue& TJsonValue::AddInteger(std::string name, long long value) {
  return Add(std::move(name), MakeInteger(value));
}
TJsonValue& TJsonValue::AddBoolean(std::string name, bool value) {
  return Add(std::move(name), MakeBoolean(value));
}

const TJsonValue* TJsonValue::Find(std::string_view name) const {
  for (const auto& m : members_) {
    if (m.Name == name) return &m.Value;
  }
  return nullptr;
}

TJsonValue& TJsonValue::Push(TJsonValue value) {
  if (kind_ == TKind::jkNull) kind_ = TKind::jkArray;
  if (kind_ != TKind::jkArray) throw std::logic_error("JSON value is not an array");
  items_.push_back(std::move(value));
  return *this;
}

std::optional<std::string> MemberText(const TJsonValue& object, std::string_view name) {
  const TJsonValue* v = object.Find(name);
  if (!v) return std::nullopt;
  return v->Text();
}

// --- Writer ---------------------------------------------------------------

void AppendJsonString(std::string& out, std::string_view s) {
  out += '"';
  for (size_t i = 0; i < s.size();) {
    const auto c = static_cast<unsigned char>(s[i]);
    if (c < 0x80) {
      ++i;
      switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '/': out += "\\/"; break;
        case '\b': out += "\\b"; break;
        case '\f': out += "\\f"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
          if (c < 0x20) {
            AppendEscape(out, c);
          } else {
            out += static_cast<char>(c);
          }
      }
      continue;
    }
    const unsigned long cp = NextCodePoint(s, i);
    if (cp > 0xFFFF) {
      const unsigned long v = cp - 0x10000;
      AppendEscape(out, 0xD800 + (v >> 10));
      AppendEscape(out, 0xDC00 + (v & 0x3FF));
    } else {
      AppendEscape(out, cp);
    }
  }
  out += '"';
}

std::string TJsonValue::Serialize() const {
  std::string out;
  SerializeTo(out);
  return out;
}

void TJsonValue::SerializeTo(std::string& out) const {
  switch (kind_) {
    case TKind::jkNull: out += "null"; break;
    case TKind::jkBoolean:
    case TKind::jkNumber: out += text_; break;
    case TKind::jkString: AppendJsonString(out, text_); break;
    case TKind::jkArray: {
      out += '[';
      for (size_t i = 0; i < items_.size(); ++i) {
        if (i) out += ',';
        items_[i].SerializeTo(out);
      }
      out += ']';
      break;
    }
    case TKind::jkObject: {
      out += '{';
      for (size_t i = 0; i < members_.size(); ++i) {
        if (i) out += ',';
        AppendJsonString(out, members_[i].Name);
        out += ':';
        members_[i].Value.SerializeTo(out);
      }
      out += '}';
      break;
    }
  }
}

// --- Parser ---------------------------------------------------------------

// SAX handler that builds a TJsonValue tree under the limits. The stack holds
// the open containers; a child is only appended to the innermost one, so the
// pointers to the outer ones stay valid.
class TJsonBuilder : public rapidjson::BaseReaderHandler<rapidjson::UTF8<>, TJsonBuilder> {
 public:
  explicit TJsonBuilder(const TJsonLimits& limits) : limits_(limits) {}

  bool Null() { return Put(TJsonValue()) != nullptr; }
  bool Bool(bool b) { return Put(TJsonValue::MakeBoolean(b)) != nullptr; }
  bool RawNumber(const char* s, rapidjson::SizeType n, bool) {
    TJsonValue v;
    v.kind_ = TJsonValue::TKind::jkNumber;
    v.text_.assign(s, n);
    return Put(std::move(v)) != nullptr;
  }
  bool String(const char* s, rapidjson::SizeType n, bool) {
    return Put(TJsonValue::MakeString(SanitizedUtf8(std::string_view(s, n)))) != nullptr;
  }
  bool Key(const char* s, rapidjson::SizeType n, bool) {
    key_ = SanitizedUtf8(std::string_view(s, n));
    return true;
  }
  bool StartObject() { return Open(TJsonValue::MakeObject()); }
  bool StartArray() { return Open(TJsonValue::MakeArray()); }
  bool EndObject(rapidjson::SizeType) { return Close(); }
  bool EndArray(rapidjson::SizeType) { return Close(); }

  TJsonValue& Root() { return root_; }
  const char* LimitBroken() const { return limit_broken_; }

 private:
  TJsonValue* Put(TJsonValue v) {
    if (++values_ > limits_.MaxValues) {
      limit_broken_ = "too many values";
      return nullptr;
    }
    if (stack_.empty()) {
      root_ = std::move(v);
      return &root_;
    }
    TJsonValue* parent = stack_.back();
    if (parent->kind_ == TJsonValue::TKind::jkObject) {
      parent->members_.push_back(TJsonMember{std::move(key_), std::move(v)});
      key_.clear();
      return &parent->members_.back().Value;
    }
    parent->items_.push_back(std::move(v));
    return &parent->items_.back();
  }
  bool Open(TJsonValue container) {
    if (static_cast<int>(stack_.size()) >= limits_.MaxDepth) {
      limit_broken_ = "nesting too deep";
      return false;
    }
    TJsonValue* v = Put(std::move(container));
    if (!v) return false;
    stack_.push_back(v);
    return true;
  }
  bool Close() {
    stack_.pop_back();
    return true;
  }

  const TJsonLimits& limits_;
  TJsonValue root_;
  std::vector<TJsonValue*> stack_;
  std::string key_;
  size_t values_ = 0;
  const char* limit_broken_ = nullptr;
};

std::optional<TJsonValue> ParseJson(std::string_view text, const TJsonLimits& limits, std::string* error) {
  const auto fail = [&](std::string why) -> std::optional<TJsonValue> {
    if (error) *error = std::move(why);
    return std::nullopt;
  };
  if (text.size() > limits.MaxBytes) return fail("text too large");
  // The reader takes NUL as the end of its input; a raw NUL is never valid.
  if (text.find('\0') != std::string_view::npos) return fail("NUL byte in text");

  TJsonBuilder builder(limits);
  rapidjson::MemoryStream stream(text.data(), text.size());
  rapidjson::Reader reader;
  // Iterative: untrusted nesting must not recurse on the stack.
  constexpr unsigned kFlags = rapidjson::kParseNumbersAsStringsFlag | rapidjson::kParseValidateEncodingFlag |
                              rapidjson::kParseIterativeFlag;
  const rapidjson::ParseResult result = reader.Parse<kFlags>(stream, builder);
  if (result.IsError()) {
    if (builder.LimitBroken()) return fail(builder.LimitBroken());
    return fail(std::string(rapidjson::GetParseError_En(result.Code())) + " at offset " +
                std::to_string(result.Offset()));
  }
  return std::move(builder.Root());
}

}  // namespace core
