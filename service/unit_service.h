#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/metrics.h"
#include "service/incident.h"
#include "service/rvu_srvc.h"
#include "service/task_summary.h"
#include "service/web_request.h"

namespace service {

// The requests to the unit's web service, and how each ended.
enum class RequestKind { StatusPoll, Incident, Summary };
inline constexpr int kRequestKinds = 3;
enum class RequestResult { Ok, Refused, TimedOut, HttpError, Unreadable };
inline constexpr int kRequestResults = 5;
const char* NameOf(RequestKind kind);  // "status_poll", "incident", "summary"
const char* NameOf(RequestResult result);  // "ok", "refused", "timed_out", "http_error", "unreadable"

// How a request ended: the transport's failure by its error class (no
// connection or no answer, a time limit, an HTTP status), or an answer the
// reader could or could not use. `failureClass` empty: the transport answered.
RequestResult ResultOf(const std::string& failureClass, bool readerTookAnswer);

// The upper bounds of the requests' latency histogram, in seconds: up to the
// 30 seconds that a tick's requests share.
inline const std::vector<double> kRequestSecondsBounds = {0.01, 0.05, 0.1, 0.25, 0.5, 1, 2.5, 5, 10, 30};

// The requests sent so far (those left out are not counted).
struct RequestCounts {
  std::array<std::array<std::uint64_t, kRequestResults>, kRequestKinds> results{};
  std::array<platform::MetricHistogram, kRequestKinds> seconds{
      platform::MetricHistogram(kRequestSecondsBounds), platform::MetricHistogram(kRequestSecondsBounds),
      platform::MetricHistogram(kRequestSecondsBounds)};
  // Whether the latest request of each kind failed (none yet: no).
  std::array<bool, kRequestKinds> lastFailed{};
  std::uint64_t Count(RequestKind kind, RequestResult result) const {
    return results[static_cast<std::size_t>(kind)][static_cast<std::size_t>(result)];
  }
};

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
  // The requests sent so far, by kind and result; none for a service that does
  // not count them.
  virtual RequestCounts Counts() const { return {}; }
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

  RequestCounts Counts() const override { return counts_; }

  void SetLimits(const RequestTimeLimits& limits) { limits_ = limits; }

 private:
  RequestTimeLimits LimitsNow() const;
  // Sends what `read` asks for through the transport, noting for the web host
  // whether the transport failed or answered, and counting the request's
  // result and time; `read` says whether its reader took the answer.
  void Watched(const std::string& host, RequestKind kind, const std::function<bool(WebTransport&)>& read);

  std::unique_ptr<WebTransport> transport_;
  std::string feedHost_;
  RequestTimeLimits limits_;
  bool inTick_ = false;
  std::uint32_t tickStartedMs_ = 0;
  // Tick count when the last request to the web host failed; empty once one
  // was answered.
  std::optional<std::uint32_t> failedAtMs_;
  int leftOut_ = 0;  // requests left out since that failure
  RequestCounts counts_;
};

// The program's service: HTTP, the built-in feed host, the standard limits.
std::unique_ptr<UnitService> MakeHttpUnitService();

}  // namespace service
