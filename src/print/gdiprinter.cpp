#include "print/gdiprinter.h"

#include <cairo-pdf.h>
#include <cairo.h>
#include <pango/pangocairo.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "print/picture.h"

namespace print {
namespace {

constexpr int kPreviewHeight = 6000;
constexpr int kFallbackDpi = 203;
constexpr int kFallbackWidthMm100 = 7200;
constexpr int kFeedPx = 30;
constexpr int kMaxFeedLines = 200;
constexpr int kMaxPictureMm = 1000;

// Characters are UTF-8 code points.
size_t CharCount(const std::string& s) {
  size_t n = 0;
  for (unsigned char c : s) n += (c & 0xC0) != 0x80;
  return n;
}

// Byte length of the first n characters.
size_t PrefixBytes(const std::string& s, size_t n) {
  size_t i = 0;
  while (i < s.size() && n > 0) {
    ++i;
    while (i < s.size() && (static_cast<unsigned char>(s[i]) & 0xC0) == 0x80) ++i;
    --n;
  }
  return i;
}

cairo_status_t AppendToString(void* closure, const unsigned char* data, unsigned int length) {
  static_cast<std::string*>(closure)->append(reinterpret_cast<const char*>(data), length);
  return CAIRO_STATUS_SUCCESS;
}

}  // namespace

// fontconfig and pango keep their font caches for the life of the process;
// leak checkers in sanitizer builds are told so (ignored elsewhere).
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libfontconfig.so\nleak:libpango-1.0.so\nleak:libpangoft2-1.0.so\n";
}

// --- TBitmap

TBitmap::TBitmap(cairo_surface_t* surface) : FSurface(surface) {}
TBitmap::~TBitmap() { cairo_surface_destroy(FSurface); }
int TBitmap::Width() const { return cairo_image_surface_get_width(FSurface); }
int TBitmap::Height() const { return cairo_image_surface_get_height(FSurface); }
uint32_t TBitmap::Pixel(int x, int y) const {
  cairo_surface_flush(FSurface);
  const unsigned char* row = cairo_image_surface_get_data(FSurface) +
                             static_cast<size_t>(y) * cairo_image_surface_get_stride(FSurface);
  return reinterpret_cast<const uint32_t*>(row)[x] & 0xFFFFFF;
}
bool TBitmap::SaveToPng(const std::string& path) const {
  return cairo_surface_write_to_png(FSurface, path.c_str()) == CAIRO_STATUS_SUCCESS;
}

// --- TGDIPrinter

TGDIPrinter::TGDIPrinter(std::string APrinterName, std::shared_ptr<platform::TPrintSpooler> spooler)
    : FPrinterName(std::move(APrinterName)), FSpooler(std::move(spooler)) {}

TGDIPrinter::~TGDIPrinter() { CloseSurface(); }

int TGDIPrinter::PtToPx(int pt) const {
  const int64_t n = static_cast<int64_t>(pt) * FDpiY;
  const int64_t q = (2 * std::llabs(n) + 72) / 144;  // halves away from zero
  return static_cast<int>(n < 0 ? -q : q);
}

int TGDIPrinter::MmToPx(double mm) const {
  return static_cast<int>(std::nearbyint(FDpiY * mm / 25.4));  // halves to even
}

// Where something w pixels wide starts on the line, by the current alignment;
// never left of the margin.
int TGDIPrinter::AlignedX(int w) const {
  int x = LeftEdge();
  if (FCurrentAlign == TTextAlign::taCenter)
    x = LeftEdge() + (UsableWidth() - w) / 2;
  else if (FCurrentAlign == TTextAlign::taRight)
    x = RightEdge() - w;
  return std::max(x, LeftEdge());
}

void TGDIPrinter::SetMargins() {
  FMarginLeft = MmToPx(1);
  FMarginRight = MmToPx(4);
  FMarginTop = MmToPx(0);
}

void TGDIPrinter::CloseSurface() {
  if (FLayout) g_object_unref(FLayout);
  if (FCanvas) cairo_destroy(FCanvas);
  if (FSurface) cairo_surface_destroy(FSurface);
  FLayout = nullptr;
  FCanvas = nullptr;
  FSurface = nullptr;
  FIsPrinting = false;
  FPreview = false;
}

