#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "platform/udp.h"
#include "tools/pager-gateway-sim/options.h"

namespace gatewaysim {

// Sends to host:port, resolving the host at each send (an IPv4 address is
// preferred because the kiosk listens on IPv4). Throws std::runtime_error when
// the host cannot be resolved at the start.
class UdpSender {
 public:
  UdpSender(std::string host, int port);

  // Sends data as one datagram; throws std::runtime_error when it cannot.
  void Send(std::string_view data);

 private:
  std::string host_;
  int port_;
  platform::DatagramSender sender_;
};

// Generates lines from options.seed and hands each to emit at the absolute
// deadlines start + i / rate, so slow sends or sleeps do not add up to drift.
// Ends after options.count lines, when the next deadline is not before
// options.duration, or within about 0.1 s of stopRequested() turning true.
// Returns the number of lines emitted.
std::uint64_t RunSenderLoop(const Options& options, const std::function<void(const std::string&)>& emit,
                            const std::function<bool()>& stopRequested);

}  // namespace gatewaysim
