#pragma once

// The kiosk window as a system under test for random event sequences: the real
// window on the offscreen platform with a recording browser view that can lose
// its renderer, scripted message boxes, the fake unit web service and a manual
// clock, and what the test expects of it, kept as small as the checks need.

#include <QColor>
#include <QString>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "config/kiosk_settings.h"
#include "kiosk/frm_main.h"
#include "kiosk/metrics_publisher.h"
#include "platform/metrics.h"
#include "platform/browser_view.h"
#include "platform/datetime.h"
#include "service/unit_service.h"
#include "tests/kiosk/kiosk_fixture.h"
#include "tests/support/fake_transport.h"
#include "tests/support/kiosk_folders.h"

namespace kioskstate {

using CrashingBrowser = testsupport::FakeBrowser;

// One line of the message list as the screen shows it.
struct ShownLine {
  QString text;
  QRgb colour;
  bool operator==(const ShownLine&) const = default;
};

// What the test knows the kiosk must show, from the events it sent.
struct Expect {
  config::tKioskSettings settings;  // the values in memory
  std::string fileText;             // the settings file as last written whole
  bool savesFail = false;
  int width = 0, height = 0;
  bool dark = false;                // the look last applied by a tick or a command
  bool browserLaidOut = true;       // BrowserVisible as the last awake layout applied it
  bool browserStale = false;        // a browser switch since, whose save failed before its layout
  platform::TDateTime screenSaverUntil = 0;
  bool timerStopped = false;
  int tickCount = -1;               // to know the due ticks, on which a dark clock is moved
  bool clockPlacedWhileDark = false;
  bool summaryStep = false;         // the summary is the screen the rotation last showed
  int pix = 0;                      // the pictures the feed offers
  bool feedAnswers = true;          // the feed answers with its record
  bool terminated = false;
};

class Station {
 public:
  Station();
  ~Station();
  Station(const Station&) = delete;
  Station& operator=(const Station&) = delete;

  // The settings file's 16 lines for a set of values.
  static std::string SettingsFileText(const config::tKioskSettings& s);

  void Resize(int width, int height);
  void ServeFeed();
  std::string FileOnDisk() const;
  std::vector<ShownLine> ShownLines() const;
  std::vector<std::string> RequestPaths() const;

  // Saves fail while the working folder is a removed one (root ignores the
  // permission bits, so unwritable files do not stop it).
  void MakeSavesFail(bool fail);

  testsupport::KioskFolders folders;
  testsupport::FakeBoxes boxes;
  std::unique_ptr<testsupport::FakeTransport> ownedTransport = std::make_unique<testsupport::FakeTransport>();
  testsupport::FakeTransport* transport = ownedTransport.get();
  std::unique_ptr<service::WebUnitService> unitService;
  CrashingBrowser* browser = nullptr;
  int terminations = 0;
  std::unique_ptr<kiosk::TfrmMain> window;
  // When set, every station publishes the window's figures to this endpoint
  // (on every tick), which another thread scrapes meanwhile.
  static platform::MetricsEndpoint* metricsEndpoint;
  std::unique_ptr<kiosk::MetricsPublisher> metrics;

  std::string pageA, pageJ = "STATION READY";
  Expect expect;

 private:
  std::filesystem::path goneFolder_;
};

}  // namespace kioskstate
