// Start-up under X: the time from a program's process start to the first
// frame that shows red pixels in the clock's place (the bottom right of the
// screen). Watched from outside by reading the screen, for the kiosk program
// (its red clock) and for the bare QWebEngineView program (its red mark once
// about:blank has loaded), runs alternating, medians compared.
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
#include <optional>
#include <string>
#include <vector>

#include "bench/bench_util.h"
#include "bench/process_tree.h"
#include "tests/support/wait.h"

namespace {

constexpr int kRedPixels = 500;  // a drawn "hh:nn:ss" at 64 pixels has thousands
constexpr int kTimeoutMs = 20000;

// Counts the pixels of a rectangle of the screen that pass a test.
template <typename Test>
int CountPixels(QScreen* screen, const QRect& area, Test test) {
  const QImage image = screen->grabWindow(0, area.x(), area.y(), area.width(), area.height()).toImage();
  int count = 0;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x)
      if (test(image.pixel(x, y))) ++count;
  return count;
}

bool IsRed(QRgb p) { return qRed(p) > 200 && qGreen(p) < 60 && qBlue(p) < 60; }
bool IsNotBlack(QRgb p) { return qRed(p) > 20 || qGreen(p) > 20 || qBlue(p) > 20; }

// Where the kiosk's clock stands on the screen, and a corner of the message
// list (the kiosk's) or of the web view (the bare program's).
QRect ClockArea(QScreen* screen) {
  const QRect g = screen->geometry();
  return {g.width() - 300, g.height() - 80, 300, 80};
}
QRect WindowMarks(QScreen* screen) {
  const QRect g = screen->geometry();
  return {g.width() - 320, 40, 40, 40};
}
QRect ViewCorner() { return {40, 40, 40, 40}; }

struct Times {
  std::optional<double> firstFrameMs;  // the window's first content on the screen
  std::optional<double> redMs;         // the red clock (or mark)
};

// Starts a program and watches the screen every 5 ms until its red frame.
Times TimeToRedFrame(QScreen* screen, const std::string& program, const std::string& folder, bool kiosk) {
  // The screen must be clear of the previous run's window first.
  testsupport::WaitUntil([&] { return CountPixels(screen, ClockArea(screen), IsRed) < kRedPixels; }, 3000, 10);
  bench::Child child = bench::StartChild({program}, folder);
  Times times;
  auto since = [&] {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - child.Started()).count();
  };
  testsupport::WaitUntil(
      [&] {
        if (!child.Running()) return true;
        if (!times.firstFrameMs && CountPixels(screen, kiosk ? WindowMarks(screen) : ViewCorner(), IsNotBlack) > 0)
          times.firstFrameMs = since();
        if (CountPixels(screen, ClockArea(screen), IsRed) < kRedPixels) return false;
        times.redMs = since();
        return true;
      },
      kTimeoutMs, 5);
  child.StopGroup(SIGTERM, 5000);
  return times;
}


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
  QScreen* screen = QGuiApplication::primaryScreen();
  bench::BecomeSubreaper();

  const bench::ProgramCopy kiosk(programs[0]), bare(programs[1]);
  std::vector<double> kioskMs, bareMs, kioskFirstMs, bareFirstMs;
  int failures = 0;
  auto text = [](const std::optional<double>& ms) { return ms ? bench::Format("%.0f ms", *ms) : std::string("none"); };
  // One unmeasured start of each first, so that both find the files in the page cache.
  for (int run = smoke ? 1 : 0; run <= runs; ++run) {
    for (const bench::ProgramCopy* program : {&kiosk, &bare}) {
      const bool isKiosk = program == &kiosk;
      const Times times = TimeToRedFrame(screen, program->Path(), program->Folder(), isKiosk);
      std::printf("  %s run %d: first frame %s, red %s %s\n", isKiosk ? "kiosk" : "bare QWebEngineView", run,
                  text(times.firstFrameMs).c_str(), isKiosk ? "clock" : "mark (page loaded)",
                  text(times.redMs).c_str());
      std::fflush(stdout);
      if (run == 0) continue;
      if (!times.redMs) {
        ++failures;
        continue;
      }
      (isKiosk ? kioskMs : bareMs).push_back(*times.redMs);
      if (times.firstFrameMs) (isKiosk ? kioskFirstMs : bareFirstMs).push_back(*times.firstFrameMs);
    }
  }
  std::printf("  medians: kiosk first frame %.0f ms, clock %.0f ms; bare first frame %.0f ms, page loaded %.0f ms\n",
              bench::Median(kioskFirstMs), bench::Median(kioskMs), bench::Median(bareFirstMs), bench::Median(bareMs));

  const double measured = bench::Median(kioskMs), baseline = bench::Median(bareMs);
  const bool met = failures == 0 && measured < 1500 && baseline > 0 && measured <= 1.3 * baseline;
  bench::PrintRow({"5 start-up to clock painted (Xvfb)",
                   failures ? bench::Format("%.0f runs without a frame", failures) : bench::Format("%.0f ms", measured),
                   "bare QWebEngineView, page loaded " + bench::Format("%.0f ms", baseline),
                   baseline > 0 ? bench::Format("%.2f", measured / baseline) : "-", "< 1500 ms and <= 1.3x",
                   bench::MetText(met)});
  // For comparison: the window itself, before the clock's first tick paints the time.
  const double firstFrame = bench::Median(kioskFirstMs), bareFirstFrame = bench::Median(bareFirstMs);
  bench::PrintRow({"5 start-up to the window's first frame (Xvfb)", bench::Format("%.0f ms", firstFrame),
                   "bare QWebEngineView, first frame " + bench::Format("%.0f ms", bareFirstFrame),
                   bareFirstFrame > 0 ? bench::Format("%.2f", firstFrame / bareFirstFrame) : "-", "-", "-"});
  return smoke && failures ? 1 : 0;
}
