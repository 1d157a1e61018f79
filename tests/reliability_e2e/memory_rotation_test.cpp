// The memory of the kiosk's process tree (the program and its web engine
// processes) over 2,000 screen changes between the route map and the weather
// page, as growth per 1,000 screens after a warm-up.
//
// The bar is held by the PSS of memory that is not the pages of files: the
// share of library code in a PSS figure goes up and down as other programs on
// the machine (other engineers' kiosks) map the same libraries, which hides
// any trend; a leak grows the anonymous and shared memory counted here. The
// PSS in all is printed beside it, and the resident pages of files (which
// other programs do not change) to show where its swings come from.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <numeric>

#include "tests/reliability_e2e/station.h"

namespace reliability {
namespace {

constexpr int kWarmUp = 200;
constexpr int kScreens = 2000;
constexpr int kSampleEvery = 100;
constexpr double kBarMBPer1000 = 20;

double MB(long kib) { return static_cast<double>(kib) * 1024 / 1e6; }

struct TreeMemory {
  double pss = 0, unfiled = 0, files = 0;
};

TreeMemory Tree(pid_t group) {
  long pss = 0, unfiled = 0, files = 0;
  for (const ProcessMemory& p : GroupMemory(group)) {
    pss += p.pssKiB;
    unfiled += p.pssUnfiledKiB;
    files += p.rssFileKiB;
  }
  return {MB(pss), MB(unfiled), MB(files)};
}

std::string Breakdown(pid_t group) {
  std::map<std::string, std::pair<long, long>> byName;
  for (const ProcessMemory& p : GroupMemory(group)) {
    byName[p.name].first += p.pssKiB;
    byName[p.name].second += p.pssUnfiledKiB;
  }
  std::string text;
  for (const auto& [name, kib] : byName)
    text += (text.empty() ? "" : ", ") + name + " " + Fixed(MB(kib.first), 1) + " MB (" + Fixed(MB(kib.second), 1) +
            " without files)";
  return text;
}

// Least-squares slope of y over x.
double Slope(const std::vector<double>& x, const std::vector<double>& y) {
  const double n = static_cast<double>(x.size());
  const double mx = std::accumulate(x.begin(), x.end(), 0.0) / n;
  const double my = std::accumulate(y.begin(), y.end(), 0.0) / n;
  double sxy = 0, sxx = 0;
  for (size_t i = 0; i < x.size(); ++i) {
    sxy += (x[i] - mx) * (y[i] - my);
    sxx += (x[i] - mx) * (x[i] - mx);
  }
  return sxx > 0 ? sxy / sxx : 0;
}

TEST(MemoryUnderRotation, GrowthPerThousandScreens) {
  double interval = 0.2;  // seconds between screen changes
  if (const char* given = std::getenv("RELIABILITY_SCREEN_INTERVAL")) interval = std::atof(given);
  Station station;
  ASSERT_TRUE(station.WaitUntilUp());
  const pid_t group = station.Kiosk().pid();

  // CMD:SCREEN0 and CMD:SCREEN1 show the route map and the weather page at once
  // (and stop the rotation, so that only they change the screen).
  std::vector<double> screens, pss, unfiled, files;
  int drawn = 0;  // samples with a page on the screen
  const size_t mark = station.Mark();
  const auto start = SteadyClock::now();
  for (int change = 1; change <= kWarmUp + kScreens && station.Kiosk().Running(); ++change) {
    station.Send(change % 2 ? "CMD:SCREEN1" : "CMD:SCREEN0");
    station.RunFor(interval);
    if (change < kWarmUp || (change - kWarmUp) % kSampleEvery != 0) continue;
    station.RunFor(0.5);  // the last page drawn
    if (Count(station.Screen(kBrowserArea), {0, 0, kBrowserArea.width, kBrowserArea.height},
              [](const QColor& c) { return !IsBlack(c); }) > 20000)
      ++drawn;
    const TreeMemory tree = Tree(group);
    screens.push_back(change - kWarmUp);
    pss.push_back(tree.pss);
    unfiled.push_back(tree.unfiled);
    files.push_back(tree.files);
    if (change == kWarmUp) std::printf("after the warm-up: %s\n", Breakdown(group).c_str());
    std::printf("screens %5d  tree PSS %.1f MB, without files %.1f MB; resident file pages %.1f MB\n",
                change - kWarmUp, tree.pss, tree.unfiled, tree.files);
    std::fflush(stdout);
  }
  const double minutes = std::chrono::duration<double>(SteadyClock::now() - start).count() / 60;
  ASSERT_TRUE(station.Kiosk().Running()) << "the kiosk died during the rotation";
  std::printf("at the end: %s\n", Breakdown(group).c_str());
  station.SaveScreen("memory-end");

  // Every change reached the service, and a page was on the screen at each sample.
  const int pages = station.CountSince(mark, "map") + station.CountSince(mark, "weather");
  const bool changed = pages >= (kWarmUp + kScreens) * 95 / 100;
  EXPECT_TRUE(changed) << pages << " page requests for " << kWarmUp + kScreens << " screen changes";
  EXPECT_EQ(drawn, static_cast<int>(screens.size())) << "samples with no page drawn";

  const double growth = Slope(screens, unfiled) * 1000;
  const double growthPss = Slope(screens, pss) * 1000;
  const double growthFiles = Slope(screens, files) * 1000;
  EXPECT_LT(growth, kBarMBPer1000);
  Score("e2e.memory.growth_per_1000_screens",
        Fixed(growth, 1) + " MB without file pages (" + Fixed(unfiled.front(), 0) + " -> " +
            Fixed(unfiled.back(), 0) + " MB); PSS in all " + Fixed(growthPss, 1) + " MB (" + Fixed(pss.front(), 0) +
            " -> " + Fixed(pss.back(), 0) + " MB; resident file pages " + Fixed(growthFiles, 1) + " MB); " +
            std::to_string(kScreens) + " screens after " +
            std::to_string(kWarmUp) + ", " + Fixed(minutes, 1) + " min",
        "< " + Fixed(kBarMBPer1000, 0) + " MB", growth < kBarMBPer1000 && changed &&
                                                     drawn == static_cast<int>(screens.size()));
  station.KeepArtifacts("memory");
}

}  // namespace
}  // namespace reliability
