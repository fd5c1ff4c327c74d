#include "tef/ruviriduza_arquivo.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "tef/ruviriduza_erros.h"

namespace tef {
namespace {

namespace fs = std::filesystem;

TEST(ArquivoTest, KeyFormat) {
  struct Case {
    int id, seq;
    const char* key;
  } cases[] = {{133, 0, "133-000"},   {141, 2, "141-002"},  {2021, 0, "2021-000"},
               {1234, 5, "1234-005"}, {1, 1234, "001-123"}, {899, 103, "899-103"},
               {0, 0, "000-000"}};
  for (const auto& c : cases) EXPECT_EQ(ChaveTef(c.id, c.seq), c.key);
  TRuVirIdUzaArquivo a;
  a.GravaInformacao(899, 103, "1250");
  EXPECT_EQ(a.GetLinha(0).Linha(), "899-103 = 1250");
}

TEST(ArquivoTest, OneLinePerKeyAndEmptyValueRemoves) {
  TRuVirIdUzaArquivo a;
  a.GravaInformacao(899, 101, "primeiro");
  a.GravaInformacao(899, 101, "segundo");
  ASSERT_EQ(a.Count(), 1);
  EXPECT_EQ(a.LeInformacao(899, 101).AsString(), "segundo");
  a.GravaInformacao(899, 101, "");
  EXPECT_EQ(a.Count(), 0);
  a.GravaInformacao(899, 101, "");  // removing an absent key is harmless
  EXPECT_EQ(a.Count(), 0);
}

TEST(ArquivoTest, LinesStaySortedByText) {
  TRuVirIdUzaArquivo a;
  a.GravaInformacao(505, 0, "3");
  a.GravaInformacao(4029, 0, "150");
  a.GravaInformacao(141, 2, "b");
  a.GravaInformacao(2021, 0, "4111");
  a.GravaInformacao(141, 1, "a");
  a.GravaInformacao("899-103", "1000");
  const std::vector<std::string> want = {"141-001 = a",    "141-002 = b", "2021-000 = 4111",
                                         "4029-000 = 150", "505-000 = 3", "899-103 = 1000"};
  EXPECT_EQ(a.Linhas(), want);
  EXPECT_EQ(a.Texto(),
            "141-001 = a\r\n141-002 = b\r\n2021-000 = 4111\r\n4029-000 = 150\r\n"
            "505-000 = 3\r\n899-103 = 1000");
}

TEST(ArquivoTest, AbsentKeyReadsEmptyWithoutChangingContent) {
  TRuVirIdUzaArquivo a;
  a.GravaInformacao(1, 0, "x");
  const TRuVirIdUzaLinha l = a.LeLinha(12, 3);
  EXPECT_EQ(l.Linha(), "012-003 = ");
  EXPECT_EQ(l.Identificacao(), 12);
  EXPECT_EQ(l.Sequencia(), 3);
  EXPECT_EQ(l.Informacao().AsString(), "");
  EXPECT_EQ(a.LeInformacao(12, 3).AsString(), "");
  EXPECT_EQ(a.Count(), 1);
  EXPECT_FALSE(a.Existe(12, 3));
  EXPECT_THROW(a.GetLinha(1), std::out_of_range);
}

TEST(ArquivoTest, LineParsing) {
  struct Case {
    const char* line;
    int id, seq;
    const char* value;
  } cases[] = {
      {"899-103 = 1250", 899, 103, "1250"},
      {"2021-000 = 4111 1111", 2021, 0, "4111 1111"},
      {"133-000 =", 133, 0, ""},             // ends in "=": still a key
      {"133-000 = a = b", 133, 0, "a = b"},  // only the first " = " splits
      {"sem separador", 0, 0, ""},
      {"abc-xyz = v", 0, 0, "v"},
      {"12-005 = v", 0, 5, "v"},  // early "-": the first three characters
      {"899 = v", 899, 0, "v"},
  };
  for (const auto& c : cases) {
    const TRuVirIdUzaLinha l(c.line);
    EXPECT_EQ(l.Identificacao(), c.id) << c.line;
    EXPECT_EQ(l.Sequencia(), c.seq) << c.line;
    EXPECT_EQ(l.Informacao().AsString(), c.value) << c.line;
    EXPECT_EQ(l.Linha(), c.line);
  }
}

TEST(ArquivoTest, LineBreaksInAValueCannotForgeKeys) {
  TRuVirIdUzaArquivo a;
  a.GravaInformacao(899, 2, "1\r\n899-103 = 999999");
  EXPECT_EQ(a.Count(), 1);
  EXPECT_EQ(a.LeInformacao(899, 2).AsString(), "1  899-103 = 999999");
}

class ArquivoFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    FDir = fs::temp_directory_path() /
           ("arquivo_test_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
            "_" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(FDir);
    fs::create_directories(FDir);
  }
  void TearDown() override { fs::remove_all(FDir); }
  std::string Path(const char* name) const { return (FDir / name).string(); }
  static std::string Read(const std::string& p) {
    std::ifstream f(p, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
  }
  fs::path FDir;
};

TEST_F(ArquivoFileTest, SavesWindows1252WithCrLfAndLoadsBack) {
  for (bool flush : {false, true}) {
    TRuVirIdUzaArquivo a;
    a.GravaInformacao(899, 100, "CRT");
    a.GravaInformacao(121, 0, "Cartão");
    const std::string p = Path(flush ? "flush.tef" : "plain.tef");
    std::ofstream(p) << "old content that must disappear\r\n999-999 = 0\r\n";
    a.GravarArquivo(p, flush);
    EXPECT_EQ(Read(p), "121-000 = Cart\xE3o\r\n899-100 = CRT\r\n");
    EXPECT_FALSE(fs::exists(p + ".tmp"));
    TRuVirIdUzaArquivo b;
    b.GravaInformacao(1, 1, "gone");
    b.LeArquivo(p);
    EXPECT_EQ(b.Linhas(), a.Linhas());
  }
}

TEST_F(ArquivoFileTest, LoadKeepsOneLinePerKeyAndSkipsLinesWithoutKey) {
  const std::string p = Path("mixed.tef");
  std::ofstream(p, std::ios::binary)
      << "899-103 = 1000\nlixo\r\n\r\n133-000 = 1\r899-103 = 2000\r\n"
         "134-000 = \r\n";
  TRuVirIdUzaArquivo a;
  a.LeArquivo(p);
  const std::vector<std::string> want = {"133-000 = 1", "899-103 = 2000"};
  EXPECT_EQ(a.Linhas(), want);
}

TEST_F(ArquivoFileTest, MissingFileAndUnwritablePathFail) {
  TRuVirIdUzaArquivo a;
  const std::string p = Path("nao_existe.tef");
  try {
    a.LeArquivo(p);
    FAIL() << "no exception";
  } catch (const ERuVirIdUzaArquivo& e) {
    EXPECT_EQ(std::string(e.what()), "Arquivo: \r\n" + p + "\r\nnão encontrado");
  }
  EXPECT_THROW(a.LeArquivo(FDir.string()), ERuVirIdUzaArquivo);  // a folder is no file
  EXPECT_THROW(a.GravarArquivo(Path("sem/pasta.tef"), true), ERuVirIdUzaArquivo);
  EXPECT_THROW(a.GravarArquivo(Path("sem/pasta.tef"), false), ERuVirIdUzaArquivo);
}

}  // namespace
}  // namespace tef
