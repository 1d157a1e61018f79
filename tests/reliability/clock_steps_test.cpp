// The wall clock stepping an hour forward and back (daylight saving, a
// corrected clock).
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFrame>

#include "tests/reliability/reliability_fixture.h"

namespace {

using testsupport::KioskWithSimulator;
using testsupport::Score;

class ClockSteps : public KioskWithSimulator {
 protected:
  void SetUp() override {
    KioskWithSimulator::SetUp();
    ResizeWindow(1280, 1024);
  }
  std::string Caption() const { return window->lblTime->text().toStdString(); }
  size_t LostComms() const {
    size_t n = 0;
    for (const auto& line : Lines()) n += line.find(" Lost comms: ") != std::string::npos;
    return n;
  }
};

TEST_F(ClockSteps, AnHourForward) {
  Tick(10);
  window->IdUDPServer1UDPRead("[CFS:1] line");
  clock->Advance(3600 * 1000);  // the clock is put an hour on
  Tick();
  EXPECT_EQ(Caption(), platform::FormatDateTime("hh:nn:ss", platform::Now()));
  // For the new time the screen-saver deadline (start + 1 h) has passed, and
  // the last datagram came more than a minute ago.
  EXPECT_TRUE(window->rchMessages->isHidden());
  EXPECT_EQ(LostComms(), 1u);
  const bool ok = window->rchMessages->isHidden() && LostComms() == 1 &&
                  Caption() == platform::FormatDateTime("hh:nn:ss", platform::Now());
  Score("clock step +1 h: caption, dark, lost comms at the next tick", ok ? "as expected" : "wrong", "-", ok);
}

TEST_F(ClockSteps, AnHourBackAcrossTheEndOfDaylightSaving) {
  testsupport::ScopedTimeZone zone("Australia/Adelaide");
  // 02:59:50 daylight time on 5 April 2026; at 03:00 the clocks go back to 02:00.
  clock->SetUnixMillis(1775320190000);
  window->State.LastPacketTime = platform::Now();
  window->State.ScreenSaverUntil = platform::Now() + platform::kOneHour;
  Tick(9);
  const std::string before = Caption();
  Tick();
  const std::string after = Caption();
  EXPECT_EQ(before, "02:59:59");
  EXPECT_EQ(after, "02:00:00");
  // The last datagram now lies in the future: silence counts from it, so the
  // lost-comms line waits for an hour and a minute of real time.
  Tick(120);
  const size_t early = LostComms();
  EXPECT_EQ(early, 0u);
  clock->Advance(3600 * 1000 - 120 * 1000);
  Tick(70);
  EXPECT_EQ(LostComms(), 1u);
  EXPECT_FALSE(window->rchMessages->isHidden());  // the deadline moved an hour further away
  const bool ok = before == "02:59:59" && after == "02:00:00" && early == 0 && LostComms() == 1 &&
                  !window->rchMessages->isHidden();
  Score("clock step -1 h (daylight saving ends): caption, lost comms, screen saver", ok ? "as expected" : "wrong",
        "-", ok);
}

TEST_F(ClockSteps, TheTimerKeepsFiringWhenTheWallClockJumps) {
  window->Timer->start();
  const int before = window->State.TickCount;
  clock->Advance(-3600 * 1000);
  QElapsedTimer elapsed;
  elapsed.start();
  int ticks = 0, last = window->State.TickCount;
  while (elapsed.elapsed() < 2600) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    if (window->State.TickCount != last) {
      ++ticks;
      last = window->State.TickCount;
    }
  }
  window->Timer->stop();
  EXPECT_GE(ticks, 2) << before;
  Score("clock step: the 1-second timer keeps firing", std::to_string(ticks) + " ticks in 2.6 s", ">= 2", ticks >= 2);
}

}  // namespace
