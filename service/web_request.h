#pragma once

#include <algorithm>
#include <cstddef>
#include <string>
#include <utility>
#include <vector>

// How the readers reach the unit's web service: what one request is, its time
// limits, and the transport that sends it.
namespace service {

// Time limits of a service request. Without them a service that accepts the
// connection and never answers would hold the kiosk's one thread, and with it
// the clock, for good.
struct RequestTimeLimits {
  long connectMs = 10000;
  long totalMs = 30000;
  // The least a later request of the same tick is given once earlier ones have
  // used up the total, so a service that has just come back is still reached.
  long leastMs = 500;
};

// The limits left for further requests once `spentMs` of the total have gone:
// the requests of one tick share one total, so a silent service stops the
// clock for one request's time, not for each request's.
inline RequestTimeLimits LimitsAfter(const RequestTimeLimits& limits, long spentMs) {
  RequestTimeLimits left = limits;
  left.totalMs = std::max(limits.leastMs, limits.totalMs - std::max(0L, spentMs));
  left.connectMs = std::min(limits.connectMs, left.totalMs);
  return left;
}

// One GET of the service, as a reader asks for it.
struct WebRequest {
  std::string host;    // for a path: "name" or "name:port"; empty with a full address
  std::string target;  // a path on the host, or a full "http://" address
  int port = 80;
  long readTimeoutMs = 0;  // 0: none of its own
  bool followRedirects = false;
  // Sent on the one client that lives as long as the transport, keeping the
  // cookies it receives; other requests go on a fresh client each.
  bool keepCookies = false;
  std::vector<std::pair<std::string, std::string>> headers;
  // The longest answer taken; a longer one fails as an unreadable answer does,
  // and is not read past the limit. 0: the HTTP layer's general limit.
  std::size_t maxAnswerBytes = 0;
};

// Sends a request and returns the answer's body. Raises platform::Error as
// platform::HttpClient does: ESocketError (no connection), ETimeoutError (a
// limit ran out), EHttpProtocolError (a status other than 2xx).
class WebTransport {
 public:
  virtual ~WebTransport() = default;
  virtual std::string Get(const WebRequest& request, const RequestTimeLimits& limits) = 0;
};

}  // namespace service
