// What the metrics endpoint costs the real kiosk program under X, against the
// simulated unit web service on localhost:8080: the kiosk runs twice for the
// same time with the browser shown, the screens rotating and a pager line
// every 3 seconds, first as shipped (no endpoint), then with its endpoint on
// and scraped once a second; the CPU time of the kiosk process (where the
// endpoint and the publisher run) and of its whole tree, each run against the
// other, and the endpoint's own threads.
//
//   metrics_bench KIOSK [--seconds N] [--smoke]
//   KIOSK_BENCH_QUICK=1   60 seconds a run instead of 300
#include <arpa/inet.h>
#include <httplib.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "bench/bench_util.h"
#include "bench/process_tree.h"
#include "config/kiosk_settings.h"
#include "tests/support/wait.h"
#include "tools/unit-service-sim/unit_service_sim.h"

namespace {

constexpr int kPagerPort = 15167;  // the real program's fixed port
constexpr int kPagerEverySeconds = 3;
constexpr int kMetricsPort = 19471;
// The most the scraped endpoint may add, in percent of a core.
constexpr double kBarPercent = 0.2;

void SendPagerLine(int number) {
  const std::string line = "[RVU:0451002] BENCH PAGE " + std::to_string(number) + " RESCUE P3 LIFT ASSIST 7 RIVER RD";
  const int fd = socket(AF_INET, SOCK_DGRAM, 0);
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(kPagerPort);
  to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  sendto(fd, line.data(), line.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
  close(fd);
}

struct RunResult {
  double processPercent = 0;  // the kiosk process alone
  double treePercent = 0;     // with the web engine's processes
  double endpointPercent = 0;  // the endpoint's threads (civetweb)
  int scrapes = 0, failedScrapes = 0;
  bool ran = false;
};

RunResult Run(const std::string& program, bool scraped, int seconds, int warmUpSeconds) {
  const bench::ProgramCopy copy(program);
  config::tKioskSettings settings;
  settings.BrowserVisible = true;
  settings.ShowCFS = settings.ShowMFS = settings.ShowSAAS = settings.ShowRVU = true;
  std::ofstream(copy.Folder() + "/" + config::kFileName, std::ios::binary) << config::KioskSettingsFileText(settings);
  testsupport::Process::Environment env = testsupport::DisplayProgramEnvironment();
  if (scraped) {
    std::ofstream(copy.Folder() + "/station.conf") << "MetricsPort = " << kMetricsPort << "\n";
    env["RVUKIOSK_STATION_CONF"] = copy.Folder() + "/station.conf";
  }
  bench::Child kiosk({copy.Path()}, env, copy.Folder(), testsupport::Output::Discard());
  sleep(static_cast<unsigned>(warmUpSeconds));
  bench::TreeCpu tree(kiosk.pid());
  tree.Begin();
  const auto threadsBefore = bench::ThreadCpu(kiosk.pid());
  RunResult result;
  httplib::Client client("127.0.0.1", kMetricsPort);
  client.set_read_timeout(2, 0);
  const std::int64_t start = bench::MonotonicNs();
  int pages = 0;
  for (int second = 1; second <= seconds; ++second) {
    const std::int64_t at = start + static_cast<std::int64_t>(second) * 1'000'000'000;
    while (bench::MonotonicNs() < at) usleep(20 * 1000);
    if (second % kPagerEverySeconds == 0) SendPagerLine(++pages);
    if (scraped) {
      const auto answer = client.Get("/metrics");
      ++(answer && answer->status == 200 && answer->body.find("rvukiosk_datagrams_total") != std::string::npos
             ? result.scrapes
             : result.failedScrapes);
    }
    tree.Sample();
    bench::ReapOrphans();
  }
  const double wall = static_cast<double>(bench::MonotonicNs() - start) / 1e9;
  auto threads = bench::ThreadCpu(kiosk.pid());
  double process = 0;
  for (auto& [name, used] : threads) {
    used -= threadsBefore.count(name) ? threadsBefore.at(name) : 0;
    process += used;
    if (name.find("civetweb") != std::string::npos) result.endpointPercent += 100 * used / wall;
  }
  result.processPercent = 100 * process / wall;
  result.treePercent = 100 * tree.Seconds() / wall;
  result.ran = kiosk.Running();
  std::printf("  %s: kiosk process %.3f%%, whole tree %.3f%% of a core over %.0f s%s\n",
              scraped ? "endpoint on, scraped each second" : "as shipped (no endpoint)", result.processPercent,
              result.treePercent, wall, result.ran ? "" : ", the kiosk ENDED early");
  if (scraped) {
    std::printf("    %d scrapes answered, %d failed; endpoint threads %.3f%%; threads:", result.scrapes,
                result.failedScrapes, result.endpointPercent);
    for (const auto& [name, used] : threads)
      if (used > 0.005) std::printf("  %s %.3f%%", name.c_str(), 100 * used / wall);
    std::printf("\n");
  }
  std::fflush(stdout);
  kiosk.StopGroup(SIGTERM, 5000);
  return result;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  bool smoke = false;
  int seconds = bench::QuickMode() ? 60 : 300;
  std::string program;
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--smoke") {
      smoke = true;
      seconds = 3;
    } else if (args[i] == "--seconds" && i + 1 < args.size()) {
      seconds = std::max(1, std::stoi(args[++i]));
    } else {
      program = args[i];
    }
  }
  if (program.empty() || std::getenv("DISPLAY") == nullptr) {
    std::fprintf(stderr, "usage (under an X display): metrics_bench KIOSK [--seconds N] [--smoke]\n");
    return 2;
  }
  const int warmUpSeconds = smoke ? 2 : 15;
  const std::string figure = bench::Format("8 metrics scraped each second, kiosk process, %.0f s", seconds);
  sim::Options options;
  options.port = 8080;
  options.controlPort = 0;
  sim::UnitServiceSim service(options);
  try {
    service.Start();
  } catch (const std::exception& e) {
    std::printf("metrics_bench: the simulator cannot have port 8080: %s\n", e.what());
    bench::PrintRow({figure, "not measured: port 8080 taken", "-", "-", "<= 0.2% of a core", "NO"});
    return smoke ? 77 : 1;
  }
  bench::BecomeSubreaper();
  const RunResult idle = Run(program, false, seconds, warmUpSeconds);
  const RunResult scraped = Run(program, true, seconds, warmUpSeconds);
  service.Stop();
  const double added = scraped.processPercent - idle.processPercent;
  const bool met = idle.ran && scraped.ran && scraped.failedScrapes == 0 && added <= kBarPercent;
  bench::PrintRow({figure, bench::Format("+%.3f%% of a core", added),
                   bench::Format("idle %.3f%%", idle.processPercent) + bench::Format(", endpoint threads %.3f%%", scraped.endpointPercent),
                   "-", "<= 0.2% of a core", bench::MetText(met)});
  bench::PrintRow({bench::Format("8 metrics scraped each second, whole tree, %.0f s", seconds),
                   bench::Format("%+.3f%% of a core", scraped.treePercent - idle.treePercent),
                   bench::Format("idle %.3f%%", idle.treePercent), "-", "-", ""});
  return smoke ? (scraped.scrapes > 0 ? 0 : 1) : 0;
}
