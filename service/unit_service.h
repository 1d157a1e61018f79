#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "service/incident.h"
#include "service/rvu_srvc.h"
#include "service/task_summary.h"
#include "service/web_request.h"

namespace service {

// Everything the window asks of the unit's web service, each call returning
// its record.
class UnitService {
 public:
  virtual ~UnitService() = default;
  // The requests made between these two calls belong to one tick of the clock
  // and share one request's time.
  virtual void TickStarted() = 0;
  virtual void TickEnded() = 0;
  // The status feed (GetRVUSrvcXML).
  virtual tRVUSrvc StatusPoll() = 0;
  // The incident that `request`'s page names (GetIncidentRecFromWeb).
  virtual tIncidentRec IncidentRecord(const tIncidentRec& request) = 0;
  virtual tTaskSummary TaskSummary(const std::string& unit, const std::string& days) = 0;
};

// How long after a failed request to the web host a request made outside a
// tick (the route map of a command or a key) is left out. Commands come in
// batches that the window handles without turning its event loop; against a
// silent service each would otherwise wait out its whole time limit.
inline constexpr std::uint32_t kRetryPauseMs = 15000;

// Whether a request outside a tick goes out, `sinceFailureMs` after the last
// failed request to its host (none: no failure since the last success).
inline bool MayRequestOutsideTick(std::optional<std::uint32_t> sinceFailureMs) {
  return !sinceFailureMs || *sinceFailureMs >= kRetryPauseMs;
}

// The unit's web service through a transport (HTTP in the program): the feed on
// the feed host, the rest on the web host of the service settings. It owns the
// requests' time limits: a request within a tick gets what the tick's earlier
// requests left of one request's time; a request outside a tick is left out
// within kRetryPauseMs of a failed request to the web host (a tick's own
// requests always go out, and their outcome counts too).
class WebUnitService final : public UnitService {
 public:
  explicit WebUnitService(std::unique_ptr<WebTransport> transport, std::string feedHost,
                          RequestTimeLimits limits = {});
  void TickStarted() override;
  void TickEnded() override;
  tRVUSrvc StatusPoll() override;
  tIncidentRec IncidentRecord(const tIncidentRec& request) override;
  tTaskSummary TaskSummary(const std::string& unit, const std::string& days) override;

  void SetLimits(const RequestTimeLimits& limits) { limits_ = limits; }

 private:
  RequestTimeLimits LimitsNow() const;
  // Sends what `read` asks for through the transport, noting for the web host
  // whether the transport failed or answered.
  void Watched(const std::string& host, const std::function<void(WebTransport&)>& read);

  std::unique_ptr<WebTransport> transport_;
  std::string feedHost_;
  RequestTimeLimits limits_;
  bool inTick_ = false;
  std::uint32_t tickStartedMs_ = 0;
  // Tick count when the last request to the web host failed; empty once one
  // was answered.
  std::optional<std::uint32_t> failedAtMs_;
  int leftOut_ = 0;  // requests left out since that failure
};

// The program's service: HTTP, the built-in feed host, the standard limits.
std::unique_ptr<UnitService> MakeHttpUnitService();

}  // namespace service
