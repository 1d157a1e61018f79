// The pager feed into the real kiosk window (offscreen or under X): pager lines
// that pass the default filters, sent over loopback to the window's listening
// socket. Measures sustained and burst throughput with losses, the 1-second
// tick's delay during the sustained run, and the time from a line's send to
// its being painted, each against a bare recvfrom loop in the same run. A
// line counts as handled when the window's datagram handler has taken it.
//
//   feed_bench               full runs (about two minutes)
//   feed_bench --smoke       a few seconds, only to show that it still works
//   feed_bench --web-engine  with the real web view in place of an empty stand-in
//   feed_bench --metrics     with the metrics endpoint on, scraped once a second
//   feed_bench --web-stack SCRIPT
//                            the same runs on the web-stack display of
//                            bench/webstack too, compared with the kiosk's
//   KIOSK_BENCH_QUICK=1      short runs
//   FEED_BENCH_STALL_MS=N    prints the UI thread's stack when one event holds it N ms
#include <execinfo.h>
#include <netinet/in.h>
#include <pthread.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <httplib.h>

#include <QApplication>
#include <QEvent>
#include <QEventLoop>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "bench/bench_util.h"
#include "bench/stand_ins.h"
#include "bench/web_stack.h"
#include "config/kiosk_settings.h"
#include "kiosk/frm_main.h"
#include "kiosk/metrics_publisher.h"
#include "platform/metrics.h"
#include "kiosk/message_list.h"
#include "kiosk/pager_listener.h"
#include "platform/browser_view.h"
#include "platform/datagram_receiver.h"
#include "platform/qt/web_engine_view.h"
#include "platform/system.h"
#include "tests/support/wait.h"

namespace {

using bench::MonotonicNs;

constexpr std::size_t kLineBytes = 150;
constexpr int kBatch = 64;

// A 150-byte line that the default filters show ("[CFS" is on), carrying its
// sequence number and its send time.
std::string MakeLine(std::uint32_t seq, std::int64_t sentNs) {
  char head[96];
  const int n = std::snprintf(head, sizeof head, "[CFS:0451002] SEQ=%010u T=%019lld STRUCTURE FIRE ", seq,
                              static_cast<long long>(sentNs));
  std::string line(head, static_cast<std::size_t>(n));
  line.resize(kLineBytes, '.');
  return line;
}

struct Stamp {
  std::uint32_t seq = 0;
  std::int64_t sentNs = 0;
};

// Reads the stamp of a line made by MakeLine, in whatever text type holds it.
template <typename Text>
std::optional<Stamp> ReadStamp(const Text& text, std::size_t size) {
  auto find = [&](const char* key, std::size_t from) -> std::size_t {
    const std::size_t keyLength = std::strlen(key);
    for (std::size_t i = from; i + keyLength <= size; ++i) {
      std::size_t k = 0;
      while (k < keyLength && text[i + k] == key[k]) ++k;
      if (k == keyLength) return i + keyLength;
    }
    return std::string::npos;
  };
  auto number = [&](std::size_t at, std::int64_t& value) {
    value = 0;
    std::size_t digits = 0;
    for (; at < size && text[at] >= '0' && text[at] <= '9'; ++at, ++digits) value = value * 10 + (text[at] - '0');
    return digits > 0;
  };
  const std::size_t seqAt = find("SEQ=", 0);
  if (seqAt == std::string::npos) return std::nullopt;
  const std::size_t timeAt = find("T=", seqAt);
  std::int64_t seq = 0, sent = 0;
  if (timeAt == std::string::npos || !number(seqAt, seq) || !number(timeAt, sent)) return std::nullopt;
  return Stamp{static_cast<std::uint32_t>(seq), sent};
}

std::optional<Stamp> ReadStamp(const QString& text) {
  struct Latin {
    const QString& s;
    char operator[](std::size_t i) const { return s[static_cast<qsizetype>(i)].toLatin1(); }
  };
  return ReadStamp(Latin{text}, static_cast<std::size_t>(text.size()));
}

// The kernel's count of datagrams dropped by the IPv4 UDP socket bound to a
// local port (a full receive buffer), from /proc/net/udp; -1 when not found.
long long SocketDrops(quint16 port) {
  std::ifstream file("/proc/net/udp");
  std::string line;
  std::getline(file, line);  // header
  char portHex[8];
  std::snprintf(portHex, sizeof portHex, ":%04X", port);
  while (std::getline(file, line)) {
    std::istringstream fields(line);
    std::string slot, local;
    fields >> slot >> local;
    if (local.size() < 5 || local.compare(local.size() - 5, 5, portHex) != 0) continue;
    std::string field, last;
    while (fields >> field) last = field;
    return std::stoll(last);
  }
  return -1;
}

// Sends stamped lines to 127.0.0.1:port in batches of up to 64 with sendmmsg.
class UdpSender {
 public:
  explicit UdpSender(quint16 port) : fd_(socket(AF_INET, SOCK_DGRAM, 0)) {
    if (fd_ < 0) throw std::runtime_error("socket failed");
    to_.sin_family = AF_INET;
    to_.sin_port = htons(port);
    to_.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  }
  ~UdpSender() { close(fd_); }
  UdpSender(const UdpSender&) = delete;
  UdpSender& operator=(const UdpSender&) = delete;

