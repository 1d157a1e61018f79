#pragma once

#include <cstddef>

namespace platform {

// The pager feed on the wire: each line one UDP datagram to this port of the
// kiosks; the kiosk drops a datagram longer than the maximum unseen, so the
// senders cut their lines to it.
inline constexpr int kFeedPort = 15167;
inline constexpr std::size_t kFeedMaxDatagramBytes = 8192;

}  // namespace platform