static PangoLayout* NewLayout(cairo_t* cr, bool antialias) {
  PangoLayout* layout = pango_cairo_create_layout(cr);
  cairo_font_options_t* opts = cairo_font_options_create();
  // Receipt printers print whole dots: no grey edges on paper.
  cairo_font_options_set_antialias(opts, antialias ? CAIRO_ANTIALIAS_GRAY : CAIRO_ANTIALIAS_NONE);
  cairo_font_options_set_hint_metrics(opts, CAIRO_HINT_METRICS_ON);
  pango_cairo_context_set_font_options(pango_layout_get_context(layout), opts);
  cairo_font_options_destroy(opts);
  pango_layout_set_single_paragraph_mode(layout, TRUE);
  pango_layout_context_changed(layout);
  return layout;
}

void TGDIPrinter::BeginPrint() {
  std::optional<platform::TPrintDestination> dest = FSpooler->FindDestination(FPrinterName);
  if (!dest) {
    throw EGDIPrinter("Impressora nao encontrada: \"" + FPrinterName +
                      "\"\r\nVerifique se ela esta instalada e online.");
  }
  CloseSurface();
  FDestination = dest->name;
  const int dpi = dest->dpi > 0 ? dest->dpi : kFallbackDpi;
  const int width_mm100 =
      dest->printable_width_mm100 > 0 ? dest->printable_width_mm100 : kFallbackWidthMm100;
  FDpiX = FDpiY = dpi;
  FDeviceWidth = static_cast<int>((static_cast<int64_t>(width_mm100) * dpi + 1270) / 2540);
  FSurface = cairo_recording_surface_create(CAIRO_CONTENT_COLOR_ALPHA, nullptr);
  FCanvas = cairo_create(FSurface);
  FLayout = NewLayout(FCanvas, false);
  FIsPrinting = true;
  FPageWidth = FDeviceWidth - 2;
  SetMargins();
}

void TGDIPrinter::EndPrint() {
  if (!FIsPrinting) return;
  cairo_surface_t* recording = cairo_surface_reference(FSurface);
  const int width = std::max(FDeviceWidth, 1);
  const int height = std::clamp(FCurY + MmToPx(8), 10, std::max(10, MmToPx(kMaxPageMm)));
  const int dpi = FDpiY;
  CloseSurface();

  // The page is drawn at the printer's own dots and sent as a one-page PDF of
  // exactly that size, so what prints is what the preview shows.
  cairo_surface_t* page = cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height);
  cairo_t* cr = cairo_create(page);
  cairo_set_source_rgb(cr, 1, 1, 1);
  cairo_paint(cr);
  cairo_set_source_surface(cr, recording, 0, 0);
  cairo_paint(cr);
  cairo_destroy(cr);
  cairo_surface_destroy(recording);

  std::string pdf;
  const double scale = 72.0 / dpi;
  cairo_surface_t* doc =
      cairo_pdf_surface_create_for_stream(AppendToString, &pdf, width * scale, height * scale);
  cairo_pdf_surface_set_metadata(doc, CAIRO_PDF_METADATA_TITLE, "Cupom Fiscal");
  cr = cairo_create(doc);
  cairo_scale(cr, scale, scale);
  cairo_set_source_surface(cr, page, 0, 0);
  cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_NEAREST);
  cairo_paint(cr);
  cairo_show_page(cr);
  cairo_destroy(cr);
  cairo_surface_finish(doc);
  const cairo_status_t st = cairo_surface_status(doc);
  cairo_surface_destroy(doc);
  cairo_surface_destroy(page);
  if (st != CAIRO_STATUS_SUCCESS) throw EGDIPrinter(cairo_status_to_string(st));
  FSpooler->SubmitJob(FDestination, "Cupom Fiscal", "application/pdf", {}, pdf);
}

void TGDIPrinter::CancelPrint() {
  if (FIsPrinting) CloseSurface();
}

bool TGDIPrinter::SendToPrinter() {
  EndPrint();
  return true;
}

