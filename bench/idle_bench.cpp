// The idle cost of the real kiosk program under X, against the simulated unit
// web service on localhost:8080 (the status feed's fixed host): the CPU time
// its whole process tree (the kiosk and the web engine's processes) uses over
// five minutes of normal running, with the browser shown, the screens
// rotating, the status feed polled and a pager line every 3 seconds; and the
// tree's memory at the end. Beside it, over the same time, the bare
// QWebEngineView program on an X display of its own, and with --web-stack the
// web-stack display of bench/webstack, fed the same pager lines.
//
//   idle_bench KIOSK BARE [--web-stack SCRIPT] [--seconds N] [--smoke]
//   KIOSK_BENCH_QUICK=1   60 seconds instead of 300
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "bench/bench_util.h"
#include "bench/process_tree.h"
#include "bench/web_stack.h"
#include "config/kiosk_settings.h"
#include "tests/support/wait.h"
#include "tools/unit-service-sim/unit_service_sim.h"

namespace {

constexpr int kPagerPort = 15167;  // the real program's fixed port
constexpr int kPagerEverySeconds = 3;


bool UdpPortFree(int port) {
  const int fd = socket(AF_INET, SOCK_DGRAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_ANY);
  const bool free = bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  close(fd);
  return free;
}

void SendPagerLine(int number, int port) {
  const std::string line = "[RVU:0451002] BENCH PAGE " + std::to_string(number) + " RESCUE P3 LIFT ASSIST 7 RIVER RD";
  const int fd = socket(AF_INET, SOCK_DGRAM, 0);
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(static_cast<std::uint16_t>(port));
  to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  sendto(fd, line.data(), line.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
  close(fd);
}

std::string Megabytes(std::uint64_t bytes) { return bench::Format("%.0f MB", static_cast<double>(bytes) / 1e6); }

void PrintBreakdown(const char* what, const bench::TreeCpu& cpu, double seconds) {
  std::printf("  %s CPU by process:", what);
  for (const auto& [name, used] : cpu.ByName()) std::printf("  %s %.2f%%", name.c_str(), 100 * used / seconds);
  std::printf("\n");
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  bool smoke = false;
  int seconds = bench::QuickMode() ? 60 : 300;
  std::vector<std::string> programs;
  std::string webStackScript;
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--smoke") {
      smoke = true;
      seconds = 3;
    } else if (args[i] == "--web-stack" && i + 1 < args.size()) {
      webStackScript = std::filesystem::absolute(args[++i]).string();
    } else if (args[i] == "--seconds" && i + 1 < args.size()) {
      seconds = std::max(1, std::stoi(args[++i]));
    } else {
      programs.push_back(args[i]);
    }
  }
  if (programs.size() != 2 || std::getenv("DISPLAY") == nullptr) {
    std::fprintf(stderr,
                 "usage (under an X display): idle_bench KIOSK BARE [--web-stack SCRIPT] [--seconds N] [--smoke]\n");
    return 2;
  }
  if (!webStackScript.empty()) {
    if (const std::string missing = bench::WebStack::Missing(webStackScript); !missing.empty()) {
      std::printf("idle_bench: no web-stack display on this machine: %s is missing (scripts/bootstrap --bench)\n",
                  missing.c_str());
      return 1;
    }
  }
  const int warmUpSeconds = smoke ? 2 : 15;
  const std::string figure = bench::Format("6 idle CPU, whole tree, %.0f s", seconds);

  // The kiosk polls localhost:8080; another program there would answer in the simulator's place.
  sim::Options options;
  options.port = 8080;
  options.controlPort = 0;
  auto service = std::make_unique<sim::UnitServiceSim>(options);
  try {
    service->Start();
  } catch (const std::exception& e) {
    if (!smoke) {
      std::printf("idle_bench: the simulator cannot have port 8080: %s\n", e.what());
      bench::PrintRow({figure, "not measured: port 8080 taken", "-", "-", "< 2% of a core", "NO"});
      return 1;
    }
    options.port = 0;
    service = std::make_unique<sim::UnitServiceSim>(options);
    service->Start();
  }
  const bool pagerPortFree = UdpPortFree(kPagerPort);
  if (!pagerPortFree) std::printf("idle_bench: UDP port %d is taken; the kiosk gets no pager lines\n", kPagerPort);

  bench::BecomeSubreaper();
  const bench::ProgramCopy kioskCopy(programs[0]), bareCopy(programs[1]);
  config::tKioskSettings settings;
  settings.BrowserVisible = true;
  settings.ShowCFS = settings.ShowMFS = settings.ShowSAAS = settings.ShowRVU = true;
  std::ofstream(kioskCopy.Folder() + "/" + config::kFileName, std::ios::binary)
      << config::KioskSettingsFileText(settings);

