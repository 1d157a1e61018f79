// Start-up and restart under X, to a full screen: the first frame in which the
// kiosk's red clock is painted and the route map page (from the simulated
// unit web service on localhost:8080, with a current incident) has loaded and
// is drawn in the browser panel. Watched from outside by reading the screen.
//
// Beside it, in the same run, the bare QWebEngineView program: once on the
// same route map page (its start to the page loaded and drawn: the baseline
// for the kiosk's own part, its time less the designed one-second first tick)
// and once on about:blank (the web engine's own start).
//
// The restart: the kiosk, run by a supervising loop that starts it again at
// once when it ends (as the service manager does, without its pause), is
// killed with SIGKILL; timed from the kill to the full screen again.
//
//   startup_bench KIOSK BARE [--runs N] [--smoke]
//   KIOSK_BENCH_QUICK=1  two runs of each
#include <unistd.h>

#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QScreen>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "bench/bench_util.h"
#include "bench/process_tree.h"
#include "config/kiosk_settings.h"
#include "tests/support/wait.h"
#include "tools/unit-service-sim/unit_service_sim.h"

namespace {

constexpr int kRedPixels = 500;  // a drawn "hh:nn:ss" at 64 pixels has thousands
constexpr int kTimeoutMs = 20000;
constexpr int kFirstTickMs = 1000;  // the kiosk's clock and first screen come with its first tick

using Clock = std::chrono::steady_clock;
double MsSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

QImage Grab(QScreen* screen, const QRect& area) {
  return screen->grabWindow(0, area.x(), area.y(), area.width(), area.height()).toImage();
}

// Counts the pixels of an image that pass a test.
int CountPixels(const QImage& image, const std::function<bool(QRgb)>& test) {
  int count = 0;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x)
      if (test(image.pixel(x, y))) ++count;
  return count;
}

bool Near(QRgb p, int r, int g, int b, int within) {
  return std::abs(qRed(p) - r) <= within && std::abs(qGreen(p) - g) <= within && std::abs(qBlue(p) - b) <= within;
}
bool IsRed(QRgb p) { return qRed(p) > 200 && qGreen(p) < 60 && qBlue(p) < 60; }
bool IsNotBlack(QRgb p) { return qRed(p) > 20 || qGreen(p) > 20 || qBlue(p) > 20; }
// The route map's town blocks and parks; a blank page (white or black) has neither.
bool IsMapBlock(QRgb p) { return Near(p, 246, 244, 238, 4); }
bool IsMapPark(QRgb p) { return Near(p, 197, 228, 184, 4); }

// Where the kiosk's clock stands on the screen, its browser panel (where the
// bare program has its view), and a corner of the message list.
QRect ClockArea(const QRect& g) { return {g.width() - 300, g.height() - 80, 300, 80}; }
QRect BrowserPanel(const QRect& g) {
  return {40, 40, std::max(0, std::min(g.width() - 380, 1250)), std::max(0, g.height() - 120)};
}
QRect ListCorner(const QRect& g) { return {g.width() - 320, 40, 40, 40}; }

class Screen {
 public:
  explicit Screen(QScreen* screen) : screen_(screen), geometry_(screen->geometry()) {}

  bool ClockRed() const { return CountPixels(Grab(screen_, ClockArea(geometry_)), IsRed) >= kRedPixels; }
  // The route map drawn: most of the panel its blocks, and its parks seen.
  bool MapDrawn() const {
    const QImage panel = Grab(screen_, BrowserPanel(geometry_));
    const double area = static_cast<double>(panel.width()) * panel.height();
    return CountPixels(panel, IsMapBlock) > 0.25 * area && CountPixels(panel, IsMapPark) > 0.02 * area;
  }
  bool ContentAt(const QRect& area) const { return CountPixels(Grab(screen_, area), IsNotBlack) > 0; }
  QRect Geometry() const { return geometry_; }

 private:
  QScreen* screen_;
  QRect geometry_;
};

struct Times {
  std::optional<double> firstFrameMs;  // the window's first content on the screen
  std::optional<double> redMs;         // the red clock (or mark: the page has loaded)
  std::optional<double> fullMs;        // the red clock or mark, and the route map drawn
};

// Watches the screen every 5 ms from `start` until the full screen, the
// program's end (`running` false) or the time-out. The panel is read only once
// the clock (or mark) is red, so that the watching costs the X server little.
Times WatchToFullScreen(const Screen& screen, Clock::time_point start, const QRect& firstFrameArea,
                        const std::function<bool()>& running, bool wantMap) {
  Times times;
  testsupport::WaitUntil(
      [&] {
        if (!running()) return true;
        if (!times.firstFrameMs && screen.ContentAt(firstFrameArea)) times.firstFrameMs = MsSince(start);
        if (!screen.ClockRed()) return false;
        if (!times.redMs) times.redMs = MsSince(start);
        if (wantMap && !screen.MapDrawn()) return false;
        times.fullMs = MsSince(start);
        return true;
      },
      kTimeoutMs, 5);
  return times;
}

