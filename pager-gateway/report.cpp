#include "pager-gateway/report.h"

#include <cstdio>
#include <cstdlib>

#include "diag/syslog.h"
#include "diag/text.h"
#include "pager-gateway/gateway.h"
#include "platform/clock.h"
#include "platform/error.h"
#include "platform/udp.h"

namespace pagergw {

namespace {
constexpr int kFacilityLocal0 = 16;
constexpr const char* kProgramId = "rvu-pager-gateway";
}  // namespace

Reporter::Reporter(std::string syslogServer) : host_(std::move(syslogServer)) {
  // "host:port"; an address with more than one ':' is IPv6 and has no port here.
  const auto colon = host_.rfind(':');
  if (colon != std::string::npos && host_.find(':') == colon) {
    port_ = std::atoi(host_.c_str() + colon + 1);
    host_.resize(colon);
  }
}

std::string JournalLine(int severity, std::string_view message) {
  return "<" + std::to_string(severity) + ">" + diag::BlankControlChars(diag::CutOutsideText(message)) + "\n";
}

void Reporter::Report(int severity, const std::string& message) {
  const std::string line = JournalLine(severity, message);
  std::fwrite(line.data(), 1, line.size(), stderr);
  std::fflush(stderr);
  if (host_.empty() || severity > kInfo) return;
  try {
    platform::SendDatagram(host_, port_,
                           diag::BuildSyslogDatagram(platform::Now(), kProgramId, severity, kFacilityLocal0, message));
    if (syslogFailing_) std::fprintf(stderr, "<%d>syslog datagrams to %s go out again\n", kNotice, host_.c_str());
    syslogFailing_ = false;
  } catch (const std::exception& e) {
    if (!syslogFailing_) std::fputs(JournalLine(kWarning, std::string("syslog: ") + e.what()).c_str(), stderr);
    syslogFailing_ = true;
  }
}

}  // namespace pagergw
