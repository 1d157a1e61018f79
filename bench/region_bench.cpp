// The region's page distribution through an MQTT broker: Debian's mosquitto on
// loopback (TLS, passwords, ACL), receiver gateways fed decoder lines through
// their named pipes, a relay gateway whose input is the broker.
//
//   region_bench            10,000 pages at 100/s, then the largest rate carried
//   region_bench --smoke    a few seconds, only to show that it still works
//
// Latency: from a page line written into the receiver's pipe to the relay's
// datagram, against the receiver's own datagram to its kiosk (today's direct
// path) for the same line in the same run. Rate: two receivers hear every page,
// one relay must show each once, none lost.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <iostream>
#include <map>
#include <memory>
#include <thread>
#include <vector>

#include "bench/bench_util.h"
#include "tests/pager_gateway/mqtt/test_broker.h"
#include "tests/support/process.h"
#include "tests/support/temp_dir.h"

namespace {

using testsupport::Process;
using testsupport::TempDir;

// A UDP socket on 127.0.0.1 that notes when each numbered page arrives.
class Sink {
 public:
  Sink() {
    fd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof a;
    ::bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a);
    ::getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &size);
    port_ = ntohs(a.sin_port);
    const int buffer = 8 << 20;
    ::setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &buffer, sizeof buffer);
  }
  ~Sink() { ::close(fd_); }
  int port() const { return port_; }
  int fd() const { return fd_; }
  // Takes one datagram: the page number after "BENCH <run> ", or -1.
  long Take(const std::string& run) {
    char buffer[9000];
    const ssize_t n = ::recv(fd_, buffer, sizeof buffer, MSG_DONTWAIT);
    if (n <= 0) return -1;
    const std::string text(buffer, static_cast<std::size_t>(n));
    const std::string mark = "BENCH " + run + " ";
    const auto at = text.find(mark);
    return at == std::string::npos ? -2 : std::atol(text.c_str() + at + mark.size());
  }

 private:
  int fd_ = -1;
  int port_ = 0;
};

std::string PageLine(const std::string& run, long n) {
  return "POCSAG1200: Address: 1234567  Function: 3  Alpha:   BENCH " + run + " " + std::to_string(n) + "<EOT>\n";
}

struct Gateway {
  Gateway(const TempDir& dir, const std::string& name, const std::string& settings) {
    testsupport::WriteWholeFile(dir.File("capcodes.conf"), "1234567 RVU\n");
    const std::string conf = dir.File(name + ".conf");
    testsupport::WriteWholeFile(conf, "CapcodeTable = " + dir.File("capcodes.conf") + "\n" + settings);
    journal = dir.File(name + ".journal");
    process = std::make_unique<Process>(std::vector<std::string>{GATEWAY_PROGRAM, "--settings", conf},
                                        Process::Environment{}, "", journal);
  }
  bool Connected() const {
    return testsupport::WaitUntil(
        [&] { return testsupport::ReadWholeFile(journal).find("connected to the broker") != std::string::npos; }, 10000);
  }
  std::string journal;
  std::unique_ptr<Process> process;
};

int OpenPipe(const std::string& path) {
  testsupport::WaitUntil([&] { return ::access(path.c_str(), F_OK) == 0; }, 5000);
  return ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
}

// Writes `count` numbered lines at `rate` a second into the pipes, noting when
// each was written; takes what the sinks receive meanwhile and until `quietMs`
// after the last. Arrival times in ns, -1 when it never came.
struct Run {
  std::vector<std::int64_t> written;
  std::vector<std::vector<std::int64_t>> arrived;  // per sink
  std::vector<long> duplicates;                    // per sink
};

Run Play(const std::string& name, long count, double rate, const std::vector<int>& pipes, std::vector<Sink*> sinks,
         int quietMs) {
  Run r;
  r.written.assign(static_cast<std::size_t>(count), -1);
  r.arrived.assign(sinks.size(), std::vector<std::int64_t>(static_cast<std::size_t>(count), -1));
  r.duplicates.assign(sinks.size(), 0);
  std::atomic<bool> writing{true};
  std::thread writer([&] {
    const std::int64_t start = bench::MonotonicNs();
    for (long n = 0; n < count; ++n) {
      const std::int64_t due = start + static_cast<std::int64_t>(static_cast<double>(n) * 1e9 / rate);
      while (bench::MonotonicNs() < due) {
        const std::int64_t left = due - bench::MonotonicNs();
        if (left > 200000) std::this_thread::sleep_for(std::chrono::nanoseconds(left - 100000));
      }
      const std::string line = PageLine(name, n);
      r.written[static_cast<std::size_t>(n)] = bench::MonotonicNs();
      for (int fd : pipes) [[maybe_unused]] auto w = ::write(fd, line.data(), line.size());
    }
    writing = false;
  });
  std::vector<pollfd> fds;
  for (Sink* s : sinks) fds.push_back({s->fd(), POLLIN, 0});
  std::int64_t lastNs = bench::MonotonicNs();
  while (writing || bench::MonotonicNs() - lastNs < static_cast<std::int64_t>(quietMs) * 1000000) {
    ::poll(fds.data(), fds.size(), 20);
    for (std::size_t i = 0; i < sinks.size(); ++i) {
      for (long n; (n = sinks[i]->Take(name)) != -1;) {
        const std::int64_t now = bench::MonotonicNs();
        if (n < 0 || n >= count) continue;
        lastNs = now;
        auto& at = r.arrived[i][static_cast<std::size_t>(n)];
        if (at >= 0) ++r.duplicates[i];
        else at = now;
      }
    }
    if (writing) lastNs = bench::MonotonicNs();
  }
  writer.join();
  return r;
}

