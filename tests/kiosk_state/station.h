#pragma once

// The kiosk window as a system under test for random event sequences: the real
// window on the offscreen platform with a recording browser view that can lose
// its renderer, scripted message boxes, the fake unit web service and a manual
// clock, and what the test expects of it, kept as small as the checks need.

#include <QColor>
#include <QString>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "config/kiosk_settings.h"
#include "kiosk/alert_logic.h"
#include "platform/alert_sound.h"
#include "platform/screen_power.h"
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

// The alert's sound: records what each alert would read out, in order, and
// is done with it at once.
class RecordingSound final : public platform::AlertSound {
 public:
  void Play(platform::SoundAlert alert) override { played.push_back(alert.speech); }
  std::size_t Pending() const override { return 0; }
  platform::DeviceProblems TakeProblems() override { return {}; }
  std::vector<std::string> played;
};

// The screen's power way: switches at once and says so.
class RecordingScreen final : public platform::ScreenPower {
 public:
  bool Open(std::string&) override { return true; }
  bool On() override { return Set(platform::ScreenState::On); }
  bool Standby() override { return Set(platform::ScreenState::Standby); }
  platform::ScreenState State() override {
    std::lock_guard lock(mutex_);
    return state_;
  }
  std::string Way() const override { return "Recording"; }

 private:
  bool Set(platform::ScreenState state) {
    std::lock_guard lock(mutex_);
    state_ = state;
    return true;
  }
  std::mutex mutex_;
  platform::ScreenState state_ = platform::ScreenState::Unknown;
};

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
  bool commandHostsListed = false;  // the station takes commands only from its list
  // The alerts: every page to the own capcode that is no command and no
  // repeat of one within the minute, in arrival order.
  std::vector<std::string> alerts;
  std::deque<std::pair<std::string, platform::TDateTime>> alertPages;  // those within the minute
};

// What the program's folder holds, as far as the test has read it.
struct FolderWatch {
  std::map<std::string, std::uintmax_t> logRead;  // each daily log, read up to here
  std::set<std::string> reports;                  // the error reports seen
  // Each failure's (routine, class, step) newest report: the clock when it was seen.
  std::map<std::string, platform::TDateTime> lastReport;
  std::string problem;  // the first thing found out of bounds
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
  RecordingSound* sound = nullptr;
  int terminations = 0;
  std::unique_ptr<kiosk::TfrmMain> window;
  // When set, every station publishes the window's figures to this endpoint
  // (on every tick), which another thread scrapes meanwhile.
  static platform::MetricsEndpoint* metricsEndpoint;
  std::unique_ptr<kiosk::MetricsPublisher> metrics;

  // Commands taken only from 127.0.0.1 and 10.0.0.0/8 from now on.
  void ListCommandHosts();
  // Reads what the step added to the daily logs and the new error reports:
  // no line or report past its bound, and a failure reported at most once an
  // hour while the clock moves on. Empty, or the first problem found.
  std::string CheckFolder();

  std::string pageA, pageJ = "STATION READY";
  Expect expect;
  FolderWatch folder;

 private:
  std::filesystem::path goneFolder_;
};

}  // namespace kioskstate
