#include <csignal>
#include <cstdio>
#include <exception>
#include <iostream>
#include <string>
#include <vector>

#include "tools/pager-gateway-sim/options.h"
#include "tools/pager-gateway-sim/sender.h"

namespace {

volatile std::sig_atomic_t stopSignal = 0;

void OnStopSignal(int signal) { stopSignal = signal; }

void InstallStopHandlers() {
  struct sigaction action {};
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  sigaction(SIGTERM, &action, nullptr);
  sigaction(SIGINT, &action, nullptr);
}

void Print(const std::string& line) {
  std::fwrite(line.data(), 1, line.size(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
  const std::string program = argc > 0 ? argv[0] : "pager-gateway-sim";
  auto parsed = gatewaysim::ParseOptions(std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc));
  if (auto* error = std::get_if<std::string>(&parsed)) {
    std::cerr << program << ": " << *error << "\n(" << program << " --help lists the options)\n";
    return 2;
  }
  const auto& options = std::get<gatewaysim::Options>(parsed);
  if (options.help) {
    std::cout << gatewaysim::UsageText(program);
    return 0;
  }

  InstallStopHandlers();
  try {
    gatewaysim::UdpSender sender(options.host, options.port);
    if (options.send) {
      sender.Send(*options.send);
      if (!options.quiet) Print(*options.send);
      return 0;
    }
    gatewaysim::RunSenderLoop(
        options,
        [&](const std::string& line) {
          // One failed datagram (e.g. a full send buffer) must not end the feed.
          try {
            sender.Send(line);
            if (!options.quiet) Print(line);
          } catch (const std::exception& e) {
            std::cerr << program << ": " << e.what() << "\n";
          }
        },
        [] { return stopSignal != 0; });
  } catch (const std::exception& e) {
    std::cerr << program << ": " << e.what() << "\n";
    return 1;
  }
  return 0;
}
