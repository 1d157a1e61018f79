#pragma once

#include <sys/types.h>

#include <QImage>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "tests/e2e/kiosk_process.h"
#include "tests/support/temp_dir.h"
#include "tests/support/wait.h"
#include "tools/unit-service-sim/unit_service_sim.h"

// The real kiosk program under the test's X display, against the simulated
// unit web service (on the port of the feed host built into the program), with what the end-to-end reliability checks watch: the
// service's request log, the clock on the screen, the program's log files and
// error reports, and the memory of its process tree.
namespace reliability {

using SteadyClock = std::chrono::steady_clock;

// One line of the reliability scorecard, as scripts/reliability collects it.
void Score(const std::string& check, const std::string& measured, const std::string& bar, bool pass);
std::string Fixed(double value, int decimals);

// Screen areas at 1280 x 1024 (the display of scripts/reliability).
struct Area {
  int left, top, width, height;
};
inline constexpr Area kClockArea{980, 944, 300, 80};
inline constexpr Area kTickerArea{40, 944, 900, 40};  // left of the clock
inline constexpr Area kBrowserArea{40, 40, 900, 904};
inline constexpr Area kMessageArea{950, 40, 280, 904};

// The kind of a request of the simulator's log: poll, incident, map, weather,
// summary, picture, chart, or empty for anything else.
std::string RequestKind(std::string_view request);
bool IsScreenKind(std::string_view kind);
// What a kind of request belongs to, for the fault table.
std::string KindOf(sim::Endpoint endpoint);

struct SeenRequest {
  std::string kind;
  std::string line;
  SteadyClock::time_point at;  // when the test saw it (within about 100 ms)
};

// A log line of the kiosk's daily CSV file.
struct LogLine {
  int code = 0;
  std::string text;
};

// The processes of the kiosk's process group and their proportional set size:
// in all, and without the pages of files (program code, libraries, fonts),
// whose share depends on what other programs on the machine map them too.
struct ProcessMemory {
  pid_t pid;
  std::string name;  // "kiosk" or the web engine process type
  long pssKiB;
  long pssUnfiledKiB;  // Pss_Anon + Pss_Shmem
  long rssFileKiB;     // resident pages of files (Rss - Anonymous), whoever shares them
};
std::vector<ProcessMemory> GroupMemory(pid_t group);
// The web engine's page renderers of a process group.
std::vector<pid_t> RendererProcesses(pid_t group);

// Counts the pixels of an area that pass a test.
template <typename F>
int Count(const QImage& image, Area area, F test) {
  return testsupport::CountPixels(image, area.left, area.top, area.width, area.height, test);
}
bool IsWhite(const QColor& c);
bool IsBlack(const QColor& c);

struct StationOptions {
  int pictures = 12;
  // The station settings file's text; empty: no file.
  std::string stationConf;
};

class Station {
 public:
  explicit Station(StationOptions options = {});
  ~Station();
  Station(const Station&) = delete;
  Station& operator=(const Station&) = delete;

  sim::UnitServiceSim& Service() { return *service_; }
  testsupport::KioskProcess& Kiosk() { return *kiosk_; }
  const std::string& Folder() const { return folder_.path(); }

  // Waits for the first route map, that is for a kiosk that runs.
  bool WaitUntilUp();

  // Sends one datagram to the kiosk's pager port.
  void Send(std::string_view datagram);

  // Watches for `seconds`, or until `until` holds; every 100 ms it reads the
  // request log and looks at the clock.
  template <typename F>
  bool RunUntil(F until, double seconds) {
    return testsupport::WaitUntil(
        [&] {
          Watch();
          return until();
        },
        static_cast<int>(seconds * 1000), 100);
  }
  void RunFor(double seconds) {
    RunUntil([] { return false; }, seconds);
  }

  // The requests seen so far; a mark is a position in them.
  const std::vector<SeenRequest>& Requests() const { return requests_; }
  size_t Mark() const { return requests_.size(); }
  int CountSince(size_t mark, std::string_view kind) const;
  // The first request of a kind from a mark on; -1 when there is none.
  int FindSince(size_t mark, std::string_view kind) const;
  // Sends CMD:SCROLL (the next tick is a due tick) until a screen of `kind`
  // is requested, at most `steps` times. The number of steps, or -1.
  int ScrollTo(std::string_view kind, int steps = 6);

  // The clock on the screen: when it last changed, and the longest time it
  // stood still since the watch was reset.
  void ResetClockWatch();
  double LongestClockStandstill() const;
  int ClockChangesSince(SteadyClock::time_point since) const;
  bool WaitForClockChanges(int changes, double seconds);

  QImage Screen(Area area) const;
  QImage Screen() const;
  void SaveScreen(const std::string& name) const;

  std::vector<LogLine> Log() const;
  int LogCount(int code, std::string_view part = {}) const;
  int ExceptionReports() const;
  std::string ReadFile(const std::string& name) const;

  // Keeps the folder's logs, reports and settings in the artefact folder
  // (RELIABILITY_ARTIFACTS) under `name`.
  void KeepArtifacts(const std::string& name) const;

 private:
  void Watch();

  testsupport::TempDir folder_;
  std::unique_ptr<sim::UnitServiceSim> service_;
  std::unique_ptr<testsupport::KioskProcess> kiosk_;
  std::vector<SeenRequest> requests_;
  size_t served_ = 0;  // requests of the service's log already read
  QImage lastClock_;
  std::vector<SteadyClock::time_point> clockChanges_;
  SteadyClock::time_point started_;
  SteadyClock::time_point watchStart_;
  double longestStandstill_ = 0;
};

}  // namespace reliability
