#pragma once
// Time and sleeps, behind a clock that tests replace so that the system's fixed sleeps and
// timer ticks cost no real time.

#include <chrono>
#include <cstdint>

#include "platform/runtime/variant.h"

namespace veltrano {

class Clock {
 public:
  virtual ~Clock() = default;
  // Milliseconds on a steady clock, for intervals and timers.
  virtual std::int64_t steadyMs() = 0;
  // Seconds since local midnight with fractions (VB's Timer).
  virtual double secondsSinceMidnight() = 0;
  // Local date and time now (VB's Now).
  virtual DateValue now() = 0;
  // Blocks for `ms` milliseconds (kernel32 Sleep); does not pump messages.
  virtual void sleep(std::int64_t ms) = 0;
};

class SystemClock final : public Clock {
 public:
  std::int64_t steadyMs() override;
  double secondsSinceMidnight() override;
  DateValue now() override;
  void sleep(std::int64_t ms) override;
};

// A clock that moves only when told to, or when slept on: sleep(ms) advances it by ms.
class ManualClock final : public Clock {
 public:
  explicit ManualClock(DateValue start = makeDate(2026, 1, 5, 9, 0, 0)) : start_(start) {}
  std::int64_t steadyMs() override { return elapsedMs_; }
  double secondsSinceMidnight() override;
  DateValue now() override;
  void sleep(std::int64_t ms) override { advance(ms); }
  void advance(std::int64_t ms) { elapsedMs_ += ms; }
  std::int64_t sleptMs() const { return elapsedMs_; }

 private:
  DateValue start_;
  std::int64_t elapsedMs_ = 0;
};

// The clock in force for this process (the system clock unless a test installed another).
Clock& clock();

// Installs a clock for the lifetime of this object (tests).
class ScopedClock {
 public:
  explicit ScopedClock(Clock& c);
  ~ScopedClock();
  ScopedClock(const ScopedClock&) = delete;
  ScopedClock& operator=(const ScopedClock&) = delete;

 private:
  Clock* previous_;
};

}  // namespace veltrano
