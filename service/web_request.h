#pragma once

#include "platform/http.h"

namespace service {

// Time limits of the service requests. Without them a service that accepts the
// connection and never answers would hold the kiosk's one thread, and with it
// the clock, for good. Tests shorten them.
struct RequestTimeLimits {
  long connectMs = 10000;
  long totalMs = 30000;
};
inline RequestTimeLimits gRequestTimeLimits;

inline void ApplyRequestTimeLimits(platform::HttpClient& http) {
  http.SetConnectTimeoutMs(gRequestTimeLimits.connectMs);
  http.SetTotalTimeoutMs(gRequestTimeLimits.totalMs);
}

}  // namespace service
