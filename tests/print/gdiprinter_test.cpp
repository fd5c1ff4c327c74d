#include "print/gdiprinter.h"

#include <gtest/gtest.h>

#include "print/fakespooler.h"
#include "print/pictures.h"

namespace print {
namespace {

// A receipt drawn in preview mode at a receipt printer's 203 dpi, 72 mm wide.
class RendererTest : public ::testing::Test {
 protected:
  RendererTest() : p("", nullptr) {
    p.BeginPreview(575, 203);
    p.Initialize();
  }
  std::unique_ptr<TBitmap> Page() { return p.EndPreview(); }

  TGDIPrinter p;
};

TEST(RendererPrintTest, WorkedExampleAt203DpiAndTheFallbacks) {
  auto spooler = std::make_shared<TFakeSpooler>();
  spooler->destinations = {{"Recibo", 203, 7200}, {"Generica", 0, 0}, {"Larga", 300, 20000}};
  for (const char* name : {"RECIBO", "generica"}) {
    TGDIPrinter p(name, spooler);
    p.BeginPrint();
    p.Initialize();
    EXPECT_EQ(p.DpiY(), 203) << name;
    EXPECT_EQ(p.MarginLeft(), 8);
    EXPECT_EQ(p.MarginRight(), 32);
    EXPECT_EQ(p.MarginTop(), 0);
    EXPECT_EQ(p.PageWidth(), 575 - 2);  // 72 mm, less two pixels
    EXPECT_EQ(p.PtToPx(9), 25);
    EXPECT_EQ(p.PtToPx(10), 28);
    EXPECT_EQ(p.MmToPx(35), 280);
    p.PrintLineFeed(1);
    EXPECT_EQ(p.CurY(), 30);
  }
  TGDIPrinter wide("Larga", spooler);
  wide.BeginPrint();
  EXPECT_EQ(wide.DpiY(), 300);
  EXPECT_EQ(wide.PageWidth(), 2362 - 2);
}

TEST(RendererPrintTest, OnlyEndPrintSubmitsAndAMissingPrinterIsNamed) {
  auto spooler = std::make_shared<TFakeSpooler>();
  {
    TGDIPrinter p("Recibo", spooler);
    p.BeginPrint();
    p.Initialize();
    p.PrintLine("descartado");
  }  // destroyed while open
  TGDIPrinter p("Recibo", spooler);
  p.BeginPrint();
  p.PrintLine("cancelado");
  p.CancelPrint();
  EXPECT_FALSE(p.IsPrinting());
  EXPECT_TRUE(spooler->Jobs().empty());
  p.BeginPrint();
  p.Initialize();
  p.PrintLine("impresso");
  EXPECT_TRUE(p.SendToPrinter());
  ASSERT_EQ(spooler->Jobs().size(), 1u);
  EXPECT_EQ(spooler->Jobs()[0].title, "Cupom Fiscal");
  EXPECT_NE(spooler->Jobs()[0].document.find("Cupom Fiscal"),
            std::string::npos);  // the PDF's title

  TGDIPrinter missing("Outra", spooler);
  try {
    missing.BeginPrint();
    FAIL();
  } catch (const EGDIPrinter& e) {
    EXPECT_STREQ(
        e.what(),
        "Impressora nao encontrada: \"Outra\"\r\nVerifique se ela esta instalada e online.");
  }
}

TEST_F(RendererTest, LinesMoveByTheirFontsHeight) {
  const int h = p.LineHeight();
  EXPECT_GE(h, 25);
  p.PrintLine("");
  EXPECT_EQ(p.CurY(), h);
  p.SetFontSize(TFontSize::fsLarge);
  const int large = p.LineHeight();
  EXPECT_GT(large, h);
  p.SetFontSize(TFontSize::fsDblHeight);  // not twice the height: as large
  EXPECT_EQ(p.LineHeight(), large);
  p.SetFontSize(TFontSize::fsDblWidth);
  EXPECT_EQ(p.LineHeight(), large);
  EXPECT_EQ(TGDIPrinter("", nullptr).LineHeight(), 20);  // no surface
}

TEST_F(RendererTest, WrappingOfLinesTextAndRows) {
  const int h = p.LineHeight();
  const std::string words =
      "um texto bem comprido que precisa quebrar em mais de uma linha no papel";
  p.PrintLine(words);  // at spaces
  EXPECT_EQ(p.CurY(), 2 * h);
  p.PrintText(std::string(60, 'W'));  // at the last character that fits
  EXPECT_EQ(p.CurY(), 2 * h + 2 * h);
  EXPECT_LE(p.CurX(), p.PageWidth() - p.MarginRight());
  p.PrintLine("");
  const int y = p.CurY();
  p.PrintRow(std::string(40, 'E'), std::string(40, 'D'), false);  // overlaps, no wrap
  EXPECT_EQ(p.CurY(), y + h);
  p.SetAlignment(TTextAlign::taCenter);
  const int long_y = p.CurY();
  p.PrintLine(std::string(50, 'M'));  // one word: a line of its own from the left edge
  EXPECT_EQ(p.CurY(), long_y + h);
  auto page = Page();
  const TBox box = DarkBox(*page, long_y, long_y + h);
  EXPECT_GE(box.left, 8);
  EXPECT_LE(box.left, 12);
  EXPECT_GT(box.right, 575 - 32 + 20);  // runs past the margin
}

TEST_F(RendererTest, QrCodeIsA35MmSquareWhateverItsProportions) {
  p.PrintQRCode(BlackPng(100, 50), "");
  const int h = p.LineHeight();
  EXPECT_EQ(p.CurY(), h + 280);
  auto page = Page();
  const TBox box = DarkBox(*page);
  EXPECT_EQ(box.right - box.left, 280);
  EXPECT_EQ(box.bottom - box.top, 280);
  EXPECT_EQ(box.left, 8 + (575 - 8 - 32 - 280) / 2);
  EXPECT_EQ(box.top, 0);
}

TEST_F(RendererTest, ImagesKeepProportionsAndTransparencyIsWhite) {
  const int h = p.LineHeight();
  // Left half black, right half transparent.
  const std::string half =
      PngBase64(100, 50, [](int x, int) { return x < 50 ? 0x000000FFu : 0x00000000u; });
  p.PrintImage(half, 40, 0);  // 40 mm wide, height from the proportions
  const int w40 = p.MmToPx(40);
  EXPECT_EQ(p.CurY(), h / 2 + w40 / 2);
  const int y = p.CurY();
  p.PrintImage(BlackPng(10, 10), 0, 0);  // the whole usable width, square
  EXPECT_EQ(p.CurY(), y + h / 2 + 535);
  auto page = Page();
  const TBox first = DarkBox(*page, 0, y);
  EXPECT_EQ(first.left, 8);
  EXPECT_EQ(first.right - first.left, w40 / 2);
  EXPECT_FALSE(Dark(*page, 8 + w40 * 3 / 4, 10));  // the transparent half
  EXPECT_EQ(DarkBox(*page, y).right, 8 + 535);
}

TEST_F(RendererTest, BadPicturesPrintABracketedLine) {
  const int h = p.LineHeight();
  p.PrintImage("", 0, 0);  // nothing at all
  EXPECT_EQ(p.CurY(), 0);
  p.SetAlignment(TTextAlign::taRight);
  p.PrintImage("data:image/png;base64," + BlackPng(4, 4), 0, 0);  // not cleaned here
  EXPECT_EQ(p.CurY(), h);
  EXPECT_EQ(p.CurrentAlign(), TTextAlign::taLeft);
  p.PrintQRCode("", "Titulo");
  p.PrintQRCode(core::Base64Encode("not a png"), "");
  EXPECT_EQ(p.CurY(), 4 * h);
  EXPECT_FALSE(p.CurrentBold());
}

TEST_F(RendererTest, BoldIsHeavierThanNormalTextAndInverseIsABand) {
  p.PrintLine("Total a pagar");
  p.SetBold(true);
  p.PrintLine("Total a pagar");
  p.SetBold(false);
  p.SetInverse(true);
  const int y = p.CurY(), h = p.LineHeight();
  p.PrintLine("PAGO");
  auto page = Page();
  auto count = [&](int y0, int y1) {
    int n = 0;
    for (int yy = y0; yy < y1; ++yy)
      for (int x = 0; x < page->Width(); ++x) n += Dark(*page, x, yy);
    return n;
  };
  EXPECT_GT(count(h, 2 * h), count(0, h) * 11 / 10);
  const TBox band = DarkBox(*page, y, y + h);
  EXPECT_EQ(band.left, 8);
  EXPECT_EQ(band.right, 575 - 32);
}

}  // namespace
}  // namespace print
