#include "tests/reliability_e2e/station.h"

#include <dirent.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <thread>

#include "platform/udp.h"
#include "service/rvu_settings.h"

namespace reliability {

namespace fs = std::filesystem;

namespace {

constexpr int kPagerPort = 15167;

// The status feed's host is built into the program (RVU_FEED_HOST); the
// simulator takes its port and the web host is set to the same place.
const std::string kFeedHost = RVU_FEED_HOST_DEFAULT;
int ServicePort() {
  const size_t colon = kFeedHost.rfind(':');
  return colon == std::string::npos ? 80 : std::atoi(kFeedHost.c_str() + colon + 1);
}

std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::string CommandLine(pid_t pid) {
  std::string text = ReadText("/proc/" + std::to_string(pid) + "/cmdline");
  std::replace(text.begin(), text.end(), '\0', ' ');
  return text;
}

// Parent and process group from /proc/<pid>/stat (the name may hold blanks).
bool ParentAndGroup(pid_t pid, pid_t& parent, pid_t& group) {
  const std::string stat = ReadText("/proc/" + std::to_string(pid) + "/stat");
  const size_t close = stat.rfind(')');
  if (close == std::string::npos) return false;
  std::istringstream rest(stat.substr(close + 2));
  char state;
  return static_cast<bool>(rest >> state >> parent >> group);
}

std::vector<pid_t> GroupMembers(pid_t group) {
  std::vector<pid_t> members;
  DIR* proc = opendir("/proc");
  if (!proc) return members;
  while (dirent* entry = readdir(proc)) {
    const pid_t pid = static_cast<pid_t>(std::atoi(entry->d_name));
    pid_t parent = 0, pgrp = 0;
    if (pid > 0 && ParentAndGroup(pid, parent, pgrp) && pgrp == group) members.push_back(pid);
  }
  closedir(proc);
  return members;
}

// The web engine names its processes by "--type=..."; the zygote's children
// keep the zygote's command line, and they are the page renderers.
std::string WebEngineType(pid_t pid) {
  const std::string line = CommandLine(pid);
  static const std::regex type("--type=([a-z-]+)");
  std::smatch m;
  if (!std::regex_search(line, m, type)) return "";
  if (m[1] == "zygote") {
    pid_t parent = 0, group = 0;
    if (ParentAndGroup(pid, parent, group) && CommandLine(parent).find("--type=zygote") != std::string::npos)
      return "renderer";
  }
  return m[1];
}

bool Bindable(int type, int port) {
  const int fd = socket(AF_INET, type, 0);
  if (fd < 0) return false;
  // The simulator's listener reuses an address whose old connections linger
  // (TIME_WAIT); the kiosk's pager socket shares nothing.
  const int reuse = type == SOCK_STREAM ? 1 : 0;
  setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &reuse, sizeof reuse);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(port));
  address.sin_addr.s_addr = htonl(type == SOCK_DGRAM ? INADDR_ANY : INADDR_LOOPBACK);
  const bool ok = bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  close(fd);
  return ok;
}

// Another engineer's end-to-end run may hold the fixed ports for a while.
void WaitForFreePorts() {
  int waited = 0;
  const bool free = testsupport::WaitUntil(
      [] { return Bindable(SOCK_STREAM, ServicePort()) && Bindable(SOCK_DGRAM, kPagerPort); }, 300 * 1000,
      [&] {
        if (waited++ % 30 == 0)
          std::printf("waiting for TCP %d and UDP %d to be free (another kiosk running?)\n", ServicePort(), kPagerPort);
        std::this_thread::sleep_for(std::chrono::seconds(1));
      });
  if (free) return;
  throw std::runtime_error("TCP " + std::to_string(ServicePort()) + " or UDP 15167 stayed in use");
}

std::string ReplaceAll(std::string text, const std::string& from, const std::string& to) {
  for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
    text.replace(at, from.size(), to);
  return text;
}

}  // namespace

void Score(const std::string& check, const std::string& measured, const std::string& bar, bool pass) {
  std::printf("SCORE|%s|%s|%s|%s\n", check.c_str(), measured.c_str(), bar.c_str(), pass ? "PASS" : "FAIL");
  std::fflush(stdout);
}

std::string Fixed(double value, int decimals) {
  char text[64];
  std::snprintf(text, sizeof text, "%.*f", decimals, value);
  return text;
}

std::string RequestKind(std::string_view request) {
  struct Pattern {
    const char* part;
    const char* kind;
  };
  static const Pattern kPatterns[] = {{"/rvu/RVUSrvc.xml?", "poll"},
                                      {"/GetZAVPagerXML?", "incident"},
                                      {"/iframe?", "map"},
                                      {"/rvu/bom.htm", "weather"},
                                      {"/json?method=getsummary", "summary"},
                                      {"/rvu/kioskpix/html/IMG", "picture"},
                                      {"/rvu/Chart", "chart"}};
  for (const auto& p : kPatterns)
    if (request.find(p.part) != std::string_view::npos) return p.kind;
  return "";
}