  // Sends lines first .. first + n - 1 (n at most kBatch), stamped now.
  void Send(std::uint32_t first, int n) {
    const std::int64_t now = MonotonicNs();
    mmsghdr messages[kBatch]{};
    iovec vectors[kBatch]{};
    std::string lines[kBatch];
    for (int i = 0; i < n; ++i) {
      lines[i] = MakeLine(first + static_cast<std::uint32_t>(i), now);
      vectors[i] = {lines[i].data(), lines[i].size()};
      messages[i].msg_hdr.msg_name = &to_;
      messages[i].msg_hdr.msg_namelen = sizeof to_;
      messages[i].msg_hdr.msg_iov = &vectors[i];
      messages[i].msg_hdr.msg_iovlen = 1;
    }
    for (int sent = 0; sent < n;) {
      const int r = sendmmsg(fd_, messages + sent, static_cast<unsigned>(n - sent), 0);
      if (r < 0 && errno != EINTR) throw std::runtime_error(std::string("sendmmsg: ") + std::strerror(errno));
      if (r > 0) sent += r;
    }
  }

 private:
  int fd_;
  sockaddr_in to_{};
};

// Sends `count` lines from `first` at `rate` a second (0: as fast as the
// sender can), catching up on absolute deadlines so that late wake-ups do
// not lower the rate.
void SendPaced(quint16 port, std::uint32_t first, std::uint32_t count, double rate) {
  prctl(PR_SET_TIMERSLACK, 1UL);
  UdpSender sender(port);
  const std::int64_t start = MonotonicNs();
  std::uint32_t sent = 0;
  while (sent < count) {
    std::uint32_t due = count;
    if (rate > 0) {
      const double elapsed = static_cast<double>(MonotonicNs() - start) / 1e9;
      due = static_cast<std::uint32_t>(std::min<double>(count, std::floor(elapsed * rate) + 1));
      if (due <= sent) {
        const std::int64_t next = start + static_cast<std::int64_t>(static_cast<double>(sent) / rate * 1e9);
        const timespec at{static_cast<time_t>(next / 1'000'000'000), static_cast<long>(next % 1'000'000'000)};
        clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &at, nullptr);
        continue;
      }
    }
    const int n = static_cast<int>(std::min<std::uint32_t>(due - sent, kBatch));
    sender.Send(first + sent, n);
    sent += static_cast<std::uint32_t>(n);
  }
}

// Times every event the UI thread delivers (outermost only), so that a late
// tick can be traced to what held the thread: the longest event of a run, its
// receiver and type, and the longest time between two events.
class TimedApplication final : public QApplication {
 public:
  using QApplication::QApplication;

  struct Longest {
    double eventMs = 0;
    std::string what;    // the longest event's receiver class and event type
    double gapMs = 0;    // the longest time with no event being delivered
  };

  bool notify(QObject* receiver, QEvent* event) override {
    if (depth_ > 0) {
      ++depth_;
      const bool handled = QApplication::notify(receiver, event);
      --depth_;
      return handled;
    }
    const std::int64_t start = MonotonicNs();
    if (lastEndNs_ != 0) longest_.gapMs = std::max(longest_.gapMs, static_cast<double>(start - lastEndNs_) / 1e6);
    eventStartNs_.store(start, std::memory_order_relaxed);
    const int type = event->type();
    const char* cls = receiver != nullptr ? receiver->metaObject()->className() : "?";
    ++depth_;
    const bool handled = QApplication::notify(receiver, event);
    --depth_;
    const std::int64_t end = MonotonicNs();
    eventStartNs_.store(0, std::memory_order_relaxed);
    const double ms = static_cast<double>(end - start) / 1e6;
    if (ms > longest_.eventMs) {
      longest_.eventMs = ms;
      longest_.what = std::string(cls) + "/" + std::to_string(type);
    }
    lastEndNs_ = end;
    return handled;
  }

