#include "tests/support/udp_receiver.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>
#include <vector>

namespace testsupport {

UdpReceiver::UdpReceiver() {
  fd_ = socket(AF_INET, SOCK_DGRAM, 0);
  if (fd_ < 0) throw std::runtime_error("socket failed");
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = 0;
  if (bind(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) throw std::runtime_error("bind failed");
  socklen_t len = sizeof addr;
  getsockname(fd_, reinterpret_cast<sockaddr*>(&addr), &len);
  port_ = ntohs(addr.sin_port);
}

UdpReceiver::~UdpReceiver() {
  if (fd_ >= 0) close(fd_);
}

std::optional<std::string> UdpReceiver::Receive(int timeoutMs) {
  pollfd p{fd_, POLLIN, 0};
  if (poll(&p, 1, timeoutMs) <= 0) return std::nullopt;
  std::vector<char> buffer(70000);
  ssize_t n = recv(fd_, buffer.data(), buffer.size(), 0);
  if (n < 0) return std::nullopt;
  return std::string(buffer.data(), static_cast<size_t>(n));
}

}  // namespace testsupport
