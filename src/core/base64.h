// Base64 of RFC 4648: the standard alphabet with padding (section 4) and the
// URL-safe alphabet without padding (section 5, as JWS uses it). Pure
// functions, safe on any thread.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace core {

std::string Base64Encode(std::string_view bytes);     // with '=' padding
std::string Base64UrlEncode(std::string_view bytes);  // without padding

// Decoders for untrusted text. nullopt for a character outside the alphabet
// (white space included), misplaced or, for the url form, any padding, a
// length that no encoding has, or a result above max_bytes. The standard form
// accepts its text with or without the final padding.
std::optional<std::string> Base64Decode(std::string_view text, size_t max_bytes);
// The standard form as above, passing over every character of `skip` (line
// breaks and spaces a sender wrapped the text with) as if it were not there:
// one pass over the text, no cleaned copy of it.
std::optional<std::string> Base64Decode(std::string_view text, size_t max_bytes,
                                        std::string_view skip);
std::optional<std::string> Base64UrlDecode(std::string_view text, size_t max_bytes);

}  // namespace core
