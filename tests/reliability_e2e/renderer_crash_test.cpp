// The browser view after its page renderer is killed: a reload of the same
// address, and after three quick deaths in a row the blank page, a log entry,
// and the rotation going on.
#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>

#include "tests/reliability_e2e/station.h"

namespace reliability {
namespace {

// Kills every page renderer of the kiosk; the pids killed.
std::vector<pid_t> KillRenderers(Station& station) {
  std::vector<pid_t> killed;
  station.RunUntil([&] { return !(killed = RendererProcesses(station.Kiosk().pid())).empty(); }, 5);
  for (pid_t pid : killed) kill(pid, SIGKILL);
  return killed;
}

TEST(RendererCrash, ReloadsThenGivesUpAfterThreeQuickDeathsAndTheRotationGoesOn) {
  Station station;
  ASSERT_TRUE(station.WaitUntilUp());

  // The weather page, with the rotation stopped so that the address stays.
  size_t mark = station.Mark();
  station.Send("CMD:SCREEN1");
  ASSERT_TRUE(station.RunUntil([&] { return station.FindSince(mark, "weather") >= 0; }, 10));
  station.RunFor(2);
  const int notesBefore = station.LogCount(30000, "[Function=Main.WebBrowser]");

  // The first death is not a quick one; three more within 10 s of each reload make it give up.
  std::vector<double> reloadSeconds;
  bool gaveUpEarly = false;
  for (int death = 1; death <= 4; ++death) {
    mark = station.Mark();
    const std::vector<pid_t> killed = KillRenderers(station);
    ASSERT_FALSE(killed.empty()) << "no renderer process at death " << death;
    const auto killedAt = SteadyClock::now();
    const bool reloaded = station.RunUntil([&] { return station.FindSince(mark, "weather") >= 0; }, death < 4 ? 5 : 3);
    if (death < 4) {
      if (!reloaded) {
        gaveUpEarly = true;
        ADD_FAILURE() << "no reload within 5 s after death " << death;
        break;
      }
      const int index = station.FindSince(mark, "weather");
      reloadSeconds.push_back(
          std::chrono::duration<double>(station.Requests()[static_cast<size_t>(index)].at - killedAt).count());
      // The new renderer takes the page, well within the 10 s that make the next death a quick one.
      station.RunUntil(
          [&] {
            const auto now = RendererProcesses(station.Kiosk().pid());
            return std::any_of(now.begin(), now.end(), [&](pid_t p) {
              return std::find(killed.begin(), killed.end(), p) == killed.end();
            });
          },
          3);
      station.RunFor(0.5);
    } else {
      EXPECT_FALSE(reloaded) << "the page was loaded again after the fourth death";
    }
  }
  const double slowest = reloadSeconds.empty() ? 99 : *std::max_element(reloadSeconds.begin(), reloadSeconds.end());
  Score("e2e.renderer.reload_after_kill", Fixed(slowest, 1) + " s (slowest of " + std::to_string(reloadSeconds.size()) + ")",
        "<= 5 s", !gaveUpEarly && reloadSeconds.size() == 3 && slowest <= 5);

  // Given up: the blank black page and one log entry naming the address.
  station.RunFor(2);
  const QImage blank = station.Screen();
  station.SaveScreen("renderer-gave-up");
  const int lit = Count(blank, kBrowserArea, [](const QColor& c) { return !IsBlack(c); });
  const int notes = station.LogCount(30000, "[Function=Main.WebBrowser]") - notesBefore;
  const int notesWithAddress = station.LogCount(30000, "/rvu/bom.htm");
  EXPECT_LT(lit, 200) << "the browser area is not blank";
  EXPECT_EQ(notes, 1);
  EXPECT_GE(notesWithAddress, 1);
  EXPECT_TRUE(station.Kiosk().Running());

  // The rotation goes on and the next browser screen is drawn again.
  mark = station.Mark();
  std::string next;
  for (int step = 0; step < 3 && next.empty(); ++step) {
    const size_t stepMark = station.Mark();
    station.Send("CMD:SCROLL");
    station.RunUntil(
        [&] {
          for (size_t i = stepMark; i < station.Requests().size(); ++i) {
            const std::string& kind = station.Requests()[i].kind;
            if (IsScreenKind(kind) && kind != "summary") next = kind;
          }
          return !next.empty();
        },
        5);
  }
  ASSERT_FALSE(next.empty()) << "no browser screen after the renderer gave up";
  bool drawn = station.RunUntil(
      [&] { return Count(station.Screen(kBrowserArea), {0, 0, kBrowserArea.width, kBrowserArea.height},
                         [](const QColor& c) { return !IsBlack(c); }) > 20000; },
      10);
  station.SaveScreen("renderer-next-screen");
  EXPECT_TRUE(drawn) << "the " << next << " screen was not drawn";
  Score("e2e.renderer.give_up_after_three_quick_deaths",
        "blank area " + std::to_string(lit) + " lit px, " + std::to_string(notes) + " log entry, next screen (" + next +
            ") " + (drawn ? "drawn" : "not drawn"),
        "blank, 1 entry, next screen drawn", lit < 200 && notes == 1 && drawn);
  station.KeepArtifacts("renderer");
}

}  // namespace
}  // namespace reliability
