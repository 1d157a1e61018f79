#include <unistd.h>

#include <QFrame>
#include <QTimer>
#include <functional>

#include "tests/kiosk/screens_fixture.h"

namespace {

using namespace kiosk;
using testsupport::ScreensTest;

const char* const kAnswer =
    "{\"result\":[{\"id\":P1,\"REC\":3,\"ACK\":2,\"MOB\":2,\"CSD\":1,\"TOT\":3},"
    "{\"id\":P2,\"REC\":5,\"ACK\":5,\"MOB\":4,\"TOT\":5},"
    "{\"id\":P3,\"REC\":\"7\",\"ACK\": 6,\"MOB\":6,\"CSD\":6,\"TOT\":7},"
    "{\"id\":P7,\"REC\":0,\"ACK\":0,\"MOB\":0,\"CSD\":0,\"TOT\":0}"
    "{\"id\":TOT,\"REC\":15,\"ACK\":13,\"MOB\":12,\"CSD\":7,\"TOT\":15}],"
    "\"again\":{\"id\":P1,\"REC\":99}}";

class SummaryTest : public ScreensTest {
 protected:
  void SetUp() override {
    ScreensTest::SetUp();
    ResizeWindow(1920, 1080);
  }
  std::string Cell(int row, int column) const {
    return window->lblSummaryCells[static_cast<size_t>(row)][static_cast<size_t>(column)]->text().toStdString();
  }
  // The window's parts that can be seen. The key box is left out: it is 1 x 1
  // pixel, black on black, and only there to hold the focus.
  std::vector<QWidget*> SeenParts() const {
    std::vector<QWidget*> seen;
    for (QWidget* child : window->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
      if (child->isVisibleTo(window.get()) && child != window->txtCaptureKeystrokes) seen.push_back(child);
    return seen;
  }
  // Runs the rotation to its summary step: the next due tick shows it.
  void TickToTheSummaryStep() {
    ServeFeed("", "", 0);
    server.Answer("/rvu/rvuisapi.dll/json", kAnswer);
    window->State.ScreenStep = 2;
    window->State.TickCount = -1;
    Tick(1);
    ASSERT_EQ(window->State.ScreenStep, 3);
    ASSERT_EQ(RequestPaths().back(), "/rvu/rvuisapi.dll/json");
  }
};

TEST_F(SummaryTest, FillsTheGridOverTheBrowserPanel) {
  server.Answer("/rvu/rvuisapi.dll/json", kAnswer);
  window->ShowTaskSummary();
  EXPECT_EQ(server.Requests(), std::vector<std::string>{"/rvu/rvuisapi.dll/json?method=getsummary&rvuunit=JUX"
                                                        "&days=1&guid=3C9D2B70-5E41-4A8F-9B26-D17E0A4C58F3"});
  EXPECT_EQ(window->lblTitle->text(), QStringLiteral("TASK SUMMARY FOR JUX (PAST 1 DAYS)"));
  EXPECT_EQ(Cell(0, 0), "3");
  EXPECT_EQ(Cell(1, 3), "");
  EXPECT_EQ(Cell(4, 4), "15");
  EXPECT_FALSE(window->pnlSummary->isHidden());
  EXPECT_EQ(window->pnlSummary->geometry(), window->pnlWebBrowser->geometry());
  EXPECT_TRUE(window->Timer->isActive());

  // The grid keeps its designed arrangement, centred in the panel.
  const QRect first = window->lblSummaryCells[0][0]->geometry();
  const QRect last = window->lblSummaryCells[4][4]->geometry();
  EXPECT_EQ(first.size(), QSize(80, 70));
  EXPECT_EQ(last.topLeft() - first.topLeft(), QPoint(352, 320));
  const QRect grid = window->lblSummaryCells[0][0]->parentWidget()->geometry();
  const int left = grid.x() + 80, right = window->pnlSummary->width() - (grid.x() + 556);
  EXPECT_LE(std::abs(left - right), 1);

  // Any other screen hides it.
  window->ShowWeatherPage();
  EXPECT_TRUE(window->pnlSummary->isHidden());
}

// A cell takes at most what it can show: a value of most of a megabyte is cut
// before it reaches the label; one that fits is shown whole.
TEST_F(SummaryTest, AHugeValueIsCutToWhatTheCellCanShow) {
  const std::string huge(900000, '9');
  const std::string fits(kSummaryCellMaxChars, '8');
  server.Answer("/rvu/rvuisapi.dll/json",
                "{\"id\":P1,\"REC\":" + huge + ",\"ACK\":" + fits + ",\"MOB\":" + fits + "7}");
  window->ShowTaskSummary();
  EXPECT_EQ(Cell(0, 0), huge.substr(0, kSummaryCellMaxChars));
  EXPECT_EQ(Cell(0, 1), fits);
  EXPECT_EQ(Cell(0, 2), fits);  // one past the bound: cut
}

TEST_F(SummaryTest, AFailedRequestLeavesTheLabelsAndRestartsTheTimer) {
  server.Answer("/rvu/rvuisapi.dll/json", kAnswer);
  window->ShowTaskSummary();
  window->Timer->stop();
  struct Case {
    std::string host;
  } cases[] = {{"elsewhere.test:8080"}, {Host()}};
  server.Answer("/rvu/rvuisapi.dll/json", "boom", 500);
  const std::string log = dir.File("bin/rvukiosk-20261209.CSV");
  std::filesystem::remove(log);  // the start-up notes
  for (const auto& c : cases) {
    service::ServiceSettings.WWWHost = c.host;
    window->ShowTaskSummary();
    EXPECT_EQ(Cell(0, 0), "3") << c.host;
    EXPECT_EQ(window->lblTitle->text(), QStringLiteral("TASK SUMMARY FOR JUX (PAST 1 DAYS)"));
    EXPECT_TRUE(window->Timer->isActive()) << c.host;
  }
  // Silent: no line and no log entry.
  EXPECT_EQ(window->rchMessages->LineCount(), 1u);
  EXPECT_FALSE(std::filesystem::exists(log)) << testsupport::ReadWholeFile(log);
}

TEST_F(SummaryTest, TheTitleStaysAsDesignedUntilASuccess) {
  server.Answer("/rvu/rvuisapi.dll/json", "x", 404);
  window->ShowTaskSummary();
  EXPECT_EQ(window->lblTitle->text(), QStringLiteral("Tasks stats"));
  EXPECT_EQ(Cell(2, 2), "0");
}

TEST_F(SummaryTest, WithoutTheBrowserPanelItStaysOutOfSight) {
  config::KioskSettings.BrowserVisible = false;
  window->FormResize();
  server.Answer("/rvu/rvuisapi.dll/json", kAnswer);
  window->ShowTaskSummary();
  EXPECT_TRUE(window->pnlSummary->isHidden() || window->pnlSummary->width() == 0);
  EXPECT_EQ(Cell(0, 0), "3");
}

// However the kiosk went dark, a summary step keeps it dark: only the clock is seen.
TEST_F(SummaryTest, ADarkKioskShowsOnlyTheClockAtTheSummaryStep) {
  struct Case {
    const char* how;
    std::function<void()> darken;
  } cases[] = {
      {"the screen-saver command", [this] { window->IdUDPServer1UDPRead("CMD:TOGGLESCREENSAVER"); }},
      {"an hour without an own page",
       [this] {
         clock->Advance(3600 * 1000 + 1000);
         window->IdUDPServer1UDPRead("[CFS:1] keeps the feed alive");
         Tick(1);
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.how);
    window->State.ScreenSaverUntil = platform::Now() + platform::kOneHour;
    window->FormResize();
    c.darken();
    ASSERT_TRUE(window->rchMessages->isHidden());
    TickToTheSummaryStep();
    EXPECT_EQ(SeenParts(), std::vector<QWidget*>{window->lblTime});
    // Still dark a few ticks into the period, and the next screen hides nothing it should show.
    Tick(3);
    EXPECT_EQ(SeenParts(), std::vector<QWidget*>{window->lblTime});
  }
}

// The grid is seen only while awake, with the browser panel shown, during the
// summary step; whatever changes the look during that step decides it afresh.
TEST_F(SummaryTest, TheGridFollowsTheLookThroughoutItsStep) {
  TickToTheSummaryStep();
  ASSERT_FALSE(window->pnlSummary->isHidden());
  ASSERT_EQ(window->pnlSummary->geometry(), window->pnlWebBrowser->geometry());

  struct Step {
    const char* what;
    std::function<void()> act;
    bool seen;
  } steps[] = {
      {"key B: browser off", [this] { window->txtCaptureKeystrokes->onKeyPress('b'); }, false},
      {"key B: browser on", [this] { window->txtCaptureKeystrokes->onKeyPress('B'); }, true},
      {"command: browser off", [this] { window->IdUDPServer1UDPRead("CMD:TOGGLEBROWSER"); }, false},
      {"a resize with the browser off", [this] { ResizeWindow(1280, 1024); }, false},
      {"command: browser on", [this] { window->IdUDPServer1UDPRead("CMD:TOGGLEBROWSER"); }, true},
      {"a resize", [this] { ResizeWindow(1024, 768); }, true},
      {"dark", [this] { window->IdUDPServer1UDPRead("CMD:TOGGLESCREENSAVER"); }, false},
      {"awake again", [this] { window->IdUDPServer1UDPRead("CMD:SCREENSAVER=OFF"); }, true},
      {"the next screen", [this] { Tick(15); }, false},
      {"a resize after the step", [this] { ResizeWindow(1920, 1080); }, false},
  };
  for (const auto& step : steps) {
    SCOPED_TRACE(step.what);
    step.act();
    EXPECT_EQ(!window->pnlSummary->isHidden(), step.seen);
    if (step.seen) {
      EXPECT_EQ(window->pnlSummary->geometry(), window->pnlWebBrowser->geometry());
      EXPECT_FALSE(window->pnlWebBrowser->isHidden());
      // The message list is never under it.
      EXPECT_FALSE(window->pnlSummary->geometry().intersects(window->rchMessages->geometry()));
    }
  }
  EXPECT_EQ(window->State.ScreenStep, 4);
}

// A browser switch whose save fails changes the setting but not the layout;
// the grid goes with the browser panel as the screen shows it.
TEST_F(SummaryTest, AfterABrowserSwitchWhoseSaveFailedTheGridGoesWithThePanelShown) {
  // Saves fail: the working folder is a removed one.
  const std::string gone = dir.File("gone");
  ASSERT_TRUE(std::filesystem::create_directory(gone));
  ASSERT_EQ(::chdir(gone.c_str()), 0);
  std::filesystem::remove(gone);

  window->IdUDPServer1UDPRead("CMD:TOGGLEBROWSER");  // off in memory; the panel stays
  ASSERT_FALSE(config::KioskSettings.BrowserVisible);
  ASSERT_FALSE(window->pnlWebBrowser->isHidden());
  TickToTheSummaryStep();
  EXPECT_FALSE(window->pnlSummary->isHidden());
  EXPECT_EQ(window->pnlSummary->geometry(), window->pnlWebBrowser->geometry());

  ResizeWindow(1280, 1024);  // the layout takes the setting: panel and grid go
  ASSERT_TRUE(window->pnlWebBrowser->isHidden());
  EXPECT_TRUE(window->pnlSummary->isHidden());
  window->txtCaptureKeystrokes->onKeyPress('b');  // on in memory; the panel stays hidden
  ASSERT_TRUE(config::KioskSettings.BrowserVisible);
  TickToTheSummaryStep();
  EXPECT_TRUE(window->pnlSummary->isHidden());
}

}  // namespace
