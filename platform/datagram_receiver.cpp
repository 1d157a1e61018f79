#include "platform/datagram_receiver.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "platform/error.h"

namespace platform {

DatagramReceiver::DatagramReceiver(int fd, std::size_t batch, std::size_t maxDatagramBytes)
    : fd_(fd),
      maxBytes_(maxDatagramBytes),
      buffers_(batch * maxDatagramBytes),
      vectors_(batch),
      messages_(batch),
      senders_(batch) {
  fcntl(fd_, F_SETFL, fcntl(fd_, F_GETFL) | O_NONBLOCK);
  // The forced size needs privileges; the plain one is capped by the system's limit.
  const int size = kReceiveBufferBytes;
  if (setsockopt(fd_, SOL_SOCKET, SO_RCVBUFFORCE, &size, sizeof size) != 0)
    setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
}

int DatagramReceiver::ReceiveBufferBytes() const {
  int reported = 0;
  socklen_t length = sizeof reported;
  if (getsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &reported, &length) != 0) return 0;
  return reported / 2;
}

DatagramReceiver::~DatagramReceiver() {
  if (fd_ >= 0) close(fd_);
}

DatagramReceiver DatagramReceiver::BindIPv4(std::uint32_t address, std::uint16_t port, std::size_t batch,
                                            std::size_t maxDatagramBytes) {
  const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) throw Error(kSocketError, std::string("Cannot open a UDP socket: ") + std::strerror(errno));
  sockaddr_in local{};
  local.sin_family = AF_INET;
  local.sin_addr.s_addr = htonl(address);
  local.sin_port = htons(port);
  if (bind(fd, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
    const std::string failure = std::strerror(errno);
    close(fd);
    throw Error(kSocketError, "Cannot bind UDP port " + std::to_string(port) + ": " + failure);
  }
  return DatagramReceiver(fd, batch, maxDatagramBytes);
}

std::uint16_t DatagramReceiver::Port() const {
  sockaddr_storage local{};
  socklen_t length = sizeof local;
  if (getsockname(fd_, reinterpret_cast<sockaddr*>(&local), &length) != 0) return 0;
  if (local.ss_family == AF_INET) return ntohs(reinterpret_cast<const sockaddr_in&>(local).sin_port);
  if (local.ss_family == AF_INET6) return ntohs(reinterpret_cast<const sockaddr_in6&>(local).sin6_port);
  return 0;
}

std::size_t DatagramReceiver::ReadBatch(const Take& take) {
  return ReadBatchFrom([&take](std::string_view datagram, const IpAddress&) { take(datagram); });
}

std::size_t DatagramReceiver::ReadBatchFrom(const TakeFrom& take) {
  const std::size_t batch = messages_.size();
  for (std::size_t i = 0; i < batch; ++i) {
    vectors_[i] = {buffers_.data() + i * maxBytes_, maxBytes_};
    messages_[i] = {};
    messages_[i].msg_hdr.msg_iov = &vectors_[i];
    messages_[i].msg_hdr.msg_iovlen = 1;
    messages_[i].msg_hdr.msg_name = &senders_[i];
    messages_[i].msg_hdr.msg_namelen = sizeof senders_[i];
  }
  const int received = recvmmsg(fd_, messages_.data(), static_cast<unsigned>(batch), MSG_DONTWAIT, nullptr);
  if (received <= 0) return 0;
  for (int i = 0; i < received; ++i) {
    // Cut short by the buffer: longer than the longest accepted datagram.
    if (messages_[i].msg_hdr.msg_flags & MSG_TRUNC) continue;
    take(std::string_view(static_cast<const char*>(vectors_[i].iov_base), messages_[i].msg_len),
         IpAddressOf(reinterpret_cast<const sockaddr*>(&senders_[i])));
  }
  return static_cast<std::size_t>(received);
}

bool DatagramReceiver::WaitReadable(int timeoutMs) const {
  pollfd p{fd_, POLLIN, 0};
  return poll(&p, 1, timeoutMs) > 0 && (p.revents & POLLIN) != 0;
}

}  // namespace platform
