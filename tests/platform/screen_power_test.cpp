// The screen's power: switched, read back and tried again through the
// interface with a recording fake; the libcec and libddcutil adapters as far
// as a machine without an adapter or a DDC/CI monitor can show them.
#include "platform/screen_power.h"

#include <gtest/gtest.h>

#include <deque>
#include <mutex>
#include <vector>

#include "tests/support/wait.h"

namespace {

using platform::ScreenState;

// Records every call; the read-backs answer from a script, then the last state switched.
class RecordingScreen final : public platform::ScreenPower {
 public:
  struct Log {
    std::mutex mutex;
    std::vector<std::string> calls;
    std::vector<std::string> Calls() {
      std::lock_guard lock(mutex);
      return calls;
    }
  };
  RecordingScreen(Log& log, std::deque<ScreenState> readBacks, bool opens = true)
      : log_(log), readBacks_(std::move(readBacks)), opens_(opens) {}

  bool Open(std::string& problem) override {
    Note("open");
    if (!opens_) problem = "Fake: no adapter found";
    return opens_;
  }
  bool On() override {
    Note("on");
    state_ = ScreenState::On;
    return true;
  }
  bool Standby() override {
    Note("standby");
    state_ = ScreenState::Standby;
    return true;
  }
  ScreenState State() override {
    Note("state");
    if (readBacks_.empty()) return state_;
    const ScreenState s = readBacks_.front();
    readBacks_.pop_front();
    return s;
  }
  std::string Way() const override { return "Fake"; }

 private:
  void Note(const char* call) {
    std::lock_guard lock(log_.mutex);
    log_.calls.push_back(call);
  }
  Log& log_;
  std::deque<ScreenState> readBacks_;
  ScreenState state_ = ScreenState::Unknown;
  bool opens_;
};

TEST(SwitchScreen, ReadBackAndTriesAgain) {
  struct Case {
    const char* name;
    ScreenState want;
    std::deque<ScreenState> readBacks;
    bool confirmed;
    int tries;
    std::vector<std::string> calls;
  } cases[] = {
      {"on at once", ScreenState::On, {}, true, 1, {"on", "state"}},
      {"standby at once", ScreenState::Standby, {}, true, 1, {"standby", "state"}},
      {"read-back failing twice, then working", ScreenState::On,
       {ScreenState::Unknown, ScreenState::Standby}, true, 3, {"on", "state", "on", "state", "on", "state"}},
      {"failing for good", ScreenState::Standby,
       {ScreenState::On, ScreenState::On, ScreenState::Unknown, ScreenState::Standby},
       false, 3, {"standby", "state", "standby", "state", "standby", "state"}},
  };
  for (auto& c : cases) {
    RecordingScreen::Log log;
    RecordingScreen screen(log, c.readBacks);
    int pauses = 0;
    const auto result = platform::SwitchScreen(screen, c.want, [&pauses] { ++pauses; });
    EXPECT_EQ(result.confirmed, c.confirmed) << c.name;
    EXPECT_EQ(result.tries, c.tries) << c.name;
    EXPECT_EQ(pauses, c.tries) << c.name;  // each read-back waits for the screen first
    EXPECT_EQ(log.Calls(), c.calls) << c.name;
  }
}

TEST(ScreenSwitcher, SwitchesOnItsOwnThreadAndReportsAFailure) {
  RecordingScreen::Log log;
  platform::ScreenSwitcher switcher(
      std::make_unique<RecordingScreen>(log, std::deque<ScreenState>{ScreenState::Unknown, ScreenState::Unknown,
                                                                     ScreenState::Unknown}),
      std::chrono::milliseconds(1));
  switcher.Request(ScreenState::On);
  ASSERT_TRUE(testsupport::WaitUntil([&] { return switcher.Idle(); }, 5000, 5));
  const auto problems = switcher.TakeProblems();
  EXPECT_EQ(problems.count, 1);
  EXPECT_EQ(problems.text, "Fake: the screen did not switch on after 3 tries (it says unknown)");
  // The script is used up: the next switch is read back as done.
  switcher.Request(ScreenState::Standby);
  ASSERT_TRUE(testsupport::WaitUntil([&] { return switcher.Idle(); }, 5000, 5));
  EXPECT_EQ(switcher.TakeProblems().count, 0);
  const auto calls = log.Calls();
  ASSERT_EQ(calls.size(), 9u);
  EXPECT_EQ(calls.front(), "open");
  EXPECT_EQ(calls[7], "standby");
}

TEST(ScreenSwitcher, NoAdapterIsSaidOnceAndNothingElseHappens) {
  RecordingScreen::Log log;
  platform::ScreenSwitcher switcher(std::make_unique<RecordingScreen>(log, std::deque<ScreenState>{}, false),
                                    std::chrono::milliseconds(1));
  for (int i = 0; i < 3; ++i) switcher.Request(i % 2 ? ScreenState::Standby : ScreenState::On);
  ASSERT_TRUE(testsupport::WaitUntil([&] { return switcher.Idle(); }, 5000, 5));
  const auto problems = switcher.TakeProblems();
  EXPECT_EQ(problems.count, 1);
  EXPECT_EQ(problems.text, "Fake: no adapter found: the screen's power is left alone");
  EXPECT_EQ(log.Calls(), std::vector<std::string>{"open"});
}

// This machine has no CEC adapter and no DDC/CI monitor: each real adapter
// says so in one line, and no switch is tried.
TEST(ScreenPowerAdapters, WithoutHardwareEachSaysSoOnce) {
  struct Case {
    std::unique_ptr<platform::ScreenPower> (*make)();
    std::string problem;
  } cases[] = {
      {&platform::MakeCecScreenPower, "HDMI-CEC: no CEC adapter found: the screen's power is left alone"},
      {&platform::MakeDdcScreenPower,
       "DDC/CI: no monitor with DDC/CI found (is i2c-dev loaded, and /dev/i2c-* open to the kiosk?): the screen's "
       "power is left alone"},
  };
  for (const auto& c : cases) {
    platform::ScreenSwitcher switcher(c.make(), std::chrono::milliseconds(1));
    switcher.Request(ScreenState::On);
    switcher.Request(ScreenState::Standby);
    ASSERT_TRUE(testsupport::WaitUntil([&] { return switcher.Idle(); }, 20000, 10));
    const auto problems = switcher.TakeProblems();
    EXPECT_EQ(problems.count, 1) << c.problem;
    EXPECT_EQ(problems.text, c.problem);
  }
}

}  // namespace