  // With FEED_BENCH_STALL_MS set: a thread of its own prints the UI thread's
  // stack to standard error whenever one event has held it that long, once
  // per event, so that a late tick can be traced to the code that held it.
  void WatchStalls() {
    const char* limit = std::getenv("FEED_BENCH_STALL_MS");
    if (limit == nullptr || std::atoi(limit) <= 0) return;
    const std::int64_t limitNs = std::atoll(limit) * 1'000'000;
    uiThread_ = pthread_self();
    struct sigaction action {};
    action.sa_handler = [](int) {
      void* frames[64];
      const int n = backtrace(frames, 64);
      backtrace_symbols_fd(frames, n, 2);
    };
    sigaction(SIGUSR2, &action, nullptr);
    std::thread([this, limitNs] {
      std::int64_t reported = 0;
      for (;;) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        const std::int64_t start = eventStartNs_.load(std::memory_order_relaxed);
        if (start == 0 || start == reported || MonotonicNs() - start < limitNs) continue;
        reported = start;
        std::fprintf(stderr, "feed_bench: the UI thread has been in one event for %.0f ms:\n",
                     static_cast<double>(MonotonicNs() - start) / 1e6);
        pthread_kill(uiThread_, SIGUSR2);
      }
    }).detach();
  }

  // What the thread did since the last call.
  Longest Take() {
    Longest taken = longest_;
    longest_ = {};
    lastEndNs_ = 0;  // a gap counts from the first event after this
    return taken;
  }

 private:
  int depth_ = 0;
  std::int64_t lastEndNs_ = 0;
  Longest longest_;
  std::atomic<std::int64_t> eventStartNs_{0};
  pthread_t uiThread_{};
};

// What one run of the kiosk, the bare loop or the web-stack display gave.
struct RunResult {
  std::uint32_t count = 0;
  std::uint32_t handled = 0;     // lines of the run taken by the handler
  std::uint32_t outOfOrder = 0;  // of those, the ones taken after a later line
  std::uint32_t seen = 0;        // distinct lines of the run received (bare) or painted (kiosk, web stack)
  bool lastSeen = false;         // the run's last line arrived
  long long drops = 0;           // the kernel's drops on the receiving socket
  std::int64_t startNs = 0;
  std::int64_t endNs = 0;  // when the last line was received or painted
  std::vector<double> latenciesMs;
  std::vector<double> afterPaintMs;  // the web stack only: send to the end of its frame's main-thread work
  double maxTickLateMs = 0;          // the kiosk's 1-second tick during the run
  TimedApplication::Longest held;    // the kiosk's UI thread during the run

  // Sent less handled.
  std::uint32_t Lost() const { return count - std::min(count, handled); }
  double Rate() const { return endNs > startNs ? count / (static_cast<double>(endNs - startNs) / 1e9) : 0; }

  // Notes a line the handler took.
  void Handled(const Stamp& stamp, std::uint32_t first) {
    if (stamp.seq < first || stamp.seq >= first + count) return;
    ++handled;
    if (newestHandled && stamp.seq <= *newestHandled)
      ++outOfOrder;
    else
      newestHandled = stamp.seq;
  }
  std::optional<std::uint32_t> newestHandled;  // the latest line handled in order
};

// A bare recvfrom loop on a socket of its own, set up as the kiosk's listener
// sets up its own (the same receive buffer).
class BareReceiver {
 public:
  BareReceiver() : socket_(platform::DatagramReceiver::BindIPv4(INADDR_LOOPBACK, 0, 1)), port_(socket_.Port()) {}
  quint16 Port() const { return port_; }

  // Receives until the run's last line or the deadline.
  void Receive(RunResult& result, std::uint32_t first, std::int64_t deadlineNs) {
    char buffer[9000];
    const std::uint32_t last = first + result.count - 1;
    while (MonotonicNs() < deadlineNs) {
      const ssize_t r = recvfrom(socket_.Descriptor(), buffer, sizeof buffer, 0, nullptr, nullptr);
      if (r < 0) {
        socket_.WaitReadable(100);
        continue;
      }
      const std::int64_t now = MonotonicNs();
      const auto stamp = ReadStamp(buffer, static_cast<std::size_t>(r));
      if (!stamp || stamp->seq < first || stamp->seq > last) continue;
      result.Handled(*stamp, first);
      ++result.seen;
      result.latenciesMs.push_back(static_cast<double>(now - stamp->sentNs) / 1e6);
      if (stamp->seq == last) {
        result.lastSeen = true;
        result.endNs = now;
        return;
      }
    }
  }

