// A real Prometheus server scrapes the real kiosk (under the test's X display,
// against the simulated unit web service) and the real pager gateway for a
// few minutes while the test drives them: pages, own pages, commands, a
// silent feed, the service refusing, renderers killed, the kiosk ended. The
// shipped rules are loaded with each "for:" shortened to kTestFor (their
// expressions as shipped); the test asks the server's HTTP API for the values
// and the alerts and checks each against what it did. The alerts' timeline
// (when each went pending and firing against when its cause began) is
// printed at the end, and written to PROMETHEUS_E2E_TIMELINE when set.
#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <httplib.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <QGuiApplication>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <optional>
#include <regex>
#include <sstream>
#include <thread>

#include "tests/reliability_e2e/station.h"
#include "tests/support/process.h"
#include "tests/support/temp_dir.h"
#include "tests/support/wait.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr const char* kPrometheus = "/usr/bin/prometheus";
// Every "for:" of the shipped rules, in the test's copy.
constexpr const char* kTestFor = "10s";
constexpr int kPagerPort = 15167;

int FreeTcpPort() {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
  socklen_t len = sizeof a;
  getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
  close(fd);
  return ntohs(a.sin_port);
}

// Sends datagrams to the kiosk from a loopback address of its own.
class SenderFrom {
 public:
  explicit SenderFrom(const char* from) : fd_(socket(AF_INET, SOCK_DGRAM, 0)) {
    sockaddr_in local{};
    local.sin_family = AF_INET;
    inet_pton(AF_INET, from, &local.sin_addr);
    bind(fd_, reinterpret_cast<sockaddr*>(&local), sizeof local);
  }
  ~SenderFrom() { close(fd_); }
  void Send(const std::string& data) {
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(kPagerPort);
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    sendto(fd_, data.data(), data.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
  }

 private:
  int fd_;
};

// The shipped rules with each "for:" set to kTestFor.
std::string TestCopyOfRules(const std::string& shipped) {
  return std::regex_replace(shipped, std::regex(R"((\n\s+for:\s*)\S+)"), std::string("$01") + kTestFor);
}

// The Prometheus server of the test, on loopback.
class Server {
 public:
  Server(const testsupport::TempDir& dir, int kioskPort, int gatewayPort) : port_(FreeTcpPort()) {
    std::ifstream in(std::string(KIOSK_SOURCE_DIR) + "/deploy/prometheus/rvukiosk-rules.yml");
    std::stringstream shipped;
    shipped << in.rdbuf();
    std::ofstream(dir.File("rules.yml")) << TestCopyOfRules(shipped.str());
    std::ofstream(dir.File("prometheus.yml"))
        << "global:\n  scrape_interval: 1s\n  evaluation_interval: 1s\n"
        << "rule_files: [" << dir.File("rules.yml") << "]\n"
        << "scrape_configs:\n"
        << "  - job_name: rvukiosk\n    static_configs:\n      - targets: ['127.0.0.1:" << kioskPort
        << "']\n        labels: {station: test}\n"
        << "  - job_name: rvu-pager-gateway\n    static_configs:\n      - targets: ['127.0.0.1:" << gatewayPort
        << "']\n        labels: {station: test}\n";
    process_ = std::make_unique<testsupport::Process>(
        std::vector<std::string>{kPrometheus, "--config.file=" + dir.File("prometheus.yml"),
                                 "--storage.tsdb.path=" + dir.File("tsdb"),
                                 "--web.listen-address=127.0.0.1:" + std::to_string(port_)},
        testsupport::Process::Environment{}, dir.path(), dir.File("prometheus.log"));
  }
  ~Server() { process_->Stop(SIGTERM, 10000); }

