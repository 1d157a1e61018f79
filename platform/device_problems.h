#pragma once

#include <cstdint>
#include <string>

namespace platform {

// What went wrong on a device's own thread since it was last asked: the latest
// problem's text and how many there were. The thread that owns the state
// collects it and decides what to log.
struct DeviceProblems {
  std::string text;
  std::int64_t count = 0;
};

}  // namespace platform
