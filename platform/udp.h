#pragma once

#include <string>
#include <string_view>

namespace platform {

// Sends one datagram from a socket of its own to host:port; the host name is
// resolved at each call. Throws platform::Error (ESocketError) when the name
// cannot be resolved or the datagram cannot be sent (too long, no route).
void SendDatagram(const std::string& host, int port, std::string_view data);

}  // namespace platform
