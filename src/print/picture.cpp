#include "print/picture.h"

#include <cairo.h>
#include <png.h>

#include <cstring>
#include <vector>

#include "core/base64.h"
#include "core/conversions.h"
#include "print/gdiprinter.h"

namespace print {

std::string CleanPictureText(const std::string& base64) {
  std::string out;
  out.reserve(base64.size());
  for (char c : base64) {
    if (c != '\r' && c != '\n' && c != ' ') out.push_back(c);
  }
  return core::TrimControl(out);
}

cairo_surface_t* DecodePngPicture(const std::string& base64, const std::string& no_size_message) {
  const std::string text = CleanPictureText(base64);
  if (text.size() > kMaxPictureBase64) throw EGDIPrinter("Imagem grande demais");
  std::optional<std::string> bytes = core::Base64Decode(text, kMaxPictureBase64);
  if (!bytes) throw EGDIPrinter("Base64 inválido");

  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_memory(&image, bytes->data(), bytes->size())) {
    std::string msg = image.message;
    png_image_free(&image);
    throw EGDIPrinter(msg.empty() ? "PNG inválido" : msg);
  }
  if (image.width == 0 || image.height == 0) {
    png_image_free(&image);
    throw EGDIPrinter(no_size_message);
  }
  if (image.width > kMaxPictureSide || image.height > kMaxPictureSide) {
    png_image_free(&image);
    throw EGDIPrinter("Imagem grande demais");
  }
  image.format = PNG_FORMAT_RGBA;
  std::vector<unsigned char> rgba(PNG_IMAGE_SIZE(image));
  if (!png_image_finish_read(&image, nullptr, rgba.data(), 0, nullptr)) {
    std::string msg = image.message;
    png_image_free(&image);
    throw EGDIPrinter(msg.empty() ? "PNG inválido" : msg);
  }
  const int w = static_cast<int>(image.width), h = static_cast<int>(image.height);
  cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_RGB24, w, h);
  if (cairo_surface_status(s) != CAIRO_STATUS_SUCCESS) {
    cairo_surface_destroy(s);
    throw EGDIPrinter("Memória insuficiente para a imagem");
  }
  cairo_surface_flush(s);
  unsigned char* data = cairo_image_surface_get_data(s);
  const int stride = cairo_image_surface_get_stride(s);
  // Over a white background, as a picture drawn on a white bitmap.
  for (int y = 0; y < h; ++y) {
    auto* row = reinterpret_cast<uint32_t*>(data + static_cast<size_t>(y) * stride);
    const unsigned char* src = rgba.data() + static_cast<size_t>(y) * w * 4;
    for (int x = 0; x < w; ++x) {
      const unsigned a = src[4 * x + 3];
      auto over = [a](unsigned c) { return (c * a + 255 * (255 - a) + 127) / 255; };
      row[x] = (over(src[4 * x]) << 16) | (over(src[4 * x + 1]) << 8) | over(src[4 * x + 2]);
    }
  }
  cairo_surface_mark_dirty(s);
  return s;
}

}  // namespace print
