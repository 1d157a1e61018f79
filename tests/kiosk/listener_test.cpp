#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QEventLoop>
#include <QElapsedTimer>
#include <QThread>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "kiosk/pager_listener.h"
#include "tests/kiosk/kiosk_fixture.h"
#include "tests/support/wait.h"

namespace {

using namespace kiosk;

class Sender {
 public:
  explicit Sender(quint16 port) : fd_(socket(AF_INET, SOCK_DGRAM, 0)) {
    to_.sin_family = AF_INET;
    to_.sin_port = htons(port);
    to_.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  }
  ~Sender() { close(fd_); }
  void Send(const std::string& data) { ASSERT_TRUE(TrySend(data)); }
  bool TrySend(const std::string& data) {
    return sendto(fd_, data.data(), data.size(), 0, reinterpret_cast<sockaddr*>(&to_), sizeof to_) ==
           static_cast<ssize_t>(data.size());
  }

 private:
  int fd_;
  sockaddr_in to_{};
};

// Keeps the thread busy, as a handler's work would.
void WorkFor(std::chrono::microseconds time) {
  const auto until = std::chrono::steady_clock::now() + time;
  while (std::chrono::steady_clock::now() < until) {
  }
}

// Runs the event loop until `done` holds or the time is up.
template <typename F>
bool ProcessUntil(F done, int timeoutMs) {
  return testsupport::WaitUntil(done, timeoutMs, [] { QCoreApplication::processEvents(QEventLoop::AllEvents, 10); });
}

TEST(PagerListener, DatagramsUpTo8192BytesArriveWholeAndLongerOnesNot) {
  std::vector<std::string> received;
  PagerListener listener(
      0, [&](const std::string& d, const platform::IpAddress&) { received.push_back(d); }, nullptr);
  ASSERT_TRUE(listener.Listening());
  Sender sender(listener.Port());
  std::string exact(8192, 'x');
  exact[0] = '\0';
  sender.Send(std::string(8193, 'y'));
  sender.Send(exact);
  sender.Send("");
  ASSERT_TRUE(ProcessUntil([&] { return received.size() >= 2; }, 3000));
  ProcessUntil([] { return false; }, 100);
  EXPECT_EQ(received, (std::vector<std::string>{exact, ""}));
}

// Round after round of bursts, each handled slowly: every datagram arrives, in
// order, and the event loop keeps turning (a 5 ms timer stands for the clock
// and the painting), because the listener hands control back every few
// milliseconds instead of draining a whole burst in one go.
TEST(PagerListener, RepeatedBurstsArriveWholeWhileTheEventLoopKeepsTurning) {
  constexpr int kRounds = 10;
  constexpr int kPerRound = 2000;
  constexpr auto kHandlingTime = std::chrono::microseconds(100);  // 0.2 s of work per round
  std::atomic<int> handled{0};
  int outOfOrder = 0;
  PagerListener listener(
      0,
      [&](const std::string& d, const platform::IpAddress&) {
        if (std::stoi(d.substr(0, d.find(' '))) != handled.load()) ++outOfOrder;
        WorkFor(kHandlingTime);
        ++handled;
      },
      nullptr);
  ASSERT_TRUE(listener.Listening());

  QElapsedTimer sinceShot;
  qint64 longestGapMs = 0;
  QTimer timer;
  timer.setInterval(5);
  QObject::connect(&timer, &QTimer::timeout, [&] {
    longestGapMs = std::max(longestGapMs, sinceShot.restart());
  });

  // Each round is sent as fast as the sender can once the previous one is handled.
  std::atomic<bool> sendFailed{false};
  std::thread sender([&, port = listener.Port()] {
    Sender out(port);
    for (int round = 0; round < kRounds; ++round) {
      while (handled.load() < round * kPerRound) std::this_thread::sleep_for(std::chrono::milliseconds(1));
      for (int i = 0; i < kPerRound; ++i) {
        std::string line = std::to_string(round * kPerRound + i) + " [CFS:0451002] ";
        line.resize(150, '.');
        if (!out.TrySend(line)) sendFailed = true;
      }
    }
  });
  sinceShot.start();
  timer.start();
  const bool all = ProcessUntil([&] { return handled.load() >= kRounds * kPerRound; }, 30000);
  timer.stop();
  sender.join();
  EXPECT_FALSE(sendFailed);
  EXPECT_TRUE(all) << handled.load() << " of " << kRounds * kPerRound;
  EXPECT_EQ(outOfOrder, 0);
  // A whole burst handled in one go would hold the loop for 200 ms.
  EXPECT_LT(longestGapMs, 100);
}

// A timer keeps its time while a flood keeps the socket readable for seconds
// on end, with the event loop run as the program runs it (exec, not
// processEvents: the glib loop treats timers differently then).
TEST(PagerListener, ATimerKeepsItsTimeInARunningEventLoopWhileAFloodLasts) {
  constexpr auto kHandlingTime = std::chrono::microseconds(60);
  constexpr int kFloodMs = 2000;
  std::atomic<int> handled{0};
  PagerListener listener(
      0,
      [&](const std::string&, const platform::IpAddress&) {
        WorkFor(kHandlingTime);
        ++handled;
      },
      nullptr);
  ASSERT_TRUE(listener.Listening());

  QElapsedTimer sinceShot;
  qint64 longestGapMs = 0;
  int shots = 0;
  QTimer timer;
  timer.setTimerType(Qt::PreciseTimer);
  timer.setInterval(100);
  QObject::connect(&timer, &QTimer::timeout, [&] {
    longestGapMs = std::max(longestGapMs, sinceShot.restart());
    ++shots;
  });

  std::atomic<bool> flooding{true};
  std::thread sender([&, port = listener.Port()] {
    Sender out(port);
    std::string line = "0 [CFS:0451002] ";
    line.resize(150, '.');
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(kFloodMs);
    while (std::chrono::steady_clock::now() < end) {
      for (int i = 0; i < 200; ++i) out.TrySend(line);
      std::this_thread::sleep_for(std::chrono::milliseconds(5));  // 40,000 a second
    }
    flooding = false;
  });
  QEventLoop loop;
  QTimer stop;
  QObject::connect(&stop, &QTimer::timeout, [&] {
    if (!flooding) loop.quit();
  });
  stop.start(50);
  sinceShot.start();
  timer.start();
  loop.exec();
  timer.stop();
  sender.join();
  const char* loopKind = QAbstractEventDispatcher::instance()->metaObject()->className();
  EXPECT_GT(handled.load(), 0);
  EXPECT_GE(shots, kFloodMs / 100 - 2) << loopKind;
  EXPECT_LT(longestGapMs, 200) << loopKind;
}

class ListenerThroughTheWindow : public testsupport::KioskTest {};

TEST_F(ListenerThroughTheWindow, AnOversizedDatagramDoesNotEvenTouchTheWatchdog) {
  Sender sender(window->IdUDPServer1->Port());
  const platform::TDateTime started = window->State.LastPacketTime;
  clock->Advance(1000);
  sender.Send(std::string(8193, 'y'));
  ProcessUntil([] { return false; }, 200);
  EXPECT_DOUBLE_EQ(window->State.LastPacketTime, started);
  sender.Send(std::string(8192, 'y'));
  EXPECT_TRUE(ProcessUntil([&] { return window->State.LastPacketTime != started; }, 3000));
}

TEST_F(ListenerThroughTheWindow, ABurstWhileTheThreadIsBlockedIsHandledWholeAndInOrder) {
  config::KioskSettings.ShowCFS = true;
  window->rchMessages->resize(280, 96000);  // room for every line, so the list shows the order
  std::vector<std::string> handled;
  window->DatagramHandled = [&](const std::string& datagram) { handled.push_back(datagram); };
  Sender sender(window->IdUDPServer1->Port());
  constexpr int kCount = 5000;
  std::vector<std::string> sent;
  for (int i = 0; i < kCount; ++i) {
    std::string line = "[CFS:0451002] " + std::to_string(i) + " ";
    line.resize(150, '.');
    sender.Send(line);
    sent.push_back(line);
  }
  QThread::msleep(2000);  // the UI thread is busy while the burst waits in the socket buffer
  ASSERT_TRUE(ProcessUntil([&] { return window->rchMessages->LineCount() >= kCount + 1; }, 20000))
      << window->rchMessages->LineCount();
  const auto lines = Lines();
  for (int i = 0; i < kCount; ++i) {
    const std::string expected = "13:45:10 [CFS:0451002] " + std::to_string(i) + " ";
    ASSERT_EQ(lines[static_cast<size_t>(i) + 1].substr(0, expected.size()), expected);
  }
  // Whoever counts the handled datagrams is told of each, as it came.
  EXPECT_EQ(handled, sent);
}

// Once told to terminate, the kiosk handles nothing more: not the toggle right
// behind the command in the same batch, nor a page after it.
TEST_F(ListenerThroughTheWindow, NothingIsHandledAfterTerminate) {
  config::KioskSettings.ShowCFS = true;
  config::SaveKioskSettings();
  const std::string saved = testsupport::ReadWholeFile("RVUKiosk.xml");
  const size_t lines = window->rchMessages->LineCount();
  std::vector<std::string> handled;
  window->DatagramHandled = [&](const std::string& datagram) { handled.push_back(datagram); };
  Sender sender(window->IdUDPServer1->Port());
  sender.Send("CMD:TERMINATE");
  sender.Send("CMD:TOGGLECFS");
  sender.Send("[CFS:1] after the end");
  sender.Send("CMD:TOGGLEBROWSER");
  QThread::msleep(100);  // all four wait in the socket: one batch
  ASSERT_TRUE(ProcessUntil([&] { return terminations > 0; }, 3000));
  ProcessUntil([] { return false; }, 200);
  EXPECT_EQ(terminations, 1);
  EXPECT_TRUE(config::KioskSettings.ShowCFS);
  EXPECT_TRUE(config::KioskSettings.BrowserVisible);
  EXPECT_EQ(testsupport::ReadWholeFile("RVUKiosk.xml"), saved);
  EXPECT_EQ(window->rchMessages->LineCount(), lines);
  // Nor are datagrams that come later.
  sender.Send("CMD:TOGGLECFS");
  ProcessUntil([] { return false; }, 200);
  EXPECT_TRUE(config::KioskSettings.ShowCFS);
  EXPECT_EQ(handled, std::vector<std::string>{"CMD:TERMINATE"});
}

}  // namespace