 private:
  platform::DatagramReceiver socket_;
  quint16 port_;
};

using bench::NoBoxes;
using bench::StandInBrowser;

// Watches the kiosk window from outside: lets it paint and flush on each
// update request, then notes which stamped lines are on the screen; and notes
// the time of every tick of its 1-second timer.
class ScreenWatch final : public QObject {
 public:
  explicit ScreenWatch(kiosk::TfrmMain& window) : window_(window) {
    window_.installEventFilter(this);
    window_.Timer->installEventFilter(this);
  }

  void Begin(RunResult& result, std::uint32_t first) {
    result_ = &result;
    first_ = first;
    newest_.reset();
  }
  void End() { result_ = nullptr; }
  const std::vector<std::int64_t>& Ticks() const { return ticks_; }
  // How long each paint and flush of the window took.
  const std::vector<double>& PaintMs() const { return paintMs_; }

 protected:
  bool eventFilter(QObject* target, QEvent* event) override {
    if (target == window_.Timer && event->type() == QEvent::Timer) {
      ticks_.push_back(MonotonicNs());
      return false;
    }
    if (target == &window_ && event->type() == QEvent::UpdateRequest) {
      const std::int64_t start = MonotonicNs();
      static_cast<QObject&>(window_).event(event);  // paints and flushes
      const std::int64_t now = MonotonicNs();
      paintMs_.push_back(static_cast<double>(now - start) / 1e6);
      if (result_ != nullptr) Note(now);
      return true;
    }
    return false;
  }

 private:
  void Note(std::int64_t now) {
    const auto& lines = window_.rchMessages->Lines();
    const std::uint32_t last = first_ + result_->count - 1;
    // Back over the lines not painted before, to the newest one that was.
    std::size_t from = lines.size();
    while (from > 0) {
      const auto stamp = ReadStamp(lines[from - 1].text);
      if (!stamp || stamp->seq < first_ || stamp->seq > last) break;
      if (newest_ && stamp->seq <= *newest_) break;
      --from;
    }
    for (std::size_t i = from; i < lines.size(); ++i) {
      const Stamp stamp = *ReadStamp(lines[i].text);
      newest_ = stamp.seq;
      ++result_->seen;
      result_->latenciesMs.push_back(static_cast<double>(now - stamp.sentNs) / 1e6);
      if (stamp.seq == last && !result_->lastSeen) {
        result_->lastSeen = true;
        result_->endNs = now;
      }
    }
  }

  kiosk::TfrmMain& window_;
  RunResult* result_ = nullptr;
  std::uint32_t first_ = 0;
  std::optional<std::uint32_t> newest_;
  std::vector<std::int64_t> ticks_;
  std::vector<double> paintMs_;
};

// Runs the event loop until done() holds (checked every 20 ms) or the time is up.
template <typename F>
bool RunUntil(F done, int timeoutMs) {
  return testsupport::WaitUntil(done, timeoutMs, [] {
    QEventLoop loop;
    QTimer::singleShot(20, &loop, &QEventLoop::quit);
    loop.exec();
  });
}

// The latest a tick came, beyond its second, among the ticks between two times.
double MaxTickLateMs(const std::vector<std::int64_t>& ticks, std::int64_t from, std::int64_t to) {
  double late = 0;
  for (std::size_t i = 1; i < ticks.size(); ++i)
    if (ticks[i] >= from && ticks[i] <= to)
      late = std::max(late, static_cast<double>(ticks[i] - ticks[i - 1]) / 1e6 - 1000.0);
  return late;
}

struct Settings {
  int sustainedRuns = 3;
  double sustainedRate = 20000;
  double sustainedSeconds = 10;
  int burstRuns = 5;
  std::uint32_t burstCount = 10000;
  int latencyRuns = 3;
  double latencyRate = 100;
  double latencySeconds = 10;
};

class FeedBench {
 public:
  FeedBench(kiosk::TfrmMain& window, ScreenWatch& watch) : window_(window), watch_(watch) {}

