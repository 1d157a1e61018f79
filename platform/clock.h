#pragma once

#include <cstdint>

#include "platform/datetime.h"

namespace platform {

// The source of time for the whole program. Nothing reads the system clock
// directly, so tests can set and move "now" and the tick count.
class Clock {
 public:
  virtual ~Clock() = default;
  // Wall-clock time in milliseconds since 1970-01-01 UTC.
  virtual std::int64_t UnixMillis() = 0;
  // Milliseconds since the machine started, wrapped to 32 bits.
  virtual std::uint32_t TickCount() = 0;
  // Blocks the calling thread for about `millis` milliseconds.
  virtual void Sleep(int millis) = 0;
};

class SystemClock final : public Clock {
 public:
  std::int64_t UnixMillis() override;
  std::uint32_t TickCount() override;
  void Sleep(int millis) override;
};

// A clock that only moves when told to; Sleep advances it instead of waiting.
class ManualClock final : public Clock {
 public:
  ManualClock() = default;
  explicit ManualClock(TDateTime localNow) { SetNow(localNow); }

  std::int64_t UnixMillis() override { return unixMillis_; }
  std::uint32_t TickCount() override { return tickCount_; }
  void Sleep(int millis) override { Advance(millis); }

  void SetUnixMillis(std::int64_t value) { unixMillis_ = value; }
  void SetNow(TDateTime localNow);
  void SetTickCount(std::uint32_t value) { tickCount_ = value; }
  // Moves both the wall clock and the tick count on.
  void Advance(std::int64_t millis);

 private:
  std::int64_t unixMillis_ = 0;
  std::uint32_t tickCount_ = 0;
};

// The clock in use; the system clock unless a test installed another.
Clock& CurrentClock();
// Installs a clock (nullptr restores the system clock). The caller keeps ownership.
void SetClock(Clock* clock);

// Now as local date-time, read from the current clock.
TDateTime Now();

}  // namespace platform
