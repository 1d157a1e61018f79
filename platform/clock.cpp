#include "platform/clock.h"

#include <time.h>

#include <chrono>
#include <thread>

namespace platform {

std::int64_t SystemClock::UnixMillis() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

std::uint32_t SystemClock::TickCount() {
  // Milliseconds since boot, suspend included, wrapped to 32 bits: the counter
  // restarts from 0 after about 49.7 days, and its users must allow for that.
  timespec ts{};
  clock_gettime(CLOCK_BOOTTIME, &ts);
  const auto millis = static_cast<std::uint64_t>(ts.tv_sec) * 1000u + static_cast<std::uint64_t>(ts.tv_nsec) / 1000000u;
  return static_cast<std::uint32_t>(millis);
}

void SystemClock::Sleep(int millis) { std::this_thread::sleep_for(std::chrono::milliseconds(millis)); }

void ManualClock::SetNow(TDateTime localNow) { unixMillis_ = LocalToUnixMillis(localNow); }

void ManualClock::Advance(std::int64_t millis) {
  unixMillis_ += millis;
  tickCount_ += static_cast<std::uint32_t>(millis);
}

namespace {
SystemClock gSystemClock;
Clock* gClock = &gSystemClock;
}  // namespace

Clock& CurrentClock() { return *gClock; }

void SetClock(Clock* clock) { gClock = clock != nullptr ? clock : &gSystemClock; }

TDateTime Now() { return UnixMillisToLocal(gClock->UnixMillis()); }

}  // namespace platform
