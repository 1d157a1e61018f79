#include "tests/kiosk_state/station.h"

#include <unistd.h>

#include <QTimer>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "diag/log.h"
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
  auto view = std::make_unique<CrashingBrowser>();
  browser = view.get();
  unitService = std::make_unique<service::WebUnitService>(std::move(ownedTransport), transport->host(),
                                                          service::RequestTimeLimits{2000, 2000});
  ServeFeed();
  window = std::make_unique<kiosk::TfrmMain>(std::move(view), boxes, *unitService, [this] { ++terminations; },
                                             kiosk::KioskOptions{0});
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
