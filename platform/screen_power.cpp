#include "platform/screen_power.h"

#include <utility>

namespace platform {

namespace {
const char* StateName(ScreenState s) {
  switch (s) {
    case ScreenState::On:
      return "on";
    case ScreenState::Standby:
      return "standby";
    case ScreenState::Unknown:
      break;
  }
  return "unknown";
}
}  // namespace

ScreenSwitchResult SwitchScreen(ScreenPower& screen, ScreenState want, const std::function<void()>& pause) {
  ScreenSwitchResult result;
  while (result.tries < kScreenSwitchTries) {
    ++result.tries;
    if (want == ScreenState::On)
      screen.On();
    else
      screen.Standby();
    if (pause) pause();
    result.last = screen.State();
    if (result.last == want) {
      result.confirmed = true;
      break;
    }
  }
  return result;
}

ScreenSwitcher::ScreenSwitcher(std::unique_ptr<ScreenPower> screen, std::chrono::milliseconds settle)
    : screen_(std::move(screen)), settle_(settle) {
  busy_ = true;  // until the way has looked for its adapter
  thread_ = std::thread([this] { Run(); });
}

ScreenSwitcher::~ScreenSwitcher() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  thread_.join();
}

void ScreenSwitcher::Request(ScreenState want) {
  {
    std::lock_guard lock(mutex_);
    wanted_ = want;
  }
  wake_.notify_one();
}

DeviceProblems ScreenSwitcher::TakeProblems() {
  std::lock_guard lock(mutex_);
  return std::exchange(problems_, {});
}

bool ScreenSwitcher::Idle() {
  std::lock_guard lock(mutex_);
  return !busy_ && !wanted_;
}

void ScreenSwitcher::Problem(const std::string& text) {
  std::lock_guard lock(mutex_);
  problems_.text = text;
  ++problems_.count;
}

void ScreenSwitcher::Run() {
  std::string problem;
  const bool open = screen_->Open(problem);
  if (!open) Problem(problem + ": the screen's power is left alone");
  for (;;) {
    ScreenState want;
    {
      std::unique_lock lock(mutex_);
      busy_ = false;
      wake_.wait(lock, [this] { return stopping_ || wanted_; });
      if (stopping_) return;
      want = *wanted_;
      wanted_.reset();
      if (!open) continue;  // said once above; nothing else happens
      busy_ = true;
    }
    const ScreenSwitchResult result = SwitchScreen(*screen_, want, [this] {
      std::unique_lock lock(mutex_);
      wake_.wait_for(lock, settle_, [this] { return stopping_; });
    });
    if (!result.confirmed)
      Problem(screen_->Way() + ": the screen did not switch " + StateName(want) + " after " +
              std::to_string(result.tries) + " tries (it says " + StateName(result.last) + ")");
  }
}

}  // namespace platform