  // Sends to the kiosk window and watches its screen until the last line is painted.
  RunResult Kiosk(std::uint32_t count, double rate) {
    RunResult result;
    result.count = count;
    const std::uint32_t first = Reserve(count);
    const quint16 port = window_.IdUDPServer1->Port();
    // A tick left overdue by what this thread did since the last run (the
    // bench's own bookkeeping, a web-stack request) fires now, before the run,
    // and is not charged to it.
    RunUntil([] { return false; }, 50);
    const long long dropsBefore = SocketDrops(port);
    watch_.Begin(result, first);
    static_cast<TimedApplication*>(QCoreApplication::instance())->Take();
    // Counted in the handler's path: every line of the run the window took, in order.
    window_.DatagramHandled = [&](const std::string& datagram) {
      if (const auto stamp = ReadStamp(datagram, datagram.size())) result.Handled(*stamp, first);
    };
    std::atomic<bool> sent{false};
    result.startNs = MonotonicNs();
    std::thread sender([&] {
      SendPaced(port, first, count, rate);
      sent = true;
    });
    const int timeoutMs = static_cast<int>(count / std::max(rate, 1000.0) * 1000) + 15000;
    RunUntil([&] { return sent && result.lastSeen; }, timeoutMs);
    sender.join();
    // Whatever is still on its way is left to arrive before the drops are read.
    RunUntil([] { return false; }, 100);
    watch_.End();
    window_.DatagramHandled = nullptr;
    result.drops = SocketDrops(port) - dropsBefore;
    result.maxTickLateMs = MaxTickLateMs(watch_.Ticks(), result.startNs, MonotonicNs());
    result.held = static_cast<TimedApplication*>(QCoreApplication::instance())->Take();
    return result;
  }

  // The same lines to a bare recvfrom loop; the kiosk window idles meanwhile.
  RunResult Bare(std::uint32_t count, double rate) {
    RunResult result;
    result.count = count;
    const std::uint32_t first = Reserve(count);
    BareReceiver receiver;
    const long long dropsBefore = SocketDrops(receiver.Port());
    std::atomic<bool> done{false};
    result.startNs = MonotonicNs();
    const std::int64_t deadline =
        result.startNs + static_cast<std::int64_t>((count / std::max(rate, 1000.0) + 15) * 1e9);
    std::thread receiving([&] {
      receiver.Receive(result, first, deadline);
      done = true;
    });
    std::thread sender([&] { SendPaced(receiver.Port(), first, count, rate); });
    RunUntil([&] { return done.load(); }, static_cast<int>((deadline - result.startNs) / 1'000'000) + 1000);
    sender.join();
    receiving.join();
    result.drops = SocketDrops(receiver.Port()) - dropsBefore;
    result.maxTickLateMs = MaxTickLateMs(watch_.Ticks(), result.startNs, MonotonicNs());
    return result;
  }

  // The same lines to the web-stack display; the kiosk window idles meanwhile.
  RunResult Web(bench::WebStack& display, std::uint32_t count, double rate) {
    RunResult result;
    result.count = count;
    const std::uint32_t first = Reserve(count);
    const auto port = static_cast<quint16>(display.UdpPort());
    const long long dropsBefore = SocketDrops(port);
    display.BeginRun();
    const int waitMs = static_cast<int>(count / std::max(rate, 1000.0) * 1000) + 15000;
    std::atomic<bool> done{false};
    bench::WebStackRun run;
    result.startNs = MonotonicNs();
    std::thread sending([&] {
      SendPaced(port, first, count, rate);
      run = display.EndRun(waitMs);
      done = true;
    });
    RunUntil([&] { return done.load(); }, waitMs + 10000);
    sending.join();
    result.drops = SocketDrops(port) - dropsBefore;
    result.handled = run.handled;
    result.outOfOrder = run.handled - run.inOrder;
    result.seen = run.handled;
    result.lastSeen = run.lastSeq == static_cast<long long>(first + count - 1);
    result.endNs = run.endNs;
    result.latenciesMs = std::move(run.latenciesMs);
    result.afterPaintMs = std::move(run.afterPaintMs);
    return result;
  }

 private:
  std::uint32_t Reserve(std::uint32_t count) {
    const std::uint32_t first = next_;
    next_ += count;
    return first;
  }

  kiosk::TfrmMain& window_;
  ScreenWatch& watch_;
  std::uint32_t next_ = 1;
};

std::string Rate(double perSecond) { return bench::Format("%.0f/s", perSecond); }

std::string Ms(double ms) { return bench::Format("%.2f ms", ms); }

std::string Ratio(double measured, double baseline) {
  return baseline > 0 ? bench::Format("%.2f", measured / baseline) : "-";
}

template <typename F>
std::vector<double> Each(const std::vector<RunResult>& runs, F f) {
  std::vector<double> values;
  for (const auto& run : runs) values.push_back(f(run));
  return values;
}

std::uint32_t TotalLost(const std::vector<RunResult>& runs) {
  std::uint32_t lost = 0;
  for (const auto& run : runs) lost += run.Lost();
  return lost;
}