void TGDIPrinter::BeginPreview(int AWidthPx, int ADpi) {
  CloseSurface();
  FDpiX = FDpiY = ADpi > 0 ? ADpi : 96;
  FSurface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, std::max(AWidthPx, 1), kPreviewHeight);
  FCanvas = cairo_create(FSurface);
  cairo_set_source_rgb(FCanvas, 1, 1, 1);
  cairo_paint(FCanvas);
  FLayout = NewLayout(FCanvas, true);
  FPreview = true;
  FPageWidth = AWidthPx;
  SetMargins();
}

std::unique_ptr<TBitmap> TGDIPrinter::EndPreview() {
  if (!FPreview) return nullptr;
  const int width = cairo_image_surface_get_width(FSurface);
  const int height = std::clamp(FCurY + MmToPx(8), 10, kPreviewHeight);
  cairo_surface_t* out = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
  cairo_t* cr = cairo_create(out);
  cairo_set_source_surface(cr, FSurface, 0, 0);
  cairo_paint(cr);
  cairo_destroy(cr);
  CloseSurface();
  return std::make_unique<TBitmap>(out);
}

void TGDIPrinter::Initialize() {
  FCurY = FMarginTop;
  FCurX = FMarginLeft;
  FCurrentBold = false;
  FCurrentSize = TFontSize::fsNormal;
  FCurrentAlign = TTextAlign::taLeft;
  FCurrentInv = false;
}

void TGDIPrinter::ApplyFont() {
  if (!FCanvas) return;
  const int pt = FCurrentSize == TFontSize::fsNormal ? FNormalPt : FLargePt;
  PangoFontDescription* d = pango_font_description_new();
  pango_font_description_set_family(d, "Arial");
  pango_font_description_set_weight(d, FCurrentBold ? PANGO_WEIGHT_HEAVY : PANGO_WEIGHT_BOLD);
  pango_font_description_set_absolute_size(d, static_cast<double>(PtToPx(pt)) * PANGO_SCALE);
  pango_layout_set_font_description(FLayout, d);
  pango_font_description_free(d);
}

int TGDIPrinter::TextWidth(const std::string& s) {
  if (!FCanvas) return 0;
  pango_layout_set_text(FLayout, s.data(), static_cast<int>(s.size()));
  int w = 0, h = 0;
  pango_layout_get_pixel_size(FLayout, &w, &h);
  return w;
}

int TGDIPrinter::LineHeight() {
  if (!FCanvas) return 20;
  ApplyFont();
  pango_layout_set_text(FLayout, "Mgy", 3);
  int w = 0, h = 0;
  pango_layout_get_pixel_size(FLayout, &w, &h);
  return h;
}

int TGDIPrinter::FitChars(const std::string& s, int avail) {
  if (avail <= 0) return 0;
  const size_t count = CharCount(s);
  if (TextWidth(s) <= avail) return static_cast<int>(count);
  // Widths grow with each character: the longest prefix that fits.
  size_t lo = 0, hi = count;
  while (lo < hi) {
    const size_t mid = (lo + hi + 1) / 2;
    if (TextWidth(s.substr(0, PrefixBytes(s, mid))) <= avail)
      lo = mid;
    else
      hi = mid - 1;
  }
  return static_cast<int>(lo);
}

void TGDIPrinter::DrawText(int x, int y, const std::string& s, bool inverse, bool white) {
  pango_layout_set_text(FLayout, s.data(), static_cast<int>(s.size()));
  int w = 0, h = 0;
  pango_layout_get_pixel_size(FLayout, &w, &h);
  if (inverse) {
    cairo_set_source_rgb(FCanvas, 0, 0, 0);
    cairo_rectangle(FCanvas, x, y, w, h);
    cairo_fill(FCanvas);
    cairo_set_source_rgb(FCanvas, 1, 1, 1);
  } else if (white) {
    cairo_set_source_rgb(FCanvas, 1, 1, 1);
  } else {
    cairo_set_source_rgb(FCanvas, 0, 0, 0);
  }
  cairo_move_to(FCanvas, x, y);
  if (FCurrentBold) {
    // Liberation Sans has no heavier face than its bold one: thicken the
    // strokes so bold stands out from the (already heavy) normal text.
    pango_cairo_layout_path(FCanvas, FLayout);
    cairo_fill_preserve(FCanvas);
    cairo_set_line_width(FCanvas, std::max(1.0, PtToPx(FNormalPt) / 24.0));
    cairo_stroke(FCanvas);
  } else {
    pango_cairo_show_layout(FCanvas, FLayout);
  }
}

