// Pictures of print layouts: base64 PNG text decoded into an opaque cairo
// picture whose transparent parts are white. Untrusted input: the text, the
// PNG and its size are bounded. Pure; safe on any thread.
#pragma once

#include <cstddef>
#include <string>

typedef struct _cairo_surface cairo_surface_t;

namespace print {

inline constexpr size_t kMaxPictureBase64 = 8 * 1024 * 1024;
inline constexpr int kMaxPictureSide = 4096;

// Removes every CR, LF and space, trims, decodes standard base64 and loads the
// bytes as a PNG. Returns a new CAIRO_FORMAT_RGB24 surface the caller
// destroys. Raises EGDIPrinter with the decoder's message, or with
// `no_size_message` for a picture without width or height.
cairo_surface_t* DecodePngPicture(const std::string& base64, const std::string& no_size_message);

// The text as the picture decoder sees it: without CR, LF and spaces, trimmed.
std::string CleanPictureText(const std::string& base64);

}  // namespace print