std::uint32_t TotalOutOfOrder(const std::vector<RunResult>& runs) {
  std::uint32_t outOfOrder = 0;
  for (const auto& run : runs) outOfOrder += run.outOfOrder;
  return outOfOrder;
}

// Whether every line of the runs was handled, and in the order sent.
bool AllInOrder(const std::vector<RunResult>& runs) { return TotalLost(runs) == 0 && TotalOutOfOrder(runs) == 0; }

// The runs of one kind: the kiosk's, the bare loop's beside them, and the
// web-stack display's when it was measured.
struct Runs {
  std::vector<RunResult> kiosk, bare, web;
};

std::string LostText(const std::vector<RunResult>& runs) {
  const std::uint32_t outOfOrder = TotalOutOfOrder(runs);
  return bench::Format(", %.0f lost", TotalLost(runs)) +
         (outOfOrder ? bench::Format(", %.0f out of order", outOfOrder) : "");
}

double MedianRate(const std::vector<RunResult>& runs) {
  return bench::Median(Each(runs, [](const RunResult& r) { return r.Rate(); }));
}
double MedianPercentile(const std::vector<RunResult>& runs, double p) {
  return bench::Median(Each(runs, [p](const RunResult& r) { return bench::Percentile(r.latenciesMs, p); }));
}

void Report(const Settings& s, const std::string& variant, const Runs& sustained, const Runs& burst,
            const Runs& latency) {
  const std::string sustainedName =
      bench::Format("1 feed sustained %.0f/s", s.sustainedRate) + bench::Format(" x %g s", s.sustainedSeconds);
  const std::string burstName = bench::Format("1 feed burst of %.0f", s.burstCount);
  for (const auto& [name, runs] : {std::pair{sustainedName, &sustained}, std::pair{burstName, &burst}}) {
    const double rate = MedianRate(runs->kiosk), bareRate = MedianRate(runs->bare);
    bench::PrintRow({name + variant, Rate(rate) + LostText(runs->kiosk),
                     "recvfrom " + Rate(bareRate) + LostText(runs->bare), Ratio(rate, bareRate),
                     "none lost, in order", bench::MetText(AllInOrder(runs->kiosk))});
  }

  auto late = [](const RunResult& r) { return r.maxTickLateMs; };
  const auto lates = Each(sustained.kiosk, late);
  const auto idleLates = Each(sustained.bare, late);
  const double worst = lates.empty() ? 0 : *std::max_element(lates.begin(), lates.end());
  const double idleWorst = idleLates.empty() ? 0 : *std::max_element(idleLates.begin(), idleLates.end());
  bench::PrintRow({"2 clock tick late, worst, sustained run" + variant, Ms(worst), "idle " + Ms(idleWorst), "-",
                   "<= 100 ms", bench::MetText(worst <= 100)});

  auto latencyName = [&](const char* percentile) {
    return std::string("3 latency send-to-painted ") + percentile + bench::Format(" at %.0f/s", s.latencyRate) +
           variant;
  };
  const double latency50 = MedianPercentile(latency.kiosk, 50), bare50 = MedianPercentile(latency.bare, 50);
  const double latency99 = MedianPercentile(latency.kiosk, 99), bare99 = MedianPercentile(latency.bare, 99);
  const bool latencyWhole = AllInOrder(latency.kiosk);
  bench::PrintRow({latencyName("p50"), Ms(latency50), "recvfrom " + Ms(bare50), Ratio(latency50, bare50), "-", ""});
  bench::PrintRow({latencyName("p99"), Ms(latency99) + (latencyWhole ? "" : LostText(latency.kiosk)),
                   "recvfrom " + Ms(bare99), Ratio(latency99, bare99), "< 20 ms",
                   bench::MetText(latency99 < 20 && latencyWhole)});

  if (sustained.web.empty()) return;
  // The kiosk beside the web-stack display, on the same lines at the same rates.
  for (const auto& [name, runs] : {std::pair{sustainedName, &sustained}, std::pair{burstName, &burst}}) {
    const double rate = MedianRate(runs->kiosk), webRate = MedianRate(runs->web);
    const std::uint32_t lost = TotalLost(runs->kiosk), webLost = TotalLost(runs->web);
    // How far behind the screen fell: the painted lines' p99 send-to-painted time.
    auto behind = [](const std::vector<RunResult>& r) { return bench::Format(", p99 %.1f ms", MedianPercentile(r, 99)); };
    bench::PrintRow({"7 web stack: " + name.substr(2), "kiosk " + Rate(rate) + LostText(runs->kiosk) + behind(runs->kiosk),
                     "web stack " + Rate(webRate) + LostText(runs->web) + behind(runs->web), Ratio(rate, webRate),
                     "kiosk loses no more", bench::MetText(lost <= webLost)});
  }
  for (const double p : {50.0, 99.0}) {
    const double kiosk = MedianPercentile(latency.kiosk, p), web = MedianPercentile(latency.web, p);
    const double afterPaint =
        bench::Median(Each(latency.web, [p](const RunResult& r) { return bench::Percentile(r.afterPaintMs, p); }));
    bench::PrintRow({bench::Format("7 web stack: latency send-to-painted p%.0f", p) +
                         bench::Format(" at %.0f/s", s.latencyRate),
                     "kiosk " + Ms(kiosk),
                     "web stack " + Ms(web) + " (its frame's main-thread work done: " + Ms(afterPaint) + ")" +
                         (AllInOrder(latency.web) ? "" : LostText(latency.web)),
                     Ratio(kiosk, web), "kiosk no slower", bench::MetText(kiosk <= web)});
  }
}

