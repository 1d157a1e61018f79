#include <QCoreApplication>
#include <QFrame>
#include <QKeyEvent>

#include "tests/kiosk/screens_fixture.h"

namespace {

using namespace kiosk;
using testsupport::ScreensTest;

class KeyTest : public ScreensTest {
 protected:
  void SetUp() override {
    ScreensTest::SetUp();
    ResizeWindow(1280, 1024);
  }
  void Press(char key) { window->txtCaptureKeystrokes->onKeyPress(key); }
};

TEST_F(KeyTest, TogglesSaveAndSayTheNewValue) {
  struct Case {
    char key;
    bool config::tKioskSettings::*value;
    const char* shown;
  } cases[] = {
      {'c', &config::tKioskSettings::ShowCFS, "Display CFS pages: "},
      {'E', &config::tKioskSettings::ShowRVU, "Display RVU pages: "},
      {'h', &config::tKioskSettings::ShowHeartBeat, "Display HeartBeat pages: "},
      {'M', &config::tKioskSettings::ShowMFS, "Display MFS pages: "},
      {'s', &config::tKioskSettings::ShowSAAS, "Display SAAS pages: "},
      {'u', &config::tKioskSettings::ShowUnknown, "Display unknown pages: "},
  };
  for (const auto& c : cases) {
    boxes.informed.clear();
    Press(c.key);
    const bool now = config::KioskSettings.*c.value;
    EXPECT_FALSE(now) << c.key;  // all start True
    EXPECT_EQ(boxes.informed, std::vector<std::string>{std::string(c.shown) + "False"});
  }
  // The help text shows the new values.
  boxes.informed.clear();
  Press('?');
  ASSERT_EQ(boxes.informed.size(), 1u);
  EXPECT_EQ(boxes.informed[0], "Quorb RVU Kiosk. " + std::string(KIOSK_VERSION) +
                                   "\r\n 0 - Show Google map\r\n 1 - Show BOM\r\n B - Toggle browser\r\n"
                                   " C - Toggle CFS pages (False)\r\n E - Toggle RVU pages (False)\r\n"
                                   " H - Toggle Heartbeat pages (False)\r\n M - Toggle MFS pages (False)\r\n"
                                   " Q - Quit\r\n S - Toggle SAAS pages (False)\r\n T - Cycle Screens (False)\r\n"
                                   " U - Toggle unknown pages (False)\r\n"
                                   "Last UDP packet RX: 09/12/2026 13:45:10\r\n");
}

TEST_F(KeyTest, ScreensTimerQuitAndUnknownKeys) {
  ServeIncident("2026-12-09 10:00:00");
  window->Timer->start();
  Press('0');
  EXPECT_NE(browser->navigations.back().find("/iframe?"), std::string::npos);
  EXPECT_FALSE(window->Timer->isActive());
  window->State.TickCount = 7;
  Press('t');
  EXPECT_TRUE(window->Timer->isActive());
  Press('T');  // already running: still says so, and does not restart the rotation
  EXPECT_EQ(boxes.informed, (std::vector<std::string>{"Screen scroll: True", "Screen scroll: True"}));
  EXPECT_EQ(window->State.TickCount, 7);
  Press('1');
  EXPECT_EQ(browser->navigations.back(), "http://" + Host() + "/rvu/bom.htm");
  EXPECT_FALSE(window->Timer->isActive());

  boxes.answers = {false, false, true};
  Press('q');
  Press(' ');
  EXPECT_EQ(terminations, 0);
  Press('Q');
  EXPECT_EQ(terminations, 1);
  EXPECT_EQ(boxes.asked, std::vector<std::string>(3, "RVU Kiosk: Quit?"));

  const auto navigations = browser->navigations.size();
  for (char key : {'2', ')', 'x'}) Press(key);
  EXPECT_EQ(browser->navigations.size(), navigations);
  EXPECT_EQ(boxes.informed.size(), 2u);
}

TEST_F(KeyTest, BrowserKeyLaysTheWindowOutAgain) {
  Press('b');
  EXPECT_FALSE(config::KioskSettings.BrowserVisible);
  EXPECT_TRUE(window->pnlWebBrowser->isHidden());
  EXPECT_EQ(window->rchMessages->width(), 1180);
  EXPECT_TRUE(boxes.informed.empty());
}

TEST_F(KeyTest, OnADarkDisplayTheFirstKeyOnlyWakesIt) {
  window->State.ScreenSaverUntil = platform::Now();  // the deadline itself counts as dark here
  window->FormResize();
  Press('c');
  EXPECT_TRUE(config::KioskSettings.ShowCFS);
  EXPECT_TRUE(boxes.informed.empty());
  EXPECT_DOUBLE_EQ(window->State.ScreenSaverUntil, platform::Now() + platform::kOneHour);
  EXPECT_FALSE(window->rchMessages->isHidden());
  Press('c');
  EXPECT_FALSE(config::KioskSettings.ShowCFS);
}

TEST_F(KeyTest, ASaveThatFailsShowsTheErrorBoxInstead) {
  ASSERT_GT(std::filesystem::remove_all(std::filesystem::current_path()), 0u);
  Press('c');
  EXPECT_FALSE(config::KioskSettings.ShowCFS);  // toggled in memory all the same
  ASSERT_EQ(boxes.errors.size(), 1u);
  EXPECT_NE(boxes.errors[0].find("RVUKiosk.xml"), std::string::npos) << boxes.errors[0];
  EXPECT_TRUE(boxes.informed.empty());
}

// Keys as the window system delivers them to the key box: what a key types,
// in the single-byte set, reaches the handler; a character outside it does
// nothing (before, the euro sign arrived as "?" and opened the help).
TEST_F(KeyTest, OnlyCharactersOfTheSingleByteSetReachTheHandler) {
  auto type = [this](const QString& text) {
    QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, text);
    QCoreApplication::sendEvent(window->txtCaptureKeystrokes, &press);
  };
  struct Case {
    QString typed;
    size_t informed;  // information boxes after it
    bool showCFS;
  } cases[] = {
      {QString(QChar(0x20AC)), 0, true},  // the euro sign
      {QString(QChar(0x263A)), 0, true},
      {QString::fromLatin1("\xE9"), 0, true},  // in the set, but no key of the table
      {QStringLiteral("c"), 1, false},
      {QStringLiteral("?"), 2, false},
  };
  for (const auto& c : cases) {
    type(c.typed);
    EXPECT_EQ(boxes.informed.size(), c.informed) << c.typed.toStdString();
    EXPECT_EQ(config::KioskSettings.ShowCFS, c.showCFS) << c.typed.toStdString();
  }
  // Nor does it wake a dark display.
  window->IdUDPServer1UDPRead("CMD:TOGGLESCREENSAVER");
  const platform::TDateTime until = window->State.ScreenSaverUntil;
  type(QString(QChar(0x20AC)));
  EXPECT_DOUBLE_EQ(window->State.ScreenSaverUntil, until);
  EXPECT_TRUE(window->rchMessages->isHidden());
}

}  // namespace
