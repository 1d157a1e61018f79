#pragma once

#include "platform/http.h"
#include "service/web_request.h"

namespace service {

// The service reached over HTTP with libcurl.
class HttpTransport final : public WebTransport {
 public:
  std::string Get(const WebRequest& request, const RequestTimeLimits& limits) override;

 private:
  platform::HttpClient kept_;  // for the requests that keep their cookies
};

}  // namespace service
