// The demo's short tour with the real programs: each of its screenshots shows
// what its step says, the simulator's request log shows each screen asked for,
// and the own page's alert is heard in the recording and drawn on the sheet.
#include <gtest/gtest.h>

#include <QColor>
#include <QImage>
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>

#include "platform/alert_sound.h"
#include "tests/e2e/kiosk_process.h"
#include "tests/support/temp_dir.h"
#include "tests/support/wav_analysis.h"

namespace {

using testsupport::CountPixels;

// The layout of the demo's 1920 x 1080 screen.
constexpr int kBrowserLeft = 40, kBrowserTop = 40, kBrowserWidth = 1250, kBrowserHeight = 960;
constexpr int kListLeft = 1300, kListTop = 40, kListWidth = 570, kListHeight = 960;

// The alert's panel: the waveform above the spectrogram (0 to 4 kHz), one time axis.
constexpr int kPanelWidth = 960, kWaveHeight = 180, kSpectrogramHeight = 360;
constexpr double kSpectrogramTopHz = 4000;
// The tour's own page as read out: "priority one road crash rescue fourteen
// old mill road brindlemoor", twice, at the default 160 words a minute.
constexpr double kSpokenSeconds = 2 * 10 * 60.0 / 160;

bool Near(const QColor& c, int r, int g, int b, int tolerance) {
  return std::abs(c.red() - r) <= tolerance && std::abs(c.green() - g) <= tolerance &&
         std::abs(c.blue() - b) <= tolerance;
}
bool IsRed(const QColor& c) { return c.red() > 200 && c.green() < 60 && c.blue() < 60; }
bool IsYellow(const QColor& c) { return c.red() > 200 && c.green() > 200 && c.blue() < 60; }
bool IsLime(const QColor& c) { return c.red() < 60 && c.green() > 200 && c.blue() < 60; }
bool IsLight(const QColor& c) { return c.red() > 200 && c.green() > 200 && c.blue() > 190; }
bool IsWhite(const QColor& c) { return c.red() > 200 && c.green() > 200 && c.blue() > 200; }
bool IsListGreen(const QColor& c) { return c.red() < 40 && c.green() > 100 && c.green() < 160 && c.blue() < 60; }
bool IsWaveform(const QColor& c) { return Near(c, 255, 64, 255, 40); }
int Brightness(const QColor& c) { return c.red() + c.green() + c.blue(); }

double BrowserShare(const QImage& shot, const std::function<bool(const QColor&)>& test) {
  return static_cast<double>(CountPixels(shot, kBrowserLeft, kBrowserTop, kBrowserWidth, kBrowserHeight, test)) /
         (kBrowserWidth * kBrowserHeight);
}

// The message list's rows that hold text, top to bottom: true where a row has
// white or green text pixels.
std::vector<std::pair<int, bool>> TextRows(const QImage& shot) {
  std::vector<std::pair<int, bool>> rows;  // (row, the row's text is green)
  for (int y = kListTop; y < kListTop + kListHeight; ++y) {
    const int white = CountPixels(shot, kListLeft, y, kListWidth, 1, IsWhite);
    const int green = CountPixels(shot, kListLeft, y, kListWidth, 1, IsListGreen);
    if (white + green > 3) rows.emplace_back(y, green > white);
  }
  return rows;
}
// The last text line: the rows of the last run of text rows.
std::vector<std::pair<int, bool>> LastLine(const QImage& shot) {
  auto rows = TextRows(shot);
  std::vector<std::pair<int, bool>> line;
  for (auto it = rows.rbegin(); it != rows.rend(); ++it) {
    if (!line.empty() && line.back().first - it->first > 1) break;
    line.push_back(*it);
  }
  return line;
}

TEST(DemoTour, EachStepShowsWhatItSays) {
  testsupport::TempDir dir;
  const std::string out = dir.File("demo");
  const testsupport::CommandResult tour = testsupport::Shell(
      std::string(KIOSK_SOURCE_DIR) + "/scripts/demo-tour --short --shots --end --kiosk " + KIOSK_PROGRAM + " --sim " +
      UNIT_SERVICE_SIM_PATH + " --gateway " + GATEWAY_SIM_PATH + " --out " + out);
  const std::string& printed = tour.output;
  ASSERT_EQ(tour.status, 0) << printed;
  // Quiet: the tour's own lines, no web engine dump.
  EXPECT_EQ(printed.find("qt.webenginecontext"), std::string::npos) << printed;
  EXPECT_EQ(printed.find("did not ask for"), std::string::npos) << printed;
  EXPECT_TRUE(std::filesystem::exists(out + "/tour.png")) << printed;

  auto load = [&](const std::string& name) {
    const QImage image(QString::fromStdString(out + "/screenshots/" + name + ".png"));
    EXPECT_FALSE(image.isNull()) << name << "\n" << printed;
    return image;
  };
  const QImage map = load("01-route-map"), weather = load("02-weather"), summary = load("03-task-summary"),
               picture = load("04-picture"), chart = load("05-chart"), incident = load("06-new-incident"),
               lostComms = load("07-lost-comms"), dark = load("09-dark"), ownPage = load("11-own-page"),
               panel = load("12-own-page-alert"), sheet = QImage(QString::fromStdString(out + "/tour.png"));
  if (::testing::Test::HasFailure()) return;

  // The simulator's pages, each by its own look.
  EXPECT_GT(BrowserShare(map, IsLight), 0.3);
  EXPECT_GT(BrowserShare(incident, IsLight), 0.3);
  EXPECT_GT(BrowserShare(weather, [](const QColor& c) { return Near(c, 11, 22, 34, 6); }), 0.4);
  EXPECT_GT(BrowserShare(chart, [](const QColor& c) { return Near(c, 13, 17, 23, 6); }), 0.3);
  EXPECT_GT(BrowserShare(chart, [](const QColor& c) { return Near(c, 78, 121, 167, 12); }), 0.002);
  // A picture is shown alone on the browser's dark grey, filling its middle.
  EXPECT_GT(BrowserShare(picture, [](const QColor& c) { return Near(c, 14, 14, 14, 4); }), 0.2);
  EXPECT_GT(CountPixels(picture, kBrowserLeft + kBrowserWidth / 2 - 100, kBrowserTop + kBrowserHeight / 2 - 100, 200,
                        200, [](const QColor& c) { return !Near(c, 14, 14, 14, 4); }),
            200 * 200 / 2);
  for (auto test : {IsRed, IsYellow, IsLime})
    EXPECT_GT(CountPixels(summary, kBrowserLeft, kBrowserTop, kBrowserWidth, kBrowserHeight, test), 5 * 80 * 60);

  // The lost-comms line is one more white line, written while no datagram came
  // (the short tour's feed ends long before chart 0).
  const auto before = LastLine(chart), after = LastLine(lostComms);
  ASSERT_FALSE(after.empty());
  EXPECT_GT(after.front().first, before.empty() ? 0 : before.front().first);
  EXPECT_FALSE(after.front().second) << "the lost-comms line is white";
  // The page to the kiosk's capcode is the last line, in green.
  const auto own = LastLine(ownPage);
  ASSERT_FALSE(own.empty());
  EXPECT_GT(own.front().first, after.front().first);
  EXPECT_TRUE(own.front().second) << "the own page is green";

  // Dark: black but for the red clock.
  EXPECT_GT(CountPixels(dark, 0, 0, dark.width(), dark.height(), IsRed), 1000);
  EXPECT_EQ(CountPixels(dark, 0, 0, dark.width(), dark.height(),
                        [](const QColor& c) { return c.green() > 40 || c.blue() > 40; }),
            0);

  // The own page is heard: one gong at once, then the page read out twice.
  const auto wav = testsupport::ReadWav(out + "/own-page-alert.wav");
  ASSERT_TRUE(wav) << printed;
  const auto heard = testsupport::HeardAlerts(*wav, platform::kGongHighHz, platform::kGongLowHz);
  ASSERT_EQ(heard.size(), 1u) << printed;
  EXPECT_LT(heard[0].gongAt, 0.2);
  EXPECT_GT(heard[0].speechSeconds, 0.5 * kSpokenSeconds);
  EXPECT_LT(heard[0].speechSeconds, 1.6 * kSpokenSeconds);

  // Its panel: the waveform drawn across the top strip, and in the spectrogram
  // the gong's two tones at the start, brighter on their rows than the row
  // between them and one above both (clear of the octave partials).
  ASSERT_EQ(panel.size(), QSize(kPanelWidth, kWaveHeight + kSpectrogramHeight));
  EXPECT_GT(CountPixels(panel, 0, 0, kPanelWidth, kWaveHeight, IsWaveform), kPanelWidth * kWaveHeight / 20);
  const double seconds = static_cast<double>(wav->samples.size()) / wav->rate;
  auto column = [&](double at) { return static_cast<int>(at / seconds * kPanelWidth); };
  auto row = [&](double hz) { return kWaveHeight + static_cast<int>((1 - hz / kSpectrogramTopHz) * kSpectrogramHeight); };
  auto rowBrightness = [&](double from, double to, double hz) {
    int sum = 0;
    for (int x = column(from); x < column(to); ++x) sum += Brightness(panel.pixelColor(x, row(hz)));
    return sum;
  };
  const double high = heard[0].gongAt + 0.05, low = high + platform::kGongToneSeconds;
  const double tone = platform::kGongToneSeconds - 0.1;
  EXPECT_GT(rowBrightness(high, high + tone, platform::kGongHighHz), 2 * rowBrightness(high, high + tone, 770));
  EXPECT_GT(rowBrightness(high, high + tone, platform::kGongHighHz), 2 * rowBrightness(high, high + tone, 1100));
  EXPECT_GT(rowBrightness(low, low + tone, platform::kGongLowHz), 2 * rowBrightness(low, low + tone, 770));
  EXPECT_GT(rowBrightness(low, low + tone, platform::kGongLowHz), 2 * rowBrightness(low, low + tone, 1100));
  // The contact sheet holds the panel.
  ASSERT_FALSE(sheet.isNull());
  EXPECT_GT(CountPixels(sheet, 0, 0, sheet.width(), sheet.height(), IsWaveform), kPanelWidth * kWaveHeight / 80);

  // Every screen was asked for, in the tour's order.
  std::ifstream log(out + "/sim-requests.log");
  std::stringstream requests;
  requests << log.rdbuf();
  const std::string text = requests.str();
  size_t at = 0;
  for (const char* part : {"/iframe?", "/rvu/bom.htm", "method=getsummary", "/rvu/kioskpix/html/IMG",
                           "/rvu/ChartCrewIncidentCounts.html", "/iframe?"}) {
    const size_t found = text.find(part, at);
    EXPECT_NE(found, std::string::npos) << part << " after position " << at;
    if (found != std::string::npos) at = found + 1;
  }
}

}  // namespace
