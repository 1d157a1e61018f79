// rvu-pager-gateway: the station's own pager gateway. Reads multimon-ng's
// output (from standard input, a named pipe, or the rtl_fm | multimon-ng
// pipeline it runs itself), maps each page through the capcode table and sends
// it to the kiosks as one UDP datagram per line.
//
//   rvu-pager-gateway [--settings FILE] [--check]
//   rvu-pager-gateway --reload PID
//
// --check reads the settings and the capcode table, prints what is wrong with
// them and exits (status 1 when anything is). SIGHUP reads the capcode table
// again; --reload sends it to the running gateway (the service's reload).
#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <ctime>
#include <fstream>
#include <memory>
#include <iostream>
#include <vector>

#include "diag/text.h"
#include "pager-gateway/gateway.h"
#include "pager-gateway/gateway_metrics.h"
#include "pager-gateway/receiver.h"
#include "pager-gateway/region.h"
#include "pager-gateway/report.h"
#include "pager-gateway/sender.h"
#include "pager-gateway/settings.h"
#include "platform/error.h"
#include "platform/files.h"
#include "platform/page_broker.h"
#include "platform/metrics.h"
#include "platform/watchdog.h"

namespace {

using namespace pagergw;

constexpr const char* kDefaultSettings = "/etc/rvu-pager-gateway/gateway.conf";
// At a stop: how long pages held for the broker may take to reach it.
constexpr std::int64_t kFlushAtStopMs = 2000;
// How often the metrics endpoint gets the figures afresh.
constexpr std::int64_t kPublishIntervalMs = 1000;

volatile sig_atomic_t gStop = 0;
volatile sig_atomic_t gReload = 0;

void OnStop(int) { gStop = 1; }
void OnReload(int) { gReload = 1; }

void InstallHandlers() {
  struct sigaction sa {};
  sigemptyset(&sa.sa_mask);
  sa.sa_handler = OnStop;  // no SA_RESTART: a signal ends the wait in poll()
  sigaction(SIGTERM, &sa, nullptr);
  sigaction(SIGINT, &sa, nullptr);
  sa.sa_handler = OnReload;
  sigaction(SIGHUP, &sa, nullptr);
}

std::int64_t MonoMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

TimeOfDay WallTime() {
  const std::time_t now = std::time(nullptr);
  std::tm tm{};
  localtime_r(&now, &tm);
  return {tm.tm_hour, tm.tm_min, tm.tm_sec};
}

// A whole file; nothing when it cannot be read, with the system's reason
// ("No such file or directory") taken from platform's "Cannot open PATH: reason".
std::optional<std::string> ReadFile(const std::string& path, std::string& reason) {
  try {
    return platform::ReadFile(path);
  } catch (const platform::Error& e) {
    const std::string text = e.what(), before = path + ": ";
    const auto at = text.find(before);
    reason = at == std::string::npos ? text : text.substr(at + before.size());
    return std::nullopt;
  }
}

std::string Join(const std::vector<std::string>& words, const char* separator = " ") {
  std::string out;
  for (const auto& w : words) out += (out.empty() ? "" : separator) + w;
  return out;
}

// The capcode table, with its problems reported; an unreadable file gives an
// empty table, so every page goes out under the default agency.
CapcodeTable LoadTable(const std::string& path, const ReportFn& report, bool& clean) {
  std::string reason;
  const auto text = ReadFile(path, reason);
  if (!text) {
    report(kError, "cannot read the capcode table " + path + ": " + reason +
                       "; every capcode counts as unknown");
    clean = false;
    return {};
  }
  CapcodeTableResult result = ParseCapcodeTable(*text);
  for (const auto& problem : result.problems) report(kWarning, "capcode table " + path + " " + problem);
  clean = result.problems.empty();
  report(kInfo, "capcode table " + path + ": " + std::to_string(result.table.entries.size()) +
                    " capcodes, others are " + result.table.defaultAgency);
  return result.table;
}

// The local time of day and the zone's offset from UTC of a moment.
TimeOfDay LocalTimeOf(std::time_t t, int* utcOffsetSeconds = nullptr) {
  std::tm tm{};
  localtime_r(&t, &tm);
  if (utcOffsetSeconds) *utcOffsetSeconds = static_cast<int>(tm.tm_gmtoff);
  return {tm.tm_hour, tm.tm_min, tm.tm_sec};
}

std::string HostName() {
  char name[256] = {};
  if (::gethostname(name, sizeof name - 1) != 0 || name[0] == '\0') return "gateway";
  std::string s = name;
  return s.substr(0, s.find('.'));
}

// How to reach the broker; the log-in from its file when that file is readable
// by the service alone.
platform::BrokerOptions BrokerOptionsOf(const Settings& s, const std::string& receiver, const ReportFn& report,
                                        bool& clean) {
  platform::BrokerOptions o;
  o.host = s.brokerHost;
  o.port = s.BrokerPort();
  o.clientId = "rvu-pager-gateway-" + receiver;
  o.caFile = s.brokerCaFile;
  o.certFile = s.brokerCertFile;
  o.keyFile = s.brokerKeyFile;
  if (s.Publishes()) {
    o.willTopic = StateTopic(s.topicPrefix, receiver);
    o.willPayload = "offline";
  }
  if (s.Relays()) o.subscription = s.topicPrefix + "/pages/#";
  if (!s.brokerCredentials.empty()) {
    struct stat st {};
    std::string reason;
    const auto text = ReadFile(s.brokerCredentials, reason);
    if (!text || ::stat(s.brokerCredentials.c_str(), &st) != 0) {
      if (reason.empty()) reason = std::strerror(errno);
      report(kError, "cannot read the broker's credentials " + s.brokerCredentials + ": " + reason);
      clean = false;
    } else if (const std::string problem = CredentialsModeProblem(st.st_mode & 0777); !problem.empty()) {
      report(kError, "the broker's credentials " + s.brokerCredentials + " are not used: " + problem);
      clean = false;
    } else {
      Credentials c = ParseCredentials(*text);
      for (const auto& problem : c.problems) report(kWarning, "credentials " + s.brokerCredentials + " " + problem);
      clean = clean && c.problems.empty();
      o.user = c.user;
      o.password = c.password;
    }
  }
  return o;
}

int Usage() {
  std::cerr << "usage: rvu-pager-gateway [--settings FILE] [--check]\n       rvu-pager-gateway --reload PID\n";
  return 2;
}

// The group that may write into a named pipe the gateway makes: the one that
// has the dongle (the service's supplementary group), which the program running
// rtl_fm and multimon-ng for it is in anyway.
constexpr const char* kNamedPipeGroup = "plugdev";
constexpr mode_t kNamedPipeMode = 0660;

bool InGroup(gid_t group) {
  if (::getegid() == group) return true;
  const int count = ::getgroups(0, nullptr);
  if (count <= 0) return false;
  std::vector<gid_t> groups(static_cast<std::size_t>(count));
  groups.resize(static_cast<std::size_t>(std::max(::getgroups(count, groups.data()), 0)));
  return std::find(groups.begin(), groups.end(), group) != groups.end();
}

// Opens the named pipe for reading and writing, so that it never reads an end
// of file when the program writing into it ends or restarts. One it makes is
// readable and writable for its group whatever the umask (the service's is
// 0077), and its group is the dongle's when the gateway is in that group; a
// pipe that was there already is left as it is.
int OpenNamedPipe(const std::string& path, const ReportFn& report) {
  struct stat st {};
  bool made = false;
  if (::stat(path.c_str(), &st) != 0 && errno == ENOENT) {
    if (::mkfifo(path.c_str(), kNamedPipeMode) != 0) {
      report(kError, "cannot create the named pipe " + path + ": " + std::strerror(errno));
      return -1;
    }
    made = true;
  }
  const int fd = ::open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    report(kError, "cannot open " + path + ": " + std::strerror(errno));
    return fd;
  }
  if (made) {
    if (::fchmod(fd, kNamedPipeMode) != 0)
      report(kWarning, "cannot open the named pipe " + path + " to its group: " + std::strerror(errno));
    const struct group* writers = ::getgrnam(kNamedPipeGroup);
    if (writers && (::geteuid() == 0 || InGroup(writers->gr_gid))) {
      if (::fchown(fd, static_cast<uid_t>(-1), writers->gr_gid) != 0)
        report(kWarning, "cannot give the named pipe " + path + " to group " + kNamedPipeGroup + ": " +
                             std::strerror(errno));
    }
  }
  return fd;
}

}  // namespace

