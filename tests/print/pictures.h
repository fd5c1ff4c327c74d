// Pictures for renderer tests: small PNGs made in memory, base64 text, and
// helpers that look at a rendered page.
#pragma once

#include <png.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "core/base64.h"
#include "print/gdiprinter.h"

namespace print {

// A w x h RGBA PNG whose pixels come from rgba(x, y) (0xRRGGBBAA), as base64.
inline std::string PngBase64(int w, int h, const std::function<uint32_t(int, int)>& rgba) {
  std::vector<unsigned char> px(static_cast<size_t>(w) * h * 4);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      const uint32_t c = rgba(x, y);
      unsigned char* p = &px[(static_cast<size_t>(y) * w + x) * 4];
      p[0] = c >> 24, p[1] = (c >> 16) & 0xFF, p[2] = (c >> 8) & 0xFF, p[3] = c & 0xFF;
    }
  }
  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  image.width = w;
  image.height = h;
  image.format = PNG_FORMAT_RGBA;
  png_alloc_size_t size = 0;
  png_image_write_to_memory(&image, nullptr, &size, 0, px.data(), 0, nullptr);
  std::string bytes(size, '\0');
  png_image_write_to_memory(&image, bytes.data(), &size, 0, px.data(), 0, nullptr);
  bytes.resize(size);
  return core::Base64Encode(bytes);
}

inline std::string BlackPng(int w, int h) {
  return PngBase64(w, h, [](int, int) { return 0x000000FFu; });
}

inline bool Dark(const TBitmap& b, int x, int y) { return (b.Pixel(x, y) & 0xFF) < 128; }

// Bounding box of the dark pixels in rows [y0, y1): left, top, right, bottom
// (exclusive); all -1 when there are none.
struct TBox {
  int left = -1, top = -1, right = -1, bottom = -1;
};
inline TBox DarkBox(const TBitmap& b, int y0 = 0, int y1 = -1) {
  if (y1 < 0) y1 = b.Height();
  TBox box;
  for (int y = y0; y < y1; ++y) {
    for (int x = 0; x < b.Width(); ++x) {
      if (!Dark(b, x, y)) continue;
      if (box.left < 0 || x < box.left) box.left = x;
      if (box.top < 0) box.top = y;
      if (x + 1 > box.right) box.right = x + 1;
      box.bottom = y + 1;
    }
  }
  return box;
}

inline int DarkCount(const TBitmap& b) {
  int n = 0;
  for (int y = 0; y < b.Height(); ++y)
    for (int x = 0; x < b.Width(); ++x) n += Dark(b, x, y);
  return n;
}

}  // namespace print
