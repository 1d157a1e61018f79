#include "service/http_transport.h"

namespace service {

std::string HttpTransport::Get(const WebRequest& request, const RequestTimeLimits& limits) {
  platform::HttpClient fresh;
  platform::HttpClient& http = request.keepCookies ? kept_ : fresh;
  if (!request.host.empty()) http.SetHost(request.host);
  http.SetPort(request.port);
  if (request.readTimeoutMs > 0) http.SetReadTimeoutMs(request.readTimeoutMs);
  http.SetConnectTimeoutMs(limits.connectMs);
  http.SetTotalTimeoutMs(limits.totalMs);
  if (request.followRedirects) http.SetFollowRedirects(true);
  if (request.keepCookies) http.SetCookiesEnabled(true);
  // Set on every request: the kept client serves readers of different limits.
  http.SetMaxBodyBytes(request.maxAnswerBytes > 0 ? request.maxAnswerBytes : platform::kDefaultMaxBodyBytes);
  for (const auto& [name, value] : request.headers) http.SetHeader(name, value);
  return http.Get(request.target);
}

}  // namespace service
