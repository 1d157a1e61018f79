#include "tests/kiosk_state/station.h"

#include <unistd.h>

#include <QTimer>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "config/station_settings.h"
#include "diag/log.h"
#include "diag/text.h"
#include "kiosk/message_list.h"
#include "platform/clock.h"
#include "service/rvu_settings.h"

namespace kioskstate {

namespace {

void ResetGlobals() {
  config::KioskSettings = {};
  service::ServiceSettings = {};
  diag::Globals = {};
}

std::string Flag(bool value) { return value ? "True" : "False"; }

}  // namespace

platform::MetricsEndpoint* Station::metricsEndpoint = nullptr;

Station::Station() {
  std::filesystem::create_symlink("/proc/self/exe", folders.dir.File("bin/rvukiosk"));
  ResetGlobals();
  diag::Globals.Log.SyslogLevel = 7;  // every entry written, so that every line is checked
  auto view = std::make_unique<CrashingBrowser>();
  browser = view.get();
  unitService = std::make_unique<service::WebUnitService>(std::move(ownedTransport), transport->host(),
                                                          service::RequestTimeLimits{2000, 2000});
  ServeFeed();
  // The alert on, with standby while dark, through recording fakes.
  kiosk::KioskOptions options{0};
  options.stationSettingsFile = folders.dir.File("station.conf");
  {
    std::ofstream(options.stationSettingsFile)
        << "Alert = on\nScreenPower = cec\nScreenStandbyWhileDark = on\nPronunciationTable = "
        << folders.dir.File("none.conf") << "\n";
  }
  options.makeAlertSound = [this](const config::AlertSettings&) {
    auto recording = std::make_unique<RecordingSound>();
    sound = recording.get();
    return recording;
  };
  options.makeScreenPower = [](config::ScreenPowerWay) { return std::make_unique<RecordingScreen>(); };
  options.screenSettle = std::chrono::milliseconds(0);
  window = std::make_unique<kiosk::TfrmMain>(std::move(view), boxes, *unitService, [this] { ++terminations; },
                                             options);
  kiosk::frmMain = window.get();
  window->FormCreate();
  if (metricsEndpoint)
    metrics = std::make_unique<kiosk::MetricsPublisher>(*window, *unitService, *metricsEndpoint, folders.dir.path(), 0.0);
  service::ServiceSettings.WWWHost = transport->host();
  // The timer stays started; without an event loop it never fires, so ticks
  // come only from the test, and only while it runs.

  // No settings file at start: the defaults are written.
  expect.settings.BrowserVisible = expect.settings.ShowHeartBeat = expect.settings.ShowSAAS = true;
  expect.settings.ShowRVU = expect.settings.ShowMFS = expect.settings.ShowCFS = true;
  expect.settings.ShowUnknown = true;
  expect.fileText = SettingsFileText(expect.settings);
  expect.screenSaverUntil = platform::Now() + platform::kOneHour;
  Resize(1280, 1024);
}

Station::~Station() {
  if (expect.savesFail) MakeSavesFail(false);
  metrics.reset();
  window.reset();
  ResetGlobals();
}

std::string Station::SettingsFileText(const config::tKioskSettings& s) {
  const std::string lines[] = {
      "<xml>",
      " <GlobalSettings>",
      "  <!-- Turn screen saver off when this capcode received -->",
      "  <CapCode>" + std::to_string(s.CapCode) + "</CapCode>",
      "  <!-- Only display the following pages -->",
      "  <CFS>" + Flag(s.ShowCFS) + "</CFS>",
      "  <HeartBeat>" + Flag(s.ShowHeartBeat) + "</HeartBeat>",
      "  <MFS>" + Flag(s.ShowMFS) + "</MFS>",
      "  <MSC>" + Flag(s.ShowMSC) + "</MSC>",
      "  <SAAS>" + Flag(s.ShowSAAS) + "</SAAS>",
      "  <RVU>" + Flag(s.ShowRVU) + "</RVU>",
      "  <Unknown>" + Flag(s.ShowUnknown) + "</Unknown>",
      "  <!-- Start with Browser ON or OFF -->",
      "  <BrowserVisible>" + Flag(s.BrowserVisible) + "</BrowserVisible>",
      " </GlobalSettings>",
      "</xml>",
  };
  std::string text;
  for (const auto& line : lines) text += line + "\r\n";
  return text;
}

void Station::Resize(int width, int height) {
  window->setWindowState(Qt::WindowNoState);
  window->resize(width, height);
  window->FormResize();
  expect.width = width;
  expect.height = height;
}

void Station::ServeFeed() {
  transport->Answer("/rvu/RVUSrvc.xml",
                    "<xml><RVUSrvc><LEDDisplay><PageA>" + pageA + "</PageA><PageJ>" + pageJ +
                        "</PageJ></LEDDisplay><LastGRNMFSIncNo>123456</LastGRNMFSIncNo><LastRVUUnit>JUX</LastRVUUnit>"
                        "<LastPriority>1</LastPriority><LastTaskType>RESCUE</LastTaskType><KioskPix>" +
                        std::to_string(expect.pix) + "</KioskPix></RVUSrvc></xml>");
  expect.feedAnswers = true;
}

std::string Station::FileOnDisk() const {
  std::ifstream in(folders.dir.File("RVUKiosk.xml"), std::ios::binary);
  if (!in) return "<no file>";
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::vector<ShownLine> Station::ShownLines() const {
  std::vector<ShownLine> lines;
  for (const auto& line : window->rchMessages->Lines()) lines.push_back({line.text, line.colour.rgb()});
  return lines;
}

std::vector<std::string> Station::RequestPaths() const {
  std::vector<std::string> paths;
  for (const auto& r : transport->Requests()) paths.push_back(r.substr(0, r.find('?')));
  return paths;
}

void Station::ListCommandHosts() {
  window->StationSettings.commandHosts =
      std::vector<config::IpNetwork>{*config::ParseIpNetwork("127.0.0.1"), *config::ParseIpNetwork("10.0.0.0/8")};
  expect.commandHostsListed = true;
}

namespace {

// The largest a log line may be: its own fields, the text at its bound, the
// quotes and CR LF.
constexpr std::size_t kLogLineMax = 48 + diag::kLogTextMaxBytes + 3;
constexpr std::uintmax_t kReportMax = 4096;
constexpr platform::TDateTime kReportInterval = platform::kOneHour;
constexpr platform::TDateTime kOneMillisecond = platform::kOneHour / 3600000;

std::string Between(const std::string& text, const std::string& start, const std::string& end) {
  const auto a = text.find(start);
  if (a == std::string::npos) return "";
  const auto b = text.find(end, a + start.size());
  return text.substr(a + start.size(), b == std::string::npos ? std::string::npos : b - a - start.size());
}

}  // namespace

std::string Station::CheckFolder() {
  const std::string bin = folders.dir.File("bin");
  for (const auto& entry : std::filesystem::directory_iterator(bin)) {
    const std::string name = entry.path().filename();
    if (name.size() > 4 && name.substr(name.size() - 4) == ".CSV") {
      std::uintmax_t& read = folder.logRead[name];
      const std::uintmax_t size = entry.file_size();
      if (size <= read) continue;
      std::ifstream in(entry.path(), std::ios::binary);
      in.seekg(static_cast<std::streamoff>(read));
      std::string added(size - read, '\0');
      in.read(added.data(), static_cast<std::streamsize>(added.size()));
      read = size;
      size_t start = 0;
      while (start < added.size()) {
        size_t end = added.find("\r\n", start);
        if (end == std::string::npos) end = added.size();
        const std::string line = added.substr(start, end - start);
        if (line.size() + 2 > kLogLineMax && folder.problem.empty())
          folder.problem = name + ": a line of " + std::to_string(line.size() + 2) + " bytes";
        if (line.find_first_of(std::string("\r\n\0", 3)) != std::string::npos && folder.problem.empty())
          folder.problem = name + ": a line break or NUL inside a line: " + line.substr(0, 200);
        start = end + 2;
      }
    } else if (name.rfind("EXCEPTION-", 0) == 0 && folder.reports.insert(name).second) {
      if (entry.file_size() > kReportMax && folder.problem.empty())
        folder.problem = name + ": a report of " + std::to_string(entry.file_size()) + " bytes";
      std::ifstream in(entry.path(), std::ios::binary);
      std::ostringstream text;
      text << in.rdbuf();
      const std::string report = text.str();
      const std::string key = Between(report, "<Function>", "<") + "|" + Between(report, "<ClassName>", "<") + "|" +
                              Between(report, "<Trace>", "<");
      // The clock when it was written, from its name's 17 digits.
      auto digits = [&name](size_t at, size_t n) { return std::stoi(name.substr(10 + at, n)); };
      const platform::TDateTime written = platform::EncodeDateTime(
          {digits(0, 4), digits(4, 2), digits(6, 2), digits(8, 2), digits(10, 2), digits(12, 2), digits(14, 3)});
      const auto last = folder.lastReport.find(key);
      // Due again an hour after the last one, or at once when the clock was set back.
      const platform::TDateTime since = last == folder.lastReport.end() ? kReportInterval : written - last->second;
      if (since >= 0 && since < kReportInterval - kOneMillisecond && folder.problem.empty())
        folder.problem = name + ": reported again " + std::to_string(static_cast<long long>(since * 86400)) +
                         " s after the last report of " + key;
      folder.lastReport[key] = written;
    }
  }
  return folder.problem;
}

void Station::MakeSavesFail(bool fail) {
  if (fail) {
    goneFolder_ = folders.dir.File("gone");
    std::filesystem::create_directory(goneFolder_);
    if (::chdir(goneFolder_.c_str()) != 0) throw std::runtime_error("cannot enter " + goneFolder_.string());
    std::filesystem::remove(goneFolder_);
  } else if (::chdir(folders.dir.path().c_str()) != 0) {
    throw std::runtime_error("cannot go back to " + folders.dir.path());
  }
  expect.savesFail = fail;
}

}  // namespace kioskstate
