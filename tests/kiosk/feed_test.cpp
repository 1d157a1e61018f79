#include "tests/kiosk/kiosk_fixture.h"

namespace {

using namespace kiosk;
using testsupport::KioskTest;

TEST(DatagramDecision, FiltersColoursAndOwnCapcode) {
  config::tKioskSettings all;
  all.ShowCFS = all.ShowMFS = all.ShowMSC = all.ShowSAAS = all.ShowRVU = all.ShowUnknown = all.ShowHeartBeat = true;
  all.CapCode = 1234;
  config::tKioskSettings none;
  none.CapCode = 1234;
  config::tKioskSettings heartbeatOnly = none;
  heartbeatOnly.ShowHeartBeat = true;
  config::tKioskSettings mscOnly = none;
  mscOnly.ShowMSC = true;
  config::tKioskSettings capcodeZero = none;
  capcodeZero.CapCode = 0;
  config::tKioskSettings negative = all;
  negative.CapCode = -5;

  struct Case {
    const char* name;
    const config::tKioskSettings& settings;
    std::string text;
    bool show;
    std::uint32_t colour;
    bool own;
  } cases[] = {
      {"CFS line", all, "[CFS:0451002] GRASS FIRE", true, kWhite, false},
      {"MFS line", all, "[MFS:0123456] ALARM", true, kWhite, false},
      {"SAAS line", all, "[SAAS:0771234] P1", true, kWhite, false},
      {"Unknown line", all, "[Unknown:0000000] ?", true, kWhite, false},
      {"RVU line is yellow", all, "[RVU:9999] RESCUE", true, kYellow, false},
      {"own capcode is green before yellow", all, "[RVU:1234] RESCUE P1", true, kGreen, true},
      {"own capcode in another tag", all, "[CFS:1234] FIRE", true, kGreen, true},
      {"no tag is never shown", all, "hello :1234] there", false, kGreen, true},
      {"filters off", none, "[CFS:0451002] GRASS FIRE", false, kWhite, false},
      {"own page with its switch off still counts", none, "[RVU:1234] RESCUE", false, kGreen, true},
      {"heartbeat by its own switch", heartbeatOnly, "[MSC:HEARTBEAT] 13:45", true, kWhite, false},
      {"heartbeat through MSC", mscOnly, "[MSC:HEARTBEAT] 13:45", true, kWhite, false},
      {"a command is never shown", all, "CMD:[CFS:1234]", false, kGreen, true},
      {"lower-case command is a pager line", all, "cmd:SCROLL [CFS", true, kWhite, false},
      {"CMD: inside a line", all, "[CFS:1] CMD:SCROLL", true, kWhite, false},
      {"empty datagram", all, "", false, kWhite, false},
      {"capcode 0 marker", capcodeZero, "[X:0] 10:0] y", false, kGreen, true},
      {"negative capcode", negative, "[RVU:-5] x", true, kGreen, true},
      {"case counts", all, "[cfs:1] [rvu:1]", false, kWhite, false},
  };
  for (const auto& c : cases) {
    const DatagramView view = DecideDatagram(c.text, c.settings);
    EXPECT_EQ(view.show, c.show) << c.name;
    EXPECT_EQ(view.colour, c.colour) << c.name;
    EXPECT_EQ(view.ownCapcode, c.own) << c.name;
  }
}

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
