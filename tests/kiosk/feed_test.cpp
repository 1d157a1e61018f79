#include "tests/kiosk/kiosk_fixture.h"

namespace {

using namespace kiosk;
using testsupport::KioskTest;

class FeedHandlerTest : public KioskTest {};

TEST_F(FeedHandlerTest, EveryDatagramFeedsTheWatchdog) {
  config::KioskSettings.CapCode = 1234;
  config::KioskSettings.ShowCFS = false;
  window->State.CommsLostReported = true;
  const auto lines = window->rchMessages->LineCount();
  clock->Advance(5000);
  window->IdUDPServer1UDPRead("");
  EXPECT_DOUBLE_EQ(window->State.LastPacketTime, platform::Now());
  EXPECT_FALSE(window->State.CommsLostReported);
  EXPECT_EQ(window->rchMessages->LineCount(), lines);

  // A page to the own capcode whose switch is off: not shown, but it holds the screen saver off.
  clock->Advance(20 * 60 * 1000);
  window->IdUDPServer1UDPRead("[CFS:1234] STRUCTURE FIRE");
  EXPECT_DOUBLE_EQ(window->State.ScreenSaverUntil, platform::Now() + platform::kOneHour);
  EXPECT_EQ(window->rchMessages->LineCount(), lines);

  window->IdUDPServer1UDPRead("[RVU:1234] RESCUE");
  ASSERT_EQ(window->rchMessages->LineCount(), lines + 1);
  EXPECT_EQ(Lines().back(), "14:05:15 [RVU:1234] RESCUE");
  EXPECT_EQ(window->rchMessages->Lines().back().colour, QColor(0, 128, 0));
}

TEST_F(FeedHandlerTest, DebugModeShowsEveryDatagramInTheTicker) {
  config::KioskSettings.DebugMode = true;
  window->IdUDPServer1UDPRead("CMD:ANYTHING");
  EXPECT_EQ(window->lblPageJ->text(), QStringLiteral("CMD:ANYTHING"));
  window->IdUDPServer1UDPRead("");
  EXPECT_TRUE(window->lblPageJ->text().isEmpty());
}

TEST_F(FeedHandlerTest, BytesAreShownOneForOne) {
  window->rchMessages->resize(280, 960);
  window->IdUDPServer1UDPRead(std::string("[RVU:1] caf\xE9 \x01", 14));
  EXPECT_EQ(window->rchMessages->Lines().back().text, QString::fromLatin1("13:45:10 [RVU:1] caf\xE9 \x01", 23));
}

}  // namespace