// The screen must be clear of the previous run's window first.
void WaitForClearScreen(const Screen& screen) { testsupport::WaitUntil([&] { return !screen.ClockRed(); }, 3000, 2); }

Times StartAndWatch(const Screen& screen, const std::vector<std::string>& argv, const std::string& folder,
                    const QRect& firstFrameArea, bool wantMap) {
  WaitForClearScreen(screen);
  bench::Child child = bench::StartChild(argv, folder);
  const Times times = WatchToFullScreen(screen, child.Started(), firstFrameArea, [&] { return child.Running(); }, wantMap);
  child.StopGroup(SIGTERM, 5000);
  bench::ReapOrphans();
  return times;
}

std::string Text(const std::optional<double>& ms) { return ms ? bench::Format("%.0f ms", *ms) : std::string("none"); }

// The kiosk's settings: the browser shown, every agency's lines.
void WriteKioskSettings(const std::string& folder) {
  config::tKioskSettings settings;
  settings.BrowserVisible = true;
  std::ofstream(folder + "/" + config::kFileName, std::ios::binary) << config::KioskSettingsFileText(settings);
}

// The route map address the kiosk asked the simulator for, as a full URL.
std::string MapAddress(const sim::UnitServiceSim& service) {
  for (const std::string& request : service.Requests())
    if (request.find("/iframe?") != std::string::npos)
      return "http://127.0.0.1:" + std::to_string(service.Port()) + request.substr(request.find(' ') + 1);
  return "";
}

