// Local date and time of the process time zone (TZ is honoured). TDateTime is
// a plain calendar value; a zero value (all fields 0) means "no date", as the
// TEF records use it. Safe to call from any thread.
#pragma once

#include <compare>
#include <cstdint>

namespace platform {

struct TDateTime {
  int Year = 0, Month = 0, Day = 0;
  int Hour = 0, Minute = 0, Second = 0, Millisecond = 0;

  bool IsZero() const {
    return Year == 0 && Month == 0 && Day == 0 && Hour == 0 && Minute == 0 && Second == 0 &&
           Millisecond == 0;
  }
  auto operator<=>(const TDateTime&) const = default;
};

// The machine's clock: Unix time in milliseconds, local time and UTC. Code
// that tests must be able to move in time reads the clock of the TEnv it was
// given (platform/env.h) instead.
int64_t UnixNowMillis();
TDateTime Now();
TDateTime UtcNow();

bool IsValidDate(int year, int month, int day);
bool IsValidTime(int hour, int minute, int second, int millisecond = 0);
int DaysInMonth(int year, int month);

// Calendar arithmetic without time zones (days since 1970-01-01 for a date).
int64_t DaysFromCivil(int year, int month, int day);
TDateTime FromUnixMillisUtc(int64_t millis);
int64_t ToUnixMillisAsUtc(const TDateTime& t);            // treats t as UTC
TDateTime AddMillis(const TDateTime& t, int64_t millis);  // naive, calendar only

// Local <-> Unix time. A local time in a daylight-saving gap is resolved by
// moving it forward by the gap (02:30 in a 02:00->03:00 gap becomes 03:30);
// an ambiguous one takes the first (daylight) occurrence.
int64_t LocalToUnixMillis(const TDateTime& local);
TDateTime UnixMillisToLocal(int64_t millis);
TDateTime LocalToUtc(const TDateTime& local);
// Offset of local time from UTC, in minutes (e.g. -180 for Brasília), at t.
int UtcOffsetMinutes(const TDateTime& local);

// Seconds since local midnight of t.
int SecondsOfDay(const TDateTime& t);

}  // namespace platform
