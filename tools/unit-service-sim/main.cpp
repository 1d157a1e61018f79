// unit-service-sim: serves the simulated unit web service until SIGTERM or SIGINT.
#include <csignal>
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include <pthread.h>

#include "tools/unit-service-sim/unit_service_sim.h"

int main(int argc, char** argv) {
  std::string error;
  const auto line = sim::ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc), error);
  if (!line) {
    std::fprintf(stderr, "unit-service-sim: %s\n%s", error.c_str(), sim::Usage().c_str());
    return 2;
  }
  if (line->help) {
    std::fputs(sim::Usage().c_str(), stdout);
    return 0;
  }

  // Block the stop signals before any thread starts, so every thread inherits
  // the mask and only sigwait below sees them.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGTERM);
  sigaddset(&stopSignals, SIGINT);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
  std::signal(SIGPIPE, SIG_IGN);

  try {
    sim::UnitServiceSim service(line->options);
    service.Start();
    int signal = 0;
    sigwait(&stopSignals, &signal);
    service.Stop();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "unit-service-sim: %s\n", e.what());
    return 1;
  }
  return 0;
}