struct Series {
  std::vector<double> values;
  int failures = 0;
  void Add(const std::optional<double>& ms) {
    if (ms)
      values.push_back(*ms);
    else
      ++failures;
  }
  double Median() const { return bench::Median(values); }
  std::string MedianText() const {
    return failures ? bench::Format("%.0f runs without it", failures) : bench::Format("%.0f ms", Median());
  }
};

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  bool smoke = false;
  int runs = bench::QuickMode() ? 2 : 5;
  std::vector<std::string> programs;
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--smoke") {
      smoke = true;
      runs = 1;
    } else if (args[i] == "--runs" && i + 1 < args.size()) {
      runs = std::max(1, std::stoi(args[++i]));
    } else {
      programs.push_back(args[i]);
    }
  }
  if (programs.size() != 2) {
    std::fprintf(stderr, "usage: startup_bench KIOSK BARE [--runs N] [--smoke]\n");
    return 2;
  }
  qputenv("QT_QPA_PLATFORM", "xcb");  // the screen is read from the X server
  QGuiApplication app(argc, argv);
  const Screen screen(QGuiApplication::primaryScreen());
  const QRect g = screen.Geometry();
  bench::BecomeSubreaper();

  // The kiosk polls localhost:8080; a current incident makes the route map its first screen.
  sim::Options options;
  options.port = 8080;
  options.controlPort = 0;
  sim::UnitServiceSim service(options);
  try {
    service.Start();
  } catch (const std::exception& e) {
    std::printf("startup_bench: the simulator cannot have port 8080: %s\n", e.what());
    bench::PrintRow({"5 start-up to a full screen (Xvfb)", "not measured: port 8080 taken", "-", "-", "-", "NO"});
    return 1;
  }

  const bench::ProgramCopy kiosk(programs[0]), bare(programs[1]);
  WriteKioskSettings(kiosk.Folder());
  const QRect listCorner = ListCorner(g), viewCorner(40, 40, 40, 40);

  // One unmeasured start of each first, so that both find their files in the
  // page cache; the kiosk's also gives the route map's address.
  StartAndWatch(screen, {kiosk.Path()}, kiosk.Folder(), listCorner, true);
  const std::string map = MapAddress(service);
  if (map.empty()) {
    std::printf("startup_bench: the kiosk did not ask for the route map\n");
    return 1;
  }
  StartAndWatch(screen, {bare.Path(), map}, bare.Folder(), viewCorner, true);

  Series kioskFull, kioskClock, kioskFirst, bareMap, bareBlank;
  for (int run = 1; run <= runs; ++run) {
    const Times k = StartAndWatch(screen, {kiosk.Path()}, kiosk.Folder(), listCorner, true);
    const Times m = StartAndWatch(screen, {bare.Path(), map}, bare.Folder(), viewCorner, true);
    const Times b = StartAndWatch(screen, {bare.Path()}, bare.Folder(), viewCorner, false);
    std::printf("  run %d: kiosk first frame %s, clock %s, full screen %s; bare view: route map loaded and drawn %s, "
                "about:blank loaded %s\n",
                run, Text(k.firstFrameMs).c_str(), Text(k.redMs).c_str(), Text(k.fullMs).c_str(),
                Text(m.fullMs).c_str(), Text(b.fullMs).c_str());
    std::fflush(stdout);
    kioskFull.Add(k.fullMs);
    kioskClock.Add(k.redMs);
    kioskFirst.Add(k.firstFrameMs);
    bareMap.Add(m.fullMs);
    bareBlank.Add(b.fullMs);
  }

  // The restart: a supervising loop around the kiosk, as the service manager runs it.
  Series restart, restartedProcess, restartFirst;
  {
    WaitForClearScreen(screen);
    bench::Child loop = bench::StartChild({"/bin/sh", "-c", "while :; do \"$0\"; done", kiosk.Path()}, kiosk.Folder());
    const std::string name = std::filesystem::path(kiosk.Path()).filename().string();
    auto running = [&] { return loop.Running(); };
    pid_t current = -1;
    testsupport::WaitUntil([&] { return (current = bench::FindInTree(loop.pid(), name)) > 0; }, 5000, 5);
    WatchToFullScreen(screen, Clock::now(), listCorner, running, true);
    for (int run = 1; run <= runs; ++run) {
      const Clock::time_point killed = Clock::now();
      kill(current, SIGKILL);
      std::optional<double> started;
      pid_t next = -1;
      testsupport::WaitUntil(
          [&] {
            next = bench::FindInTree(loop.pid(), name);
            return next > 0 && next != current;
          },
          5000, 1);
      if (next > 0 && next != current) started = MsSince(killed);
      current = next;
      // The old window leaves the screen at once; then the new one is watched.
      testsupport::WaitUntil([&] { return !screen.ClockRed(); }, 3000, 1);
      const Times t = WatchToFullScreen(screen, killed, listCorner, running, true);
      bench::ReapOrphans();
      std::printf("  restart %d: from the kill, kiosk started again %s, first frame %s, full screen %s\n", run,
                  Text(started).c_str(), Text(t.firstFrameMs).c_str(), Text(t.fullMs).c_str());
      std::fflush(stdout);
      restart.Add(t.fullMs);
      restartedProcess.Add(started);
      restartFirst.Add(t.firstFrameMs);
    }
    loop.StopGroup(SIGTERM, 5000);
    bench::ReapOrphans();
  }
  service.Stop();

  std::printf("  medians: kiosk first frame %.0f ms, clock %.0f ms, full screen %.0f ms; bare view route map %.0f ms, "
              "about:blank %.0f ms; restart: process %.0f ms, first frame %.0f ms, full screen %.0f ms\n",
              kioskFirst.Median(), kioskClock.Median(), kioskFull.Median(), bareMap.Median(), bareBlank.Median(),
              restartedProcess.Median(), restartFirst.Median(), restart.Median());

  const double own = kioskFull.Median() - kFirstTickMs, baseline = bareMap.Median();
  const bool startMet = !kioskFull.failures && !bareMap.failures && baseline > 0 && own <= 1.3 * baseline;
  bench::PrintRow({"5 start-up to a full screen (clock and route map drawn, Xvfb)",
                   kioskFull.MedianText() + (kioskFull.failures ? "" : bench::Format(", own part %.0f ms", own)) +
                       bench::Format(" (less the %.0f ms first tick)", kFirstTickMs),
                   "bare QWebEngineView, same page loaded and drawn " + bareMap.MedianText(),
                   baseline > 0 && !kioskFull.failures ? bench::Format("%.2f", own / baseline) : "-",
                   "own part <= 1.3x", bench::MetText(startMet)});
  const double restarted = restart.Median();
  bench::PrintRow({"5 restart after SIGKILL to a full screen (Xvfb)",
                   restart.MedianText() + bench::Format(", kiosk running again after %.0f ms", restartedProcess.Median()),
                   "web engine's own start (bare view, about:blank loaded) " + bareBlank.MedianText(),
                   bareBlank.Median() > 0 && !restart.failures ? bench::Format("%.2f", restarted / bareBlank.Median())
                                                               : "-",
                   "< 2500 ms", bench::MetText(!restart.failures && restarted < 2500)});
  const bool failed = kioskFull.failures || bareMap.failures || bareBlank.failures || restart.failures;
  return smoke && failed ? 1 : 0;
}
