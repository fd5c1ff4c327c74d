#include "platform/dynlib.h"

#include <gtest/gtest.h>

namespace {

// A small system library that nothing else in the test process loads, so its
// reference count is ours alone.
constexpr const char* kLib = "libBrokenLocale.so.1";

TEST(DynLib, EachLoadTakesOneReferenceAndGetHandleTakesNone) {
  auto& dl = platform::SystemDynLibLoader();
  ASSERT_EQ(dl.GetHandle(kLib), nullptr);

  platform::DynLibHandle a = dl.Load(kLib);
  ASSERT_NE(a, nullptr);
  platform::DynLibHandle b = dl.Load(kLib);
  EXPECT_EQ(a, b);
  EXPECT_EQ(dl.GetHandle(kLib), a);
  EXPECT_EQ(dl.GetHandle(kLib), a);  // repeated look-ups do not pin it
  EXPECT_NE(dl.Symbol(a, "__ctype_get_mb_cur_max"), nullptr);
  EXPECT_EQ(dl.Symbol(a, "no_such_entry_point"), nullptr);

  dl.Release(a);
  EXPECT_EQ(dl.GetHandle(kLib), a);  // one reference left
  dl.Release(b);
  EXPECT_EQ(dl.GetHandle(kLib), nullptr);
}

TEST(DynLib, MissingLibraryAndNullHandle) {
  auto& dl = platform::SystemDynLibLoader();
  EXPECT_EQ(dl.Load("/nonexistent/libnothing.so"), nullptr);
  EXPECT_EQ(dl.GetHandle("/nonexistent/libnothing.so"), nullptr);
  EXPECT_EQ(dl.Symbol(nullptr, "__ctype_get_mb_cur_max"), nullptr);
  dl.Release(nullptr);  // harmless
  EXPECT_EQ(platform::SharedLibraryFileName("clisitef"), "libclisitef.so");
}

}  // namespace
