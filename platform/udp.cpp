#include "platform/udp.h"

#include <netdb.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <vector>

#include "platform/error.h"

namespace platform {

namespace {

using AddressList = std::unique_ptr<addrinfo, decltype(&::freeaddrinfo)>;

// The addresses of host:port, or the resolver's failure.
AddressList Resolve(const std::string& host, int port, std::optional<DatagramSender::Failure>& failure) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_DGRAM;
  addrinfo* found = nullptr;
  if (int rc = ::getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found); rc != 0) {
    failure = DatagramSender::Failure{DatagramSender::Failure::kResolve, ::gai_strerror(rc)};
    return {nullptr, &::freeaddrinfo};
  }
  return {found, &::freeaddrinfo};
}

// The addresses a datagram may go to, IPv4 ones first: those of a family whose socket is open.
std::vector<const addrinfo*> Candidates(const addrinfo* found, int fd4, int fd6) {
  std::vector<const addrinfo*> candidates;
  for (int family : {AF_INET, AF_INET6}) {
    if ((family == AF_INET ? fd4 : fd6) < 0) continue;
    for (const addrinfo* a = found; a != nullptr; a = a->ai_next)
      if (a->ai_family == family) candidates.push_back(a);
  }
  return candidates;
}

const char* kNoAddress = "no usable address";

}  // namespace

DatagramSender::DatagramSender(bool broadcast) {
  fd4_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  fd6_ = ::socket(AF_INET6, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  const int on = 1;
  if (broadcast && fd4_ >= 0) ::setsockopt(fd4_, SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
}

DatagramSender::~DatagramSender() {
  if (fd4_ >= 0) ::close(fd4_);
  if (fd6_ >= 0) ::close(fd6_);
}

std::optional<DatagramSender::Failure> DatagramSender::Check(const std::string& host, int port) const {
  std::optional<Failure> failure;
  const AddressList found = Resolve(host, port, failure);
  if (failure) return failure;
  if (Candidates(found.get(), fd4_, fd6_).empty()) return Failure{Failure::kNoAddress, kNoAddress};
  return std::nullopt;
}

std::optional<DatagramSender::Failure> DatagramSender::Send(const std::string& host, int port, std::string_view data) {
  std::optional<Failure> failure;
  const AddressList found = Resolve(host, port, failure);
  if (failure) return failure;
  failure = Failure{Failure::kNoAddress, kNoAddress};
  for (const addrinfo* a : Candidates(found.get(), fd4_, fd6_)) {
    const int fd = a->ai_family == AF_INET ? fd4_ : fd6_;
    const ssize_t n = ::sendto(fd, data.data(), data.size(), 0, a->ai_addr, a->ai_addrlen);
    if (n == static_cast<ssize_t>(data.size())) return std::nullopt;
    failure = n < 0 ? Failure{Failure::kSend, std::strerror(errno)} : Failure{Failure::kPartial, "sent in part"};
  }
  return failure;
}

void SendDatagram(const std::string& host, int port, std::string_view data) {
  const auto failure = DatagramSender().Send(host, port, data);
  if (!failure) return;
  if (failure->kind == DatagramSender::Failure::kResolve)
    throw Error(kSocketError, "Cannot resolve " + host + ": " + failure->reason);
  throw Error(kSocketError, "Cannot send to " + host + ":" + std::to_string(port) + ": " + failure->reason);
}

}  // namespace platform
