#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace platform {

// Sends datagrams from two sockets of its own (IPv4 and IPv6). The host is
// resolved at each send, so a host that changes its address is found again.
// Its IPv4 addresses are tried first (the kiosk listens on IPv4), then its
// IPv6 ones, until one takes the datagram.
class DatagramSender {
 public:
  struct Failure {
    enum Kind { kResolve, kNoAddress, kSend, kPartial };
    Kind kind;
    // The resolver's text, "no usable address", the system's error text, or "sent in part".
    std::string reason;
  };

  // With `broadcast`, a broadcast address may be sent to.
  explicit DatagramSender(bool broadcast = false);
  ~DatagramSender();
  DatagramSender(const DatagramSender&) = delete;
  DatagramSender& operator=(const DatagramSender&) = delete;

  // Sends one datagram to host:port; nothing when it went, else why not.
  std::optional<Failure> Send(const std::string& host, int port, std::string_view data);
  // Whether host:port resolves to an address it can send to; the failure when not.
  std::optional<Failure> Check(const std::string& host, int port) const;

 private:
  int fd4_ = -1, fd6_ = -1;
};

// Sends one datagram from sockets of its own to host:port; the host name is
// resolved at each call. Throws platform::Error (ESocketError) when the name
// cannot be resolved or the datagram cannot be sent (too long, no route).
void SendDatagram(const std::string& host, int port, std::string_view data);

}  // namespace platform
