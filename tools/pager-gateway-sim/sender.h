#pragma once

#include <sys/socket.h>

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "tools/pager-gateway-sim/options.h"

namespace gatewaysim {

// A plain UDP socket aimed at host:port. The host is resolved once with
// getaddrinfo; an IPv4 address is preferred because the kiosk listens on IPv4.
// Throws std::runtime_error when the host cannot be resolved or no socket opens.
class UdpSender {
 public:
  UdpSender(const std::string& host, int port);
  ~UdpSender();
  UdpSender(const UdpSender&) = delete;
  UdpSender& operator=(const UdpSender&) = delete;

  // Sends data as one datagram; throws std::runtime_error when the OS refuses it.
  void Send(std::string_view data);

 private:
  int fd_ = -1;
  sockaddr_storage address_{};
  socklen_t addressLength_ = 0;
};

// Generates lines from options.seed and hands each to emit at the absolute
// deadlines start + i / rate, so slow sends or sleeps do not add up to drift.
// Ends after options.count lines, when the next deadline is not before
// options.duration, or within about 0.1 s of stopRequested() turning true.
// Returns the number of lines emitted.
std::uint64_t RunSenderLoop(const Options& options, const std::function<void(const std::string&)>& emit,
                            const std::function<bool()>& stopRequested);

}  // namespace gatewaysim
