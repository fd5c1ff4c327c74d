#include "platform/env.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>

#include "platform/testenv.h"

namespace platform {
namespace {

class EnvTest : public ::testing::Test {
 protected:
  void SetUp() override {
    FDir = (std::filesystem::temp_directory_path() / ("env_test_" + std::to_string(getpid())))
               .string();
    std::filesystem::remove_all(FDir);
  }
  void TearDown() override { std::filesystem::remove_all(FDir); }
  std::string Path(const std::string& name) const { return FDir + "/" + name; }
  std::string Read(TEnv& env, const std::string& name) {
    std::string out;
    EXPECT_TRUE(env.ReadFile(Path(name), out)) << name;
    return out;
  }

  std::string FDir;
};

TEST_F(EnvTest, RealFilesRoundTrip) {
  TEnv& env = DefaultEnv();
  EXPECT_FALSE(env.IsFolder(FDir));
  ASSERT_TRUE(env.CreateFolders(Path("sub/deeper")));
  EXPECT_TRUE(env.IsFolder(Path("sub")));
  ASSERT_TRUE(env.WriteFile(Path("a.tef"), std::string("x\0y", 3), true));
  ASSERT_TRUE(env.WriteFile(Path("b.txt"), "old content", false));
  ASSERT_TRUE(env.WriteFile(Path("b.txt"), "new", false));
  ASSERT_TRUE(env.AppendToFile(Path("b.txt"), "+more"));
  EXPECT_EQ(Read(env, "a.tef"), std::string("x\0y", 3));
  EXPECT_EQ(Read(env, "b.txt"), "new+more");
  uint64_t size = 0;
  EXPECT_TRUE(env.FileSize(Path("b.txt"), size));
  EXPECT_EQ(size, 8u);
  EXPECT_TRUE(env.IsRegularFile(Path("b.txt")));
  EXPECT_FALSE(env.IsRegularFile(Path("sub")));

  ASSERT_TRUE(env.RenameFile(Path("b.txt"), Path("c.txt")));
  EXPECT_FALSE(env.FileExists(Path("b.txt")));
  std::vector<std::string> names;
  ASSERT_TRUE(env.ListFolder(FDir, names));
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"a.tef", "c.txt", "sub"}));

  EXPECT_TRUE(env.RemoveFile(Path("c.txt")));
  EXPECT_TRUE(env.RemoveFile(Path("c.txt")));  // already gone counts as removed
  EXPECT_FALSE(env.FileExists(Path("c.txt")));
  std::string out = "kept";
  EXPECT_FALSE(env.ReadFile(Path("c.txt"), out));
  EXPECT_EQ(out, "kept");
  EXPECT_FALSE(env.WriteFile(Path("missing/x"), "x", false));
  EXPECT_FALSE(env.ListFolder(Path("missing"), names));
}

TEST_F(EnvTest, FailingFilesFailFromTheNthWriteOn) {
  ASSERT_TRUE(DefaultEnv().CreateFolders(FDir));
  TFailingFileEnv env;
  env.FailFrom(3);
  EXPECT_TRUE(env.WriteFile(Path("1"), "a", true));
  EXPECT_TRUE(env.AppendToFile(Path("1"), "b"));  // appends are not counted
  EXPECT_TRUE(env.WriteFile(Path("0"), "z", false));
  EXPECT_FALSE(env.RenameFile(Path("1"), Path("2")));
  EXPECT_FALSE(env.WriteFile(Path("3"), "c", false));
  EXPECT_TRUE(env.Failed());
  EXPECT_EQ(env.Writes(), 4);
  EXPECT_EQ(Read(env, "1"), "ab");  // reads still pass through
  EXPECT_FALSE(env.FileExists(Path("2")));
  EXPECT_FALSE(env.FileExists(Path("3")));
}

TEST(ManualClockEnvTest, SleepingMovesTheClocksInsteadOfWaiting) {
  TManualClockEnv env;
  EXPECT_NEAR(static_cast<double>(env.NowUnixMillis()), static_cast<double>(UnixNowMillis()),
              1000.0);
  env.SetNowMillis(1000);
  const int64_t start = env.MonotonicMillis();
  env.SleepMillis(60'000);
  env.SleepMillis(-5);
  EXPECT_EQ(env.NowUnixMillis(), 61'000);
  EXPECT_EQ(env.MonotonicMillis() - start, 60'000);
  EXPECT_EQ(env.Slept(), 60'000);
}

TEST(DefaultEnvTest, MonotonicClockAndSleepAreReal) {
  TEnv& env = DefaultEnv();
  const int64_t start = env.MonotonicMillis();
  env.SleepMillis(20);
  EXPECT_GE(env.MonotonicMillis() - start, 20);
  EXPECT_NEAR(static_cast<double>(env.NowUnixMillis()), static_cast<double>(UnixNowMillis()),
              1000.0);
}

}  // namespace
}  // namespace platform
