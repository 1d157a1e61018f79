#pragma once

#include <algorithm>

#include "platform/http.h"

namespace service {

// Time limits of the service requests. Without them a service that accepts the
// connection and never answers would hold the kiosk's one thread, and with it
// the clock, for good. Tests shorten them.
struct RequestTimeLimits {
  long connectMs = 10000;
  long totalMs = 30000;
  // The least a later request of the same tick is given once earlier ones have
  // used up the total, so a service that has just come back is still reached.
  long leastMs = 500;
};
inline RequestTimeLimits gRequestTimeLimits;

inline void ApplyRequestTimeLimits(platform::HttpClient& http) {
  http.SetConnectTimeoutMs(gRequestTimeLimits.connectMs);
  http.SetTotalTimeoutMs(gRequestTimeLimits.totalMs);
}

// The limits left for further requests once `spentMs` of the total have gone:
// the requests of one tick share one total, so a silent service stops the
// clock for one request's time, not for each request's.
inline RequestTimeLimits LimitsAfter(const RequestTimeLimits& limits, long spentMs) {
  RequestTimeLimits left = limits;
  left.totalMs = std::max(limits.leastMs, limits.totalMs - std::max(0L, spentMs));
  left.connectMs = std::min(limits.connectMs, left.totalMs);
  return left;
}

// Narrows gRequestTimeLimits to what is left after `spentMs` until the scope
// ends, then restores them.
class RequestBudgetScope {
 public:
  explicit RequestBudgetScope(long spentMs) : saved_(gRequestTimeLimits) {
    gRequestTimeLimits = LimitsAfter(saved_, spentMs);
  }
  ~RequestBudgetScope() { gRequestTimeLimits = saved_; }
  RequestBudgetScope(const RequestBudgetScope&) = delete;
  RequestBudgetScope& operator=(const RequestBudgetScope&) = delete;

 private:
  RequestTimeLimits saved_;
};

}  // namespace service
