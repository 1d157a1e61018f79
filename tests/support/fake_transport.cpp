#include "tests/support/fake_transport.h"

#include <strings.h>

#include "platform/clock.h"
#include "platform/error.h"
#include "platform/http.h"

namespace testsupport {

namespace {

bool StartsWithNoCase(const std::string& text, const char* prefix) {
  return strncasecmp(text.c_str(), prefix, std::char_traits<char>::length(prefix)) == 0;
}

const char* Reason(int status) {
  switch (status) {
    case 404: return "Not Found";
    case 500: return "Internal Server Error";
    case 503: return "Service Unavailable";
    default: return "Error";
  }
}

}  // namespace

void FakeTransport::Answer(const std::string& path, std::string body, int status) {
  answers_[path] = {std::move(body), status, false, false};
}

void FakeTransport::Silent(const std::string& path) { answers_[path] = {"", 0, true, false}; }

void FakeTransport::Refuse(const std::string& path) { answers_[path] = {"", 0, false, true}; }

void FakeTransport::ClearRequests() {
  requests_.clear();
  limits_.clear();
  sent_.clear();
}

std::string FakeTransport::Get(const service::WebRequest& request, const service::RequestTimeLimits& limits) {
  std::string host = request.host, target = request.target;
  if (StartsWithNoCase(target, "http://")) {
    const size_t slash = target.find('/', 7);
    host = target.substr(7, slash == std::string::npos ? std::string::npos : slash - 7);
    target = slash == std::string::npos ? "/" : target.substr(slash);
  } else if (host.find(':') == std::string::npos) {
    host += ":" + std::to_string(request.port);
  }
  const std::string refused = "Failed to connect to " + host + ": Connection refused";
  if (strcasecmp(host.c_str(), host_.c_str()) != 0) throw platform::Error(platform::kSocketError, refused);

  requests_.push_back(platform::BlanksEscaped(target));
  limits_.push_back(limits);
  sent_.push_back(request);
  const auto found = answers_.find(target.substr(0, target.find('?')));
  if (found == answers_.end()) throw platform::Error(platform::kHttpError, "HTTP/1.1 404 Not Found");
  const Canned& canned = found->second;
  if (canned.refused) throw platform::Error(platform::kSocketError, refused);
  if (canned.silent) {
    platform::CurrentClock().Sleep(static_cast<int>(limits.totalMs));
    throw platform::Error(platform::kTimeoutError,
                          "Operation timed out after " + std::to_string(limits.totalMs) + " milliseconds");
  }
  if (canned.status < 200 || canned.status > 299)
    throw platform::Error(platform::kHttpError,
                          "HTTP/1.1 " + std::to_string(canned.status) + " " + Reason(canned.status));
  // An answer past the request's limit fails as platform::HttpClient's does.
  const std::size_t limit = request.maxAnswerBytes > 0 ? request.maxAnswerBytes : platform::kDefaultMaxBodyBytes;
  if (canned.body.size() > limit)
    throw platform::Error(platform::kHttpError, "Answer longer than " + std::to_string(limit) + " bytes from http://" +
                                                    host + platform::BlanksEscaped(target));
  return canned.body;
}

}  // namespace testsupport
