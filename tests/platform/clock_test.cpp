#include "platform/clock.h"

#include <gtest/gtest.h>
#include <time.h>

#include "tests/support/temp_dir.h"

namespace {

TEST(Clock, ManualClockMovesOnlyWhenTold) {
  const auto start = platform::EncodeDateTime({2026, 12, 9, 23, 59, 59, 500});
  testsupport::ScopedClock clock(start);
  clock->SetTickCount(0xFFFFFF00u);
  EXPECT_DOUBLE_EQ(platform::Now(), start);
  EXPECT_DOUBLE_EQ(platform::Now(), start);

  clock->Advance(1000);  // crosses midnight; the tick count wraps like the 32-bit counter
  EXPECT_EQ(platform::FormatDateTime("yyyy-mm-dd hh:nn:ss.zzz", platform::Now()), "2026-12-10 00:00:00.500");
  EXPECT_EQ(clock->TickCount(), 0xFFFFFF00u + 1000u);

  platform::CurrentClock().Sleep(250);  // sleeping moves a manual clock instead of waiting
  EXPECT_EQ(platform::FormatDateTime("hh:nn:ss.zzz", platform::Now()), "00:00:00.750");
}

TEST(Clock, SystemClockIsRestoredAndReadsTheMachine) {
  {
    testsupport::ScopedClock clock(platform::EncodeDateTime({2001, 1, 1, 0, 0, 0, 0}));
    EXPECT_EQ(platform::DecodeDateTime(platform::Now()).year, 2001);
  }
  EXPECT_GE(platform::DecodeDateTime(platform::Now()).year, 2024);

  timespec ts{};
  clock_gettime(CLOCK_BOOTTIME, &ts);
  const auto boot = static_cast<std::uint32_t>(static_cast<std::uint64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000);
  const std::uint32_t ticks = platform::CurrentClock().TickCount();
  EXPECT_LT(static_cast<std::uint32_t>(ticks - boot), 1000u);
}

}  // namespace
