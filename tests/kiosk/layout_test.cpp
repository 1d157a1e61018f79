#include <QFrame>

#include "tests/kiosk/kiosk_fixture.h"

namespace {

using namespace kiosk;
using testsupport::KioskTest;

class LayoutTest : public KioskTest {};

QRect Geometry(int l, int t, int w, int h) { return QRect(l, t, w, h); }

TEST_F(LayoutTest, WorkedLayouts) {
  struct Case {
    int w, h;
    QRect ticker, browser, messages;
    QPoint clock;
  } cases[] = {
      {1920, 1080, Geometry(40, 1000, 1820, 40), Geometry(40, 40, 1250, 960), Geometry(1300, 40, 570, 960), {1620, 1000}},
      {1280, 1024, Geometry(40, 944, 1180, 40), Geometry(40, 40, 900, 904), Geometry(950, 40, 280, 904), {980, 944}},
      {1024, 768, Geometry(40, 688, 924, 40), Geometry(40, 40, 644, 648), Geometry(694, 40, 280, 648), {724, 688}},
      {1630, 900, Geometry(40, 820, 1530, 40), Geometry(40, 40, 1250, 780), Geometry(1300, 40, 280, 780), {1330, 820}},
  };
  for (const auto& c : cases) {
    ResizeWindow(c.w, c.h);
    EXPECT_EQ(window->lblPageJ->geometry(), c.ticker) << c.w;
    EXPECT_EQ(window->pnlWebBrowser->geometry(), c.browser) << c.w;
    EXPECT_EQ(window->rchMessages->geometry(), c.messages) << c.w;
    EXPECT_EQ(window->lblTime->pos(), c.clock) << c.w;
    EXPECT_FALSE(window->rchMessages->isHidden());
  }
}

TEST_F(LayoutTest, WithoutTheBrowserTheListSpansTheWindow) {
  config::KioskSettings.BrowserVisible = false;
  ResizeWindow(1920, 1080);
  EXPECT_TRUE(window->pnlWebBrowser->isHidden());
  EXPECT_EQ(window->pnlWebBrowser->width(), 0);
  EXPECT_EQ(window->rchMessages->geometry(), QRect(50, 40, 1820, 960));
  config::KioskSettings.BrowserVisible = true;
  window->FormResize();
  EXPECT_EQ(window->rchMessages->geometry(), QRect(1300, 40, 570, 960));
}

TEST_F(LayoutTest, DebugModeOverwritesTheTicker) {
  config::KioskSettings.DebugMode = true;
  window->lblPageJ->setText(QStringLiteral("feed text"));
  ResizeWindow(1280, 1024);
  EXPECT_EQ(window->lblPageJ->text(), QStringLiteral("[LISTENING ON UDP PORT 15167. SET IN RVUKIOSK.XML]"));
}

TEST_F(LayoutTest, DarkLeavesOnlyTheClockAndWakingPutsItBack) {
  ResizeWindow(1280, 1024);
  clock->Advance(3600 * 1000 - 1);  // a moment before the deadline
  window->FormResize();
  EXPECT_FALSE(window->rchMessages->isHidden());
  window->lblTime->move(5, 7);  // where the burn-in guard might have left it

  clock->Advance(2);
  window->FormResize();
  for (QWidget* w : {static_cast<QWidget*>(window->lblPageJ), window->pnlWebBrowser,
                     static_cast<QWidget*>(window->pnlSummary), static_cast<QWidget*>(window->rchMessages)})
    EXPECT_TRUE(w->isHidden());
  EXPECT_FALSE(window->lblTime->isHidden());
  EXPECT_EQ(window->lblTime->pos(), QPoint(5, 7));  // nothing moves

  window->State.ScreenSaverUntil = platform::Now() + platform::kOneHour;
  window->FormResize();
  EXPECT_FALSE(window->rchMessages->isHidden());
  EXPECT_EQ(window->lblTime->pos(), QPoint(980, 944));
}

TEST_F(LayoutTest, MessageListTrimsToItsHeight) {
  struct Case {
    int height;
    size_t lines;
  } cases[] = {{97, 8}, {960, 71}, {13, 1}, {14, 2}};
  for (const auto& c : cases) {
    while (window->rchMessages->LineCount() > 0) window->rchMessages->DeleteFirstLine();
    window->rchMessages->resize(280, c.height);
    for (int i = 0; i < 200; ++i) window->AddMessage("line " + std::to_string(i), kWhite);
    EXPECT_EQ(window->rchMessages->LineCount(), c.lines) << c.height;
    EXPECT_EQ(Lines().back(), "13:45:10 line 199");
  }
  // Shrinking trims nothing by itself; the next line trims to the new height.
  window->rchMessages->resize(280, 97);
  EXPECT_EQ(window->rchMessages->LineCount(), 2u);
  window->rchMessages->resize(280, 960);
  for (int i = 0; i < 71; ++i) window->AddMessage("x", kWhite);
  window->rchMessages->resize(280, 97);
  EXPECT_EQ(window->rchMessages->LineCount(), 71u);
  window->AddMessage("y", kWhite);
  EXPECT_EQ(window->rchMessages->LineCount(), 8u);
}

TEST_F(LayoutTest, ATextWithLineBreaksAddsSeveralLines) {
  window->rchMessages->resize(280, 97);
  window->AddMessage("one\r\ntwo\nthree", kYellow);
  const auto lines = Lines();
  ASSERT_GE(lines.size(), 3u);
  EXPECT_EQ(std::vector<std::string>(lines.end() - 3, lines.end()),
            (std::vector<std::string>{"13:45:10 one", "two", "three"}));
  EXPECT_EQ(window->rchMessages->Lines().back().colour, QColor(255, 255, 0));
}

}  // namespace
