#include "print/layoutparser.h"

#include <gtest/gtest.h>
#include <png.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "print/layoutpreview.h"
#include "print/pictures.h"

namespace print {
namespace {

namespace fs = std::filesystem;

// Layouts drawn in preview mode at 203 dpi on a 72 mm page.
class LayoutTest : public ::testing::Test {
 protected:
  LayoutTest() : p("", nullptr), parser(p) {
    p.BeginPreview(575, 203);
    p.Initialize();
  }
  void Parse(const std::string& xml) { parser.ParseXML(xml); }
  std::string Failure(const std::string& xml) {
    try {
      Parse(xml);
    } catch (const ELayoutParser& e) {
      return e.what();
    }
    return "";
  }
  int Line() { return p.LineHeight(); }

  TGDIPrinter p;
  TLayoutParser parser;
};

TEST(LayoutTextTest, Normalisation) {
  const std::pair<std::string, std::string> cases[] = {
      {"  a  b  ", "a b"}, {"a\r\nb", "a b"}, {"a\rb\nc", "a b c"},     {"a \r\n  b", "a b"},
      {"\t a\t", "a"},     {"", ""},          {"a    \n\n   b", "a b"},
  };
  for (const auto& [in, out] : cases) EXPECT_EQ(NormalizeLayoutText(in), out) << in;
}

TEST_F(LayoutTest, ElementsAndWhatTheyLeaveBehind) {
  Parse(
      "<receipt>texto solto<header>também "
      "solto</header><desconhecido><line>x</line></desconhecido></receipt>");
  EXPECT_EQ(p.CurY(), 0);  // text in containers and unknown elements print nothing
  Parse("<Title>Título</Title>");
  EXPECT_EQ(p.CurY(), Line());
  Parse("<receipt><feed/><feed lines='x'/><feed lines='2'/></receipt>");
  EXPECT_EQ(p.CurY(), Line() + 4 * 30);
  // A line inside a bold centre stays bold, but everything ends normal and left.
  Parse("<center bold='true' size='double'><line>a</line><hr/></center>");
  EXPECT_FALSE(p.CurrentBold());
  EXPECT_EQ(p.CurrentSize(), TFontSize::fsNormal);
  EXPECT_EQ(p.CurrentAlign(), TTextAlign::taLeft);
  Parse("<inverse bold='1'>PAGO</inverse>");
  EXPECT_FALSE(p.CurrentInverse());
}

TEST_F(LayoutTest, CentreWithOnlyTextAndBoldIsOneLine) {
  Parse("<center>\n  Total <bold>10,00</bold>\n</center>");
  EXPECT_EQ(p.CurY(), Line());
  const int y = p.CurY();
  Parse("<center><title>A</title><line>B</line></center>");  // blocks: each a line
  EXPECT_EQ(p.CurY(), y + 2 * Line());
}

TEST_F(LayoutTest, RowsAndSizes) {
  p.SetFontSize(TFontSize::fsLarge);
  const int large = p.LineHeight();
  p.SetFontSize(TFontSize::fsNormal);
  Parse("<row size='double'><left>TOTAL</left><right>1,00</right><right>9,00</right></row>");
  EXPECT_EQ(p.CurY(), large);
  Parse("<line size='LARGE'>a</line>");  // lower-cased: "large" prints as large
  EXPECT_EQ(p.CurY(), 2 * large);
  Parse("<line size=' double'>a</line>");  // not trimmed: normal
  EXPECT_EQ(p.CurY(), 2 * large + Line());
}

TEST_F(LayoutTest, ImagesFollowTheAlignmentAtTheirTurn) {
  const std::string png = BlackPng(10, 10);
  Parse("<center><image width='10'>" + png + "</image><title>T</title><image width='10'>" + png +
        "</image></center>");
  auto page = p.EndPreview();
  const int w = 80;  // 10 mm at 203 dpi
  const TBox first = DarkBox(*page, 0, w);
  EXPECT_EQ(first.left, 8 + (535 - w) / 2);
  const TBox last = DarkBox(*page, page->Height() - 8 * 8 - w, page->Height());
  EXPECT_EQ(last.left, 8);
}

TEST_F(LayoutTest, InlineImageEndsTheLineFirst) {
  Parse("<line>antes<image width='5' height='5'>" + BlackPng(4, 4) + "</image></line>");
  const int h = Line();
  EXPECT_EQ(p.CurY(), h + h / 2 + 40 + h);
}

TEST_F(LayoutTest, FailuresAndLimits) {
  EXPECT_EQ(Failure(" \r\n "), "Conteudo XML vazio.");
  EXPECT_EQ(Failure("<receipt><line>x</receipt>").rfind("Erro no XML (linha 1): ", 0), 0u);
  EXPECT_EQ(Failure("<!DOCTYPE r [<!ENTITY e SYSTEM "
                    "'file:///etc/passwd'>]><receipt><line>&e;</line></receipt>"),
            "Leiaute com DOCTYPE não é aceito");
  std::string deep;
  for (int i = 0; i < 70; ++i) deep += "<section>";
  for (int i = 0; i < 70; ++i) deep += "</section>";
  EXPECT_EQ(Failure(deep), "Leiaute aninhado demais (máximo 64 níveis)");
  EXPECT_EQ(Failure("<section><section><line>ok</line></section></section>"), "");
  try {
    parser.ParseFile("/nao/existe.xml");
    FAIL();
  } catch (const ELayoutParser& e) {
    EXPECT_STREQ(e.what(), "Arquivo de leiaute nao encontrado: /nao/existe.xml");
  }
}

// --- golden pictures from the preview tool

std::vector<unsigned char> ReadGray(const std::string& path, int& w, int& h) {
  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&image, path.c_str())) return {};
  image.format = PNG_FORMAT_GRAY;
  std::vector<unsigned char> px(PNG_IMAGE_SIZE(image));
  png_image_finish_read(&image, nullptr, px.data(), 0, nullptr);
  w = static_cast<int>(image.width);
  h = static_cast<int>(image.height);
  return px;
}

TEST(LayoutGoldenTest, ReceiptWithEveryElementMatchesItsPicture) {
  const std::string golden_dir = ZENTAVO_SOURCE_DIR "/tests/print/golden/";
  const std::string out = (fs::temp_directory_path() / "layout_golden_receipt.png").string();
  const std::string cmd = std::string(ZENTAVO_LAYOUT_PREVIEW) + " " + golden_dir + "receipt.xml " +
                          out + " --width-mm 72 --dpi 203 > /dev/null";
  ASSERT_EQ(std::system(cmd.c_str()), 0);
  int w = 0, h = 0, gw = 0, gh = 0;
  std::vector<unsigned char> got = ReadGray(out, w, h);
  if (std::getenv("ZENTAVO_UPDATE_GOLDEN")) {
    // Stored as 8-bit grey, which keeps the file small.
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    image.width = w;
    image.height = h;
    image.format = PNG_FORMAT_GRAY;
    ASSERT_TRUE(png_image_write_to_file(&image, (golden_dir + "receipt.png").c_str(), 0, got.data(),
                                        0, nullptr));
  }
  std::vector<unsigned char> want = ReadGray(golden_dir + "receipt.png", gw, gh);
  fs::remove(out);
  ASSERT_EQ(w, gw);
  ASSERT_EQ(h, gh);
  // Font rasterisers differ a little between versions: allow a few pixels.
  size_t differ = 0;
  for (size_t i = 0; i < got.size(); ++i) differ += std::abs(got[i] - want[i]) > 96;
  EXPECT_LT(differ, got.size() / 200) << differ << " pixels differ";
}

}  // namespace
}  // namespace print
