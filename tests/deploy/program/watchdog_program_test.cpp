// The real kiosk program under a stand-in service manager (a fake
// NOTIFY_SOCKET), on Qt's offscreen platform.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <regex>

#include "platform/datagram_receiver.h"
#include "platform/udp.h"
#include "tests/deploy/program/kiosk_folders.h"
#include "tests/deploy/support/deploy_support.h"

namespace {

using namespace std::chrono;
using deploytest::FakeNotifySocket;
using deploytest::Process;

std::map<std::string, std::optional<std::string>> KioskEnvironment(const FakeNotifySocket& socket,
                                                                   std::optional<std::string> watchdogUsec) {
  return {{"NOTIFY_SOCKET", socket.path()},
          {"WATCHDOG_USEC", std::move(watchdogUsec)},
          {"WATCHDOG_PID", std::nullopt},
          {"QT_QPA_PLATFORM", "offscreen"},
          {"QTWEBENGINE_DISABLE_SANDBOX", getuid() == 0 ? std::optional<std::string>("1") : std::nullopt}};
}

// The pings that arrive within a time, with the longest gap between two.
struct Pings {
  int count = 0;
  milliseconds longestGap{0};
  std::string other;  // the first message that was no ping
};
Pings CollectPings(FakeNotifySocket& socket, milliseconds during) {
  Pings pings;
  const auto start = steady_clock::now();
  auto last = start;
  while (steady_clock::now() - start < during) {
    const auto left = duration_cast<milliseconds>(during - (steady_clock::now() - start));
    const auto message = socket.Receive(static_cast<int>(std::max<long>(left.count(), 1)));
    if (!message) break;
    if (*message != "WATCHDOG=1") {
      if (pings.other.empty()) pings.other = *message;
      continue;
    }
    const auto now = steady_clock::now();
    pings.longestGap = std::max(pings.longestGap, duration_cast<milliseconds>(now - last));
    last = now;
    ++pings.count;
  }
  return pings;
}

TEST(KioskProgramNotifies, ReadyThenPingsThatCommandsDoNotStopThenStopping) {
  deploytest::KioskFolders folders;
  FakeNotifySocket socket;
  Process kiosk({folders.program}, KioskEnvironment(socket, "1000000"), folders.home, folders.dir.File("out.log"));

  ASSERT_EQ(socket.Receive(30000), "READY=1") << "no readiness";
  EXPECT_TRUE(std::filesystem::exists(folders.home + "RVUKiosk.xml"));  // ready after the start-up

  // Once at start-up, the receive buffer its pager port got: what it asks for
  // with CAP_NET_ADMIN (root), otherwise no more than net.core.rmem_max allows.
  const int asked = platform::DatagramReceiver::kReceiveBufferBytes;
  std::ifstream limitFile("/proc/sys/net/core/rmem_max");
  long limit = 0;
  limitFile >> limit;
  const long granted = getuid() == 0 ? asked : std::min<long>(asked, limit);
  const std::string logs = folders.DailyLogs();
  std::vector<std::string> notes;
  const std::regex note(",69980,\"([^\"]*)\"");
  for (std::sregex_iterator m(logs.begin(), logs.end(), note), end; m != end; ++m)
    notes.push_back((*m)[1]);
  ASSERT_EQ(notes.size(), 1u) << logs;
  EXPECT_EQ(notes[0], "[Function=Main.FormCreate][Note=Receive buffer][UDPPort=15167][Bytes=" + std::to_string(granted) +
                          "][Asked=" + std::to_string(asked) + "]");

  // Every half second, from its own timer.
  Pings before = CollectPings(socket, milliseconds(3000));
  EXPECT_GE(before.count, 4);
  EXPECT_LT(before.longestGap, milliseconds(1000));
  EXPECT_EQ(before.other, "");

  // A command that stops the rotation timer leaves the pings alone.
  platform::SendDatagram("127.0.0.1", 15167, "CMD:SCREEN0");
  Pings after = CollectPings(socket, milliseconds(3000));
  EXPECT_GE(after.count, 4);
  EXPECT_LT(after.longestGap, milliseconds(1000));

  // A service manager's stop: it says so, and ends cleanly.
  ASSERT_EQ(kill(kiosk.pid(), SIGTERM), 0);
  bool stopping = false;
  for (int i = 0; i < 50 && !stopping; ++i) {
    const auto message = socket.Receive(300);
    stopping = message == "STOPPING=1";
  }
  EXPECT_TRUE(stopping);
  EXPECT_EQ(kiosk.WaitForExit(15000), 0);
}

TEST(KioskProgramNotifies, NoPingsWithoutAWatchdog) {
  deploytest::KioskFolders folders;
  FakeNotifySocket socket;
  Process kiosk({folders.program}, KioskEnvironment(socket, std::nullopt), folders.home, folders.dir.File("out.log"));
  ASSERT_EQ(socket.Receive(30000), "READY=1");
  EXPECT_EQ(socket.Receive(2000), std::nullopt);
  EXPECT_EQ(kiosk.Stop(SIGTERM, 15000), 0);
}

}  // namespace
