#include "service/unit_service.h"

#include "platform/clock.h"
#include "service/endpoints.h"
#include "service/http_transport.h"
#include "service/rvu_settings.h"

namespace service {

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

tRVUSrvc WebUnitService::StatusPoll() {
  tRVUSrvc status;
  GetRVUSrvcXML(status, *transport_, feedHost_, LimitsNow());
  return status;
}

tIncidentRec WebUnitService::IncidentRecord(const tIncidentRec& request) {
  return GetIncidentRecFromWeb(request, *transport_, LimitsNow());
}

tTaskSummary WebUnitService::TaskSummary(const std::string& unit, const std::string& days) {
  return GetTaskSummary(*transport_, ServiceSettings.WWWHost, unit, days, LimitsNow());
}

std::unique_ptr<UnitService> MakeHttpUnitService() {
  return std::make_unique<WebUnitService>(std::make_unique<HttpTransport>(), FeedHost());
}

}  // namespace service
