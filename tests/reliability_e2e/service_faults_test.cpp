// The kiosk against a unit web service that fails in each of the simulator's
// ways, one endpoint at a time: it stays up, its clock stands still no longer
// than one bounded request, each failed feed or incident request leaves one
// 30000 log entry and, unless the same failure (routine, error class, step)
// had its report within the hour, one error report (a failed summary none),
// and once the service is healthy again the rotation, the ticker and the route
// map return.
// Then the whole service silent at once.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <map>

#include "diag/report_throttle.h"
#include "tests/reliability_e2e/station.h"

namespace reliability {
namespace {

using sim::Endpoint;
using sim::FaultMode;

struct FaultCase {
  Endpoint endpoint;
  FaultMode mode;
  bool reported;  // each faulty request leaves one report and one 30000 entry
};

// Every mode for each of the three. A late or long answer is still read; an
// incident answer without a result code is "no record", not a failure; the
// summary fails silently whatever the fault.
const FaultCase kCases[] = {
    {Endpoint::Feed, FaultMode::Refuse, true},          {Endpoint::Feed, FaultMode::Silent, true},
    {Endpoint::Feed, FaultMode::Delay, false},          {Endpoint::Feed, FaultMode::Status, true},
    {Endpoint::Feed, FaultMode::Garbage, true},         {Endpoint::Feed, FaultMode::Truncated, true},
    {Endpoint::Feed, FaultMode::Huge, true},            {Endpoint::Incident, FaultMode::Refuse, true},
    {Endpoint::Incident, FaultMode::Silent, true},      {Endpoint::Incident, FaultMode::Delay, false},
    {Endpoint::Incident, FaultMode::Status, true},      {Endpoint::Incident, FaultMode::Garbage, false},
    {Endpoint::Incident, FaultMode::Truncated, true},   {Endpoint::Incident, FaultMode::Huge, false},
    {Endpoint::Summary, FaultMode::Refuse, false},      {Endpoint::Summary, FaultMode::Silent, false},
    {Endpoint::Summary, FaultMode::Delay, false},       {Endpoint::Summary, FaultMode::Status, false},
    {Endpoint::Summary, FaultMode::Garbage, false},     {Endpoint::Summary, FaultMode::Truncated, false},
    {Endpoint::Summary, FaultMode::Huge, false},
};

// Seconds the kiosk may take over one faulty request: the 30 s limit of a
// request, the delay of a late answer, or a moment.
double RequestSeconds(FaultMode mode) {
  switch (mode) {
    case FaultMode::Silent: return 31;
    case FaultMode::Delay: return 26;
    default: return 3;
  }
}

struct CaseResult {
  std::string name;
  int requests = 0;       // faulty requests the service saw
  int reports = 0;        // new EXCEPTION-*.XML files
  int errorEntries = 0;   // new 30000 log entries
  int namedEntries = 0;   // of them, those of the reader of the faulty endpoint
  int expected = 0;       // entries the case should leave
  int expectedReports = 0;  // reports: one per failure not reported within the hour
  double standstill = 0;  // longest the clock stood still
  double recovery = -1;   // ClearFaults to the next screen after a good poll
  bool ticker = false;    // the ticker shows text after that poll
  int mapSteps = -1;      // screens until the route map of the current incident
  bool alive = false;
};

constexpr double kRotationPeriod = 15;
constexpr double kRecoveryBar = kRotationPeriod + 1.5;  // the period, the poll and the screen request
// One bounded request (30 s), the tick before it (1 s) and a little time to draw.
constexpr double kStandstillBar = 32;

// The reader whose failures a fault brings, as its log entries name it.
std::string ReaderOf(Endpoint endpoint) {
  switch (endpoint) {
    case Endpoint::Feed: return "[Function=RVULib.GetRVUSrvcXML]";
    case Endpoint::Incident: return "[Function=RVULib.GetIncidentRecFromWeb]";
    default: return "[Function=";
  }
}

// The failure a 30000 entry describes: its routine, error class and step.
std::string FailureOf(const std::string& text) {
  auto group = [&text](const std::string& key) {
    const size_t start = text.find("[" + key + "=");
    if (start == std::string::npos) return std::string();
    const size_t from = start + key.size() + 2;
    return text.substr(from, text.find(']', from) - from);
  };
  return group("Function") + "|" + group("ClassName") + "|" + group("Trace");
}

// When each failure had its last report.
using ReportTimes = std::map<std::string, SteadyClock::time_point>;

bool TickerShowsText(Station& station) {
  return Count(station.Screen(kTickerArea), {0, 0, kTickerArea.width, kTickerArea.height}, IsWhite) > 300;
}

CaseResult RunCase(Station& station, const FaultCase& c, ReportTimes& reported) {
  CaseResult r;
  r.name = std::string(sim::NameOf(c.endpoint)) + "/" + std::string(sim::NameOf(c.mode));
  const std::string kind = KindOf(c.endpoint);
  // The summary is the screen after the weather page.
  if (c.endpoint == Endpoint::Summary) {
    EXPECT_GT(station.ScrollTo("weather"), 0) << r.name;
  }
  station.RunFor(1);

  station.ResetClockWatch();
  const size_t mark = station.Mark();
  const int reportsBefore = station.ExceptionReports();
  const int errorsBefore = station.LogCount(30000);
  const int namedBefore = station.LogCount(30000, ReaderOf(c.endpoint));
  station.Service().SetFault(c.endpoint, {c.mode, 25, 500});
  // A new incident changes the ticker, and the kiosk asks for its record.
  if (c.endpoint == Endpoint::Incident) {
    sim::IncidentFields incident;
    incident.minutesAgo = 30;
    station.Service().RaiseIncident(incident);
  }
  station.Send("CMD:SCROLL");
  EXPECT_TRUE(station.RunUntil([&] { return station.CountSince(mark, kind) > 0; }, 10))
      << r.name << ": the faulty endpoint was not asked";
  // Done with it once the clock has moved twice (the first may be a repaint of the stalled tick).
  EXPECT_TRUE(station.WaitForClockChanges(2, RequestSeconds(c.mode) + 10)) << r.name << ": the clock stopped";
  station.RunFor(0.5);
  r.requests = station.CountSince(mark, kind);
  station.Service().ClearFaults();
  const auto cleared = SteadyClock::now();
  const size_t clearedMark = station.Mark();
  station.RunFor(0.5);  // a request cut short by the clearing is reported too
  r.reports = station.ExceptionReports() - reportsBefore;
  r.errorEntries = station.LogCount(30000) - errorsBefore;
  r.namedEntries = station.LogCount(30000, ReaderOf(c.endpoint)) - namedBefore;
  r.expected = c.reported ? r.requests : 0;
  int entry = 0;
  for (const LogLine& line : station.Log()) {
    if (line.code != 30000 || entry++ < errorsBefore) continue;
    const std::string failure = FailureOf(line.text);
    const auto now = SteadyClock::now();
    const auto last = reported.find(failure);
    if (last != reported.end() &&
        now - last->second < std::chrono::milliseconds(diag::kRepeatedReportIntervalMs))
      continue;
    reported[failure] = now;
    ++r.expectedReports;
  }

  // The next due tick: a poll, then the next screen, and the ticker.
  int screen = -1;
  station.RunUntil(
      [&] {
        const int poll = station.FindSince(clearedMark, "poll");
        if (poll < 0) return false;
        for (size_t i = static_cast<size_t>(poll); i < station.Requests().size() && screen < 0; ++i)
          if (IsScreenKind(station.Requests()[i].kind)) screen = static_cast<int>(i);
        return screen >= 0;
      },
      kRotationPeriod + 10);
  if (screen >= 0)
    r.recovery = std::chrono::duration<double>(station.Requests()[static_cast<size_t>(screen)].at - cleared).count();
  r.ticker = station.RunUntil([&] { return TickerShowsText(station); }, 3);

  // Within one turn of the rotation: the route map of the current incident.
  const size_t mapMark = station.Mark();
  r.mapSteps = station.ScrollTo("map");
  const auto current = station.Service().CurrentIncident();
  const int map = station.FindSince(mapMark, "map");
  if (map < 0 || !current ||
      station.Requests()[static_cast<size_t>(map)].line.find("mfsincno=" + std::to_string(current->number)) ==
          std::string::npos)
    r.mapSteps = -1;
  station.RunFor(1);
  r.standstill = station.LongestClockStandstill();
  r.alive = station.Kiosk().Running();
  return r;
}

TEST(ServiceFaults, EachFaultModeOfFeedIncidentAndSummary) {
  Station station;
  ASSERT_TRUE(station.WaitUntilUp());
  station.RunFor(1);

  std::vector<CaseResult> results;
  ReportTimes reported;
  for (const FaultCase& c : kCases) {
    results.push_back(RunCase(station, c, reported));
    const CaseResult& r = results.back();
    std::printf(
        "case %-18s requests %d reports %d (expected %d) entries %d (expected %d) standstill %.1f s recovery %.1f s ticker %s "
        "map after %d step(s) %s\n",
        r.name.c_str(), r.requests, r.reports, r.expectedReports, r.errorEntries, r.expected, r.standstill, r.recovery,
        r.ticker ? "yes" : "no", r.mapSteps, r.alive ? "alive" : "DEAD");
    std::fflush(stdout);
    EXPECT_TRUE(r.alive) << r.name;
    EXPECT_GT(r.requests, 0) << r.name;
    EXPECT_EQ(r.reports, r.expectedReports) << r.name;
    EXPECT_EQ(r.errorEntries, r.expected) << r.name;
    EXPECT_EQ(r.namedEntries, r.expected) << r.name;
    EXPECT_LE(r.standstill, kStandstillBar) << r.name;
    EXPECT_GE(r.recovery, 0) << r.name;
    EXPECT_LE(r.recovery, kRecoveryBar) << r.name;
    EXPECT_TRUE(r.ticker) << r.name;
    EXPECT_GT(r.mapSteps, 0) << r.name;
    if (!r.alive) break;
  }
  station.SaveScreen("faults-end");
  station.KeepArtifacts("faults");

  const int total = static_cast<int>(results.size());
  const int alive = static_cast<int>(std::count_if(results.begin(), results.end(), [](auto& r) { return r.alive; }));
  Score("e2e.faults.kiosk_alive", std::to_string(alive) + "/" + std::to_string(total) + " fault cases",
        "all " + std::to_string(std::size(kCases)), alive == static_cast<int>(std::size(kCases)));

  auto worst = std::max_element(results.begin(), results.end(),
                                [](auto& a, auto& b) { return a.standstill < b.standstill; });
  Score("e2e.faults.clock_standstill", Fixed(worst->standstill, 1) + " s longest (" + worst->name + ")",
        "<= " + Fixed(kStandstillBar, 1) + " s", worst->standstill <= kStandstillBar);

  int failed = 0, distinct = 0, reports = 0, entries = 0, matching = 0, summaryNoise = 0;
  for (const CaseResult& r : results) {
    failed += r.expected;
    distinct += r.expectedReports;
    reports += r.reports;
    entries += r.errorEntries;
    if (r.reports == r.expectedReports && r.errorEntries == r.expected && r.namedEntries == r.expected) ++matching;
    if (r.name.rfind("summary", 0) == 0) summaryNoise += r.reports + r.errorEntries;
  }
  Score("e2e.faults.reports_per_failed_request",
        std::to_string(failed) + " failed feed/incident requests, " + std::to_string(distinct) +
            " distinct failures: " + std::to_string(reports) + " reports, " +
            std::to_string(entries) + " 30000 entries; summary " + std::to_string(summaryNoise) + "; " +
            std::to_string(matching) + "/" + std::to_string(total) + " cases exact",
        "1 entry per failed request, 1 report per failure an hour, 0 for the summary", matching == total);

  double slowest = 0;
  int back = 0;
  for (const CaseResult& r : results) {
    slowest = std::max(slowest, r.recovery < 0 ? 999.0 : r.recovery);
    if (r.recovery >= 0 && r.recovery <= kRecoveryBar && r.ticker) ++back;
  }
  Score("e2e.faults.rotation_and_ticker_back", Fixed(slowest, 1) + " s slowest; " + std::to_string(back) + "/" +
                                                   std::to_string(total) + " cases",
        "<= " + Fixed(kRecoveryBar, 1) + " s (one period)", back == total);
  const int maps = static_cast<int>(std::count_if(results.begin(), results.end(), [](auto& r) {
    return r.mapSteps > 0 && r.mapSteps <= 5;
  }));
  Score("e2e.faults.route_map_back", std::to_string(maps) + "/" + std::to_string(total) + " cases within one turn",
        "all, within 5 screens", maps == total);
}

// A service that stops answering altogether (a hung web server): the feed poll
// and the screen's own request of the same tick each run into their limit.
TEST(ServiceFaults, WholeServiceSilent) {
  Station station;
  ASSERT_TRUE(station.WaitUntilUp());
  ASSERT_GT(station.ScrollTo("weather"), 0);  // the task summary comes next
  station.RunFor(1);

  station.ResetClockWatch();
  const size_t mark = station.Mark();
  station.Service().SetFault(Endpoint::All, {FaultMode::Silent, 25, 500});
  station.Send("CMD:SCROLL");
  ASSERT_TRUE(station.RunUntil([&] { return station.FindSince(mark, "poll") >= 0; }, 10));
  const bool moving = station.WaitForClockChanges(2, 75);
  const double standstill = station.LongestClockStandstill();
  std::vector<std::string> asked;
  for (size_t i = mark; i < station.Requests().size(); ++i)
    if (!station.Requests()[i].kind.empty()) asked.push_back(station.Requests()[i].kind);
  station.Service().ClearFaults();
  const size_t cleared = station.Mark();
  const bool back = station.RunUntil([&] { return station.FindSince(cleared, "poll") >= 0; }, kRotationPeriod + 10);
  EXPECT_TRUE(moving);
  EXPECT_TRUE(back);
  EXPECT_TRUE(station.Kiosk().Running());
  EXPECT_LE(standstill, kStandstillBar) << "requests of the stalled tick: " << ::testing::PrintToString(asked);
  Score("e2e.faults.whole_service_silent",
        Fixed(standstill, 1) + " s clock standstill (tick asked: " + ::testing::PrintToString(asked) + ")",
        "<= " + Fixed(kStandstillBar, 1) + " s", standstill <= kStandstillBar && back);
  station.KeepArtifacts("whole-service-silent");
}

}  // namespace
}  // namespace reliability