  // The bare program gets a display of its own, so that neither window covers the other.
  bench::Child bareDisplay = bench::StartChild(
      {"/usr/bin/xvfb-run", "-a", "-s", "-screen 0 1280x1024x24", bareCopy.Path()}, bareCopy.Folder());
  bench::Child kiosk = bench::StartChild({kioskCopy.Path()}, kioskCopy.Folder());
  pid_t bare = -1;
  testsupport::WaitUntil(
      [&] {
        bare = bench::FindInTree(bareDisplay.pid(), std::filesystem::path(bareCopy.Path()).filename().string());
        return bare >= 0;
      },
      10000, 50);
  if (bare < 0) {
    std::printf("idle_bench: the bare program did not start\n");
    return 1;
  }
  // The web-stack display (headless, so it needs no display of its own), fed the same pager lines.
  std::unique_ptr<bench::WebStack> webStack;
  if (!webStackScript.empty()) webStack = std::make_unique<bench::WebStack>(webStackScript);
  sleep(static_cast<unsigned>(warmUpSeconds));

  bench::TreeCpu kioskCpu(kiosk.pid()), bareCpu(bare), webCpu(webStack ? webStack->Pid() : -1);
  kioskCpu.Begin();
  bareCpu.Begin();
  if (webStack) webCpu.Begin();
  const auto threadsBefore = bench::ThreadCpu(kiosk.pid());
  const std::int64_t start = bench::MonotonicNs();
  int pages = 0;
  for (int second = 1; second <= seconds; ++second) {
    const std::int64_t at = start + static_cast<std::int64_t>(second) * 1'000'000'000;
    while (bench::MonotonicNs() < at) usleep(20 * 1000);
    if (second % kPagerEverySeconds == 0) {
      SendPagerLine(++pages, kPagerPort);
      if (webStack) SendPagerLine(pages, webStack->UdpPort());
    }
    kioskCpu.Sample();
    bareCpu.Sample();
    if (webStack) webCpu.Sample();
    bench::ReapOrphans();
  }
  const double wall = static_cast<double>(bench::MonotonicNs() - start) / 1e9;
  auto threads = bench::ThreadCpu(kiosk.pid());
  for (const auto& [name, seconds] : threadsBefore) threads[name] -= seconds;
  const bench::TreeMemory kioskMemory = bench::ReadTreeMemory(kiosk.pid());
  const bench::TreeMemory bareMemory = bench::ReadTreeMemory(bare);
  const bench::TreeMemory webMemory = webStack ? bench::ReadTreeMemory(webStack->Pid()) : bench::TreeMemory{};
  const bool webRan = webStack && webStack->Running();
  webStack.reset();
  const bool kioskRan = kiosk.Running();
  const std::size_t requests = service->Requests().size();
  kiosk.StopGroup(SIGTERM, 5000);
  bareDisplay.StopGroup(SIGTERM, 5000);
  service->Stop();

  const double kioskPercent = 100 * kioskCpu.Seconds() / wall;
  const double barePercent = 100 * bareCpu.Seconds() / wall;
  std::printf("  %.0f s measured after %d s of start-up: %d pager lines sent, %zu requests to the simulator%s\n", wall,
              warmUpSeconds, pages, requests, kioskRan ? "" : ", the kiosk ENDED early");
  PrintBreakdown("kiosk", kioskCpu, wall);
  PrintBreakdown("bare", bareCpu, wall);
  if (webRan) PrintBreakdown("web stack", webCpu, wall);
  std::printf("  kiosk process CPU by thread:");
  for (const auto& [name, used] : threads)
    if (used > 0.005) std::printf("  %s %.2f%%", name.c_str(), 100 * used / wall);
  std::printf("\n");
  std::fflush(stdout);

  bench::PrintRow({figure, bench::Format("%.2f%% of a core", kioskPercent),
                   "bare QWebEngineView " + bench::Format("%.2f%%", barePercent),
                   barePercent > 0 ? bench::Format("%.2f", kioskPercent / barePercent) : "-", "< 2% of a core",
                   bench::MetText(kioskRan && kioskPercent < 2)});
  auto memoryText = [](const bench::TreeMemory& memory) {
    return "RSS " + Megabytes(memory.rssBytes) + ", PSS " + Megabytes(memory.pssBytes) +
           bench::Format(", %.0f processes", memory.processes);
  };
  auto pssRatio = [&](const bench::TreeMemory& baseline) {
    return baseline.pssBytes ? bench::Format("%.2f", static_cast<double>(kioskMemory.pssBytes) /
                                                         static_cast<double>(baseline.pssBytes))
                             : "-";
  };
  bench::PrintRow({bench::Format("6 tree memory after %.0f s", seconds), memoryText(kioskMemory),
                   "bare " + memoryText(bareMemory), pssRatio(bareMemory), "-", ""});
  if (webRan) {
    const double webPercent = 100 * webCpu.Seconds() / wall;
    bench::PrintRow({bench::Format("7 web stack: idle CPU, whole tree, %.0f s", seconds),
                     bench::Format("kiosk %.2f%% of a core", kioskPercent),
                     "web stack " + bench::Format("%.2f%%", webPercent),
                     webPercent > 0 ? bench::Format("%.2f", kioskPercent / webPercent) : "-", "-", ""});
    bench::PrintRow({bench::Format("7 web stack: tree memory after %.0f s", seconds), "kiosk " + memoryText(kioskMemory),
                     "web stack " + memoryText(webMemory), pssRatio(webMemory), "-", ""});
  } else if (!webStackScript.empty()) {
    std::printf("idle_bench: the web-stack display ENDED early\n");
  }
  return kioskRan ? 0 : 1;
}