void TGDIPrinter::FillBand(int y, int h) {
  cairo_set_source_rgb(FCanvas, 0, 0, 0);
  cairo_rectangle(FCanvas, LeftEdge(), y, RightEdge() - LeftEdge(), h);
  cairo_fill(FCanvas);
}

void TGDIPrinter::PrintText(const std::string& AText) {
  if (AText.empty() || !FCanvas) return;
  const int h = LineHeight();  // applies the font
  const int whole = TextWidth(AText);
  if (FCurX + whole <= RightEdge()) {
    DrawText(FCurX, FCurY, AText, FCurrentInv);
    FCurX += whole;
    return;
  }
  std::string rest = AText;
  while (!rest.empty()) {
    int n = FitChars(rest, RightEdge() - FCurX);
    if (n == 0) {
      FCurY += h;
      FCurX = LeftEdge();
      n = FitChars(rest, UsableWidth());
      if (n == 0) n = 1;
    }
    const size_t bytes = PrefixBytes(rest, static_cast<size_t>(n));
    const std::string piece = rest.substr(0, bytes);
    DrawText(FCurX, FCurY, piece, FCurrentInv);
    FCurX += TextWidth(piece);
    rest.erase(0, bytes);
    if (!rest.empty()) {
      FCurY += h;
      FCurX = LeftEdge();
    }
  }
}

static std::vector<std::string> SplitAtSpaces(const std::string& s) {
  std::vector<std::string> words;
  size_t start = 0;
  for (;;) {
    const size_t sp = s.find(' ', start);
    words.push_back(s.substr(start, sp == std::string::npos ? std::string::npos : sp - start));
    if (sp == std::string::npos) break;
    start = sp + 1;
  }
  return words;
}

void TGDIPrinter::PrintLine(const std::string& AText) {
  if (!FCanvas) return;
  ApplyFont();
  const int h = LineHeight();
  if (AText.empty()) {
    FCurY += h;
  } else {
    // WrapWords
    std::vector<std::string> lines;
    if (TextWidth(AText) <= UsableWidth()) {
      lines.push_back(AText);
    } else {
      std::string current;
      for (const std::string& word : SplitAtSpaces(AText)) {
        const std::string candidate = current.empty() ? word : current + " " + word;
        if (TextWidth(candidate) > UsableWidth()) {
          if (!current.empty()) lines.push_back(current);
          current = word;
        } else {
          current = candidate;
        }
      }
      if (!current.empty()) lines.push_back(current);
    }
    for (const std::string& line : lines) {
      if (FCurrentInv) FillBand(FCurY, h);
      DrawText(AlignedX(TextWidth(line)), FCurY, line, false, FCurrentInv);
      FCurY += h;
    }
  }
  FCurX = LeftEdge();
}

void TGDIPrinter::PrintLineFeed(int ALines) {
  if (!FCanvas) throw EGDIPrinter("Nenhum documento de impressão aberto");
  const int lines = std::min(ALines, kMaxFeedLines);
  for (int i = 0; i < lines; ++i) {
    FCurY += kFeedPx;
    cairo_set_source_rgb(FCanvas, 0, 0, 0);
    cairo_rectangle(FCanvas, 0, FCurY - 1, 1, 1);
    cairo_fill(FCanvas);
  }
}

void TGDIPrinter::PrintHRule() {
  if (!FCanvas) return;
  ApplyFont();
  const int h = LineHeight();
  const int y = FCurY + h / 2;
  cairo_set_source_rgb(FCanvas, 0, 0, 0);
  cairo_rectangle(FCanvas, LeftEdge(), y - 1, RightEdge() - LeftEdge(), 3);  // a 3-pixel pen
  cairo_fill(FCanvas);
  FCurY += LineHeight();
  FCurX = LeftEdge();
}

