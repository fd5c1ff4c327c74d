// Test doubles for platform::TEnv. Each overrides one thing and forwards the
// rest, so they stack: TManualClockEnv clock(failing) gives a hand-moved
// clock over files that fail at their N-th write.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/env.h"

namespace platform {

// A clock that moves only when told to, starting at the target's wall
// clock. Sleeping returns at once and moves both clocks by the time asked,
// so a wait runs in no real time; Slept() is the total of those sleeps.
class TManualClockEnv : public TEnvWrapper {
 public:
  explicit TManualClockEnv(TEnv& target = DefaultEnv())
      : TEnvWrapper(target), FNow(target.NowUnixMillis()) {}

  // Sets the wall clock. t is taken as UTC (tests run with TZ=UTC).
  void SetNow(const TDateTime& t) { FNow = ToUnixMillisAsUtc(t); }
  void SetNowMillis(int64_t ms) { FNow = ms; }
  void Advance(int64_t ms) {
    FNow += ms;
    FMonotonic += ms;
  }
  int64_t Slept() const { return FSlept; }

  int64_t NowUnixMillis() override { return FNow; }
  int64_t MonotonicMillis() override { return FMonotonic; }
  void SleepMillis(int64_t ms) override {
    if (ms <= 0) return;
    FSlept += ms;
    Advance(ms);
  }

 private:
  std::atomic<int64_t> FNow;
  std::atomic<int64_t> FMonotonic{1'000'000};
  std::atomic<int64_t> FSlept{0};
};

// Counts the whole-file writes and renames and, once armed with FailFrom(n),
// fails the n-th (counting from 1) and every later one without touching the
// disk. Loop n = 1, 2, ... until an operation succeeds to run each of its
// failure paths. Appends (logs) pass: their failures are ignored anyway.
class TFailingFileEnv : public TEnvWrapper {
 public:
  explicit TFailingFileEnv(TEnv& target = DefaultEnv()) : TEnvWrapper(target) {}

  void FailFrom(int n) {
    FFailFrom = n;
    FWrites = 0;
  }
  int Writes() const { return FWrites; }
  bool Failed() const { return FFailFrom > 0 && FWrites >= FFailFrom; }

  bool WriteFile(const std::string& p, std::string_view b, bool durable) override {
    return Count() && TEnvWrapper::WriteFile(p, b, durable);
  }
  bool RenameFile(const std::string& f, const std::string& t) override {
    return Count() && TEnvWrapper::RenameFile(f, t);
  }

 private:
  bool Count() {
    const int n = ++FWrites;
    return FFailFrom <= 0 || n < FFailFrom;
  }

  std::atomic<int> FFailFrom{0};
  std::atomic<int> FWrites{0};
};

}  // namespace platform
