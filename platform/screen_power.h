#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "platform/device_problems.h"

// The station's screen's power in the kiosk's terms: on, standby, and what
// it is now. The adapters (HDMI-CEC, DDC/CI) block while they talk to the
// screen, so the kiosk reaches them through a ScreenSwitcher, on a thread of
// its own.
namespace platform {

enum class ScreenState { Unknown, On, Standby };

class ScreenPower {
 public:
  virtual ~ScreenPower() = default;
  // Finds the adapter or the monitor; false, with the reason, when there is none.
  virtual bool Open(std::string& problem) = 0;
  // On: also makes this PC the screen's source, where the way knows sources.
  virtual bool On() = 0;
  virtual bool Standby() = 0;
  // What the screen says it is; Unknown when it does not answer.
  virtual ScreenState State() = 0;
  // "HDMI-CEC", "DDC/CI": for the log.
  virtual std::string Way() const = 0;
};

// Screens are known to take a switch and do nothing: each switch is read back,
// and tried again, this many times in all.
inline constexpr int kScreenSwitchTries = 3;

struct ScreenSwitchResult {
  bool confirmed = false;
  int tries = 0;  // switches sent
  ScreenState last = ScreenState::Unknown;  // the last state read back
};
// Switches to `want`, reads the state back, and repeats while it is not
// `want`, up to kScreenSwitchTries switches; `pause` runs before each read-back.
ScreenSwitchResult SwitchScreen(ScreenPower& screen, ScreenState want, const std::function<void()>& pause);

// Runs a ScreenPower on a thread of its own. Requests return at once; the
// latest one wins over those not yet begun. A screen way that finds no
// adapter or monitor reports that once, and every later request does nothing.
class ScreenSwitcher {
 public:
  // `settle`: how long a screen is given to switch before it is read back.
  ScreenSwitcher(std::unique_ptr<ScreenPower> screen, std::chrono::milliseconds settle);
  ~ScreenSwitcher();
  ScreenSwitcher(const ScreenSwitcher&) = delete;
  ScreenSwitcher& operator=(const ScreenSwitcher&) = delete;

  void Request(ScreenState want);
  DeviceProblems TakeProblems();
  // Nothing waits and nothing is being switched (tests).
  bool Idle();

 private:
  void Run();
  void Problem(const std::string& text);

  std::unique_ptr<ScreenPower> screen_;
  std::chrono::milliseconds settle_;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::optional<ScreenState> wanted_;  // guarded by mutex_
  bool busy_ = false;                  // guarded by mutex_
  bool stopping_ = false;              // guarded by mutex_
  DeviceProblems problems_;            // guarded by mutex_
  std::thread thread_;
};

// The adapters. Each only looks for its adapter or monitor in Open.
std::unique_ptr<ScreenPower> MakeCecScreenPower();
std::unique_ptr<ScreenPower> MakeDdcScreenPower();

}  // namespace platform
