// The real program with the simulated unit web service, over about three minutes.
#include <gtest/gtest.h>
#include <signal.h>

#include <QColor>
#include <chrono>
#include <filesystem>
#include <thread>

#include "platform/udp.h"
#include "tests/e2e/kiosk_process.h"
#include "tests/support/temp_dir.h"
#include "tools/unit-service-sim/unit_service_sim.h"

namespace {

using Clock = std::chrono::steady_clock;
using testsupport::CountPixels;
using testsupport::WaitUntil;

bool IsRed(const QColor& c) { return c.red() > 200 && c.green() < 60 && c.blue() < 60; }
bool IsYellow(const QColor& c) { return c.red() > 200 && c.green() > 200 && c.blue() < 60; }
bool IsLime(const QColor& c) { return c.red() < 60 && c.green() > 200 && c.blue() < 60; }
bool IsBlack(const QColor& c) { return c.red() < 30 && c.green() < 30 && c.blue() < 30; }

// The kinds of request that tell the rotation's story.
std::string Kind(const std::string& request) {
  struct Pattern {
    const char* part;
    const char* kind;
  } patterns[] = {{"/rvu/RVUSrvc.xml?", "poll"},      {"/GetZAVPagerXML?", "incident"},
                  {"/iframe?", "map"},                {"/rvu/bom.htm", "weather"},
                  {"/json?method=getsummary", "summary"}, {"/rvu/kioskpix/html/IMG", "picture"},
                  {"/rvu/Chart", "chart"}};
  for (const auto& p : patterns)
    if (request.find(p.part) != std::string::npos) return p.kind;
  return "";
}

// Watches the simulator's request log and notes when each poll arrived.
struct Watch {
  sim::UnitServiceSim& service;
  std::vector<std::string> kinds;
  std::vector<Clock::time_point> polls;
  size_t seen = 0;

