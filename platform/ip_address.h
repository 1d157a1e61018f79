#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

struct sockaddr;

namespace platform {

// An IPv4 or IPv6 address as a plain value: 4 or 16 bytes in network order.
struct IpAddress {
  bool v6 = false;
  std::array<std::uint8_t, 16> bytes{};  // IPv4: the first 4

  std::size_t Size() const { return v6 ? 16 : 4; }
  bool operator==(const IpAddress&) const = default;

  static IpAddress V4(std::uint8_t a, std::uint8_t b, std::uint8_t c, std::uint8_t d) {
    return IpAddress{false, {a, b, c, d}};
  }
};

// "192.0.2.7" or "2001:db8::1" (no zone, no brackets, no port); nothing when
// the text is neither.
std::optional<IpAddress> ParseIpAddress(std::string_view text);

// The usual text form: dotted quad, or IPv6 in its shortest form.
std::string IpAddressText(const IpAddress& address);

// The address of a socket address of family AF_INET or AF_INET6; any other
// family gives the IPv4 address 0.0.0.0.
IpAddress IpAddressOf(const sockaddr* address);

}  // namespace platform
