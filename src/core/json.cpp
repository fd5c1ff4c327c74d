#include "core/json.h"

#include <bit>
#include <cstdint>
#include <cstring>
#include <stdexcept>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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
  v.FKind = TKind::jkString;
  v.FText = std::string(utf8);
  return v;
}

TJsonValue TJsonValue::MakeNumber(std::string_view text) {
  if (!IsJsonNumber(text)) throw std::invalid_argument("not a JSON number: " + std::string(text));
  TJsonValue v;
  v.FKind = TKind::jkNumber;
  v.FText = std::string(text);
  return v;
}

TJsonValue TJsonValue::MakeInteger(long long value) {
  TJsonValue v;
  v.FKind = TKind::jkNumber;
  v.FText = std::to_string(value);
  return v;
}

TJsonValue TJsonValue::MakeBoolean(bool value) {
  TJsonValue v;
  v.FKind = TKind::jkBoolean;
  v.FText = value ? "true" : "false";
  return v;
}

TJsonValue TJsonValue::MakeObject() {
  TJsonValue v;
  v.FKind = TKind::jkObject;
  return v;
}

TJsonValue TJsonValue::MakeArray() {
  TJsonValue v;
  v.FKind = TKind::jkArray;
  return v;
}

TJsonValue& TJsonValue::Add(std::string name, TJsonValue value) {
  if (FKind == TKind::jkNull) FKind = TKind::jkObject;
  if (FKind != TKind::jkObject) throw std::logic_error("JSON value is not an object");
  FMembers.push_back(TJsonMember{std::move(name), std::move(value)});
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
  for (const auto& m : FMembers) {
    if (m.Name == name) return &m.Value;
  }
  return nullptr;
}

TJsonValue& TJsonValue::Push(TJsonValue value) {
  if (FKind == TKind::jkNull) FKind = TKind::jkArray;
  if (FKind != TKind::jkArray) throw std::logic_error("JSON value is not an array");
  FItems.push_back(std::move(value));
  return *this;
}

std::optional<std::string> MemberText(const TJsonValue& object, std::string_view name) {
  const TJsonValue* v = object.Find(name);
  if (!v) return std::nullopt;
  return std::string(v->Text());
}

// --- Writer ---------------------------------------------------------------