int main(int argc, char** argv) {
  std::string settingsPath = kDefaultSettings;
  bool checkOnly = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--settings" && i + 1 < argc) settingsPath = argv[++i];
    else if (arg == "--check") checkOnly = true;
    else if (arg == "--reload" && i + 1 < argc) return ::kill(std::atoi(argv[i + 1]), SIGHUP) == 0 ? 0 : 1;
    else return Usage();
  }

  SettingsResult loaded;
  std::string unreadable;
  const auto settingsText = ReadFile(settingsPath, unreadable);
  if (settingsText) loaded = ParseSettings(*settingsText);
  const Settings& settings = loaded.settings;
  Reporter reporter(settings.syslogServer);
  const ReportFn report = [&reporter](int severity, const std::string& message) { reporter.Report(severity, message); };
  bool clean = settingsText.has_value() && loaded.problems.empty();
  if (!settingsText) report(kWarning, "cannot read " + settingsPath + ": " + unreadable + "; using the defaults");
  for (const auto& problem : loaded.problems) report(kWarning, "settings " + settingsPath + " " + problem);
  bool tableClean = true;
  CapcodeTable table = LoadTable(settings.capcodeTable, report, tableClean);
  const std::string receiverName = settings.receiverName.empty() ? HostName() : settings.receiverName;
  const bool useBroker = !settings.brokerHost.empty();
  const platform::BrokerOptions brokerOptions =
      useBroker ? BrokerOptionsOf(settings, receiverName, report, clean) : platform::BrokerOptions{};
  if (checkOnly) return clean && tableClean ? 0 : 1;

  // The metrics endpoint, when the settings give it a port: it serves from a
  // thread of its own what the loop below publishes once a second.
  std::unique_ptr<platform::HttpMetricsEndpoint> metrics;
  if (settings.metricsPort > 0) {
    try {
      metrics = std::make_unique<platform::HttpMetricsEndpoint>(settings.metricsAddress, settings.metricsPort);
      report(kInfo, "metrics on " + settings.metricsAddress + " port " + std::to_string(settings.metricsPort));
    } catch (const std::exception& e) {
      report(kError, std::string("no metrics endpoint: ") + e.what());
    }
  }
  const double startTimeSeconds =
      static_cast<double>(std::chrono::duration_cast<std::chrono::milliseconds>(
                              std::chrono::system_clock::now().time_since_epoch())
                              .count()) /
      1000.0;
  const std::string version = diag::GetFileVersionText();
  std::uint64_t receiverRestarts = 0;

  InstallHandlers();
  std::vector<std::string> targets = settings.kiosks;
  if (!settings.broadcast.empty()) targets.push_back(settings.broadcast);
  FeedSender sender(targets, settings.port, report);
  Gateway gateway(std::move(table), settings.duplicateWindowSeconds * 1000LL, settings.silenceReportSeconds * 1000LL,
                  MonoMs(), report);
  auto send = [&sender](const std::vector<std::string>& datagrams) {
    for (const auto& d : datagrams) sender.Send(d);
  };

  // The region's broker: pages decoded here are published, pages from it relayed.
  std::unique_ptr<platform::PageBroker> broker;
  std::unique_ptr<RegionLink> region;
  if (useBroker) {
    broker = platform::MakeMosquittoBroker(brokerOptions);
    RegionSettings rs;
    rs.prefix = settings.topicPrefix;
    rs.receiver = receiverName;
    rs.broker = brokerOptions.host + ":" + std::to_string(brokerOptions.port);
    rs.publish = settings.Publishes();
    rs.relay = settings.Relays();
    rs.maxAgeSeconds = settings.maxAgeSeconds;
    region = std::make_unique<RegionLink>(*broker, rs, report);
    if (rs.publish) {
      region->SetState("online");
      gateway.SetPublisher([&](const FeedLine& line, const std::string& mode) {
        PageMessage page;
        page.decoded = std::time(nullptr);
        LocalTimeOf(page.decoded, &page.utcOffsetSeconds);
        page.capcode = line.capcode;
        page.agency = line.agency;
        page.alias = line.alias;
        page.text = line.pagerText;
        page.mode = mode;
        page.receiver = receiverName;
        region->Publish(page);
      });
    }
  }
  auto takeBrokerEvents = [&] {
    if (!region) return;
    for (const PageMessage& page : region->OnEvents(broker->TakeEvents(), std::time(nullptr)))
      send(gateway.OnRelayedLine(RelayedLine(page, LocalTimeOf(static_cast<std::time_t>(page.decoded))), MonoMs()));
  };

  const bool receiverMode = settings.input == "receiver";
  const bool stdinMode = settings.input == "stdin";
  const bool brokerMode = settings.BrokerInput();
  int inputFd = -1;
  if (stdinMode) {
    inputFd = STDIN_FILENO;
  } else if (!receiverMode && !brokerMode) {
    inputFd = OpenNamedPipe(settings.input, report);
    if (inputFd < 0) return 1;
  }
  report(kNotice, "started: reading " +
                      (receiverMode  ? std::string("the receiver on ") + settings.frequency
                       : brokerMode ? std::string("the broker")
                                    : settings.input) +
                      ", sending to " + Join(targets, ", ") + " port " + std::to_string(settings.port) +
                      (useBroker ? ", broker " + brokerOptions.host + ":" + std::to_string(brokerOptions.port) + " as " +
                                       receiverName + (settings.Publishes() ? ", publishing" : "") +
                                       (settings.Relays() ? ", relaying" : "")
                                 : ""));
  platform::NotifyReady();

  const PipelineCommands commands = BuildPipeline(settings);
  ReceiverPipeline pipeline;
  std::int64_t restartAt = MonoMs(), startedAt = 0, endedSince = -1;
  std::uint64_t pagesAtStart = 0;
  int restartsInARow = 0;
  LineSplitter splitter;
  const auto pingInterval = platform::WatchdogPingInterval().count();
  std::int64_t lastPing = MonoMs();

  auto takeLines = [&](const std::vector<std::string>& lines) {
    for (const auto& line : lines) send(gateway.OnDecoderLine(line, WallTime(), MonoMs()));
  };
  auto endOfInput = [&] {
    if (auto rest = splitter.Rest()) takeLines({*rest});
    send(gateway.OnEndOfInput(MonoMs()));
  };
  auto pipelineDown = [&](const std::string& why) {
    ++receiverRestarts;
    const std::string how = pipeline.Stop();
    endOfInput();
    if (gateway.PagesDecoded() > pagesAtStart) restartsInARow = 0;  // that run worked
    ++restartsInARow;
    const int pause =
        RestartPauseSeconds(restartsInARow, settings.restartPauseMinSeconds, settings.restartPauseMaxSeconds);
    report(kWarning, "receiver " + why + " (" + how + "); restart " + std::to_string(restartsInARow) +
                         " in a row in " + std::to_string(pause) + " s");
    restartAt = MonoMs() + pause * 1000LL;
    endedSince = -1;
  };

  std::int64_t publishedMs = -1;
  auto publish = [&](std::int64_t nowMs) {
    if (!metrics) return;
    GatewayFigures figures;
    figures.modes = settings.modes;
    figures.pagesDecodedByMode = gateway.PagesDecodedByMode();
    figures.datagramsSent = sender.Sent();
    figures.duplicatesDropped = gateway.DuplicatesDropped();
    figures.sendErrors = sender.SendErrors();
    figures.secondsSinceLastPage = static_cast<double>(gateway.SilentForMs(nowMs)) / 1000.0;
    figures.silenceReportSeconds = settings.silenceReportSeconds;
    figures.receiverRestarts = receiverRestarts;
    if (region) {
      const RegionCounts& counts = region->Counts();
      figures.mqtt = MqttFigures{counts.published, counts.relayed, counts.stale, region->Connected()};
    }
    figures.version = version;
    figures.startTimeSeconds = startTimeSeconds;
    metrics->Publish(GatewaySnapshot(figures));
    publishedMs = nowMs;
  };

  bool inputEnded = false;
  while (!gStop && !inputEnded) {
    std::int64_t now = MonoMs();
    if (publishedMs < 0 || now - publishedMs >= kPublishIntervalMs) publish(now);
    if (receiverMode && !pipeline.Running() && now >= restartAt) {
      std::string error;
      if (pipeline.Start(commands, error)) {
        report(kNotice, "receiver started: " + Join(commands.receiver) + " | " + Join(commands.decoder));
        startedAt = now;
        pagesAtStart = gateway.PagesDecoded();
      } else {
        ++restartsInARow;
        const int pause =
            RestartPauseSeconds(restartsInARow, settings.restartPauseMinSeconds, settings.restartPauseMaxSeconds);
        report(kError, "cannot start the receiver: " + error + "; next try in " + std::to_string(pause) + " s");
        restartAt = now + pause * 1000LL;
      }
    }
    const int fd = receiverMode ? pipeline.OutputFd() : inputFd;
    pollfd polled[2] = {{fd, POLLIN, 0}, {broker ? broker->WakeFd() : -1, POLLIN, 0}};
    const int ready = ::poll(polled, 2, 100);
    const pollfd& p = polled[0];
    if (polled[1].revents & POLLIN) takeBrokerEvents();
    if (ready > 0 && (p.revents & (POLLIN | POLLHUP | POLLERR))) {
      char buffer[65536];
      const ssize_t n = ::read(fd, buffer, sizeof buffer);
      if (n > 0) {
        takeLines(splitter.Feed(std::string_view(buffer, static_cast<std::size_t>(n))));
      } else if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
        if (receiverMode) {
          pipelineDown("ended");
        } else {
          endOfInput();
          inputEnded = true;
        }
      }
    }
    now = MonoMs();
    if (receiverMode && pipeline.Running()) {
      // A program that ended without the decoder's output closing (the decoder hangs).
      if (pipeline.AnyEnded()) {
        if (endedSince < 0) endedSince = now;
        if (now - endedSince >= 3000) pipelineDown("program ended");
      }
      const std::int64_t silent = std::min(gateway.SilentForMs(now), now - startedAt);
      if (pipeline.Running() && settings.silenceRestartSeconds > 0 && silent >= settings.silenceRestartSeconds * 1000LL)
        pipelineDown("silent for " + std::to_string(silent / 1000) + " s, restarted");
    }
    if (!brokerMode) send(gateway.OnTick(now));  // a relay decodes nothing: no silence to report
    if (region) {
      if (settings.Publishes())
        region->SetState(gateway.SilentForMs(now) >= settings.silenceReportSeconds * 1000LL ? "silent" : "online");
      region->OnTick(now);
    }
    if (gReload) {
      gReload = 0;
      bool ok = true;
      gateway.SetTable(LoadTable(settings.capcodeTable, report, ok));
    }
    if (pingInterval > 0 && now - lastPing >= pingInterval) {
      platform::NotifyWatchdog();
      lastPing = now;
    }
  }

  platform::NotifyStopping();
  if (pipeline.Running()) pipeline.Stop();
  if (!inputEnded) endOfInput();
  if (region) {
    // What is held goes to a broker that is there before the link ends.
    const std::int64_t end = MonoMs() + kFlushAtStopMs;
    while (region->Connected() && region->Held() > 0 && MonoMs() < end) {
      pollfd p{broker->WakeFd(), POLLIN, 0};
      ::poll(&p, 1, 50);
      takeBrokerEvents();
    }
    if (region->Held() > 0) report(kWarning, std::to_string(region->Held()) + " pages not yet with the broker are lost");
    if (settings.Publishes()) region->SetState("offline");
    broker.reset();
  }
  report(kNotice, std::string("stopped") + (inputEnded ? ": end of input" : ""));
  return 0;
}
