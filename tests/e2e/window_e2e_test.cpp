// The real program under the test's X display (xvfb-run, 1280 x 1024).
#include <gtest/gtest.h>
#include <signal.h>

#include <QColor>
#include <filesystem>

#include "platform/udp.h"
#include "tests/e2e/kiosk_process.h"
#include "tests/support/temp_dir.h"

namespace {

using testsupport::CountPixels;
using testsupport::WaitUntil;

bool IsRed(const QColor& c) { return c.red() > 200 && c.green() < 60 && c.blue() < 60; }
bool IsBlue(const QColor& c) { return c.blue() > 200 && c.red() < 40 && c.green() < 40; }
bool IsBlack(const QColor& c) { return c.red() < 20 && c.green() < 20 && c.blue() < 20; }
bool IsWhitish(const QColor& c) { return c.red() > 180 && c.green() > 180 && c.blue() > 180; }
bool IsGreenText(const QColor& c) { return c.green() > 90 && c.red() < 60 && c.blue() < 160 && c.green() > c.red() + 60; }

TEST(KioskWindow, StartsShowsPagesAndEndsOnSigterm) {
  testsupport::TempDir dir;
  const std::string shots = std::string(KIOSK_BINARY_DIR) + "/e2e-screenshots";
  std::filesystem::create_directories(shots);
  testsupport::KioskProcess kiosk(KIOSK_PROGRAM, dir.path(), dir.File("output.txt"));

  // Both settings files are written with their defaults at start-up.
  ASSERT_TRUE(WaitUntil(
      [&] {
        return std::filesystem::exists(dir.File("RVUKiosk.xml")) &&
               std::filesystem::exists(dir.File("RVU-Settings.xml"));
      },
      15000, 100));

  // The layout of a 1280 x 1024 screen: the list at 950,40 (280 x 904), the clock at 980,944.
  QImage shot;
  ASSERT_TRUE(WaitUntil(
      [&] {
        shot = testsupport::TakeScreenshot(shots + "/window-started.png");
        return !shot.isNull() && CountPixels(shot, 980, 944, 300, 80, IsRed) > 500;
      },
      20000, 100));
  EXPECT_EQ(shot.size(), QSize(1280, 1024));
  EXPECT_GT(CountPixels(shot, 955, 45, 270, 890, IsBlue), 200000);
  EXPECT_EQ(CountPixels(shot, 945, 45, 4, 890, IsBlue), 0);   // the list starts at 950
  EXPECT_EQ(CountPixels(shot, 1232, 45, 4, 890, IsBlue), 0);  // and is 280 wide
  EXPECT_GT(CountPixels(shot, 0, 0, 940, 940, IsBlack), 860000);  // black window and blank page
  EXPECT_EQ(CountPixels(shot, 0, 0, 940, 940, IsRed), 0);
  // The start-up line: white text in the first line of the list.
  EXPECT_GT(CountPixels(shot, 950, 40, 280, 14, IsWhitish), 100);
  EXPECT_EQ(CountPixels(shot, 950, 54, 280, 14, IsWhitish), 0);

  // A page to the own capcode (0 by default) is the second line, in green.
  platform::SendDatagram("127.0.0.1", 15167, "[RVU:0] RESCUE P1 VEHICLE ROLLOVER 14 OLD MILL RD");
  ASSERT_TRUE(WaitUntil(
      [&] {
        shot = testsupport::TakeScreenshot(shots + "/window-pager-line.png");
        return CountPixels(shot, 950, 52, 280, 16, IsGreenText) > 50;
      },
      10000, 100));

  EXPECT_EQ(kiosk.Stop(SIGTERM, 15000), 0);
  EXPECT_TRUE(WaitUntil([&] { return !kiosk.GroupAlive(); }, 10000, 100)) << "web engine processes were left behind";

  // The web engine's description of its context is not printed on every start.
  const std::string output = testsupport::ReadWholeFile(dir.File("output.txt"));
  EXPECT_EQ(output.find("qt.webenginecontext"), std::string::npos) << output;
  EXPECT_EQ(output.find("Init Parameters:"), std::string::npos) << output;
}

}  // namespace
