#pragma once

#include <string>
#include <string_view>

namespace pagergw {

// The gateway's own state: to standard error, which the journal takes (a
// "<N>" prefix gives the severity), and as a syslog datagram (facility local0)
// to a receiver when one is set ("host" or "host:port", port 514 by default).
// Pages are never reported here as feed lines, and debug reports stay in the journal.
// One line for the journal: "<severity>" and the message, cut at
// diag::kOutsideTextMaxBytes, its control characters made blanks, so that a page
// text can never start a journal entry (and a priority) of its own.
std::string JournalLine(int severity, std::string_view message);

class Reporter {
 public:
  explicit Reporter(std::string syslogServer);
  void Report(int severity, const std::string& message);

 private:
  std::string host_;
  int port_ = 514;
  bool syslogFailing_ = false;
};

}  // namespace pagergw