  void Update() {
    const auto requests = service.Requests();
    for (; seen < requests.size(); ++seen) {
      const std::string kind = Kind(requests[seen]);
      if (kind.empty()) continue;
      kinds.push_back(kind);
      if (kind == "poll") polls.push_back(Clock::now());
    }
  }
  size_t Count(const std::string& kind) const { return std::count(kinds.begin(), kinds.end(), kind); }
  // Runs for a while, updating every 100 ms; stops early when `until` holds.
  template <typename F>
  bool RunUntil(F until, std::chrono::seconds limit) {
    return WaitUntil(
        [&] {
          Update();
          return until();
        },
        static_cast<int>(std::chrono::milliseconds(limit).count()), 100);
  }
};

TEST(KioskWithService, RotatesThroughEveryScreenThenGoesDarkAndEnds) {
  sim::Options options;
  options.port = 8080;  // the feed host built into the program
  options.controlPort = 0;
  options.pix = 12;
  options.startWithIncident = false;
  sim::UnitServiceSim service(options);
  service.Start();
  // Paged half an hour ago: the route map's hold has passed and the rotation runs.
  sim::IncidentFields incident;
  incident.minutesAgo = 30;
  service.RaiseIncident(incident);

  testsupport::TempDir dir;
  const std::string shots = std::string(KIOSK_BINARY_DIR) + "/e2e-screenshots";
  std::filesystem::create_directories(shots);
  testsupport::KioskProcess kiosk(KIOSK_PROGRAM, dir.path());
  Watch watch{service, {}, {}, 0};

  // The task summary is the third screen: a screenshot shows its grid over the browser area.
  ASSERT_TRUE(watch.RunUntil([&] { return watch.Count("summary") > 0; }, std::chrono::seconds(60)))
      << ::testing::PrintToString(watch.kinds);
  std::this_thread::sleep_for(std::chrono::seconds(2));
  const QImage summary = testsupport::TakeScreenshot(shots + "/task-summary.png");
  // 1280 x 1024: the browser panel is 40,40 900 x 904; P1 cells are red, P2 yellow, P7 lime.
  EXPECT_GT(CountPixels(summary, 40, 40, 900, 904, IsRed), 5 * 80 * 60);
  EXPECT_GT(CountPixels(summary, 40, 40, 900, 904, IsYellow), 5 * 80 * 60);
  EXPECT_GT(CountPixels(summary, 40, 40, 900, 904, IsLime), 5 * 80 * 60);

  // Five periods and the route map again.
  ASSERT_TRUE(watch.RunUntil([&] { return watch.Count("poll") >= 6 && watch.Count("map") >= 2; },
                             std::chrono::seconds(60)))
      << ::testing::PrintToString(watch.kinds);
  for (size_t i = 1; i < watch.polls.size(); ++i) {
    const double seconds = std::chrono::duration<double>(watch.polls[i] - watch.polls[i - 1]).count();
    EXPECT_GT(seconds, 14.0) << i;
    EXPECT_LT(seconds, 17.5) << i;
  }
  // The screens in the order of the rotation (12 pictures: steps 3 and 4 show pictures).
  std::vector<std::string> screens;
  for (const auto& k : watch.kinds)
    if (k != "poll" && k != "incident") screens.push_back(k);
  const std::vector<std::string> expected = {"map", "weather", "summary", "picture", "picture", "map"};
  ASSERT_GE(screens.size(), expected.size()) << ::testing::PrintToString(screens);
  EXPECT_EQ(std::vector<std::string>(screens.begin(), screens.begin() + 6), expected);
  EXPECT_EQ(watch.kinds.front(), "poll");

  // Dark at once: only the red clock is left on black.
  platform::SendDatagram("127.0.0.1", 15167, "CMD:TOGGLESCREENSAVER");
  QImage dark;
  ASSERT_TRUE(WaitUntil(
      [&] {
        dark = testsupport::TakeScreenshot(shots + "/dark.png");
        return CountPixels(dark, 0, 0, dark.width(), dark.height(), [](const QColor& c) { return IsBlack(c); }) >
               dark.width() * dark.height() - 40000;
      },
      5000, 100));
  auto onlyTheClock = [](const QImage& shot) {
    const int red = CountPixels(shot, 0, 0, shot.width(), shot.height(), IsRed);
    const int other = CountPixels(shot, 0, 0, shot.width(), shot.height(),
                                  [](const QColor& c) { return c.green() > 40 || c.blue() > 40; });  // anything but black to red
    return ::testing::AssertionResult(red > 1000 && other == 0) << red << " red, " << other << " other pixels";
  };
  EXPECT_TRUE(onlyTheClock(dark));

  // The rotation goes on behind the dark look, summary step included: through a
  // whole turn and one period more (so the summary's period has passed whole),
  // nothing but the red clock is seen.
  const size_t pollsWhenDark = watch.Count("poll");
  const size_t summariesWhenDark = watch.Count("summary");
  int shotsTaken = 0;
  for (const auto end = Clock::now() + std::chrono::seconds(105); Clock::now() < end;) {
    watch.Update();
    const QImage shot = testsupport::TakeScreenshot(shots + "/dark-rotation.png");
    ++shotsTaken;
    EXPECT_TRUE(onlyTheClock(shot)) << "screenshot " << shotsTaken << " after " << ::testing::PrintToString(watch.kinds);
    if (watch.Count("poll") >= pollsWhenDark + 6) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
  }
  EXPECT_GE(watch.Count("poll"), pollsWhenDark + 6);
  EXPECT_GT(watch.Count("summary"), summariesWhenDark) << ::testing::PrintToString(watch.kinds);

  platform::SendDatagram("127.0.0.1", 15167, "CMD:TERMINATE");
  EXPECT_EQ(kiosk.WaitForExit(15000), 0);
  EXPECT_TRUE(WaitUntil([&] { return !kiosk.GroupAlive(); }, 10000, 100));
  service.Stop();
}

}  // namespace
