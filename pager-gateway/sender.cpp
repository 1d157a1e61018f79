#include "pager-gateway/sender.h"

namespace pagergw {

FeedSender::FeedSender(std::vector<std::string> targets, int port, ReportFn report)
    : targets_(std::move(targets)), port_(port), report_(std::move(report)) {}

int FeedSender::Send(const std::string& datagram) {
  int sent = 0;
  for (const std::string& host : targets_) {
    const auto failure = sender_.Send(host, port_, datagram);
    bool& failing = failing_[host];
    const std::string target = host + ":" + std::to_string(port_);
    if (failure && !failing)
      report_(kWarning, "cannot send to " + target + ": " +
                            (failure->kind == platform::DatagramSender::Failure::kResolve ? "cannot resolve: " : "") +
                            failure->reason);
    if (!failure && failing) report_(kNotice, "sending to " + target + " works again");
    failing = failure.has_value();
    if (!failure) ++sent;
    ++(failure ? sendErrors_ : sent_);
  }
  return sent;
}

}  // namespace pagergw
