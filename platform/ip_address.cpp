#include "platform/ip_address.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cstring>

namespace platform {

std::optional<IpAddress> ParseIpAddress(std::string_view text) {
  const std::string s(text);
  if (s.size() != std::strlen(s.c_str())) return std::nullopt;  // a NUL inside
  IpAddress address;
  if (inet_pton(AF_INET, s.c_str(), address.bytes.data()) == 1) return address;
  address.v6 = true;
  if (inet_pton(AF_INET6, s.c_str(), address.bytes.data()) == 1) return address;
  return std::nullopt;
}

std::string IpAddressText(const IpAddress& address) {
  char text[INET6_ADDRSTRLEN] = {};
  if (!inet_ntop(address.v6 ? AF_INET6 : AF_INET, address.bytes.data(), text, sizeof text)) return "";
  return text;
}

IpAddress IpAddressOf(const sockaddr* address) {
  IpAddress result;
  if (address && address->sa_family == AF_INET) {
    std::memcpy(result.bytes.data(), &reinterpret_cast<const sockaddr_in*>(address)->sin_addr, 4);
  } else if (address && address->sa_family == AF_INET6) {
    result.v6 = true;
    std::memcpy(result.bytes.data(), &reinterpret_cast<const sockaddr_in6*>(address)->sin6_addr, 16);
  }
  return result;
}

}  // namespace platform