  bool WaitReady() {
    return testsupport::WaitUntil(
        [&] {
          httplib::Client client("127.0.0.1", port_);
          const auto r = client.Get("/-/ready");
          return r && r->status == 200;
        },
        30000, 200);
  }
  std::string Get(const std::string& path, const httplib::Params& params = {}) const {
    httplib::Client client("127.0.0.1", port_);
    client.set_read_timeout(5, 0);
    const auto r = client.Get(path, params, httplib::Headers{});
    return r && r->status == 200 ? r->body : "";
  }
  // The value of a query's first sample; nothing when it has none.
  std::optional<double> Query(const std::string& expr) const {
    const std::string body = Get("/api/v1/query", {{"query", expr}});
    std::smatch m;
    if (!std::regex_search(body, m, std::regex(R"re("value":\[[0-9.e+]+,"([^"]+)"\])re"))) return std::nullopt;
    return std::stod(m[1]);
  }
  // Each alert's state: "firing" over "pending" when it has several.
  std::map<std::string, std::string> Alerts() const {
    std::map<std::string, std::string> states;
    const std::string body = Get("/api/v1/alerts");
    const std::regex alert(R"re("alertname":"([A-Za-z]+)".*?"state":"([a-z]+)")re");
    for (auto it = std::sregex_iterator(body.begin(), body.end(), alert); it != std::sregex_iterator(); ++it) {
      std::string& state = states[(*it)[1]];
      if (state != "firing") state = (*it)[2];
    }
    return states;
  }

 private:
  int port_;
  std::unique_ptr<testsupport::Process> process_;
};

// Watches the server's alerts every 500 ms and keeps when each was first seen
// pending and firing, and when it was last seen at all.
class AlertWatch {
 public:
  AlertWatch(const Server& server, Clock::time_point start) : server_(server), start_(start) {
    thread_ = std::thread([this] {
      while (!stop_) {
        const auto alerts = server_.Alerts();
        const double t = Seconds();
        {
          std::lock_guard<std::mutex> lock(mutex_);
          for (const auto& [name, state] : alerts) {
            Seen& s = seen_[name];
            if (state == "pending" && s.pending < 0) s.pending = t;
            if (state == "firing" && s.firing < 0) s.firing = t;
            s.last = t;
            s.state = state;
          }
          for (auto& [name, s] : seen_)
            if (!alerts.count(name)) s.state.clear();
        }
        std::this_thread::sleep_for(500ms);
      }
    });
  }
  ~AlertWatch() {
    stop_ = true;
    thread_.join();
  }
  double Seconds() const { return std::chrono::duration<double>(Clock::now() - start_).count(); }
  struct Seen {
    double pending = -1, firing = -1, last = -1;
    std::string state;  // as last seen; empty: not there
  };
  Seen Of(const std::string& name) const {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto it = seen_.find(name);
    return it == seen_.end() ? Seen{} : it->second;
  }
  bool WaitFor(const std::string& name, const std::string& state, double seconds) const {
    return testsupport::WaitUntil([&] { return Of(name).state == state; }, static_cast<int>(seconds * 1000), 200);
  }

 private:
  const Server& server_;
  Clock::time_point start_;
  std::atomic<bool> stop_{false};
  mutable std::mutex mutex_;
  std::map<std::string, Seen> seen_;
  std::thread thread_;
};

// The real gateway reading decoder lines from a named pipe the test writes.
class Gateway {
 public:
  Gateway(const testsupport::TempDir& dir, int metricsPort) : fifo_(dir.File("decoder.fifo")) {
    std::ofstream(dir.File("capcodes.conf")) << "1234567 RVU own unit\n1900000 MSC:HEARTBEAT heartbeat\ndefault Unknown\n";
    std::ofstream(dir.File("gateway.conf")) << "Input = " << fifo_ << "\nKiosks = 127.0.0.1\nPort = " << kPagerPort
                                            << "\nSilenceReport = 20\nSilenceRestart = 0\nCapcodeTable = "
                                            << dir.File("capcodes.conf") << "\nMetricsPort = " << metricsPort << "\n";
    process_ = std::make_unique<testsupport::Process>(
        std::vector<std::string>{GATEWAY_PROGRAM, "--settings", dir.File("gateway.conf")},
        testsupport::Process::Environment{}, dir.path(), dir.File("gateway.log"));
    testsupport::WaitUntil([&] { return std::filesystem::exists(fifo_); }, 10000, 50);
    fd_ = open(fifo_.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
  }
  ~Gateway() {
    if (fd_ >= 0) close(fd_);
    process_->Stop(SIGTERM, 10000);
  }
  bool Open() const { return fd_ >= 0; }
  void Decoded(const std::string& line) {
    const std::string text = line + "\n";
    [[maybe_unused]] const ssize_t n = write(fd_, text.data(), text.size());
  }

 private:
  std::string fifo_;
  int fd_ = -1;
  std::unique_ptr<testsupport::Process> process_;
};

struct TimelineRow {
  std::string alert;
  std::string cause;
  double causeAt;
};

TEST(RealPrometheus, ScrapesTheKioskAndTheGatewayAndTheShippedRulesFireAsTheStationBehaves) {
  const int kioskPort = FreeTcpPort();
  const int gatewayPort = FreeTcpPort();
  reliability::StationOptions options;
  options.stationConf = "MetricsPort = " + std::to_string(kioskPort) + "\nCommandHosts = 127.0.0.2\n";
  reliability::Station station(options);
  testsupport::TempDir dir;
  Gateway gateway(dir, gatewayPort);
  ASSERT_TRUE(gateway.Open());
  Server server(dir, kioskPort, gatewayPort);
  ASSERT_TRUE(server.WaitReady()) << "prometheus did not start:\n" << testsupport::ReadWholeFile(dir.File("prometheus.log"));
  ASSERT_TRUE(station.WaitUntilUp());
  const Clock::time_point start = Clock::now();
  AlertWatch watch(server, start);
  std::vector<TimelineRow> timeline;
  auto until = [&](const std::function<bool()>& holds, double seconds) {
    return testsupport::WaitUntil(holds, static_cast<int>(seconds * 1000), 250);
  };
  auto equals = [&](const std::string& expr, double value, double seconds = 15) {
    return until([&] { return server.Query(expr) == value; }, seconds);
  };
  ASSERT_TRUE(equals("up{job=\"rvukiosk\"}", 1)) << "the kiosk's endpoint is not scraped";
  ASSERT_TRUE(equals("up{job=\"rvu-pager-gateway\"}", 1)) << "the gateway's endpoint is not scraped";

  // Pages and commands: each kind once or twice, by the gateway and directly.
  SenderFrom allowed("127.0.0.2"), other("127.0.0.1");
  allowed.Send("CMD:CAPCODE=1234567");
  allowed.Send("CMD:TOGGLECFS");
  std::this_thread::sleep_for(500ms);
  other.Send("12:00:01 [CFS:0451003] GRASS FIRE");  // hidden: CFS switched off
  other.Send("12:00:02 [MFS:0451004] STRUCTURE FIRE");
  other.Send("CMD:SCROLL");  // from a sender not in CommandHosts
  gateway.Decoded("POCSAG1200: Address: 1234567  Function: 0  Alpha:   RESCUE CALL<NUL>");
  gateway.Decoded("POCSAG1200: Address: 1234567  Function: 0  Alpha:   RESCUE CALL<NUL>");  // a repeat
  gateway.Decoded("POCSAG512: Address: 1900000  Function: 0  Alpha:   HEARTBEAT<NUL>");
  const double lastDatagramAt = watch.Seconds() + 0.5;
  const double lastPageAt = lastDatagramAt;
  EXPECT_TRUE(equals("rvukiosk_datagrams_total{kind=\"command\"}", 2));
  EXPECT_TRUE(equals("rvukiosk_datagrams_total{kind=\"command_refused\"}", 1));
  EXPECT_TRUE(equals("rvukiosk_datagrams_total{kind=\"hidden\"}", 1));
  EXPECT_TRUE(equals("rvukiosk_datagrams_total{kind=\"shown\"}", 2));  // the MFS page and the heartbeat
  EXPECT_TRUE(equals("rvukiosk_datagrams_total{kind=\"own_page\"}", 1));
  EXPECT_TRUE(equals("rvukiosk_heartbeat_pages_total", 1));
  EXPECT_TRUE(equals("rvu_pager_gateway_pages_decoded_total{mode=\"POCSAG1200\"}", 2));
  EXPECT_TRUE(equals("rvu_pager_gateway_pages_decoded_total{mode=\"POCSAG512\"}", 1));
  EXPECT_TRUE(equals("rvu_pager_gateway_duplicates_dropped_total", 1));
  EXPECT_TRUE(equals("rvu_pager_gateway_datagrams_sent_total", 2));
  EXPECT_TRUE(equals("rvu_pager_gateway_send_errors_total", 0));
  EXPECT_TRUE(equals("rvukiosk_lost_comms", 0));
  EXPECT_TRUE(equals("rvukiosk_build_info{version=\"" KIOSK_VERSION "\"}", 1));
  EXPECT_GT(server.Query("rvukiosk_receive_buffer_bytes").value_or(0), 0);
  // The program folder's file system as the kiosk reports it: within 1 % of what the test reads.
  struct statvfs fs {};
  ASSERT_EQ(statvfs(station.Folder().c_str(), &fs), 0);
  const double size = static_cast<double>(fs.f_blocks) * fs.f_frsize;
  EXPECT_NEAR(server.Query("rvukiosk_filesystem_size_bytes").value_or(0), size, size * 0.01);
  EXPECT_GT(server.Query("rvukiosk_program_folder_bytes").value_or(0), 1e6) << "the program file alone is bigger";
  EXPECT_TRUE(equals("station:rvukiosk_up:max{station=\"test\"}", 1));

  // The renderer killed four times, each after its page was back for a while
  // (so the view reloads rather than gives up).
  int kills = 0;
  for (int i = 0; i < 4; ++i) {
    std::vector<pid_t> renderers;
    until([&] { return !(renderers = reliability::RendererProcesses(station.Kiosk().pid())).empty(); }, 10);
    for (pid_t pid : renderers) kill(pid, SIGKILL);
    kills += renderers.empty() ? 0 : 1;
    if (i == 3) timeline.push_back({"RVUKioskRendererRestarting", "fourth renderer killed", watch.Seconds()});
    std::this_thread::sleep_for(12s);
  }
  ASSERT_EQ(kills, 4) << "no renderer process to kill";
  EXPECT_TRUE(equals("rvukiosk_renderer_crashes_total", 4));
  EXPECT_GE(server.Query("rvukiosk_renderer_reloads_total").value_or(0), 3);
  EXPECT_TRUE(watch.WaitFor("RVUKioskRendererRestarting", "firing", 10));

  // The service refuses every request for 40 s, then answers again.
  station.Service().SetFault(sim::Endpoint::All, sim::Fault{sim::FaultMode::Refuse});
  const double refusedAt = watch.Seconds();
  timeline.push_back({"RVUKioskUnitServiceFailing", "the service refuses", refusedAt});
  EXPECT_TRUE(watch.WaitFor("RVUKioskUnitServiceFailing", "firing", 40));
  // The overview's failure ratio rises above 0 (the minute still holds the
  // answered requests from before the refusal) ...
  double failureRatio = 0;
  EXPECT_TRUE(until([&] {
    failureRatio = server.Query("station:rvukiosk_service_failure_ratio:rate1m{station=\"test\"}").value_or(0);
    return failureRatio > 0;
  }, 15));
  EXPECT_GE(server.Query("rvukiosk_service_requests_total{request=\"status_poll\",result=\"refused\"}").value_or(0), 1);
  station.Service().ClearFaults();
  const double answeredAgainAt = watch.Seconds();
  EXPECT_TRUE(until([&] { return watch.Of("RVUKioskUnitServiceFailing").state.empty(); }, 30))
      << "the service alert stays after the service came back";
  // ... and falls to 0 once a minute of polls has been answered.
  EXPECT_TRUE(equals("station:rvukiosk_service_failure_ratio:rate1m{station=\"test\"}", 0, 90))
      << "the failure rate did not fall to 0";
  const double ratioZeroAt = watch.Seconds();

  // The feed has been silent since the first pages: past 130 s the alert fires.
  timeline.push_back({"RVUKioskNoDatagram", "last datagram", lastDatagramAt});
  timeline.push_back({"RVUPagerReceiverSilent", "last decoded page (SilenceReport = 20 s)", lastPageAt});
  EXPECT_TRUE(until([&] { return watch.Seconds() >= lastDatagramAt + 130; }, 200));
  EXPECT_EQ(watch.Of("RVUKioskNoDatagram").state, "firing");
  EXPECT_GE(server.Query("rvukiosk_seconds_since_last_datagram").value_or(0), 125);
  EXPECT_TRUE(equals("rvukiosk_lost_comms", 1));
  EXPECT_EQ(watch.Of("RVUPagerReceiverSilent").state, "firing");

  // The kiosk ended: its endpoint is gone and the down alert fires.
  allowed.Send("CMD:TERMINATE");
  const double endedAt = watch.Seconds();
  timeline.push_back({"RVUKioskDown", "the kiosk ended", endedAt});
  EXPECT_EQ(station.Kiosk().WaitForExit(15000), 0);
  EXPECT_TRUE(watch.WaitFor("RVUKioskDown", "firing", 30));

  // Quiet throughout: the heartbeat came, the disk has room.
  EXPECT_LT(watch.Of("RVUStationNoHeartbeat").last, 0);
  EXPECT_LT(watch.Of("RVUKioskDiskLow").last, 0);

  // The timeline.
  std::ostringstream out;
  out << "alert timeline (seconds from the start of the scraped run; rules' for: " << kTestFor << ")\n";
  for (const TimelineRow& row : timeline) {
    const AlertWatch::Seen s = watch.Of(row.alert);
    char line[256];
    std::snprintf(line, sizeof line, "%-28s cause %-42s at %6.1f  pending %6.1f  firing %6.1f  (firing %+.1f s after the cause)\n",
                  row.alert.c_str(), row.cause.c_str(), row.causeAt, s.pending, s.firing,
                  s.firing >= 0 ? s.firing - row.causeAt : -1.0);
    out << line;
  }
  char tail[200];
  std::snprintf(tail, sizeof tail, "failure ratio %.2f while refused; service answered again at %.1f, ratio 0 at %.1f\n",
                failureRatio, answeredAgainAt, ratioZeroAt);
  out << tail;
  std::printf("%s", out.str().c_str());
  if (const char* file = std::getenv("PROMETHEUS_E2E_TIMELINE")) std::ofstream(file) << out.str();
}

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (access(kPrometheus, X_OK) != 0) {
    std::printf("skipped: no %s (apt-get install prometheus)\n", kPrometheus);
    return 77;
  }
  const char* display = std::getenv("DISPLAY");
  if (!display || !*display) {
    std::fprintf(stderr, "prometheus_e2e needs an X display: run it under xvfb-run -a -s \"-screen 0 1280x1024x24\"\n");
    return 2;
  }
  qputenv("QT_QPA_PLATFORM", "xcb");
  int qtArgc = 1;
  char* qtArgv[] = {argv[0], nullptr};
  QGuiApplication app(qtArgc, qtArgv);
  return RUN_ALL_TESTS();
}
