#include "platform/command.h"

#include <gtest/gtest.h>

#include "platform/guid.h"

namespace platform {
namespace {

TEST(CommandTest, CapturesOutputAndExitCode) {
  const TCommandResult r = RunCommand("echo out; echo err >&2; exit 3", 5000);
  EXPECT_EQ(r.ExitCode, 3);
  EXPECT_EQ(r.Output, "out\nerr\n");
  EXPECT_FALSE(r.TimedOut);
}

TEST(CommandTest, StandardInputIsEmpty) {
  EXPECT_EQ(RunCommand("cat; echo done", 5000).Output, "done\n");
}

TEST(CommandTest, TimeLimitKillsTheProcessGroup) {
  const TCommandResult r = RunCommand("sleep 30 & sleep 30", 200);
  EXPECT_TRUE(r.TimedOut);
  EXPECT_EQ(r.ExitCode, 1);
}

TEST(CommandTest, UnknownCommandFails) {
  EXPECT_NE(RunCommand("/nonexistent/tool", 5000).ExitCode, 0);
}

TEST(GuidTest, VersionFourForm) {
  const std::string g = NewGuidString();
  ASSERT_EQ(g.size(), 38u);
  EXPECT_EQ(g.front(), '{');
  EXPECT_EQ(g[15], '4');
  EXPECT_NE(std::string("89AB").find(g[20]), std::string::npos);
  EXPECT_NE(g, NewGuidString());
  for (char c : g) EXPECT_TRUE(std::string("{}-0123456789ABCDEF").find(c) != std::string::npos);
}

}  // namespace
}  // namespace platform
