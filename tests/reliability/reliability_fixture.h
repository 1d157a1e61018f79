#pragma once

#include <dirent.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "service/endpoints.h"
#include "service/http_transport.h"
#include "service/web_request.h"
#include "tests/kiosk/kiosk_fixture.h"
#include "tests/support/process.h"
#include "tests/support/wait.h"
#include <signal.h>

#include <stdexcept>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

namespace testsupport {

// One line of the reliability scorecard: the check, what was measured, the bar
// it is held to, and whether it met it.
inline void Score(const std::string& check, const std::string& measured, const std::string& bar, bool pass) {
  std::printf("SCORE|%s|%s|%s|%s\n", check.c_str(), measured.c_str(), bar.c_str(), pass ? "PASS" : "FAIL");
  std::fflush(stdout);
}

// Open descriptors of this process: sockets apart from everything else (files,
// pipes), since the simulator in the same process holds connections of its own.
struct Descriptors {
  int sockets = 0;
  int others = 0;
};
inline Descriptors OpenDescriptors() {
  Descriptors d;
  if (DIR* dir = opendir("/proc/self/fd")) {
    while (dirent* e = readdir(dir)) {
      if (e->d_name[0] == '.') continue;
      char target[256] = {};
      const std::string link = std::string("/proc/self/fd/") + e->d_name;
      if (readlink(link.c_str(), target, sizeof target - 1) <= 0) continue;
      (std::string(target).rfind("socket:", 0) == 0 ? d.sockets : d.others)++;
    }
    closedir(dir);
  }
  return d;
}

inline long ResidentKiB() {
  std::ifstream status("/proc/self/status");
  std::string key;
  long value = 0;
  while (status >> key) {
    if (key == "VmRSS:") {
      status >> value;
      return value;
    }
    status.ignore(1 << 20, '\n');
  }
  return 0;
}

// The simulated unit web service as a process of its own, so that its threads,
// connections and memory are not counted as the kiosk's.
class SimulatorProcess {
 public:
  SimulatorProcess()
      : process_({UNIT_SERVICE_SIM_PATH, "--port", "0", "--pix", "5", "--log", "/dev/null"}, {}, "",
                 Output::Memory(false)) {
    // "unit-service-sim listening on 127.0.0.1:<port> control 127.0.0.1:<cport>"
    std::string line;
    WaitUntil([&] { return (line = process_.CapturedOutput()).find('\n') != std::string::npos || !process_.Running(); },
              10000);
    if (std::sscanf(line.c_str(), "unit-service-sim listening on 127.0.0.1:%d control 127.0.0.1:%d", &port_,
                    &controlPort_) != 2)
      throw std::runtime_error("the simulator did not start: " + line);
  }
  ~SimulatorProcess() { process_.Stop(SIGTERM, 10000); }
  int Port() const { return port_; }
  // A request to the control port ("POST /incident").
  void Control(const std::string& target) {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(controlPort_));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0) {
      const std::string request =
          "POST " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
      [[maybe_unused]] ssize_t sent = send(fd, request.data(), request.size(), 0);
      char answer[4096];
      while (recv(fd, answer, sizeof answer, 0) > 0) {
      }
    }
    close(fd);
  }

 private:
  Process process_;
  int port_ = 0;
  int controlPort_ = 0;
};

// A kiosk in process against the simulated unit web service.
class KioskWithSimulator : public KioskTest {
 protected:
  void SetUp() override {
    service = std::make_unique<SimulatorProcess>();
    KioskTest::SetUp();
    service::ServiceSettings.WWWHost = Host();
  }
  void TearDown() override {
    KioskTest::TearDown();
    service.reset();
  }
  std::string Host() const { return "127.0.0.1:" + std::to_string(service->Port()); }
  // The program's unit service over HTTP, aimed at the simulator.
  std::unique_ptr<service::WebUnitService> MakeUnitService() override {
    return std::make_unique<service::WebUnitService>(std::make_unique<service::HttpTransport>(), Host(),
                                                     service::RequestTimeLimits{2000, 2000});
  }

  void Tick(int count = 1) {
    for (int i = 0; i < count; ++i) {
      clock->Advance(1000);
      window->TimerTimer();
    }
  }

  std::unique_ptr<SimulatorProcess> service;
};

}  // namespace testsupport