bool IsScreenKind(std::string_view kind) {
  return kind == "map" || kind == "weather" || kind == "summary" || kind == "picture" || kind == "chart";
}

std::string KindOf(sim::Endpoint endpoint) {
  switch (endpoint) {
    case sim::Endpoint::Feed: return "poll";
    case sim::Endpoint::Incident: return "incident";
    case sim::Endpoint::Summary: return "summary";
    case sim::Endpoint::Iframe: return "map";
    case sim::Endpoint::Weather: return "weather";
    case sim::Endpoint::Chart: return "chart";
    case sim::Endpoint::Pix: return "picture";
    default: return "";
  }
}

std::vector<ProcessMemory> GroupMemory(pid_t group) {
  std::vector<ProcessMemory> result;
  auto field = [](const std::string& rollup, const std::string& name) -> long {
    const std::regex pattern("\n" + name + ":\\s+(\\d+) kB");
    std::smatch m;
    return std::regex_search(rollup, m, pattern) ? std::stol(m[1]) : -1;
  };
  for (pid_t pid : GroupMembers(group)) {
    const std::string rollup = ReadText("/proc/" + std::to_string(pid) + "/smaps_rollup");
    const long pss = field(rollup, "Pss");
    if (pss < 0) continue;
    const long unfiled = std::max(0L, field(rollup, "Pss_Anon")) + std::max(0L, field(rollup, "Pss_Shmem"));
    const long rssFile = std::max(0L, field(rollup, "Rss") - std::max(0L, field(rollup, "Anonymous")));
    result.push_back({pid, pid == group ? std::string("kiosk") : WebEngineType(pid), pss, unfiled, rssFile});
  }
  return result;
}

std::vector<pid_t> RendererProcesses(pid_t group) {
  std::vector<pid_t> renderers;
  for (pid_t pid : GroupMembers(group))
    if (pid != group && WebEngineType(pid) == "renderer") renderers.push_back(pid);
  return renderers;
}

bool IsWhite(const QColor& c) { return c.red() > 200 && c.green() > 200 && c.blue() > 200; }
bool IsBlack(const QColor& c) { return c.red() < 30 && c.green() < 30 && c.blue() < 30; }

Station::Station(StationOptions options) {
  WaitForFreePorts();
  sim::Options simOptions;
  simOptions.port = ServicePort();
  simOptions.controlPort = 0;
  simOptions.pix = options.pictures;
  simOptions.startWithIncident = false;
  service_ = std::make_unique<sim::UnitServiceSim>(simOptions);
  service_->Start();
  // Paged half an hour ago: the route map's hold has passed and the rotation runs.
  sim::IncidentFields incident;
  incident.minutesAgo = 30;
  service_->RaiseIncident(incident);

  // The program's folder takes its daily logs and error reports.
  const std::string program = folder_.File("rvukiosk");
  fs::copy_file(KIOSK_PROGRAM, program);
  std::ofstream(folder_.File(service::gkRVUSettingsFile), std::ios::binary)
      << ReplaceAll(service::DefaultRVUSettingsFileText(), service::kDefaultWWWHost, kFeedHost);
  testsupport::Process::Environment env;
  if (!options.stationConf.empty()) {
    std::ofstream(folder_.File("station.conf"), std::ios::binary) << options.stationConf;
    env["RVUKIOSK_STATION_CONF"] = folder_.File("station.conf");
  }
  kiosk_ = std::make_unique<testsupport::KioskProcess>(program, folder_.path(), "", env);
  started_ = watchStart_ = SteadyClock::now();
}

Station::~Station() {
  if (kiosk_->Running()) {
    Send("CMD:TERMINATE");
    kiosk_->WaitForExit(15000);
  }
  kiosk_.reset();
  service_->Stop();
}

bool Station::WaitUntilUp() {
  const bool up = RunUntil([this] { return FindSince(0, "map") >= 0; }, 60);
  ResetClockWatch();
  if (LogCount(30000, "[Function=Main.FormCreate]") > 0) {
    std::printf("the kiosk could not listen on UDP %d (another kiosk has it)\n", kPagerPort);
    return false;
  }
  return up;
}

void Station::Send(std::string_view datagram) { platform::SendDatagram("127.0.0.1", kPagerPort, datagram); }

void Station::Watch() {
  const auto now = SteadyClock::now();
  const std::vector<std::string> served = service_->Requests();
  for (; served_ < served.size(); ++served_)
    requests_.push_back({RequestKind(served[served_]), served[served_], now});

  QImage clock = Screen(kClockArea);
  if (clock.isNull()) return;
  if (!lastClock_.isNull() && clock != lastClock_) {
    const auto previous = clockChanges_.empty() ? watchStart_ : clockChanges_.back();
    longestStandstill_ = std::max(longestStandstill_, std::chrono::duration<double>(now - previous).count());
    clockChanges_.push_back(now);
  }
  lastClock_ = std::move(clock);
}

