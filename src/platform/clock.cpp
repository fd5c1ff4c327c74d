#include "platform/clock.h"

#include <sys/time.h>
#include <time.h>

namespace platform {
namespace {

int64_t FloorDiv(int64_t a, int64_t b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0))); }

}  // namespace

int64_t UnixNowMillis() {
  struct timespec ts;
  clock_gettime(CLOCK_REALTIME, &ts);
  return static_cast<int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

TDateTime Now() { return UnixMillisToLocal(UnixNowMillis()); }
TDateTime UtcNow() { return FromUnixMillisUtc(UnixNowMillis()); }

int DaysInMonth(int year, int month) {
  static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month < 1 || month > 12) return 0;
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return kDays[month - 1] + (month == 2 && leap ? 1 : 0);
}

bool IsValidDate(int year, int month, int day) {
  return year >= 1 && year <= 9999 && month >= 1 && month <= 12 && day >= 1 &&
         day <= DaysInMonth(year, month);
}

bool IsValidTime(int hour, int minute, int second, int millisecond) {
  return hour >= 0 && hour < 24 && minute >= 0 && minute < 60 && second >= 0 && second < 60 &&
         millisecond >= 0 && millisecond < 1000;
}

int64_t DaysFromCivil(int y, int m, int d) {
  y -= m <= 2;
  const int64_t era = FloorDiv(y, 400);
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

TDateTime FromUnixMillisUtc(int64_t millis) {
  const int64_t days = FloorDiv(millis, 86400000);
  int64_t rem = millis - days * 86400000;
  const int64_t z = days + 719468;
  const int64_t era = FloorDiv(z, 146097);
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  TDateTime t;
  t.Day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  t.Month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  t.Year = static_cast<int>(yoe + era * 400 + (t.Month <= 2));
  t.Hour = static_cast<int>(rem / 3600000);
  rem %= 3600000;
  t.Minute = static_cast<int>(rem / 60000);
  rem %= 60000;
  t.Second = static_cast<int>(rem / 1000);
  t.Millisecond = static_cast<int>(rem % 1000);
  return t;
}

int64_t ToUnixMillisAsUtc(const TDateTime& t) {
  return DaysFromCivil(t.Year, t.Month, t.Day) * 86400000 +
         ((t.Hour * 60 + t.Minute) * 60 + t.Second) * int64_t{1000} + t.Millisecond;
}

TDateTime AddMillis(const TDateTime& t, int64_t millis) {
  return FromUnixMillisUtc(ToUnixMillisAsUtc(t) + millis);
}

namespace {

struct tm ToTm(const TDateTime& t, int isdst) {
  struct tm tm {};
  tm.tm_year = t.Year - 1900;
  tm.tm_mon = t.Month - 1;
  tm.tm_mday = t.Day;
  tm.tm_hour = t.Hour;
  tm.tm_min = t.Minute;
  tm.tm_sec = t.Second;
  tm.tm_isdst = isdst;
  return tm;
}

}  // namespace

int64_t LocalToUnixMillis(const TDateTime& local) {
  struct tm tm = ToTm(local, -1);
  time_t secs = mktime(&tm);
  // In a gap glibc may pick either side; normalise to "moved forward by the
  // gap": the wall clock read back must not be earlier than the one asked for.
  const int64_t asked = ToUnixMillisAsUtc(local) / 1000;
  struct tm back {};
  localtime_r(&secs, &back);
  const int64_t got = DaysFromCivil(back.tm_year + 1900, back.tm_mon + 1, back.tm_mday) * 86400 +
                      back.tm_hour * 3600 + back.tm_min * 60 + back.tm_sec;
  if (got < asked) {
    struct tm fwd = ToTm(local, 0);
    secs = mktime(&fwd);
  }
  return static_cast<int64_t>(secs) * 1000 + local.Millisecond;
}

TDateTime UnixMillisToLocal(int64_t millis) {
  time_t secs = static_cast<time_t>(FloorDiv(millis, 1000));
  struct tm tm {};
  localtime_r(&secs, &tm);
  TDateTime t;
  t.Year = tm.tm_year + 1900;
  t.Month = tm.tm_mon + 1;
  t.Day = tm.tm_mday;
  t.Hour = tm.tm_hour;
  t.Minute = tm.tm_min;
  t.Second = tm.tm_sec;
  t.Millisecond = static_cast<int>(millis - static_cast<int64_t>(secs) * 1000);
  return t;
}

TDateTime LocalToUtc(const TDateTime& local) { return FromUnixMillisUtc(LocalToUnixMillis(local)); }

int UtcOffsetMinutes(const TDateTime& local) {
  const int64_t utc = LocalToUnixMillis(local);
  const TDateTime back = UnixMillisToLocal(utc);
  return static_cast<int>((ToUnixMillisAsUtc(back) - utc) / 60000);
}

int SecondsOfDay(const TDateTime& t) { return t.Hour * 3600 + t.Minute * 60 + t.Second; }

}  // namespace platform
