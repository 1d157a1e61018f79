#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "pager-gateway/gateway.h"
#include "platform/udp.h"

namespace pagergw {

// Sends each feed line as one UDP datagram to every kiosk and to the broadcast
// address. Names are resolved at each send (a kiosk may change its address);
// an IPv4 address is preferred, as the kiosk listens on IPv4. A target that
// starts or stops failing is reported once, not at every page.
class FeedSender {
 public:
  FeedSender(std::vector<std::string> targets, int port, ReportFn report);

  // The number of targets the datagram went to.
  int Send(const std::string& datagram);
  // Datagrams sent to a target, and sends to a target that failed, so far.
  std::uint64_t Sent() const { return sent_; }
  std::uint64_t SendErrors() const { return sendErrors_; }

 private:
  std::vector<std::string> targets_;
  int port_;
  ReportFn report_;
  platform::DatagramSender sender_{true};
  std::map<std::string, bool> failing_;
  std::uint64_t sent_ = 0;
  std::uint64_t sendErrors_ = 0;
};

}  // namespace pagergw