int Station::CountSince(size_t mark, std::string_view kind) const {
  int count = 0;
  for (size_t i = mark; i < requests_.size(); ++i)
    if (requests_[i].kind == kind) ++count;
  return count;
}

int Station::FindSince(size_t mark, std::string_view kind) const {
  for (size_t i = mark; i < requests_.size(); ++i)
    if (requests_[i].kind == kind) return static_cast<int>(i);
  return -1;
}

int Station::ScrollTo(std::string_view kind, int steps) {
  for (int step = 1; step <= steps; ++step) {
    const size_t mark = Mark();
    Send("CMD:SCROLL");
    int screen = -1;
    RunUntil(
        [&] {
          for (size_t i = mark; i < requests_.size() && screen < 0; ++i)
            if (IsScreenKind(requests_[i].kind)) screen = static_cast<int>(i);
          return screen >= 0;
        },
        5);
    if (screen < 0) return -1;
    if (requests_[static_cast<size_t>(screen)].kind == kind) return step;
    RunFor(0.3);  // the screen routine ends before the next command is read
  }
  return -1;
}

void Station::ResetClockWatch() {
  watchStart_ = SteadyClock::now();
  clockChanges_.clear();
  longestStandstill_ = 0;
}

double Station::LongestClockStandstill() const {
  const auto last = clockChanges_.empty() ? watchStart_ : clockChanges_.back();
  return std::max(longestStandstill_, std::chrono::duration<double>(SteadyClock::now() - last).count());
}

int Station::ClockChangesSince(SteadyClock::time_point since) const {
  return static_cast<int>(std::count_if(clockChanges_.begin(), clockChanges_.end(),
                                        [since](SteadyClock::time_point t) { return t > since; }));
}

bool Station::WaitForClockChanges(int changes, double seconds) {
  const auto since = SteadyClock::now();
  return RunUntil([&] { return ClockChangesSince(since) >= changes; }, seconds);
}

QImage Station::Screen(Area area) const {
  QScreen* screen = QGuiApplication::primaryScreen();
  if (!screen) return {};
  return screen->grabWindow(0, area.left, area.top, area.width, area.height).toImage();
}

QImage Station::Screen() const {
  QScreen* screen = QGuiApplication::primaryScreen();
  if (!screen) return {};
  return screen->grabWindow(0).toImage();
}

void Station::SaveScreen(const std::string& name) const {
  const char* folder = std::getenv("RELIABILITY_ARTIFACTS");
  if (!folder || !*folder) return;
  fs::create_directories(folder);
  Screen().save(QString::fromStdString(std::string(folder) + "/" + name + ".png"));
}

std::vector<LogLine> Station::Log() const {
  // hh:nn:ss,"[stamp]","PROGRAMID ",code,"text"
  static const std::regex line(R"re(^[^,]*,"[^"]*","[^"]*",(-?\d+),"(.*)"\r?$)re");
  std::vector<LogLine> lines;
  std::vector<fs::path> files;
  for (const auto& entry : fs::directory_iterator(folder_.path())) {
    const std::string name = entry.path().filename().string();
    if (name.rfind("rvukiosk-", 0) == 0 && name.size() > 4 && name.substr(name.size() - 4) == ".CSV")
      files.push_back(entry.path());
  }
  std::sort(files.begin(), files.end());
  for (const auto& file : files) {
    std::istringstream in(ReadText(file.string()));
    std::string text;
    while (std::getline(in, text)) {
      std::smatch m;
      if (std::regex_match(text, m, line)) lines.push_back({std::stoi(m[1]), m[2]});
    }
  }
  return lines;
}

int Station::LogCount(int code, std::string_view part) const {
  int count = 0;
  for (const LogLine& l : Log())
    if (l.code == code && (part.empty() || l.text.find(part) != std::string::npos)) ++count;
  return count;
}

int Station::ExceptionReports() const {
  int count = 0;
  for (const auto& entry : fs::directory_iterator(folder_.path())) {
    const std::string name = entry.path().filename().string();
    if (name.rfind("EXCEPTION-", 0) == 0 && name.size() > 4 && name.substr(name.size() - 4) == ".XML") ++count;
  }
  return count;
}

std::string Station::ReadFile(const std::string& name) const { return ReadText(folder_.File(name)); }

void Station::KeepArtifacts(const std::string& name) const {
  const char* root = std::getenv("RELIABILITY_ARTIFACTS");
  if (!root || !*root) return;
  const fs::path target = fs::path(root) / name;
  fs::create_directories(target);
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(folder_.path())) {
    const std::string extension = entry.path().extension().string();
    if (extension == ".CSV" || extension == ".XML" || extension == ".xml" || extension == ".txt")
      fs::copy_file(entry.path(), target / entry.path().filename(), fs::copy_options::overwrite_existing, ec);
  }
  std::ofstream requests(target / "requests.log");
  for (const SeenRequest& r : requests_)
    requests << Fixed(std::chrono::duration<double>(r.at - started_).count(), 1) << " " << r.line << "\n";
}

}  // namespace reliability
