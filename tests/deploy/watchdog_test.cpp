// The service manager's notifications through libsystemd, against a fake
// NOTIFY_SOCKET.
#include "platform/watchdog.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include "tests/deploy/support/deploy_support.h"

namespace {

using namespace std::chrono_literals;
using deploytest::FakeNotifySocket;
using deploytest::ScopedEnv;

struct Notification {
  const char* name;
  bool (*send)();
  const char* message;
};
const Notification kNotifications[] = {
    {"ready", platform::NotifyReady, "READY=1"},
    {"watchdog", platform::NotifyWatchdog, "WATCHDOG=1"},
    {"stopping", platform::NotifyStopping, "STOPPING=1"},
};

TEST(ServiceNotify, EachNotificationReachesTheSocket) {
  FakeNotifySocket socket;
  ScopedEnv notify("NOTIFY_SOCKET", socket.path());
  for (const auto& n : kNotifications) {
    EXPECT_TRUE(n.send()) << n.name;
    EXPECT_EQ(socket.Receive(2000), n.message) << n.name;
  }
}

TEST(ServiceNotify, DoesNothingWithoutAServiceManager) {
  FakeNotifySocket socket;
  ScopedEnv notify("NOTIFY_SOCKET", std::nullopt);
  for (const auto& n : kNotifications) EXPECT_FALSE(n.send()) << n.name;
  EXPECT_EQ(socket.Receive(100), std::nullopt);
}

TEST(ServiceNotify, ASocketThatIsGoneIsNoError) {
  std::string gone;
  {
    FakeNotifySocket socket;
    gone = socket.path();
  }
  ScopedEnv notify("NOTIFY_SOCKET", gone);
  for (const auto& n : kNotifications) EXPECT_FALSE(n.send()) << n.name;
}

TEST(ServiceWatchdog, TimeoutAndPingIntervalFromTheEnvironment) {
  const std::string self = std::to_string(getpid());
  struct Case {
    std::optional<std::string> usec, pid;
    std::chrono::microseconds timeout;
    std::chrono::milliseconds ping;
  } cases[] = {
      {"180000000", std::nullopt, 180s, 90s},
      {"180000000", self, 180s, 90s},
      {"3000", self, 3ms, 1ms},       // half of 3 ms rounds down to 1 ms
      {"1", std::nullopt, 1us, 1ms},  // never a zero interval, which would spin
      {"180000000", "1", 0us, 0ms},   // meant for another process (cage, when it is the main one)
      {std::nullopt, std::nullopt, 0us, 0ms},
      {"0", std::nullopt, 0us, 0ms},
      {"soon", std::nullopt, 0us, 0ms},
  };
  for (const auto& c : cases) {
    ScopedEnv usec("WATCHDOG_USEC", c.usec);
    ScopedEnv pid("WATCHDOG_PID", c.pid);
    const std::string label = c.usec.value_or("(none)") + " pid " + c.pid.value_or("(none)");
    EXPECT_EQ(platform::WatchdogTimeout(), c.timeout) << label;
    EXPECT_EQ(platform::WatchdogPingInterval(), c.ping) << label;
  }
}

}  // namespace
