#include "service/unit_service.h"

#include <strings.h>

#include "diag/log.h"
#include "platform/clock.h"
#include "platform/error.h"
#include "service/endpoints.h"
#include "service/http_transport.h"
#include "service/reader_failure.h"
#include "service/rvu_settings.h"

namespace service {

namespace {

// Written once the web host is asked again, when requests were left out before.
constexpr std::int32_t kLeftOutCode = 40010;

// Passes requests on and remembers whether one failed or was answered.
class WatchingTransport final : public WebTransport {
 public:
  explicit WatchingTransport(WebTransport& inner) : inner_(inner) {}
  std::string Get(const WebRequest& request, const RequestTimeLimits& limits) override {
    try {
      std::string body = inner_.Get(request, limits);
      answered = true;
      return body;
    } catch (const std::exception& e) {
      failed = true;
      failureClass = platform::ErrorClassName(e);
      throw;
    } catch (...) {
      failed = true;
      failureClass = "unknown";
      throw;
    }
  }
  bool failed = false;
  bool answered = false;
  std::string failureClass;  // of the last failure

 private:
  WebTransport& inner_;
};

}  // namespace

const char* NameOf(RequestKind kind) {
  switch (kind) {
    case RequestKind::StatusPoll:
      return "status_poll";
    case RequestKind::Incident:
      return "incident";
    case RequestKind::Summary:
      return "summary";
  }
  return "";
}

const char* NameOf(RequestResult result) {
  switch (result) {
    case RequestResult::Ok:
      return "ok";
    case RequestResult::Refused:
      return "refused";
    case RequestResult::TimedOut:
      return "timed_out";
    case RequestResult::HttpError:
      return "http_error";
    case RequestResult::Unreadable:
      return "unreadable";
  }
  return "";
}

RequestResult ResultOf(const std::string& failureClass, bool readerTookAnswer) {
  if (failureClass.empty()) return readerTookAnswer ? RequestResult::Ok : RequestResult::Unreadable;
  if (failureClass == platform::kTimeoutError) return RequestResult::TimedOut;
  if (failureClass == platform::kHttpError) return RequestResult::HttpError;
  if (failureClass == platform::kSocketError) return RequestResult::Refused;
  return RequestResult::Unreadable;
}

WebUnitService::WebUnitService(std::unique_ptr<WebTransport> transport, std::string feedHost,
                               RequestTimeLimits limits)
    : transport_(std::move(transport)), feedHost_(std::move(feedHost)), limits_(limits) {}

void WebUnitService::TickStarted() {
  inTick_ = true;
  tickStartedMs_ = platform::CurrentClock().TickCount();
}

void WebUnitService::TickEnded() { inTick_ = false; }

RequestTimeLimits WebUnitService::LimitsNow() const {
  if (!inTick_) return limits_;
  // The tick count wraps after 49.7 days; the difference of two readings does not.
  const auto spent = static_cast<std::uint32_t>(platform::CurrentClock().TickCount() - tickStartedMs_);
  return LimitsAfter(limits_, static_cast<long>(spent));
}

void WebUnitService::Watched(const std::string& host, RequestKind kind,
                             const std::function<bool(WebTransport&)>& read) {
  // The feed host counts only when it is the web host itself.
  const bool webHost = strcasecmp(host.c_str(), ServiceSettings.WWWHost.c_str()) == 0;
  if (webHost && leftOut_ > 0) {
    diag::LogEntry({kLeftOutCode, 0,
                    "[Function=RVULib.GetIncidentRecFromWeb][LeftOut=" + std::to_string(leftOut_) +
                        "][Notes=requested outside a tick within " + std::to_string(kRetryPauseMs) +
                        " ms of a failed request]",
                    0});
    leftOut_ = 0;
  }
  WatchingTransport watch(*transport_);
  platform::Clock& clock = platform::CurrentClock();
  const std::uint32_t startedMs = clock.TickCount();
  const bool took = read(watch);
  if (watch.failed || watch.answered) {
    const auto k = static_cast<std::size_t>(kind);
    const RequestResult result = ResultOf(watch.failed ? watch.failureClass : "", took);
    ++counts_.results[k][static_cast<std::size_t>(result)];
    counts_.lastFailed[k] = result != RequestResult::Ok;
    counts_.seconds[k].Observe(static_cast<std::uint32_t>(clock.TickCount() - startedMs) / 1000.0);
  }
  if (!webHost) return;
  if (watch.failed)
    failedAtMs_ = platform::CurrentClock().TickCount();
  else if (watch.answered)
    failedAtMs_.reset();
}

tRVUSrvc WebUnitService::StatusPoll() {
  tRVUSrvc status;
  const RequestTimeLimits limits = LimitsNow();
  Watched(feedHost_, RequestKind::StatusPoll, [&](WebTransport& transport) {
    GetRVUSrvcXML(status, transport, feedHost_, limits);
    return status.Success;
  });
  return status;
}

tIncidentRec WebUnitService::IncidentRecord(const tIncidentRec& request) {
  if (!inTick_ && failedAtMs_) {
    // The tick count wraps after 49.7 days; the difference of two readings does not.
    const auto since = static_cast<std::uint32_t>(platform::CurrentClock().TickCount() - *failedAtMs_);
    if (!MayRequestOutsideTick(since)) {
      // As when the service has no record: the caller shows its no-record line.
      ++leftOut_;
      tIncidentRec none = request;
      none.RecordFound = false;
      return none;
    }
  }
  const RequestTimeLimits limits = LimitsNow();
  tIncidentRec record;
  Watched(ServiceSettings.WWWHost, RequestKind::Incident, [&](WebTransport& transport) {
    const std::uint64_t failures = ReaderFailuresReported();
    record = GetIncidentRecFromWeb(request, transport, limits);
    return ReaderFailuresReported() == failures;
  });
  return record;
}

tTaskSummary WebUnitService::TaskSummary(const std::string& unit, const std::string& days) {
  const RequestTimeLimits limits = LimitsNow();
  tTaskSummary summary;
  Watched(ServiceSettings.WWWHost, RequestKind::Summary, [&](WebTransport& transport) {
    summary = GetTaskSummary(transport, ServiceSettings.WWWHost, unit, days, limits);
    return summary.Success;
  });
  return summary;
}

std::unique_ptr<UnitService> MakeHttpUnitService() {
  return std::make_unique<WebUnitService>(std::make_unique<HttpTransport>(), FeedHost());
}

}  // namespace service
