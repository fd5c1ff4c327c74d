// TGDIPrinter: draws a receipt line by line from the top of one page, at the
// printer's own resolution, and hands the page to the print system. It keeps
// a current position and text style (bold, size, alignment, inverse); the
// layout interpreter drives it and the print queue opens and closes it.
//
// Drawing is cairo + pango ("Arial", which fontconfig maps to Liberation
// Sans). The resolution and printable width come from the destination's
// defaults (203 dpi and 72 mm when it gives none). EndPrint submits the page
// as a one-page PDF job named "Cupom Fiscal"; CancelPrint and destruction
// while open submit nothing. Preview mode draws on a picture instead.
//
// Positions are device pixels; millimetres and points convert with the
// vertical resolution. Failures of the print system raise EPrintSpooler or
// EGDIPrinter; bad pictures print a bracketed error line instead.
//
// Thread safety: one instance is used by one thread.
#pragma once

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>

#include "platform/cupsspooler.h"

typedef struct _cairo cairo_t;
typedef struct _cairo_surface cairo_surface_t;
typedef struct _PangoLayout PangoLayout;

namespace print {

enum class TFontSize { fsNormal, fsLarge, fsDblHeight, fsDblWidth };
enum class TTextAlign { taLeft, taCenter, taRight };

class EGDIPrinter : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A 32-bit picture (cairo ARGB32, opaque), owned by whoever holds it.
class TBitmap {
 public:
  explicit TBitmap(cairo_surface_t* surface);  // takes ownership
  ~TBitmap();
  TBitmap(const TBitmap&) = delete;
  TBitmap& operator=(const TBitmap&) = delete;
  int Width() const;
  int Height() const;
  // 0xRRGGBB of one pixel.
  uint32_t Pixel(int x, int y) const;
  // Writes the picture as a PNG file; false when that fails.
  bool SaveToPng(const std::string& path) const;

 private:
  cairo_surface_t* FSurface;
};

class TGDIPrinter {
 public:
  explicit TGDIPrinter(std::string APrinterName,
                       std::shared_ptr<platform::TPrintSpooler> spooler = platform::CupsSpooler());
  ~TGDIPrinter();  // an open document is dropped: nothing is printed
  TGDIPrinter(const TGDIPrinter&) = delete;
  TGDIPrinter& operator=(const TGDIPrinter&) = delete;

  // Opens the page on the named destination (matched ignoring case), or
  // raises "Impressora nao encontrada: ...".
  void BeginPrint();
  // Submits the page and closes the document.
  void EndPrint();
  // Closes the document without printing.
  void CancelPrint();
  // Draws on an AWidthPx x 6000 white picture at ADpi (96 unless told).
  void BeginPreview(int AWidthPx, int ADpi = 96);
  // The drawn part of the preview (FCurY + 8 mm, at least 10 pixels); null
  // when preview mode is not on.
  std::unique_ptr<TBitmap> EndPreview();

  void Initialize();
  void SetAlignment(TTextAlign AAlign) { FCurrentAlign = AAlign; }
  void SetBold(bool AOn) { FCurrentBold = AOn; }
  void SetFontSize(TFontSize ASize) { FCurrentSize = ASize; }
  void SetInverse(bool AOn) { FCurrentInv = AOn; }

  void PrintText(const std::string& AText);
  void PrintLine(const std::string& AText);
  void PrintLineFeed(int ALines);
  void PrintHRule();
  void PrintRow(const std::string& ALeft, const std::string& ARight, bool ABold);
  void PrintQRCode(const std::string& ABase64Data, const std::string& ATitle);
  void PrintImage(const std::string& ABase64Data, int AWidthMm, int AHeightMm);
  void Cut(bool /*APartial*/) {}
  bool SendToPrinter();

  // State, for the layout interpreter and tests.
  TFontSize CurrentSize() const { return FCurrentSize; }
  TTextAlign CurrentAlign() const { return FCurrentAlign; }
  bool CurrentBold() const { return FCurrentBold; }
  bool CurrentInverse() const { return FCurrentInv; }
  int CurX() const { return FCurX; }
  int CurY() const { return FCurY; }
  int PageWidth() const { return FPageWidth; }
  int MarginLeft() const { return FMarginLeft; }
  int MarginRight() const { return FMarginRight; }
  int MarginTop() const { return FMarginTop; }
  int DpiX() const { return FDpiX; }
  int DpiY() const { return FDpiY; }
  bool IsPrinting() const { return FIsPrinting; }
  int MmToPx(double mm) const;
  int PtToPx(int pt) const;
  int LineHeight();
  // Width in pixels of the text in the current font (0 without a surface).
  int TextWidth(const std::string& s);

  // Longest page that EndPrint submits, in millimetres; what lies below is cut.
  static constexpr int kMaxPageMm = 2000;

 private:
  void ApplyFont();
  int FitChars(const std::string& s, int avail);
  void DrawText(int x, int y, const std::string& s, bool inverse, bool white = false);
  void FillBand(int y, int h);
  int LeftEdge() const { return FMarginLeft; }
  int AlignedX(int w) const;
  int RightEdge() const { return FPageWidth - FMarginRight; }
  int UsableWidth() const { return FPageWidth - FMarginLeft - FMarginRight; }
  void SetMargins();
  void DrawPicture(cairo_surface_t* picture, int x, int y, int w, int h);
  void CloseSurface();
  void ErrorLine(const std::string& text);

  cairo_t* FCanvas = nullptr;
  cairo_surface_t* FSurface = nullptr;  // recording surface or preview picture
  PangoLayout* FLayout = nullptr;
  int FCurY = 0;
  int FCurX = 0;
  int FPageWidth = 0;
  int FMarginLeft = 0;
  int FMarginRight = 0;
  int FMarginTop = 0;
  int FDpiX = 96;
  int FDpiY = 96;
  int FDeviceWidth = 0;  // HORZRES: the printable width in pixels
  bool FIsPrinting = false;
  bool FPreview = false;
  std::string FPrinterName;
  std::string FDestination;  // the name as the print system writes it
  bool FCurrentBold = false;
  TFontSize FCurrentSize = TFontSize::fsNormal;
  TTextAlign FCurrentAlign = TTextAlign::taLeft;
  bool FCurrentInv = false;
  int FNormalPt = 9;
  int FLargePt = 10;
  std::shared_ptr<platform::TPrintSpooler> FSpooler;
};

}  // namespace print
