#pragma once

#include <cstdint>
#include <memory>
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

// The unit's web service through a transport (HTTP in the program): the feed on
// the feed host, the rest on the web host of the service settings. It owns the
// requests' time limits: a request within a tick gets what the tick's earlier
// requests left of one request's time.
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

  std::unique_ptr<WebTransport> transport_;
  std::string feedHost_;
  RequestTimeLimits limits_;
  bool inTick_ = false;
  std::uint32_t tickStartedMs_ = 0;
};

// The program's service: HTTP, the built-in feed host, the standard limits.
std::unique_ptr<UnitService> MakeHttpUnitService();

}  // namespace service
