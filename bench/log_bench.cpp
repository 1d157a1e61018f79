// LogEntry lines per second against a bare open-append-close of the same line.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "bench/bench_util.h"
#include "diag/log.h"
#include "platform/clock.h"
#include "platform/system.h"

namespace {

const std::string kText =
    "[Function=RVULib.GetRVUSrvcXML][URL=http://localhost:8080/rvu/RVUSrvc.xml?20261209120000123][Result=OK]";

std::string BenchFolder() {
  static const std::string folder = [] {
    std::string pattern = "/tmp/kiosk-bench-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) std::abort();
    return pattern + "/";
  }();
  return folder;
}

void BM_LogEntry(benchmark::State& state) {
  platform::SetProgramFilePathForTesting(BenchFolder() + "rvukiosk");
  diag::Globals.Log = diag::tLog{};
  diag::Globals.Log.ProgramId = "VUDURE";
  diag::Globals.Log.SyslogLevel = 7;
  for (auto _ : state) benchmark::DoNotOptimize(diag::LogEntry({60101, 0, kText, 0}));
  state.SetItemsProcessed(state.iterations());
}

void BM_BareAppend(benchmark::State& state) {
  const std::string line = diag::FormatLogLine(platform::Now(), platform::Now(), "VUDURE", 60101, kText);
  const std::string file = BenchFolder() + "bare.CSV";
  for (auto _ : state) {
    int fd = ::open(file.c_str(), O_WRONLY | O_APPEND | O_CREAT, 0644);
    benchmark::DoNotOptimize(::write(fd, line.data(), line.size()));
    ::close(fd);
  }
  state.SetItemsProcessed(state.iterations());
}

BENCHMARK(BM_LogEntry)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_BareAppend)->Repetitions(5)->ReportAggregatesOnly(true);

// Keeps the median rate of each benchmark so the ratio can be printed.
class MedianReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const auto& run : runs)
      if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median") {
        auto it = run.counters.find("items_per_second");
        if (it != run.counters.end()) medians[run.run_name.function_name] = it->second.value;
      }
  }
  std::map<std::string, double> medians;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  MedianReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  std::filesystem::remove_all(BenchFolder());

  const double logRate = reporter.medians["BM_LogEntry"];
  const double bareRate = reporter.medians["BM_BareAppend"];
  if (logRate > 0 && bareRate > 0) {
    const double ratio = bareRate / logRate;
    std::printf("\nLogEntry %.0f lines/s, bare open-append-close %.0f lines/s: %.2fx the bare cost (goal 1.5x): %s\n",
                logRate, bareRate, ratio, ratio <= 1.5 ? "met" : "missed");
    bench::PrintRow({"4 log writes (LogEntry)", bench::Format("%.0f lines/s", logRate),
                     "open-append-close " + bench::Format("%.0f lines/s", bareRate),
                     bench::Format("%.2fx the cost", ratio), "<= 1.5x the cost", bench::MetText(ratio <= 1.5)});
  }
  return 0;
}
