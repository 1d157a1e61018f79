// The alert's decisions: which datagram is heard, what is read out, the
// repeat window, the queue's bound, the hourly problem line, the screen.
#include <gtest/gtest.h>

#include <string>

#include "config/kiosk_settings.h"
#include "config/station_settings.h"
#include "kiosk/alert_logic.h"

namespace {

using namespace kiosk;

constexpr platform::TDateTime kSecond = 1.0 / 86400.0;
constexpr platform::TDateTime kNoon = 46000.5;

config::tKioskSettings Settings(std::int32_t capCode, bool showAll) {
  config::tKioskSettings s;
  s.CapCode = capCode;
  s.ShowCFS = s.ShowMFS = s.ShowMSC = s.ShowSAAS = s.ShowRVU = s.ShowUnknown = s.ShowHeartBeat = showAll;
  return s;
}

AlertDecision Decide(AlertMemory& memory, const std::string& text, bool alertOn = true, std::size_t pending = 0,
                     platform::TDateTime now = kNoon, bool showAll = true) {
  const config::tKioskSettings s = Settings(1234, showAll);
  return DecideAlert(memory, text, DecideDatagram(text, s), alertOn, s.CapCode, pending, now);
}

TEST(AlertDecision, OwnPagesThatAreNoCommandsWhetherShownOrNot) {
  struct Case {
    std::string text;
    bool alertOn;
    bool showAll;
    AlertDecision decision;
  } cases[] = {
      {"12:00:01 [RVU:1234] MVA HWY 1", true, true, AlertDecision::Start},
      {"12:00:01 [RVU:1234] MVA HWY 1", true, false, AlertDecision::Start},  // hidden by the filters
      {"12:00:01 [CFS:1234] STRUCTURE FIRE", true, true, AlertDecision::Start},
      {"12:00:01 [RVU:1234]", true, true, AlertDecision::Start},               // a tone-only page
      {"12:00:01 [RVU:1234] MVA HWY 1", false, true, AlertDecision::None},     // the alert off
      {"12:00:01 [RVU:12345] MVA HWY 1", true, true, AlertDecision::None},     // another capcode
      {"12:00:01 [RVU:4321] MVA HWY 1", true, true, AlertDecision::None},
      {"CMD:SCREEN0 [RVU:1234]", true, true, AlertDecision::None},             // a command is never a page
      {"CMD:TOGGLESCREENSAVER", true, true, AlertDecision::None},
      {" CMD:X [RVU:1234] Y", true, true, AlertDecision::Start},               // the gateway's blank in front
      {"", true, true, AlertDecision::None},
  };
  for (const auto& c : cases) {
    AlertMemory memory;
    EXPECT_EQ(Decide(memory, c.text, c.alertOn, 0, kNoon, c.showAll), c.decision) << c.text;
  }
}

TEST(AlertDecision, TheSamePageWithinAMinuteSoundsOnce) {
  AlertMemory memory;
  EXPECT_EQ(Decide(memory, "12:00:01 [RVU:1234] MVA HWY 1"), AlertDecision::Start);
  // Another transmitter's copy: another time stamp, the same page.
  EXPECT_EQ(Decide(memory, "12:00:03 [RVU:1234] MVA HWY 1", true, 0, kNoon + 2 * kSecond), AlertDecision::Repeat);
  EXPECT_EQ(Decide(memory, "12:00:03 [RVU:1234] MVA HWY 2", true, 0, kNoon + 2 * kSecond), AlertDecision::Start);
  EXPECT_EQ(Decide(memory, "12:01:01 [RVU:1234] MVA HWY 1", true, 0, kNoon + 60 * kSecond), AlertDecision::Repeat);
  EXPECT_EQ(Decide(memory, "12:01:02 [RVU:1234] MVA HWY 1", true, 0, kNoon + 61 * kSecond), AlertDecision::Start);
  // A clock set back forgets what lies ahead of it.
  EXPECT_EQ(Decide(memory, "11:00:00 [RVU:1234] MVA HWY 1", true, 0, kNoon - 3600 * kSecond), AlertDecision::Start);
}

TEST(AlertDecision, PagesRememberedAtTheBoundAndOnePast) {
  // Every page of a full memory is still known; one more pushes the oldest out.
  for (const std::size_t pages : {kAlertPagesRemembered, kAlertPagesRemembered + 1}) {
    AlertMemory memory;
    for (std::size_t i = 0; i < pages; ++i)
      ASSERT_EQ(Decide(memory, "[RVU:1234] PAGE " + std::to_string(i)), AlertDecision::Start);
    EXPECT_LE(memory.pages.size(), kAlertPagesRemembered);
    EXPECT_EQ(Decide(memory, "[RVU:1234] PAGE 0"), pages == kAlertPagesRemembered ? AlertDecision::Repeat
                                                                                    : AlertDecision::Start)
        << pages;
  }
}

TEST(AlertDecision, QueueAtTheBoundAndOnePast) {
  // One sounds and kAlertsQueued - 1 wait: one more may wait. One sounds and
  // kAlertsQueued wait: the next is not heard, and not remembered either.
  AlertMemory memory;
  EXPECT_EQ(Decide(memory, "[RVU:1234] A", true, kAlertsQueued), AlertDecision::Start);
  EXPECT_EQ(Decide(memory, "[RVU:1234] B", true, kAlertsQueued + 1), AlertDecision::QueueFull);
  EXPECT_EQ(Decide(memory, "[RVU:1234] B", true, 0), AlertDecision::Start);
}

TEST(AlertSpeech, TheTextAfterTheTag) {
  struct Case {
    std::string line;
    std::string spoken;
  } cases[] = {
      {"12:00:01 [RVU:1234] MVA HWY 1 P1", "MVA HWY 1 P1"},
      {"12:00:01 [RVU:1234]   two blanks  ", "two blanks"},
      {"12:00:01 [RVU:1234] line\r\nbreak\r\n", "line  break"},
      {"12:00:01 [RVU:1234]", ""},
      {"no tag at all", "no tag at all"},
      {"[CFS:0451003] [RVU:1234] second tag", "second tag"},
  };
  for (const auto& c : cases) EXPECT_EQ(PageSpeechText(c.line, 1234), c.spoken) << c.line;
}

TEST(PronunciationTable, WholeWordsInAnyCase) {
  const auto table = config::ParsePronunciationTable(
      "# abbreviation  spoken form\nRD road\nst   street\nP1 priority one\nMVA motor vehicle accident\n");
  ASSERT_TRUE(table.problems.empty());
  struct Case {
    std::string text;
    std::string spoken;
  } cases[] = {
      {"12 MAIN RD", "12 MAIN road"},
      {"12 main rd", "12 main road"},                     // any case
      {"Rd", "road"},
      {"RDX ROAD BIRD ST2", "RDX ROAD BIRD ST2"},          // whole words only
      {"MAIN RD, ST. KILDA", "MAIN road, street. KILDA"},  // punctuation next to a word stays
      {"MVA-P1 (RD)", "motor vehicle accident-priority one (road)"},
      {"P1/P2", "priority one/P2"},
      {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(SpeakableText(c.text, table.entries), c.spoken) << c.text;
  // An empty table leaves every text as it is.
  EXPECT_EQ(SpeakableText("MAIN RD, P1", {}), "MAIN RD, P1");
  EXPECT_TRUE(config::ParsePronunciationTable("").entries.empty());
}

TEST(PronunciationTable, MalformedLinesAreReportedWithTheirNumbers) {
  const auto table = config::ParsePronunciationTable("RD road\nHWY\n\n# a comment\nST. street\nRD Road Drive\nAVE avenue # of trees\n");
  EXPECT_EQ(table.problems, (std::vector<std::string>{"line 2: \"HWY\" has no spoken form",
                                                      "line 5: \"ST.\" is not one word of letters and digits"}));
  // The good lines stand; a later line for a word replaces the earlier.
  EXPECT_EQ(table.entries, (std::vector<config::PronunciationEntry>{{"RD", "Road Drive"}, {"AVE", "avenue"}}));
}

TEST(PronunciationTable, TheShippedTableReadsCleanly) {
  const auto table = config::ReadPronunciationTable(KIOSK_SOURCE_DIR "/deploy/rvukiosk/pronunciation.conf");
  EXPECT_TRUE(table.problems.empty());
  EXPECT_EQ(SpeakableText("MVA HWY 1 RESP P1", table.entries),
            "motor vehicle accident highway 1 respond priority one");
  const auto missing = config::ReadPronunciationTable("/nonexistent/pronunciation.conf");
  EXPECT_TRUE(missing.entries.empty());
  EXPECT_EQ(missing.problems.size(), 1u);
}

TEST(AlertProblems, LoggedOnceAnHourWithWhatWasHeldBack) {
  ProblemThrottle throttle;
  const ProblemNote first = NoteProblems(throttle, kNoon, 2);
  EXPECT_TRUE(first.log);
  EXPECT_EQ(first.count, 2);
  EXPECT_FALSE(NoteProblems(throttle, kNoon + 60 * kSecond, 1).log);
  EXPECT_FALSE(NoteProblems(throttle, kNoon + kAlertProblemLogInterval - kSecond, 3).log);
  const ProblemNote next = NoteProblems(throttle, kNoon + kAlertProblemLogInterval, 1);
  EXPECT_TRUE(next.log);
  EXPECT_EQ(next.count, 5);
  EXPECT_TRUE(NoteProblems(throttle, kNoon, 1).log);  // the clock set back
}

TEST(AlertScreenPower, OnForOwnPagesAndWakingStandbyOnlyIfWanted) {
  struct Case {
    config::ScreenPowerWay way;
    bool standby;
    ScreenEvent event;
    ScreenPowerChange change;
  } cases[] = {
      {config::ScreenPowerWay::None, true, ScreenEvent::OwnPage, ScreenPowerChange::None},
      {config::ScreenPowerWay::None, true, ScreenEvent::WentDark, ScreenPowerChange::None},
      {config::ScreenPowerWay::Cec, false, ScreenEvent::OwnPage, ScreenPowerChange::On},
      {config::ScreenPowerWay::Cec, false, ScreenEvent::Woke, ScreenPowerChange::On},
      {config::ScreenPowerWay::Cec, false, ScreenEvent::WentDark, ScreenPowerChange::None},
      {config::ScreenPowerWay::Ddc, true, ScreenEvent::WentDark, ScreenPowerChange::Standby},
      {config::ScreenPowerWay::Ddc, true, ScreenEvent::Woke, ScreenPowerChange::On},
  };
  for (const auto& c : cases) {
    config::AlertSettings s;
    s.screenPower = c.way;
    s.standbyWhileDark = c.standby;
    EXPECT_EQ(DecideScreenPower(s, c.event), c.change) << static_cast<int>(c.way) << " " << static_cast<int>(c.event);
  }
}

}  // namespace