void AppendJsonString(std::string& out, std::string_view s) {
  out += '"';
  for (size_t i = 0; i < s.size();) {
    const auto c = static_cast<unsigned char>(s[i]);
    if (c < 0x80) {
      ++i;
      switch (c) {
        case '"':
          out += "\\\"";
          break;
        case '\\':
          out += "\\\\";
          break;
        case '/':
          out += "\\/";
          break;
        case '\b':
          out += "\\b";
          break;
        case '\f':
          out += "\\f";
          break;
        case '\n':
          out += "\\n";
          break;
        case '\r':
          out += "\\r";
          break;
        case '\t':
          out += "\\t";
          break;
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
  switch (FKind) {
    case TKind::jkNull:
      out += "null";
      break;
    case TKind::jkBoolean:
    case TKind::jkNumber:
      out += FText;
      break;
    case TKind::jkString:
      AppendJsonString(out, Text());
      break;
    case TKind::jkArray: {
      out += '[';
      for (size_t i = 0; i < FItems.size(); ++i) {
        if (i) out += ',';
        FItems[i].SerializeTo(out);
      }
      out += ']';
      break;
    }
    case TKind::jkObject: {
      out += '{';
      for (size_t i = 0; i < FMembers.size(); ++i) {
        if (i) out += ',';
        AppendJsonString(out, FMembers[i].Name);
        out += ':';
        FMembers[i].Value.SerializeTo(out);
      }
      out += '}';
      break;
    }
  }
}

// --- Parser ---------------------------------------------------------------

// A recursive-descent reader. The recursion is bounded by MaxDepth, so
// untrusted nesting cannot exhaust the stack. Outside strings the grammar
// admits ASCII only, so UTF-8 is checked on the runs of string bytes that
// hold a byte from 0x80 up; a multi-byte character cannot span a quote or a
// backslash, so each run stands alone.
class TJsonReader {
 public:
  // shared, when given, holds text: long plain strings refer into it.
  TJsonReader(std::string_view text, const TJsonLimits& limits,
              std::shared_ptr<const std::string> shared = nullptr)
      : FCursor(text.data()),
        FEnd(text.data() + text.size()),
        FLimits(limits),
        FShared(std::move(shared)) {}

  bool Document(TJsonValue& root) {
    SkipSpace();
    if (!Value(root, 0)) return false;
    SkipSpace();
    if (FCursor != FEnd) return Fail("unexpected text after the value");
    return true;
  }

  const char* Error() const { return FError; }
  bool LimitBroken() const { return FLimitBroken; }
  size_t Offset(const char* begin) const { return static_cast<size_t>(FCursor - begin); }

 private:
  bool Fail(const char* why) {
    if (FError == nullptr) FError = why;
    return false;
  }
  bool BreakLimit(const char* why) {
    FLimitBroken = FError == nullptr;
    return Fail(why);
  }

  void SkipSpace() {
    while (FCursor != FEnd &&
           (*FCursor == ' ' || *FCursor == '\n' || *FCursor == '\r' || *FCursor == '\t'))
      ++FCursor;
  }

  bool Count() {
    if (++FValues > FLimits.MaxValues) return BreakLimit("too many values");
    return true;
  }

  bool Value(TJsonValue& out, int depth) {
    if (FCursor == FEnd) return Fail("unexpected end of text");
    switch (*FCursor) {
      case '{':
        return Object(out, depth);
      case '[':
        return Array(out, depth);
      case '"':
        if (!Count()) return false;
        out.FKind = TJsonValue::TKind::jkString;
        return String(out.FText, &out);
      case 't':
        return Literal(out, "true", TJsonValue::TKind::jkBoolean);
      case 'f':
        return Literal(out, "false", TJsonValue::TKind::jkBoolean);
      case 'n':
        return Literal(out, "null", TJsonValue::TKind::jkNull);
      default:
        return Number(out);
    }
  }

  bool Literal(TJsonValue& out, std::string_view word, TJsonValue::TKind kind) {
    if (static_cast<size_t>(FEnd - FCursor) < word.size() ||
        std::string_view(FCursor, word.size()) != word) {
      return Fail("invalid value");
    }
    if (!Count()) return false;
    FCursor += word.size();
    out.FKind = kind;
    if (kind == TJsonValue::TKind::jkBoolean) out.FText = std::string(word);
    return true;
  }

  bool Number(TJsonValue& out) {
    const char* from = FCursor;
    const auto digits = [&] {
      const char* d = FCursor;
      while (FCursor != FEnd && IsDigit(*FCursor)) ++FCursor;
      return FCursor != d;
    };
    if (FCursor != FEnd && *FCursor == '-') ++FCursor;
    if (FCursor != FEnd && *FCursor == '0') {
      ++FCursor;
    } else if (!digits()) {
      return Fail("invalid value");
    }
    if (FCursor != FEnd && *FCursor == '.') {
      ++FCursor;
      if (!digits()) return Fail("invalid number");
    }
    if (FCursor != FEnd && (*FCursor == 'e' || *FCursor == 'E')) {
      ++FCursor;
      if (FCursor != FEnd && (*FCursor == '+' || *FCursor == '-')) ++FCursor;
      if (!digits()) return Fail("invalid number");
    }
    if (!Count()) return false;
    out.FKind = TJsonValue::TKind::jkNumber;
    out.FText.assign(from, static_cast<size_t>(FCursor - from));
    return true;
  }

  bool Open(int depth) {
    if (depth >= FLimits.MaxDepth) return BreakLimit("nesting too deep");
    return Count();
  }

  bool Object(TJsonValue& out, int depth) {
    if (!Open(depth)) return false;
    out.FKind = TJsonValue::TKind::jkObject;
    ++FCursor;
    SkipSpace();
    if (FCursor != FEnd && *FCursor == '}') {
      ++FCursor;
      return true;
    }
    for (;;) {
      if (FCursor == FEnd || *FCursor != '"') return Fail("object member name expected");
      out.FMembers.emplace_back();
      TJsonMember& m = out.FMembers.back();
      if (!String(m.Name)) return false;
      SkipSpace();
      if (FCursor == FEnd || *FCursor != ':') return Fail("':' expected");
      ++FCursor;
      SkipSpace();
      if (!Value(m.Value, depth + 1)) return false;
      SkipSpace();
      if (FCursor != FEnd && *FCursor == ',') {
        ++FCursor;
        SkipSpace();
        continue;
      }
      if (FCursor != FEnd && *FCursor == '}') {
        ++FCursor;
        return true;
      }
      return Fail("',' or '}' expected");
    }
  }

  bool Array(TJsonValue& out, int depth) {
    if (!Open(depth)) return false;
    out.FKind = TJsonValue::TKind::jkArray;
    ++FCursor;
    SkipSpace();
    if (FCursor != FEnd && *FCursor == ']') {
      ++FCursor;
      return true;
    }
    for (;;) {
      out.FItems.emplace_back();
      if (!Value(out.FItems.back(), depth + 1)) return false;
      SkipSpace();
      if (FCursor != FEnd && *FCursor == ',') {
        ++FCursor;
        SkipSpace();
        continue;
      }
      if (FCursor != FEnd && *FCursor == ']') {
        ++FCursor;
        return true;
      }
      return Fail("',' or ']' expected");
    }
  }

  // Bytes up to the next '"', '\' or control character. non_ascii is set
  // when a byte from 0x80 up may lie before it (it may also be set for bytes
  // just past it: a run so marked is checked, never wrongly passed).
  const char* PlainRun(const char* p, bool& non_ascii) const {
#if defined(__SSE2__)
    const __m128i quote = _mm_set1_epi8('"');
    const __m128i backslash = _mm_set1_epi8('\\');
    const __m128i below_space = _mm_set1_epi8(0x1F);
    const auto stops = [&](__m128i x) {
      const __m128i control = _mm_cmpeq_epi8(_mm_max_epu8(x, below_space), below_space);
      return _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(x, quote), _mm_cmpeq_epi8(x, backslash)),
                          control);
    };
    const auto load = [](const char* at) {
      return _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
    };
    __m128i high = _mm_setzero_si128();
    // Sixty-four bytes a step while nothing stops the run, then sixteen.
    while (FEnd - p >= 64) {
      const __m128i a = load(p), b = load(p + 16), c = load(p + 32), d = load(p + 48);
      const __m128i any =
          _mm_or_si128(_mm_or_si128(stops(a), stops(b)), _mm_or_si128(stops(c), stops(d)));
      if (_mm_movemask_epi8(any) != 0) break;
      high = _mm_or_si128(high, _mm_or_si128(_mm_or_si128(a, b), _mm_or_si128(c, d)));
      p += 64;
    }
    while (FEnd - p >= 16) {
      const __m128i x = load(p);
      high = _mm_or_si128(high, x);
      const int hit = _mm_movemask_epi8(stops(x));
      if (hit != 0) {
        non_ascii = non_ascii || _mm_movemask_epi8(high) != 0;
        return p + std::countr_zero(static_cast<unsigned>(hit));
      }
      p += 16;
    }
    non_ascii = non_ascii || _mm_movemask_epi8(high) != 0;
#else
    constexpr uint64_t kOnes = 0x0101010101010101ull;
    constexpr uint64_t kHigh = 0x8080808080808080ull;
    while (FEnd - p >= 8) {
      uint64_t w;
      std::memcpy(&w, p, 8);
      const uint64_t q = w ^ (kOnes * '"');
      const uint64_t b = w ^ (kOnes * '\\');
      // A byte is flagged when it is zero after the XOR (quote, backslash) or
      // below 0x20; bytes from 0x80 up are never flagged.
      const uint64_t hit =
          (((q - kOnes) & ~q) | ((b - kOnes) & ~b) | ((w - kOnes * 0x20) & ~w)) & kHigh;
      non_ascii = non_ascii || (w & kHigh) != 0;
      if (hit != 0) return p + (std::countr_zero(hit) >> 3);
      p += 8;
    }
#endif
    while (p != FEnd && *p != '"' && *p != '\\' && static_cast<unsigned char>(*p) >= 0x20) {
      non_ascii = non_ascii || static_cast<unsigned char>(*p) >= 0x80;
      ++p;
    }
    return p;
  }

  // The run [from, to) of plain string bytes, checked when marked non-ASCII.
  bool CheckRun(const char* from, const char* to, bool non_ascii) {
    if (non_ascii && !platform::IsValidUtf8(std::string_view(from, static_cast<size_t>(to - from))))
      return Fail("invalid UTF-8");
    return true;
  }

  bool Hex4(unsigned long& unit) {
    if (FEnd - FCursor < 4) return Fail("invalid escape");
    unit = 0;
    for (int k = 0; k < 4; ++k) {
      const char c = *FCursor++;
      unit <<= 4;
      if (c >= '0' && c <= '9')
        unit |= static_cast<unsigned long>(c - '0');
      else if (c >= 'a' && c <= 'f')
        unit |= static_cast<unsigned long>(c - 'a' + 10);
      else if (c >= 'A' && c <= 'F')
        unit |= static_cast<unsigned long>(c - 'A' + 10);
      else
        return Fail("invalid escape");
    }
    return true;
  }

  // FCursor at the opening quote. A \u escape of a lone low surrogate becomes
  // U+FFFD; a high surrogate must be followed by the escape of a low one.
  // With share, from shared text, a long string without escapes is not
  // copied into out: share refers to it where it lies.
  bool String(std::string& out, TJsonValue* share = nullptr) {
    ++FCursor;
    for (;;) {
      bool non_ascii = false;
      const char* run = PlainRun(FCursor, non_ascii);
      if (!CheckRun(FCursor, run, non_ascii)) return false;
      const size_t n = static_cast<size_t>(run - FCursor);
      if (share && FShared && run != FEnd && *run == '"' && n >= kSharedStringBytes) {
        share->FShared = FShared;
        share->FView = std::string_view(FCursor, n);
        FCursor = run + 1;
        return true;
      }
      share = nullptr;  // only a string that is one run is shared
      out.append(FCursor, n);
      FCursor = run;
      if (FCursor == FEnd) return Fail("unterminated string");
      const char c = *FCursor++;
      if (c == '"') return true;
      if (c != '\\') return Fail("control character in string");
      if (FCursor == FEnd) return Fail("unterminated string");
      switch (*FCursor++) {
        case '"':
          out += '"';
          break;
        case '\\':
          out += '\\';
          break;
        case '/':
          out += '/';
          break;
        case 'b':
          out += '\b';
          break;
        case 'f':
          out += '\f';
          break;
        case 'n':
          out += '\n';
          break;
        case 'r':
          out += '\r';
          break;
        case 't':
          out += '\t';
          break;
        case 'u': {
          unsigned long unit;
          if (!Hex4(unit)) return false;
          if (unit >= 0xD800 && unit <= 0xDBFF) {
            unsigned long low;
            if (FEnd - FCursor < 2 || FCursor[0] != '\\' || FCursor[1] != 'u')
              return Fail("invalid surrogate pair");
            FCursor += 2;
            if (!Hex4(low)) return false;
            if (low < 0xDC00 || low > 0xDFFF) return Fail("invalid surrogate pair");
            unit = 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
          } else if (unit >= 0xDC00 && unit <= 0xDFFF) {
            unit = 0xFFFD;
          }
          platform::AppendUtf8(out, unit);
          break;
        }
        default:
          return Fail("invalid escape");
      }
    }
  }

  const char* FCursor;
  const char* const FEnd;
  const TJsonLimits& FLimits;
  const std::shared_ptr<const std::string> FShared;
  size_t FValues = 0;
  const char* FError = nullptr;
  bool FLimitBroken = false;
};

namespace {

std::optional<TJsonValue> Parse(std::string_view text, const TJsonLimits& limits,
                                std::string* error, std::shared_ptr<const std::string> shared) {
  const auto fail = [&](std::string why) -> std::optional<TJsonValue> {
    if (error) *error = std::move(why);
    return std::nullopt;
  };
  if (text.size() > limits.MaxBytes) return fail("text too large");

  TJsonReader reader(text, limits, std::move(shared));
  TJsonValue root;
  if (!reader.Document(root)) {
    if (reader.LimitBroken()) return fail(reader.Error());
    return fail(std::string(reader.Error()) + " at offset " +
                std::to_string(reader.Offset(text.data())));
  }
  return root;
}

}  // namespace

std::optional<TJsonValue> ParseJson(std::string_view text, const TJsonLimits& limits,
                                    std::string* error) {
  return Parse(text, limits, error, nullptr);
}

std::optional<TJsonValue> ParseJson(std::shared_ptr<const std::string> text,
                                    const TJsonLimits& limits, std::string* error) {
  if (!text) return std::nullopt;
  const std::string_view view(*text);
  return Parse(view, limits, error, std::move(text));
}

}  // namespace core
