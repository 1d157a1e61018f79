#include "platform/udp.h"

#include <netdb.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/error.h"

namespace platform {

void SendDatagram(const std::string& host, int port, std::string_view data) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_DGRAM;
  addrinfo* found = nullptr;
  const std::string service = std::to_string(port);
  if (int rc = ::getaddrinfo(host.c_str(), service.c_str(), &hints, &found); rc != 0)
    throw Error(kSocketError, "Cannot resolve " + host + ": " + ::gai_strerror(rc));
  std::string failure;
  bool sent = false;
  for (addrinfo* a = found; a != nullptr && !sent; a = a->ai_next) {
    int fd = ::socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC, a->ai_protocol);
    if (fd < 0) {
      failure = std::strerror(errno);
      continue;
    }
    if (::sendto(fd, data.data(), data.size(), 0, a->ai_addr, a->ai_addrlen) == static_cast<ssize_t>(data.size()))
      sent = true;
    else
      failure = std::strerror(errno);
    ::close(fd);
  }
  ::freeaddrinfo(found);
  if (!sent) throw Error(kSocketError, "Cannot send to " + host + ":" + service + ": " + failure);
}

}  // namespace platform
