#include "platform/inifile.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace platform {
namespace {

class IniFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    FDir = std::filesystem::temp_directory_path() /
           ("ini_test_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(FDir);
    FPath = (FDir / "SvcZentavoSiTef.ini").string();
  }
  void TearDown() override { std::filesystem::remove_all(FDir); }
  void Write(const std::string& text) { std::ofstream(FPath, std::ios::binary) << text; }
  std::string Read() {
    std::ifstream in(FPath, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

  std::filesystem::path FDir;
  std::string FPath;
};

TEST_F(IniFileTest, IntegerValuesFollowProfileRules) {
  struct Case {
    const char* text;
    long expected;
  } cases[] = {
      {"443", 443}, {"0x1BB", 443}, {"0X1bb", 443}, {"-1", -1},       {"0", 0},
      {"abc", 7},   {"12abc", 7},   {"", 7},        {" 8443 ", 8443},
  };
  for (const Case& c : cases) {
    Write(std::string("[sitef]\r\nserver_port=") + c.text + "\r\n");
    EXPECT_EQ(TIniFile(FPath).ReadInteger("sitef", "server_port", 7), c.expected) << c.text;
  }
}

TEST_F(IniFileTest, BooleansAreIntegersAndSectionsIgnoreCase) {
  Write("[Sitef]\r\nqrcode_on_pinpad=1\r\nother=true\r\nzero=0\r\n");
  TIniFile ini(FPath);
  EXPECT_TRUE(ini.ReadBool("sitef", "qrcode_on_pinpad", false));
  EXPECT_TRUE(ini.ReadBool("SITEF", "QRCODE_ON_PINPAD", false));
  EXPECT_FALSE(ini.ReadBool("sitef", "other", false));  // "true" is not an integer
  EXPECT_FALSE(ini.ReadBool("sitef", "zero", true));
  EXPECT_EQ(ini.ReadString("sitef", "missing", "def"), "def");
}

TEST_F(IniFileTest, MissingFileGivesDefaults) {
  TIniFile ini(FPath);
  EXPECT_EQ(ini.ReadInteger("sitef", "server_port", 0), 0);
  EXPECT_EQ(ini.ReadString("sitef", "printer", ""), "");
}

TEST_F(IniFileTest, WritesReachTheFileAtOnceAndKeepOtherLines) {
  Write("; comment\r\n[sitef]\r\nserver_port=8443\r\n\r\n[other]\r\nk=v\r\n");
  TIniFile ini(FPath);
  ini.WriteBool("sitef", "need_update", true);
  ini.WriteString("Sitef", "server_port", "9000");
  ini.WriteString("new", "version", "1.2.3");
  const std::string text = Read();
  EXPECT_NE(text.find("; comment"), std::string::npos);
  EXPECT_NE(text.find("server_port=9000\r\n"), std::string::npos);
  EXPECT_NE(text.find("need_update=1\r\n"), std::string::npos);
  EXPECT_NE(text.find("[other]\r\nk=v"), std::string::npos);
  TIniFile fresh(FPath);
  EXPECT_EQ(fresh.ReadInteger("sitef", "server_port", 0), 9000);
  EXPECT_TRUE(fresh.ReadBool("sitef", "need_update", false));
  EXPECT_EQ(fresh.ReadString("new", "version", ""), "1.2.3");
  EXPECT_FALSE(std::filesystem::exists(FPath + ".tmp"));
}

TEST_F(IniFileTest, AccentedValuesRoundTripThroughWindows1252) {
  TIniFile ini(FPath);
  ini.WriteString("sitef", "printer", "Impressão");
  EXPECT_EQ(Read().find("Impress\xE3o"), std::string("[sitef]\r\nprinter=").size());
  EXPECT_EQ(ini.ReadString("sitef", "printer", ""), "Impressão");
}

}  // namespace
}  // namespace platform