// A fresh folder for the settings files and daily logs, removed at the end.
class Workspace {
 public:
  Workspace() {
    std::string pattern = "/tmp/kiosk-feed-bench-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
    std::filesystem::create_directory(path_ / "bin");
    // The program file is this one, so the kiosk can read its version.
    std::filesystem::create_symlink("/proc/self/exe", path_ / "bin/rvukiosk");
    std::filesystem::current_path(path_);
    platform::SetProgramFilePathForTesting((path_ / "bin/rvukiosk").string());
    // The test lines are "[CFS" pages; the browser is shown, as by default.
    config::tKioskSettings settings;
    settings.ShowCFS = true;
    settings.BrowserVisible = true;
    std::ofstream(config::kFileName, std::ios::binary) << config::KioskSettingsFileText(settings);
  }
  ~Workspace() {
    std::error_code error;
    std::filesystem::current_path("/", error);
    std::filesystem::remove_all(path_, error);
  }

 private:
  std::filesystem::path path_;
};

}  // namespace

int main(int argc, char** argv) {
  bool smoke = false, webEngine = false, metrics = false;
  std::string webStackScript;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    smoke = smoke || arg == "--smoke";
    webEngine = webEngine || arg == "--web-engine";
    metrics = metrics || arg == "--metrics";
    if (arg == "--web-stack" && i + 1 < argc) webStackScript = std::filesystem::absolute(argv[++i]).string();
  }
  if (!webStackScript.empty()) {
    if (const std::string missing = bench::WebStack::Missing(webStackScript); !missing.empty()) {
      std::printf("feed_bench: no web-stack display on this machine: %s is missing (scripts/bootstrap --bench)\n",
                  missing.c_str());
      return smoke ? 77 : 1;  // 77: skipped, for the smoke test
    }
  }
  Settings s;
  if (smoke) {
    s = {1, 2000, 0.5, 1, 500, 1, 100, 0.5};
  } else if (bench::QuickMode()) {
    s = {1, 20000, 3, 2, 10000, 1, 100, 3};
  }

  // The web-stack display comes up first: waiting for it holds this thread
  // (a second or more while its browser starts), which must not fall into the
  // window's warm-up or a run.
  std::unique_ptr<bench::WebStack> webStack;
  double webStackUpMs = 0;
  if (!webStackScript.empty()) {
    const std::int64_t start = MonotonicNs();
    webStack = std::make_unique<bench::WebStack>(webStackScript);
    webStackUpMs = static_cast<double>(MonotonicNs() - start) / 1e6;
  }

  if (webEngine) platform::UseSoftwareSceneRenderer();  // as the kiosk program does
  TimedApplication app(argc, argv);
  app.WatchStalls();
  Workspace workspace;
  NoBoxes boxes;
  std::unique_ptr<platform::BrowserView> browser;
  if (webEngine)
    browser = std::make_unique<platform::WebEngineBrowserView>(nullptr);
  else
    browser = std::make_unique<StandInBrowser>();
  const std::unique_ptr<service::UnitService> unitService = service::MakeHttpUnitService();
  auto window = std::make_unique<kiosk::TfrmMain>(
      std::move(browser), boxes, *unitService, [] {}, kiosk::KioskOptions{0});
  kiosk::frmMain = window.get();
  window->FormCreate();
  window->show();
  ScreenWatch watch(*window);
  // With --metrics: the window's metrics endpoint on, as the station settings
  // turn it on, scraped once a second from a thread of the bench's own.
  std::unique_ptr<platform::HttpMetricsEndpoint> endpoint;
  std::unique_ptr<kiosk::MetricsPublisher> publisher;
  std::atomic<bool> scraping{true};
  std::atomic<int> scrapes{0}, failedScrapes{0};
  std::thread scraper;
  if (metrics) {
    endpoint = std::make_unique<platform::HttpMetricsEndpoint>("127.0.0.1", 0);
    publisher = std::make_unique<kiosk::MetricsPublisher>(*window, *unitService, *endpoint,
                                                          std::filesystem::current_path().string(), 0.0);
    scraper = std::thread([&scraping, &scrapes, &failedScrapes, port = endpoint->Port()] {
      httplib::Client client("127.0.0.1", port);
      while (scraping) {
        const auto answer = client.Get("/metrics");
        ++(answer && answer->status == 200 ? scrapes : failedScrapes);
        for (int i = 0; i < 10 && scraping; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(100));
      }
    });
  }
  // The first tick, the first paint and the first poll of the status feed pass.
  RunUntil([] { return false; }, smoke ? 300 : 2500);

  std::printf("feed_bench: platform %s, window %dx%d, message list %dx%d, kiosk port %u\n",
              qPrintable(QGuiApplication::platformName()), window->width(), window->height(),
              window->rchMessages->width(), window->rchMessages->height(), window->IdUDPServer1->Port());

  if (webStack)
    std::printf("feed_bench: web-stack display on UDP port %d, receive buffer %s bytes, up in %.0f ms\n",
                webStack->UdpPort(), webStack->ReceiveBufferText().c_str(), webStackUpMs);

  FeedBench feed(*window, watch);
  Runs sustained, burst, latency;
  const auto sustainedCount = static_cast<std::uint32_t>(s.sustainedRate * s.sustainedSeconds);
  const auto latencyCount = static_cast<std::uint32_t>(s.latencyRate * s.latencySeconds);
  auto show = [](const char* what, const RunResult& r) {
    std::printf(
        "  %-18s %7.0f/s  handled %6u of %6u%s  painted %6u  drops %lld  p50 %.2f ms  p99 %.2f ms  tick late %.1f ms\n",
        what, r.Rate(), r.handled, r.count, r.outOfOrder ? bench::Format(" (%.0f out of order)", r.outOfOrder).c_str() : "",
        r.seen, r.drops, bench::Percentile(r.latenciesMs, 50), bench::Percentile(r.latenciesMs, 99), r.maxTickLateMs);
    if (!r.held.what.empty())
      std::printf("  %-18s longest event %.1f ms (%s), longest gap between events %.1f ms\n", "", r.held.eventMs,
                  r.held.what.c_str(), r.held.gapMs);
    std::fflush(stdout);
  };
  // Each kind of run on the kiosk, the bare loop and the web stack in turn.
  auto runAll = [&](const char* kind, Runs& runs, int times, std::uint32_t count, double rate) {
    for (int i = 0; i < times; ++i) {
      runs.kiosk.push_back(feed.Kiosk(count, rate));
      show((std::string(kind) + " kiosk").c_str(), runs.kiosk.back());
      runs.bare.push_back(feed.Bare(count, rate));
      show((std::string(kind) + " recvfrom").c_str(), runs.bare.back());
      if (!webStack) continue;
      runs.web.push_back(feed.Web(*webStack, count, rate));
      show((std::string(kind) + " web stack").c_str(), runs.web.back());
    }
  };
  runAll("sustained", sustained, s.sustainedRuns, sustainedCount, s.sustainedRate);
  runAll("burst", burst, s.burstRuns, s.burstCount, 0);
  runAll("latency", latency, s.latencyRuns, latencyCount, s.latencyRate);
  std::printf("  %zu paints of the window, each %.2f ms (median), %.2f ms (99th percentile)\n", watch.PaintMs().size(),
              bench::Median(watch.PaintMs()), bench::Percentile(watch.PaintMs(), 99));
  Report(s, std::string(webEngine ? ", web view shown" : ", stand-in view") + (metrics ? ", metrics scraped 1/s" : ""),
         sustained, burst, latency);
  if (metrics) {
    scraping = false;
    scraper.join();
    std::printf("  metrics: %d scrapes answered, %d failed\n", scrapes.load(), failedScrapes.load());
    publisher.reset();
    endpoint.reset();
  }

  // The smoke run only shows that lines still get through.
  const bool through = !burst.kiosk.empty() && burst.kiosk.back().lastSeen &&
                       (burst.web.empty() || burst.web.back().lastSeen);
  webStack.reset();
  window.reset();
  return smoke && !through ? 1 : 0;
}
