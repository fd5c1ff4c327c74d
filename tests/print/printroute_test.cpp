#include "print/printroute.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

namespace print {
namespace {

namespace fs = std::filesystem;

std::string Read(const fs::path& p) {
  std::ifstream f(p, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
}

TEST(PrintRouteTest, CleanBase64DropsTransportNoise) {
  const std::pair<std::string, std::string> cases[] = {
      {"QUJD", "QUJD"},
      {"QU\r\nJD RE VG", "QUJDREVG"},
      {"data:application/pdf;base64,QUJD", "QUJD"},
      {"data:x, QU\nJD", "QUJD"},
      {"a,b,c", "b,c"},  // only the first comma ends a header
      {"data:text/xml;base64,", ""},
  };
  for (const auto& [in, out] : cases) EXPECT_EQ(CleanBase64(in), out) << in;
}

TEST(PrintRouteTest, SaveBase64ToFileCreatesOnlyNewFiles) {
  const fs::path dir = fs::temp_directory_path() / "printroute_test";
  fs::remove_all(dir);
  fs::create_directories(dir);
  std::string failure;
  const std::string a = (dir / "1_Temp.pdf").string();
  ASSERT_EQ(SaveBase64ToFile("data:application/pdf;base64,JVBE\r\nRi0x", a, failure),
            TSaveResult::srSaved);
  EXPECT_EQ(Read(a), "%PDF-1");
  // A name in use is reported, and the queued document is left as it was.
  EXPECT_EQ(SaveBase64ToFile("QUJD", a, failure), TSaveResult::srExists);
  EXPECT_EQ(Read(a), "%PDF-1");
  const std::string empty = (dir / "2_Temp.gdi").string();
  EXPECT_EQ(SaveBase64ToFile("", empty, failure), TSaveResult::srSaved);
  EXPECT_TRUE(fs::exists(empty) && fs::file_size(empty) == 0);

  EXPECT_EQ(SaveBase64ToFile("QU@D", (dir / "3_Temp.pdf").string(), failure),
            TSaveResult::srFailed);
  EXPECT_EQ(failure, "Erro na conversão do arquivo: Texto base64 inválido.");
  EXPECT_EQ(SaveBase64ToFile("QUJD", (dir / "nada" / "4_Temp.pdf").string(), failure),
            TSaveResult::srFailed);
  EXPECT_EQ(failure, "Erro na conversão do arquivo: No such file or directory");
  EXPECT_FALSE(fs::exists(dir / "3_Temp.pdf"));
  fs::remove_all(dir);
}

}  // namespace
}  // namespace print
