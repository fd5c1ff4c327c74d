#include "service/servicelog.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "platform/clock.h"
#include "platform/testenv.h"

namespace service {
namespace {

using platform::TDateTime;

class ServiceLogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("TZ", "UTC", 1);
    tzset();
    FBase = (std::filesystem::temp_directory_path() /
             ("servicelog_" + std::to_string(getpid()) + "_" +
              ::testing::UnitTest::GetInstance()->current_test_info()->name()))
                .string() +
            "/";
    std::filesystem::create_directories(FBase);
    At(TDateTime{2025, 1, 5, 14, 3, 9, 0});
  }
  void TearDown() override { std::filesystem::remove_all(FBase); }
  void At(TDateTime t) { FEnv.SetNow(t); }
  int Log(const std::string& text) { return GravaLogIn(FBase, text, FEnv); }
  std::string Contents(const TDateTime& day) {
    std::ifstream in(ServiceLogPath(FBase, day), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

  platform::TManualClockEnv FEnv;
  std::string FBase;
};

TEST_F(ServiceLogTest, WritesTimeStampedWindows1252Lines) {
  EXPECT_EQ(Log("O serviço foi parado."), 1);
  EXPECT_EQ(Log("   indented"), 1);
  EXPECT_EQ(Log(""), 1);
  EXPECT_EQ(Log(" \t\r\n "), 1);
  EXPECT_EQ(ServiceLogPath(FBase, TDateTime{2025, 1, 5}),
            FBase + "Log/Janeiro-2025/ZentavoSiTefService 05-01-2025.log");
  EXPECT_EQ(Contents(TDateTime{2025, 1, 5}),
            "[05/01/2025 14:03:09] O servi\xE7o foi parado.\r\n"
            "[05/01/2025 14:03:09]    indented\r\n"
            "\r\n"
            "\r\n");
}

TEST_F(ServiceLogTest, MidnightStartsANewFileAndMonthFolder) {
  At(TDateTime{2025, 2, 28, 23, 59, 59, 999});
  Log("antes");
  At(TDateTime{2025, 3, 1, 0, 0, 0, 0});
  Log("depois");
  EXPECT_EQ(Contents(TDateTime{2025, 2, 28}), "[28/02/2025 23:59:59] antes\r\n");
  EXPECT_EQ(Contents(TDateTime{2025, 3, 1}), "[01/03/2025 00:00:00] depois\r\n");
  EXPECT_TRUE(std::filesystem::exists(FBase + "Log/Março-2025"));
}

TEST_F(ServiceLogTest, UnwritableFileReturnsZero) {
  if (geteuid() == 0) GTEST_SKIP() << "root ignores file permissions";
  Log("first");
  chmod(ServiceLogPath(FBase, TDateTime{2025, 1, 5}).c_str(), 0444);
  EXPECT_EQ(Log("second"), 0);
}

TEST_F(ServiceLogTest, UncreatableFolderReturnsZero) {
  std::ofstream(FBase + "Log") << "a file where the folder should be";
  EXPECT_EQ(Log("lost"), 0);
}

TEST_F(ServiceLogTest, TefLogNameIsFixedAtCreation) {
  EXPECT_EQ(TefLogPath(FBase, TDateTime{2025, 1, 5, 23, 59}),
            FBase + "Log/01-2025/TEF-05-01-2025.log");
  EXPECT_TRUE(std::filesystem::is_directory(FBase + "Log/01-2025"));
}

}  // namespace
}  // namespace service
