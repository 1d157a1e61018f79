// What a tick does, decided without a window: the count, the clock's caption,
// the lost-comms line, the look, the burn-in move and the rotation.
#include <gtest/gtest.h>

#include "kiosk/kiosk_logic.h"
#include "platform/datetime.h"

namespace {

using namespace kiosk;
using platform::EncodeDateTime;
using platform::kOneHour;
using platform::kOneMinute;

const platform::TDateTime kNow = EncodeDateTime({2026, 12, 9, 13, 45, 10, 123});
constexpr platform::TDateTime kSecond = 1.0 / 86400;

TEST(TickPlan, CountClockAndDueTicks) {
  struct Case {
    int before, after;
    bool due;
  } cases[] = {{-1, 0, true}, {0, 1, false}, {13, 14, false}, {14, 0, true}};
  for (const auto& c : cases) {
    const TickPlan plan = PlanTick({kNow, c.before, kNow, false, kNow + kOneHour, true});
    EXPECT_EQ(plan.tickCount, c.after) << c.before;
    EXPECT_EQ(plan.due, c.due) << c.before;
    EXPECT_EQ(plan.caption, "13:45:10");
  }
}

TEST(TickPlan, LostCommsOncePerSilenceOfMoreThanAMinute) {
  struct Case {
    platform::TDateTime silent;
    bool reported;
    bool line;
  } cases[] = {
      {60 * kSecond, false, false},  // exactly a minute: not yet
      {61 * kSecond, false, true},
      {61 * kSecond, true, false},   // said already for this silence
      {kOneHour, false, true},
  };
  for (const auto& c : cases) {
    const TickPlan plan = PlanTick({kNow, 3, kNow - c.silent, c.reported, kNow + kOneHour, true});
    EXPECT_EQ(!plan.lostComms.empty(), c.line) << c.silent * 86400;
    if (c.line) {
      EXPECT_EQ(plan.lostComms, "Lost comms: " + platform::DateTimeToStr(kNow - c.silent));
    }
  }
}

// The look switches when the time and the look on the screen disagree; the
// clock moves on due ticks while dark.
TEST(TickPlan, LookAndBurnInGuard) {
  struct Case {
    const char* what;
    platform::TDateTime until;
    bool listShown;
    int tickCount;
    LookChange look;
    bool moveClock;
  } cases[] = {
      {"awake, shown", kNow + kSecond, true, 14, LookChange::None, false},
      {"deadline passed, still shown", kNow - kSecond, true, 3, LookChange::Dark, false},
      {"deadline passed on a due tick", kNow - kSecond, true, 14, LookChange::Dark, true},
      {"dark, shown dark", kNow - kOneHour, false, 14, LookChange::None, true},
      {"deadline moved on, still dark", kNow + kOneHour, false, 14, LookChange::Awake, false},
      {"at the deadline itself: neither", kNow, false, 14, LookChange::None, false},
      {"at the deadline, shown", kNow, true, 5, LookChange::None, false},
  };
  for (const auto& c : cases) {
    const TickPlan plan = PlanTick({kNow, c.tickCount, kNow, false, c.until, c.listShown});
    EXPECT_EQ(plan.look, c.look) << c.what;
    EXPECT_EQ(plan.moveClock, c.moveClock) << c.what;
  }
}

TEST(ClockPlace, InsideTheWindowWhateverTheDraw) {
  struct Case {
    int w, h, cw, ch;
  } cases[] = {{1280, 1024, 300, 78}, {300, 78, 300, 78}, {100, 50, 300, 78}};
  for (const auto& c : cases) {
    for (const bool highest : {false, true}) {
      auto draw = [highest](int low, int high) { return highest ? high : low; };
      const auto [left, top] = PlaceClock(c.w, c.h, c.cw, c.ch, draw);
      EXPECT_GE(left, 0);
      EXPECT_GE(top, 0);
      EXPECT_LE(left, std::max(0, c.w - c.cw - 1)) << c.w;
      EXPECT_LE(top, std::max(0, c.h - c.ch - 1)) << c.h;
    }
  }
}

TEST(RotationPlan, TickerNewIncidentHoldAndSteps) {
  const std::string longJ(1 << 20, 'J'), longerJ = longJ + "!", changedJ = "!" + longJ;
  const std::string_view shownJ = LabelText(longJ, kTickerMaxChars);
  struct Case {
    const char* what;
    RotationInput in;
    bool newTicker, newIncident, showScreen;
    Screen screen;
    int nextStep;
  } cases[] = {
      {"step 0, no hold", {kNow, "", "", 0, "", false, "", kNow - kSecond, 0}, false, false, true, Screen::RouteMap, 1},
      {"step 3 with pictures", {kNow, "", "", 12, "", false, "", 0, 3}, false, false, true, Screen::Picture, 4},
      {"step 4 without", {kNow, "", "", 0, "", false, "", 0, 4}, false, false, true, Screen::Chart0, 0},
      {"held", {kNow, "", "", 0, "", false, "", kNow + kOneMinute, 2}, false, false, false, Screen::RouteMap, 2},
      {"held until now itself", {kNow, "", "", 0, "", false, "", kNow, 2}, false, false, false, Screen::RouteMap, 2},
      {"new incident overrides the hold", {kNow, "INC 2", "", 0, "", false, "INC 1", kNow + kOneHour, 3}, false,
       true, true, Screen::RouteMap, 1},
      {"the same page A", {kNow, "INC 1", "", 0, "", false, "INC 1", 0, 1}, false, false, true, Screen::Weather, 2},
      {"an empty page A is no incident", {kNow, "", "", 0, "", false, "INC 1", kNow + kOneHour, 1}, false, false,
       false, Screen::RouteMap, 1},
      {"new ticker", {kNow, "", "B", 0, "A", false, "", kNow + kOneHour, 0}, true, false, false, Screen::RouteMap, 0},
      {"ticker case counts", {kNow, "", "a", 0, "A", false, "", kNow + kOneHour, 0}, true, false, false,
       Screen::RouteMap, 0},
      {"debug keeps the ticker", {kNow, "", "B", 0, "A", true, "", kNow + kOneHour, 0}, false, false, false,
       Screen::RouteMap, 0},
      {"a failed poll blanks it", {kNow, "", "", 0, "A", false, "", kNow + kOneHour, 0}, true, false, false,
       Screen::RouteMap, 0},
      // The ticker shows a long page J cut: the same page J is no new ticker,
      // and only a change within what it shows is.
      {"long ticker as shown", {kNow, "", longJ, 0, shownJ, false, "", kNow + kOneHour, 0},
       false, false, false, Screen::RouteMap, 0},
      {"long ticker, change past what is shown",
       {kNow, "", longerJ, 0, shownJ, false, "", kNow + kOneHour, 0}, false, false,
       false, Screen::RouteMap, 0},
      {"long ticker, change within it",
       {kNow, "", changedJ, 0, shownJ, false, "", kNow + kOneHour, 0}, true, false,
       false, Screen::RouteMap, 0},
  };
  for (const auto& c : cases) {
    const RotationPlan plan = PlanRotation(c.in);
    EXPECT_EQ(plan.newTicker, c.newTicker) << c.what;
    EXPECT_EQ(plan.newIncident, c.newIncident) << c.what;
    EXPECT_EQ(plan.showScreen, c.showScreen) << c.what;
    if (c.showScreen) {
      EXPECT_EQ(plan.screen, c.screen) << c.what;
    }
    EXPECT_EQ(plan.nextStep, c.nextStep) << c.what;
  }
}

TEST(LabelText, CutToWhatTheLabelCanShow) {
  EXPECT_EQ(kTickerMaxChars, 701u);
  EXPECT_EQ(kSummaryCellMaxChars, 30u);
  for (const std::size_t bound : {kTickerMaxChars, kSummaryCellMaxChars}) {
    EXPECT_EQ(LabelText(std::string(bound, 'x'), bound), std::string(bound, 'x'));
    EXPECT_EQ(LabelText(std::string(bound, 'x') + "y", bound), std::string(bound, 'x'));
    EXPECT_EQ(LabelText("short", bound), "short");
  }
}

}  // namespace
