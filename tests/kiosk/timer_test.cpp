#include <QFrame>
#include <set>

#include "tests/kiosk/screens_fixture.h"

namespace {

using namespace kiosk;
using testsupport::ScreensTest;

class TimerTest : public ScreensTest {
 protected:
  void SetUp() override {
    ScreensTest::SetUp();
    ServeFeed("", "", 0);
    ResizeWindow(1280, 1024);
  }
  size_t LostCommsLines() const {
    size_t n = 0;
    for (const auto& line : Lines()) n += line.find(" Lost comms: ") != std::string::npos;
    return n;
  }
};

TEST_F(TimerTest, TheClockShowsNowOnEveryTick) {
  Tick(1);
  EXPECT_EQ(window->lblTime->text(), QStringLiteral("13:45:11"));
  EXPECT_EQ(window->lblTime->size(), window->lblTime->sizeHint());
  Tick(2);
  EXPECT_EQ(window->lblTime->text(), QStringLiteral("13:45:13"));
}

TEST_F(TimerTest, LostCommsIsWrittenOncePerSilence) {
  // Start-up counts as the last datagram: 13:45:10.123.
  Tick(60);  // 60 seconds: not more than a minute
  EXPECT_EQ(LostCommsLines(), 0u);
  Tick(1);
  ASSERT_EQ(LostCommsLines(), 1u);
  EXPECT_EQ(Lines().back(), "13:46:11 Lost comms: 09/12/2026 13:45:10");
  EXPECT_TRUE(window->State.CommsLostReported);
  Tick(120);
  EXPECT_EQ(LostCommsLines(), 1u);

  window->IdUDPServer1UDPRead("[MSC:HEARTBEAT]");
  EXPECT_FALSE(window->State.CommsLostReported);
  Tick(60);
  EXPECT_EQ(LostCommsLines(), 1u);
  Tick(1);
  EXPECT_EQ(LostCommsLines(), 2u);
}

TEST_F(TimerTest, DarkAtTheDeadlineAndAwakeAgainWhenItMoves) {
  clock->Advance(3600 * 1000 - 2000);
  Tick(1);  // a second before the deadline
  EXPECT_FALSE(window->rchMessages->isHidden());
  Tick(2);
  EXPECT_TRUE(window->rchMessages->isHidden());
  EXPECT_TRUE(window->lblPageJ->isHidden());

  // While dark the clock runs and jumps about inside the window on every due tick.
  std::set<std::pair<int, int>> places;
  for (int period = 0; period < 20; ++period) {
    Tick(15);
    const QRect clockRect = window->lblTime->geometry();
    EXPECT_TRUE(window->rect().contains(clockRect)) << clockRect.x() << "," << clockRect.y();
    places.insert({clockRect.x(), clockRect.y()});
  }
  EXPECT_GT(places.size(), 10u);
  EXPECT_EQ(window->lblTime->text().toStdString(), platform::FormatDateTime("hh:nn:ss", platform::Now()));

  // A page to the own capcode pushes the deadline on; the next tick wakes the kiosk.
  config::KioskSettings.CapCode = 1234;
  window->IdUDPServer1UDPRead("[RVU:1234] RESCUE");
  EXPECT_TRUE(window->rchMessages->isHidden());
  Tick(1);
  EXPECT_FALSE(window->rchMessages->isHidden());
  EXPECT_EQ(window->lblTime->pos(), QPoint(980, 944));
}

TEST_F(TimerTest, ScrollMakesTheNextTickDue) {
  Tick(1);  // due: poll
  const size_t polls = server.Requests().size();
  Tick(5);
  EXPECT_EQ(server.Requests().size(), polls);
  window->IdUDPServer1UDPRead("CMD:SCROLL");
  EXPECT_EQ(window->State.TickCount, -1);
  EXPECT_TRUE(window->Timer->isActive());
  Tick(1);
  EXPECT_EQ(server.Requests().size(), polls + 1);
}

}  // namespace
