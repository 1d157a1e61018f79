// The real window left alone against a broken unit web service: a month of a
// service that refuses every connection, answers of 64 MiB of garbage on every
// path, and a burst of commands against a service that never answers.
#include <poll.h>

#include <QElapsedTimer>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <thread>

#include "tests/reliability/reliability_fixture.h"
#include "diag/syslog.h"
#include "kiosk/pager_listener.h"

namespace {

using testsupport::KioskTest;
using testsupport::Score;

// A loopback TCP port that refuses (bound, not listening), answers garbage, or
// accepts and never answers.
class BrokenService {
 public:
  enum class Kind { Refuses, Garbage, Silent };
  // The largest answer the garbage service sends (the transport's own cap).
  static constexpr std::size_t kGarbageBytes = 64u << 20;

  explicit BrokenService(Kind kind) : kind_(kind) {
    fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int on = 1;
    setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (bind(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) throw std::runtime_error("bind");
    socklen_t len = sizeof addr;
    getsockname(fd_, reinterpret_cast<sockaddr*>(&addr), &len);
    port_ = ntohs(addr.sin_port);
    if (kind_ == Kind::Refuses) return;
    listen(fd_, 64);
    if (kind_ == Kind::Garbage) server_ = std::thread([this] { Serve(); });
  }
  ~BrokenService() {
    stop_ = true;
    if (server_.joinable()) server_.join();
    close(fd_);
  }
  std::string Host() const { return "127.0.0.1:" + std::to_string(port_); }
  int Answers() const { return answers_; }

 private:
  // Each answer is one of three kinds of garbage, in turn: a well-formed
  // status feed whose number field runs on for 64 MiB with line breaks and
  // quotes in it; a start tag whose end never comes; raw bytes, NULs included.
  std::string Body(int n) const {
    std::string filler;
    filler.reserve(kGarbageBytes);
    const std::string unit = n % 3 == 2 ? std::string("\x00\x01\r\n\"\xff<&", 9) : std::string("12\r\n\"x\x01\x7f", 8);
    while (filler.size() + unit.size() <= kGarbageBytes - 256) filler += unit;
    switch (n % 3) {
      case 0:
        return "<xml><RVUSrvc><LEDDisplay><PageA>A</PageA></LEDDisplay><LastGRNMFSIncNo>" + filler +
               "</LastGRNMFSIncNo></RVUSrvc></xml>";
      case 1:
        return "<xml><RVUSrvc><Street>" + filler;
      default:
        return filler;
    }
  }

  void Serve() {
    int n = 0;
    while (!stop_) {
      pollfd p{fd_, POLLIN, 0};
      if (::poll(&p, 1, 100) <= 0) continue;
      const int client = accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
      if (client < 0) continue;
      char request[8192];
      [[maybe_unused]] ssize_t got = recv(client, request, sizeof request, 0);
      const std::string body = Body(n++);
      const std::string head = "HTTP/1.1 200 OK\r\nContent-Type: text/xml\r\nContent-Length: " +
                               std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n";
      // The kiosk may hang up part way; what it does not read is its business.
      if (send(client, head.data(), head.size(), MSG_NOSIGNAL) > 0) {
        std::size_t sent = 0;
        while (sent < body.size()) {
          const ssize_t k = send(client, body.data() + sent, body.size() - sent, MSG_NOSIGNAL);
          if (k <= 0) break;
          sent += static_cast<std::size_t>(k);
        }
      }
      close(client);
      ++answers_;
    }
  }

  Kind kind_;
  int fd_ = -1;
  int port_ = 0;
  std::atomic<bool> stop_{false};
  std::atomic<int> answers_{0};
  std::thread server_;
};

// Every datagram the kiosk's syslog sender sends, kept by size.
class SyslogCatcher {
 public:
  SyslogCatcher() {
    fd_ = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    socklen_t len = sizeof addr;
    getsockname(fd_, reinterpret_cast<sockaddr*>(&addr), &len);
    port_ = ntohs(addr.sin_port);
    const int big = 8 << 20;
    setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &big, sizeof big);
  }
  ~SyslogCatcher() { close(fd_); }
  int Port() const { return port_; }
  // Takes what has arrived; the size of the largest datagram so far.
  std::size_t Largest() {
    static char buffer[1 << 17];
    ssize_t n;
    while ((n = recv(fd_, buffer, sizeof buffer, MSG_DONTWAIT | MSG_TRUNC)) >= 0) {
      largest_ = std::max(largest_, static_cast<std::size_t>(n));
      ++count_;
    }
    return largest_;
  }
  int Count() const { return count_; }

