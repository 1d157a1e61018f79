#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tools/unit-service-sim/incidents.h"

namespace sim {

// The groups of endpoints on the main port that faults are set for.
enum class Endpoint { Feed, Incident, Summary, Iframe, Weather, Chart, Pix, All };

// How a faulty endpoint misbehaves:
//   Refuse     closes the connection without any answer;
//   Silent     accepts and never answers (the connection is held until the
//              fault is cleared, the simulator stops or kSilentHoldLimit passes);
//   Delay      answers normally after `seconds`;
//   Status     answers with HTTP status `code`;
//   Garbage    answers 200 with random bytes;
//   Truncated  announces the whole body, sends half of it and closes;
//   Huge       answers with a body of kHugeBodySize bytes.
enum class FaultMode { None, Refuse, Silent, Delay, Status, Garbage, Truncated, Huge };

struct Fault {
  FaultMode mode = FaultMode::None;
  int seconds = 25;
  int code = 500;
};

inline constexpr std::size_t kHugeBodySize = 10 * 1024 * 1024;
inline constexpr std::chrono::seconds kSilentHoldLimit{120};

std::optional<Endpoint> EndpointNamed(std::string_view name);
std::optional<FaultMode> FaultModeNamed(std::string_view name);
std::string_view NameOf(Endpoint endpoint);
std::string_view NameOf(FaultMode mode);

struct Options {
  int port = 8080;                 // 0: a free port
  std::optional<int> controlPort;  // unset: port + 1, or a free port when port is 0
  int pix = 12;                    // number of station pictures
  bool startWithIncident = true;   // a current incident paged a few minutes ago
  std::string logPath;             // request log: "" nowhere, "-" stdout, else appended to that file
  std::string uri = "/rvu/rvuisapi.dll";
  std::uint64_t seed = 20240501;   // makes the incident history
  bool announce = false;           // print the listening line on stdout once bound
};

// The program's command line (arguments without the program name).
struct CommandLine {
  Options options;
  bool help = false;
};
// nullopt with `error` set when the arguments are not valid.
std::optional<CommandLine> ParseCommandLine(const std::vector<std::string>& args, std::string& error);
std::string Usage();

// A simulated unit web service: the status feed, incident records, task
// summary, route map, weather, chart pages and station pictures on the main
// port, and a plain-text control interface on the control port. Both listen on
// 127.0.0.1 only. All members may be called from any thread.
class UnitServiceSim {
 public:
  explicit UnitServiceSim(Options options = {});
  ~UnitServiceSim();
  UnitServiceSim(const UnitServiceSim&) = delete;
  UnitServiceSim& operator=(const UnitServiceSim&) = delete;

  // Returns once both ports accept connections; throws std::runtime_error when
  // a port cannot be had.
  void Start();
  // Ends held and idle connections and returns when every thread has ended.
  void Stop();
  int Port() const;
  int ControlPort() const;

  // Pages a new incident, which becomes the current one; returns its number.
  // Throws std::invalid_argument for a priority other than 1, 2, 3 or 7 or a
  // negative age.
  int RaiseIncident(const IncidentFields& fields = {});
  std::optional<Incident> CurrentIncident() const;

  void SetFault(Endpoint endpoint, Fault fault);
  void ClearFaults();

  // One "METHOD target" line per request on the main port, target exactly as
  // received, oldest first.
  std::vector<std::string> Requests() const;
  void ClearRequests();

  // The current incident and the faults, as the control port reports them.
  std::string StateText() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace sim
