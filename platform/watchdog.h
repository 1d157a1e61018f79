#pragma once

#include <chrono>

// The service manager's notification protocol (sd_notify): readiness, the
// keep-alive pings of its watchdog, and the start of a stop. Every call does
// nothing and returns false when the program was not started by a service
// manager that listens (no NOTIFY_SOCKET in the environment).
namespace platform {

// "READY=1": the kiosk's window is up.
bool NotifyReady();
// "WATCHDOG=1": the UI thread is alive.
bool NotifyWatchdog();
// "STOPPING=1": the kiosk is ending by itself or on request.
bool NotifyStopping();

// The watchdog time the service manager set for this process (WATCHDOG_USEC,
// read through libsystemd, which also checks WATCHDOG_PID when it is set);
// zero when there is no watchdog.
std::chrono::microseconds WatchdogTimeout();

// How often to ping: half the watchdog time, at least 1 ms; zero when there is
// no watchdog.
std::chrono::milliseconds WatchdogPingInterval();

}  // namespace platform