 private:
  int fd_ = -1;
  int port_ = 0;
  std::size_t largest_ = 0;
  int count_ = 0;
};

struct FolderFigures {
  std::uintmax_t bytes = 0;
  std::size_t files = 0;
  std::size_t reports = 0;
  std::uintmax_t largestReport = 0;
  std::size_t longestLogLine = 0;
  std::set<std::string> failures;  // the reports' routine, class and step
};

std::string Between(const std::string& text, const std::string& start, const std::string& end) {
  const auto a = text.find(start);
  if (a == std::string::npos) return "";
  const auto b = text.find(end, a + start.size());
  return text.substr(a + start.size(), b == std::string::npos ? std::string::npos : b - a - start.size());
}

FolderFigures Measure(const std::string& folder, bool readLines) {
  FolderFigures f;
  for (const auto& e : std::filesystem::directory_iterator(folder)) {
    if (!e.is_regular_file()) continue;
    const std::string name = e.path().filename();
    ++f.files;
    f.bytes += e.file_size();
    if (name.rfind("EXCEPTION-", 0) == 0) {
      ++f.reports;
      f.largestReport = std::max(f.largestReport, e.file_size());
      const std::string report = testsupport::ReadWholeFile(e.path());
      f.failures.insert(Between(report, "<Function>", "<") + "|" + Between(report, "<ClassName>", "<") + "|" +
                        Between(report, "<Trace>", "<"));
    }
    if (readLines && name.size() > 4 && name.substr(name.size() - 4) == ".CSV") {
      const std::string content = testsupport::ReadWholeFile(e.path());
      std::size_t start = 0;
      while (start < content.size()) {
        std::size_t end = content.find("\r\n", start);
        if (end == std::string::npos) end = content.size();
        f.longestLogLine = std::max(f.longestLogLine, end - start + 2);
        start = end + 2;
      }
    }
  }
  return f;
}

// The kiosk over HTTP against a broken service, with the program's settings
// for its logs: seven days kept, every entry written and sent to syslog.
class UnattendedKiosk : public KioskTest {
 protected:
  explicit UnattendedKiosk(BrokenService::Kind kind, service::RequestTimeLimits limits = {2000, 2000})
      : broken(kind), limits_(limits) {}
  void SetUp() override {
    KioskTest::SetUp();
    service::ServiceSettings.WWWHost = broken.Host();
    diag::Globals.Log.DaysOfLogsFilesRetained = 7;
    diag::Globals.Log.SyslogLevel = 7;
  }
  std::unique_ptr<service::WebUnitService> MakeUnitService() override {
    return std::make_unique<service::WebUnitService>(std::make_unique<service::HttpTransport>(), broken.Host(),
                                                     limits_);
  }
  void Tick() {
    clock->Advance(1000);
    window->TimerTimer();
  }

