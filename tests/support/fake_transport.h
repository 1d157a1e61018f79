#pragma once

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "service/web_request.h"

namespace testsupport {

// The unit's web service as the readers reach it, without a server: canned
// answers per path on one host, failures, and every request recorded with the
// target a server would see ("path?query", blanks as %20) and the time limits
// it was given. A request for another host fails as a refused connection does,
// an answer past the request's size limit as an over-long answer does.
class FakeTransport final : public service::WebTransport {
 public:
  explicit FakeTransport(std::string host = "unit.test:8080") : host_(std::move(host)) {}

  const std::string& host() const { return host_; }
  // The answer for a path (query not included), replacing an earlier one;
  // unknown paths answer 404.
  void Answer(const std::string& path, std::string body, int status = 200);
  // Requests for the path take their whole time limit (the clock moves on by
  // it) and then fail as a silent service's do.
  void Silent(const std::string& path);
  // Requests for the path fail as a refused connection does.
  void Refuse(const std::string& path);

  std::vector<std::string> Requests() const { return requests_; }
  const std::vector<service::RequestTimeLimits>& Limits() const { return limits_; }
  const std::vector<service::WebRequest>& Sent() const { return sent_; }
  void ClearRequests();

  std::string Get(const service::WebRequest& request, const service::RequestTimeLimits& limits) override;

 private:
  struct Canned {
    std::string body;
    int status = 200;
    bool silent = false;
    bool refused = false;
  };
  std::string host_;
  std::map<std::string, Canned> answers_;
  std::vector<std::string> requests_;
  std::vector<service::RequestTimeLimits> limits_;
  std::vector<service::WebRequest> sent_;
};

}  // namespace testsupport
