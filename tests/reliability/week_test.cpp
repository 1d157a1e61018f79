// Seven days of 1-second ticks, in process, with the simulated web service.
#include <QFrame>
#include <chrono>
#include <filesystem>
#include <set>

#include "tests/reliability/reliability_fixture.h"

namespace {

using testsupport::KioskWithSimulator;
using testsupport::Score;

// Under AddressSanitizer freed memory waits in a quarantine of a few hundred
// megabytes, so the process's resident size says nothing about growth.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kMemoryMeasurable = false;
#else
constexpr bool kMemoryMeasurable = true;
#endif

class SimulatedWeek : public KioskWithSimulator {};

std::vector<std::string> DailyLogs(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(folder)) {
    const std::string name = e.path().filename();
    if (name.rfind("rvukiosk-", 0) == 0 && name.size() == 21 && name.substr(17) == ".CSV") names.push_back(name);
  }
  std::sort(names.begin(), names.end());
  return names;
}

TEST_F(SimulatedWeek, DaysTurnLogsRollScreenSaverCyclesAndNothingGrows) {
  const auto started = std::chrono::steady_clock::now();
  config::KioskSettings.CapCode = 1234;
  window->rchMessages->resize(280, 960);
  ResizeWindow(1280, 1024);

  const int kDays = 7;
  const std::int64_t kTicks = kDays * 86400LL;
  std::set<std::string> datesSeen;
  int darkSpells = 0, wakes = 0;
  bool wasDark = false;
  size_t maxLines = 0;
  testsupport::Descriptors fdsAfterHour;
  long rssAfterHour = 0, rssAfterDay = 0;
  std::vector<std::string> missingNotes;

  for (std::int64_t t = 1; t <= kTicks; ++t) {
    Tick();
    const auto parts = platform::DecodeDateTime(platform::Now());
    // Pager traffic: a line every 20 s; a page to the own capcode every 3 hours
    // between 06:00 and 22:00, so the kiosk sleeps at night.
    if (t % 20 == 0) window->IdUDPServer1UDPRead("[CFS:0451002] ROUTINE LINE " + std::to_string(t));
    if (t % 10800 == 0 && parts.hour >= 6 && parts.hour < 22) window->IdUDPServer1UDPRead("[RVU:1234] RESCUE");
    if (t % 21600 == 0) service->Control("/incident");
    if (t % 3600 == 0) browser->navigations.clear();  // the fake view's record is not the kiosk's memory

    const bool dark = window->rchMessages->isHidden();
    if (dark && !wasDark) ++darkSpells;
    if (!dark && wasDark) ++wakes;
    wasDark = dark;
    maxLines = std::max(maxLines, window->rchMessages->LineCount());
    if (t == 86400) rssAfterDay = testsupport::ResidentKiB();
    if (t == 3600) {
      fdsAfterHour = testsupport::OpenDescriptors();
      rssAfterHour = testsupport::ResidentKiB();
    }
    // Right after each midnight the new day's file starts with the new-day note.
    if (parts.hour == 0 && parts.minute == 1 && parts.second == 0) {
      const std::string date = platform::FormatDateTime("yyyymmdd", platform::Now());
      datesSeen.insert(date);
      const std::string path = dir.File("bin/rvukiosk-" + date + ".CSV");
      const std::string content = std::filesystem::exists(path) ? testsupport::ReadWholeFile(path) : "";
      if (content.substr(0, content.find("\r\n")).find(",69990,\"[Function=rer32.LogEntry][Note=New day]") ==
          std::string::npos)
        missingNotes.push_back(date);
    }
  }

  const testsupport::Descriptors fds = testsupport::OpenDescriptors();
  const int moreFiles = fds.others - fdsAfterHour.others;
  const int moreSockets = fds.sockets - fdsAfterHour.sockets;
  const long rss = testsupport::ResidentKiB();
  const auto logs = DailyLogs(dir.File("bin"));
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();

  EXPECT_EQ(datesSeen.size(), 7u);
  EXPECT_TRUE(missingNotes.empty()) << ::testing::PrintToString(missingNotes);
  // Retention 7: the last seven dates, today included; the first day's file is gone.
  EXPECT_EQ(logs.size(), 7u) << ::testing::PrintToString(logs);
  EXPECT_EQ(logs.back(), "rvukiosk-20261216.CSV");
  EXPECT_EQ(logs.front(), "rvukiosk-20261210.CSV");
  EXPECT_GE(darkSpells, kDays);
  EXPECT_GE(wakes, kDays);
  EXPECT_LE(maxLines, 71u);
  EXPECT_LE(moreFiles, 0);
  EXPECT_LE(moreSockets, 4);
  if (!kMemoryMeasurable) {
    Score("week: resident memory", "not measured: AddressSanitizer holds freed memory in quarantine", "-", true);
  } else {
    EXPECT_LT(rss - rssAfterHour, 16 * 1024);
    EXPECT_LT(rss - rssAfterDay, 4 * 1024);
    Score("week: resident memory after the first hour", std::to_string((rss - rssAfterHour) / 1024) + " MiB more",
          "< 16 MiB", rss - rssAfterHour < 16 * 1024);
    Score("week: resident memory over the last six days", std::to_string((rss - rssAfterDay) / 1024) + " MiB more",
          "< 4 MiB", rss - rssAfterDay < 4 * 1024);
  }

  Score("week: daily log files kept (retention 7)", std::to_string(logs.size()), "7", logs.size() == 7);
  Score("week: new days starting with the note", std::to_string(datesSeen.size() - missingNotes.size()) + "/7",
        "7/7", missingNotes.empty() && datesSeen.size() == 7);
  Score("week: dark spells / wakes", std::to_string(darkSpells) + "/" + std::to_string(wakes), ">= 7 each",
        darkSpells >= kDays && wakes >= kDays);
  Score("week: largest message list", std::to_string(maxLines) + " lines", "<= 71", maxLines <= 71);
  Score("week: open files and pipes after the first hour", std::to_string(moreFiles) + " more", "<= 0",
        moreFiles <= 0);
  Score("week: open sockets after the first hour", std::to_string(moreSockets) + " more", "<= 4", moreSockets <= 4);
  Score("week: time to simulate", std::to_string(static_cast<int>(seconds)) + " s", "-", true);
}

}  // namespace
