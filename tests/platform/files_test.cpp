#include "platform/files.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

namespace platform {
namespace {

namespace fs = std::filesystem;

TEST(FilesTest, WriteFileDurablyReplacesWholeFileAndLeavesNoTemporary) {
  const fs::path dir = fs::temp_directory_path() / "files_test_durable";
  fs::remove_all(dir);
  fs::create_directories(dir);
  const std::string p = (dir / "a.tef").string();
  std::ofstream(p) << "a much longer old content";
  ASSERT_TRUE(WriteFileDurably(p, std::string("new\0x", 5)));
  std::ifstream f(p, std::ios::binary);
  EXPECT_EQ(std::string((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>()),
            std::string("new\0x", 5));
  EXPECT_FALSE(fs::exists(p + ".tmp"));
  EXPECT_FALSE(WriteFileDurably((dir / "missing" / "b.tef").string(), "x"));
  EXPECT_FALSE(fs::exists(dir / "missing"));
  fs::remove_all(dir);
}

}  // namespace
}  // namespace platform
