#pragma once

#include <optional>
#include <string>

namespace testsupport {

// A UDP socket bound to 127.0.0.1 on a free port, for tests that check what
// was sent.
class UdpReceiver {
 public:
  UdpReceiver();
  ~UdpReceiver();
  UdpReceiver(const UdpReceiver&) = delete;
  UdpReceiver& operator=(const UdpReceiver&) = delete;

  int port() const { return port_; }
  // The next datagram, or nothing when none arrives within the time.
  std::optional<std::string> Receive(int timeoutMs = 2000);

 private:
  int fd_ = -1;
  int port_ = 0;
};

}  // namespace testsupport
