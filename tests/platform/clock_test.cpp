#include "platform/clock.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <time.h>

#include <string>

#include "platform/testenv.h"

namespace platform {
namespace {

// Pins the process time zone for one test.
class ScopedTimeZone {
 public:
  explicit ScopedTimeZone(const char* tz) {
    const char* old = getenv("TZ");
    FHad = old != nullptr;
    if (FHad) FOld = old;
    setenv("TZ", tz, 1);
    tzset();
  }
  ~ScopedTimeZone() {
    if (FHad)
      setenv("TZ", FOld.c_str(), 1);
    else
      unsetenv("TZ");
    tzset();
  }

 private:
  bool FHad = false;
  std::string FOld;
};

TEST(ClockTest, LocalToUtcUsesTheZoneOffset) {
  ScopedTimeZone tz("America/Sao_Paulo");
  const TDateTime local{2024, 1, 31, 9, 5, 0, 123};
  EXPECT_EQ(LocalToUtc(local), (TDateTime{2024, 1, 31, 12, 5, 0, 123}));
  EXPECT_EQ(UtcOffsetMinutes(local), -180);
}

TEST(ClockTest, TimeInADaylightSavingGapIsMovedForward) {
  ScopedTimeZone tz("America/New_York");  // 2024-03-10 02:00 -> 03:00
  const TDateTime in_gap{2024, 3, 10, 2, 30, 0, 0};
  EXPECT_EQ(LocalToUtc(in_gap), (TDateTime{2024, 3, 10, 7, 30, 0, 0}));
  EXPECT_EQ(UnixMillisToLocal(LocalToUnixMillis(in_gap)), (TDateTime{2024, 3, 10, 3, 30, 0, 0}));
}

TEST(ClockTest, CalendarArithmetic) {
  EXPECT_EQ(AddMillis(TDateTime{2024, 12, 31, 23, 59, 59, 999}, 1), (TDateTime{2025, 1, 1}));
  EXPECT_EQ(FromUnixMillisUtc(ToUnixMillisAsUtc(TDateTime{1999, 2, 28, 1, 2, 3, 4})),
            (TDateTime{1999, 2, 28, 1, 2, 3, 4}));
  EXPECT_TRUE(IsValidDate(2024, 2, 29));
  EXPECT_FALSE(IsValidDate(2023, 2, 29));
  EXPECT_EQ(SecondsOfDay(TDateTime{2024, 1, 1, 1, 2, 3}), 3723);
}

TEST(ClockTest, AnEnvironmentsClockGivesLocalAndUtcTime) {
  ScopedTimeZone tz("America/Sao_Paulo");  // UTC-3, no daylight saving since 2019
  TManualClockEnv env;
  env.SetNow(TDateTime{2026, 12, 10, 2, 59, 59, 999});
  EXPECT_EQ(env.UtcNow(), (TDateTime{2026, 12, 10, 2, 59, 59, 999}));
  EXPECT_EQ(env.Now(), (TDateTime{2026, 12, 9, 23, 59, 59, 999}));
  EXPECT_GE(Now().Year, 2024);  // the machine's own clock
  EXPECT_GE(DefaultEnv().Now().Year, 2024);
}

}  // namespace
}  // namespace platform
