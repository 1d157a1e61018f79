#pragma once

#include <chrono>
#include <concepts>
#include <thread>

namespace testsupport {

// Checks a condition until it holds or timeoutMs has passed, with a last check
// at the end; between checks it calls `pause`, which waits a while or keeps
// something turning (an event loop, a watch of the screen). Whether it held.
template <typename Condition, std::invocable Pause>
bool WaitUntil(Condition&& condition, int timeoutMs, Pause&& pause) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    if (condition()) return true;
    if (std::chrono::steady_clock::now() >= end) return false;
    pause();
  }
}

// The same, sleeping everyMs between checks.
template <typename Condition>
bool WaitUntil(Condition&& condition, int timeoutMs, int everyMs = 50) {
  return WaitUntil(condition, timeoutMs,
                   [everyMs] { std::this_thread::sleep_for(std::chrono::milliseconds(everyMs)); });
}

}  // namespace testsupport