long Lost(const Run& r, std::size_t sink) {
  long lost = 0;
  for (auto at : r.arrived[sink]) lost += at < 0;
  return lost;
}

std::vector<double> LatenciesMs(const Run& r, std::size_t sink) {
  std::vector<double> ms;
  for (std::size_t n = 0; n < r.written.size(); ++n)
    if (r.arrived[sink][n] >= 0) ms.push_back(static_cast<double>(r.arrived[sink][n] - r.written[n]) / 1e6);
  return ms;
}

std::string Ms(double ms) { return bench::Format("%.2f ms", ms); }

}  // namespace

int main(int argc, char** argv) {
  const bool smoke = argc > 1 && std::string(argv[1]) == "--smoke";
  const bool quick = smoke || bench::QuickMode();
  if (!pagergwtest::MosquittoInstalled()) {
    std::cerr << "region_bench: mosquitto is not installed (scripts/bootstrap installs it)\n";
    return smoke ? 77 : 1;
  }
  ::signal(SIGPIPE, SIG_IGN);
  TempDir dir;
  pagergwtest::TestBroker broker(dir);
  Sink direct, relayed;
  Gateway relay(dir, "station",
                broker.GatewaySettings("station") + "Input = broker\nKiosks = 127.0.0.1\nPort = " +
                    std::to_string(relayed.port()) + "\n");
  Gateway ridge(dir, "ridge",
                broker.GatewaySettings("ridge") + "Input = " + dir.File("ridge.fifo") +
                    "\nKiosks = 127.0.0.1\nPort = " + std::to_string(direct.port()) + "\n");
  Gateway valley(dir, "valley", broker.GatewaySettings("valley") + "Input = " + dir.File("valley.fifo") + "\nKiosks =\n");
  if (!relay.Connected() || !ridge.Connected() || !valley.Connected()) {
    std::cerr << "region_bench: a gateway did not connect\n" << testsupport::ReadWholeFile(relay.journal);
    return 1;
  }
  const int ridgePipe = OpenPipe(dir.File("ridge.fifo"));
  const int valleyPipe = OpenPipe(dir.File("valley.fifo"));

  // Latency at 100 pages a second, one receiver.
  const long count = smoke ? 100 : quick ? 1000 : 10000;
  std::printf("latency: %ld pages at 100/s\n", count);
  std::fflush(stdout);
  const Run latency = Play("latency", count, 100, {ridgePipe}, {&direct, &relayed}, 2000);
  const auto viaBroker = LatenciesMs(latency, 1), straight = LatenciesMs(latency, 0);
  const long lostRelayed = Lost(latency, 1);
  const double p50 = bench::Percentile(viaBroker, 50), p99 = bench::Percentile(viaBroker, 99);
  const double d50 = bench::Percentile(straight, 50), d99 = bench::Percentile(straight, 99);
  const std::string lostText = lostRelayed || latency.duplicates[1]
                                   ? bench::Format(", %.0f lost", static_cast<double>(lostRelayed)) +
                                         bench::Format(", %.0f twice", static_cast<double>(latency.duplicates[1]))
                                   : "";
  bench::PrintRow({"8 region feed: receiver line to relay datagram p50", Ms(p50), "direct UDP " + Ms(d50),
                   d50 > 0 ? bench::Format("%.1f", p50 / d50) : "-", "-", ""});
  bench::PrintRow({"8 region feed: receiver line to relay datagram p99", Ms(p99) + lostText, "direct UDP " + Ms(d99),
                   d99 > 0 ? bench::Format("%.1f", p99 / d99) : "-", "< 20 ms",
                   bench::MetText(p99 < 20 && lostText.empty())});

  // The largest rate that two receivers and one relay carry with none lost and none twice.
  double best = 0;
  const double seconds = smoke ? 0.5 : quick ? 2 : 5;
  for (double rate : {200.0, 500.0, 1000.0, 2000.0, 4000.0, 8000.0}) {
    const std::string name = bench::Format("rate%.0f", rate);
    const long pages = static_cast<long>(rate * seconds);
    const Run run = Play(name, pages, rate, {ridgePipe, valleyPipe}, {&relayed}, 3000);
    const long lost = Lost(run, 0);
    std::printf("%.0f pages/s for %.1f s: %ld lost, %ld twice\n", rate, seconds, lost, run.duplicates[0]);
    std::fflush(stdout);
    if (lost || run.duplicates[0]) break;
    best = rate;
    if (smoke) break;
  }
  bench::PrintRow({"8 region feed: largest rate, 2 receivers and 1 relay, none lost", bench::Format("%.0f/s", best),
                   "-", "-", "-", ""});
  ::close(ridgePipe);
  ::close(valleyPipe);
  return best > 0 ? 0 : 1;
}
