#include "platform/paths.h"

#include <gtest/gtest.h>

namespace platform {
namespace {

TEST(PathsTest, FileNameAndExtension) {
  struct Case {
    const char* path;
    const char* name;
    const char* ext;
  } cases[] = {
      {"/tmp/print/123_Temp.PDF", "123_Temp.PDF", ".PDF"},
      {"a.b.gdi", "a.b.gdi", ".gdi"},
      {"/tmp/dir.d/noext", "noext", ""},
      {"/tmp/.hidden", ".hidden", ""},
      {"file.", "file.", "."},
      {"/tmp/", "", ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ExtractFileName(c.path), c.name) << c.path;
    EXPECT_EQ(ExtractFileExt(c.path), c.ext) << c.path;
  }
  EXPECT_EQ(ChangeFileExt("/opt/app/Svc", ".ini"), "/opt/app/Svc.ini");
}

}  // namespace
}  // namespace platform