  BrokenService broken;
  service::RequestTimeLimits limits_;
};

// Days of the refused month: the scorecard runs 30; ctest runs two, enough to
// leave more reports than the folder's bound on a kiosk that keeps them all.
int MonthDays() {
  const char* days = std::getenv("RELIABILITY_MONTH_DAYS");
  return days != nullptr && std::atoi(days) > 0 ? std::atoi(days) : 2;
}

constexpr std::uintmax_t kFolderBytesBar = 50u << 20;
constexpr std::size_t kFolderFilesBar = 5000;

class RefusedMonth : public UnattendedKiosk {
 protected:
  RefusedMonth() : UnattendedKiosk(BrokenService::Kind::Refuses) {}
};

TEST_F(RefusedMonth, AServiceThatRefusesEveryConnectionLeavesABoundedProgramFolder) {
  const auto started = std::chrono::steady_clock::now();
  const int days = MonthDays();
  const std::string folder = dir.File("bin");
  FolderFigures worst;
  int polls = 0;
  for (std::int64_t t = 1; t <= days * 86400LL; ++t) {
    Tick();
    if (t % 15 == 0) ++polls;
    // A pager line now and then, as a quiet station has.
    if (t % 600 == 0) window->IdUDPServer1UDPRead("[CFS:0451002] ROUTINE LINE " + std::to_string(t));
    if (t % 3600 == 0) {
      browser->navigations.clear();
      const FolderFigures now = Measure(folder, false);
      worst.bytes = std::max(worst.bytes, now.bytes);
      worst.files = std::max(worst.files, now.files);
      worst.reports = std::max(worst.reports, now.reports);
    }
  }
  const FolderFigures end = Measure(folder, true);
  worst.bytes = std::max(worst.bytes, end.bytes);
  worst.files = std::max(worst.files, end.files);
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  // At most one report an hour for each failure that repeats (the poll, the
  // route map's incident request), over the seven days kept and today.
  const std::size_t reportBar = end.failures.size() * 24u * 8u;

  EXPECT_LT(worst.bytes, kFolderBytesBar);
  EXPECT_LT(worst.files, kFolderFilesBar);
  EXPECT_LE(worst.reports, reportBar);
  EXPECT_LE(end.failures.size(), 3u) << "the same refusal must count as the same failure";
  EXPECT_GT(end.reports, 0u) << "a failing service must still be reported";
  const std::string span = std::to_string(days) + " days refused";
  Score(span + ": program folder, largest", std::to_string(worst.bytes / 1024) + " KiB", "< 50 MB",
        worst.bytes < kFolderBytesBar);
  Score(span + ": program folder files, most", std::to_string(worst.files), "< 5000", worst.files < kFolderFilesBar);
  Score(span + ": error reports kept, most",
        std::to_string(worst.reports) + " (" + std::to_string(polls) + " polls, " +
            std::to_string(end.failures.size()) + " failures)",
        "<= " + std::to_string(reportBar), worst.reports <= reportBar);
  Score(span + ": time to simulate", std::to_string(static_cast<int>(seconds)) + " s", "-", true);
}

class GarbageService : public UnattendedKiosk {
 protected:
  GarbageService() : UnattendedKiosk(BrokenService::Kind::Garbage, {5000, 20000}) {}
};

constexpr std::size_t kLogLineBar = 2048;
constexpr std::size_t kReportBar = 4096;
constexpr std::size_t kSyslogBar = 2048;

TEST_F(GarbageService, AnswersOf64MiBLeaveEveryReportLogLineAndDatagramWithinBounds) {
  SyslogCatcher syslog;
  diag::SyslogPort = syslog.Port();
  diag::Globals.Log.SyslogServer = "127.0.0.1";
  ResizeWindow(1280, 1024);
  // Three turns of the rotation (status polls, the task summary among the
  // screens), and an incident asked for by command after each poll.
  for (int t = 1; t <= 15 * 9; ++t) {
    Tick();
    if (t % 15 == 1) window->IdUDPServer1UDPRead("CMD:SCREEN0");
    if (t % 15 == 2) window->IdUDPServer1UDPRead("CMD:SCROLL");
  }
  diag::SyslogPort = diag::kSyslogPort;
  const FolderFigures f = Measure(dir.File("bin"), true);
  const std::size_t datagram = syslog.Largest();

  EXPECT_GT(broken.Answers(), 3);
  EXPECT_GT(f.reports, 0u);
  EXPECT_LE(f.largestReport, kReportBar);
  EXPECT_LE(f.longestLogLine, kLogLineBar);
  EXPECT_GT(syslog.Count(), 0);
  EXPECT_LE(datagram, kSyslogBar);
  Score("64 MiB garbage answers: largest report", std::to_string(f.largestReport) + " bytes",
        "<= " + std::to_string(kReportBar), f.largestReport <= kReportBar);
  Score("64 MiB garbage answers: longest log line", std::to_string(f.longestLogLine) + " bytes",
        "<= " + std::to_string(kLogLineBar), f.longestLogLine <= kLogLineBar);
  Score("64 MiB garbage answers: largest syslog datagram", std::to_string(datagram) + " bytes",
        "<= " + std::to_string(kSyslogBar), datagram <= kSyslogBar);
}

// The standard time limits: a request's 30 s, and the window's real clock.
class SilentService : public UnattendedKiosk {
 protected:
  SilentService() : UnattendedKiosk(BrokenService::Kind::Silent, {}) {}
};

TEST_F(SilentService, TwentyScreen0CommandsInOneBurstHoldTheClockAtMostOneRequestsLimit) {
  platform::SystemClock realClock;
  platform::SetClock(&realClock);
  const std::uint16_t port = window->IdUDPServer1->Port();
  int handled = 0;
  window->DatagramHandled = [&](const std::string&) { ++handled; };

  // The event loop's longest stand-still, seen by a timer of its own.
  QElapsedTimer sinceTurn;
  qint64 longestMs = 0;
  QTimer beat;
  beat.setTimerType(Qt::PreciseTimer);
  QObject::connect(&beat, &QTimer::timeout, [&] {
    longestMs = std::max(longestMs, sinceTurn.restart());
  });
  sinceTurn.start();
  beat.start(20);

  const int sender = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(port);
  to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  for (int i = 0; i < 20; ++i)
    sendto(sender, "CMD:SCREEN0", 11, 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
  close(sender);

  const auto started = std::chrono::steady_clock::now();
  while (handled < 20 && std::chrono::steady_clock::now() - started < std::chrono::seconds(700))
    QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
  QCoreApplication::processEvents(QEventLoop::AllEvents, 100);
  beat.stop();
  window->DatagramHandled = nullptr;
  platform::SetClock(&*clock);

  EXPECT_EQ(handled, 20);
  EXPECT_LE(longestMs, 30500);
  Score("20 x CMD:SCREEN0 against a silent service: clock standing, longest", std::to_string(longestMs) + " ms",
        "<= 30500 ms", longestMs <= 30500);
}

}  // namespace
