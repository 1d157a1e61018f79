#include "pager-gateway/sender.h"

#include <netdb.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace pagergw {

FeedSender::FeedSender(std::vector<std::string> targets, int port, ReportFn report)
    : targets_(std::move(targets)), port_(port), report_(std::move(report)) {
  fd4_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  fd6_ = ::socket(AF_INET6, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  const int on = 1;
  if (fd4_ >= 0) ::setsockopt(fd4_, SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
}

FeedSender::~FeedSender() {
  if (fd4_ >= 0) ::close(fd4_);
  if (fd6_ >= 0) ::close(fd6_);
}

bool FeedSender::SendTo(const std::string& host, const std::string& datagram, std::string& error) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_DGRAM;
  addrinfo* found = nullptr;
  const std::string service = std::to_string(port_);
  if (int rc = ::getaddrinfo(host.c_str(), service.c_str(), &hints, &found); rc != 0) {
    error = std::string("cannot resolve: ") + ::gai_strerror(rc);
    return false;
  }
  const addrinfo* chosen = nullptr;
  for (int family : {AF_INET, AF_INET6})
    for (const addrinfo* a = found; a != nullptr && !chosen; a = a->ai_next)
      if (a->ai_family == family && (family == AF_INET ? fd4_ : fd6_) >= 0) chosen = a;
  bool sent = false;
  if (!chosen) {
    error = "no usable address";
  } else {
    const int fd = chosen->ai_family == AF_INET ? fd4_ : fd6_;
    const ssize_t n = ::sendto(fd, datagram.data(), datagram.size(), 0, chosen->ai_addr, chosen->ai_addrlen);
    sent = n == static_cast<ssize_t>(datagram.size());
    if (!sent) error = n < 0 ? std::strerror(errno) : "sent in part";
  }
  ::freeaddrinfo(found);
  return sent;
}

int FeedSender::Send(const std::string& datagram) {
  int sent = 0;
  for (const std::string& host : targets_) {
    std::string error;
    const bool ok = SendTo(host, datagram, error);
    bool& failing = failing_[host];
    if (!ok && !failing) report_(kWarning, "cannot send to " + host + ":" + std::to_string(port_) + ": " + error);
    if (ok && failing) report_(kNotice, "sending to " + host + ":" + std::to_string(port_) + " works again");
    failing = !ok;
    if (ok) ++sent;
    ++(ok ? sent_ : sendErrors_);
  }
  return sent;
}

}  // namespace pagergw
