#include "platform/runtime/clock.h"

#include <cmath>
#include <ctime>
#include <thread>

namespace veltrano {
namespace {
SystemClock g_system;
Clock* g_current = &g_system;

std::tm localNow(double& fraction) {
  auto tp = std::chrono::system_clock::now();
  auto secs = std::chrono::time_point_cast<std::chrono::seconds>(tp);
  fraction = std::chrono::duration<double>(tp - secs).count();
  std::time_t t = std::chrono::system_clock::to_time_t(secs);
  std::tm tm{};
#ifdef _WIN32
  localtime_s(&tm, &t);
#else
  localtime_r(&t, &tm);
#endif
  return tm;
}
}  // namespace

std::int64_t SystemClock::steadyMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

double SystemClock::secondsSinceMidnight() {
  double frac = 0;
  std::tm tm = localNow(frac);
  return tm.tm_hour * 3600.0 + tm.tm_min * 60.0 + tm.tm_sec + frac;
}

DateValue SystemClock::now() {
  double frac = 0;
  std::tm tm = localNow(frac);
  return makeDate(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec);
}

void SystemClock::sleep(std::int64_t ms) {
  if (ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

double ManualClock::secondsSinceMidnight() {
  double serial = now().serial;
  return (serial - std::floor(serial)) * 86400.0;
}

DateValue ManualClock::now() {
  return DateValue{start_.serial + static_cast<double>(elapsedMs_) / 86400000.0};
}

Clock& clock() { return *g_current; }

ScopedClock::ScopedClock(Clock& c) : previous_(g_current) { g_current = &c; }
ScopedClock::~ScopedClock() { g_current = previous_; }

}  // namespace veltrano