void TGDIPrinter::PrintRow(const std::string& ALeft, const std::string& ARight, bool ABold) {
  if (!FCanvas) return;
  const bool saved = FCurrentBold;
  FCurrentBold = ABold;
  ApplyFont();
  const int h = LineHeight();
  if (FCurrentInv) FillBand(FCurY, h);
  DrawText(LeftEdge(), FCurY, ALeft, false, FCurrentInv);
  const int right_x = RightEdge() - TextWidth(ARight);
  DrawText(right_x, FCurY, ARight, false, FCurrentInv);
  FCurY += h;
  FCurX = LeftEdge();
  FCurrentBold = saved;
}

void TGDIPrinter::DrawPicture(cairo_surface_t* picture, int x, int y, int w, int h) {
  if (w <= 0 || h <= 0) return;
  const int pw = cairo_image_surface_get_width(picture);
  const int ph = cairo_image_surface_get_height(picture);
  cairo_save(FCanvas);
  cairo_rectangle(FCanvas, x, y, w, h);
  cairo_clip(FCanvas);
  cairo_translate(FCanvas, x, y);
  cairo_scale(FCanvas, static_cast<double>(w) / pw, static_cast<double>(h) / ph);
  cairo_set_source_surface(FCanvas, picture, 0, 0);
  // Enlarged pictures (QR codes) keep sharp module edges; reduced ones are
  // averaged.
  cairo_pattern_set_filter(cairo_get_source(FCanvas),
                           w >= pw && h >= ph ? CAIRO_FILTER_NEAREST : CAIRO_FILTER_GOOD);
  cairo_paint(FCanvas);
  cairo_restore(FCanvas);
}

void TGDIPrinter::ErrorLine(const std::string& text) {
  SetAlignment(TTextAlign::taCenter);
  PrintLine(text);
  SetAlignment(TTextAlign::taLeft);
}

void TGDIPrinter::PrintQRCode(const std::string& ABase64Data, const std::string& ATitle) {
  if (!FCanvas) return;
  if (!ATitle.empty()) {
    SetAlignment(TTextAlign::taCenter);
    SetBold(true);
    PrintLine(ATitle);
    SetBold(false);
    SetAlignment(TTextAlign::taLeft);
  }
  if (CleanPictureText(ABase64Data).empty()) {
    ErrorLine("[SEM DADOS DE QR CODE]");
    return;
  }
  try {
    cairo_surface_t* pic = DecodePngPicture(ABase64Data, "PNG inválido ou sem dimensões");
    const int s = MmToPx(35);
    const int x = LeftEdge() + (UsableWidth() - s) / 2;
    DrawPicture(pic, x, FCurY, s, s);
    cairo_surface_destroy(pic);
    FCurY += LineHeight() + s;
    FCurX = LeftEdge();
  } catch (const std::exception& e) {
    ErrorLine(std::string("[QR CODE — ERRO: ") + e.what() + "]");
  }
}

void TGDIPrinter::PrintImage(const std::string& ABase64Data, int AWidthMm, int AHeightMm) {
  if (!FCanvas) return;
  if (CleanPictureText(ABase64Data).empty()) return;
  try {
    cairo_surface_t* pic = DecodePngPicture(ABase64Data, "Imagem inv\\u00e1lida ou vazia");
    const int pw = cairo_image_surface_get_width(pic);
    const int ph = cairo_image_surface_get_height(pic);
    // Sizes past a metre are a mistake, not a receipt: keep them finite.
    AWidthMm = std::min(AWidthMm, kMaxPictureMm);
    AHeightMm = std::min(AHeightMm, kMaxPictureMm);
    const int w = AWidthMm >= 1 ? MmToPx(AWidthMm) : UsableWidth();
    const int h = AHeightMm >= 1
                      ? MmToPx(AHeightMm)
                      : static_cast<int>(std::nearbyint(static_cast<double>(w) * ph / pw));
    DrawPicture(pic, AlignedX(w), FCurY, w, h);
    cairo_surface_destroy(pic);
    FCurY += LineHeight() / 2 + h;
    FCurX = LeftEdge();
  } catch (const std::exception& e) {
    ErrorLine(std::string("[IMAGEM — ERRO: ") + e.what() + "]");
  }
}

}  // namespace print
