#include "platform/watchdog.h"

#include <systemd/sd-daemon.h>

#include <algorithm>

namespace platform {

namespace {

// sd_notify returns 0 when NOTIFY_SOCKET is unset and a negative errno when
// sending failed; only a positive result means the message went out.
bool Notify(const char* state) { return sd_notify(0, state) > 0; }

}  // namespace

bool NotifyReady() { return Notify("READY=1"); }
bool NotifyWatchdog() { return Notify("WATCHDOG=1"); }
bool NotifyStopping() { return Notify("STOPPING=1"); }

std::chrono::microseconds WatchdogTimeout() {
  uint64_t usec = 0;
  if (sd_watchdog_enabled(0, &usec) <= 0) return std::chrono::microseconds{0};
  return std::chrono::microseconds{usec};
}

std::chrono::milliseconds WatchdogPingInterval() {
  const auto timeout = WatchdogTimeout();
  if (timeout.count() == 0) return std::chrono::milliseconds{0};
  const auto half = std::chrono::duration_cast<std::chrono::milliseconds>(timeout / 2);
  return std::max(half, std::chrono::milliseconds{1});
}

}  // namespace platform
