#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QTimer>
#include <QWidget>
#include <deque>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "config/kiosk_settings.h"
#include "diag/log.h"
#include "kiosk/frm_main.h"
#include "kiosk/message_list.h"
#include "platform/browser_view.h"
#include "platform/clock.h"
#include "service/rvu_settings.h"
#include "service/unit_service.h"
#include "tests/support/fake_transport.h"
#include "tests/support/kiosk_folders.h"
#include "tests/support/temp_dir.h"

namespace testsupport {

// A browser view that records what it was asked, and can lose its renderer
// for good: it then gives up on the page and shows the blank one.
class FakeBrowser final : public platform::BrowserView {
 public:
  QWidget* Widget() override { return &widget_; }
  void Navigate(const std::string& address) override {
    navigations.push_back(address);
    location = address;
  }
  std::string LocationURL() const override { return location; }
  void SetDocumentBackground(const std::string& colour) override { backgrounds.push_back(colour); }
  void Complete() { DocumentCompleted(); }
  void RendererCrashed() {
    const std::string lost = location;
    location = "about:blank";
    RendererGaveUp(lost);
    DocumentCompleted();
  }

  std::vector<std::string> navigations;
  std::vector<std::string> backgrounds;
  std::string location;

 private:
  QWidget widget_;
};

// Message boxes that record their texts and answer from a script.
class FakeBoxes final : public platform::MessageBoxes {
 public:
  void Inform(const std::string& text) override { informed.push_back(text); }
  bool AskYesNo(const std::string& text, const std::string& caption) override {
    asked.push_back(caption + ": " + text);
    const bool answer = answers.empty() ? false : answers.front();
    if (!answers.empty()) answers.pop_front();
    return answer;
  }
  void ShowError(const std::string& text) override { errors.push_back(text); }

  std::vector<std::string> informed, asked, errors;
  std::deque<bool> answers;
};

// A kiosk window in a fresh working directory with a manual clock, created and
// started as the program does, listening on a free port. Its unit web service
// is a fake transport: answers are set per path, nothing goes on the network.
class KioskTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // The program file in the moved program folder is this test program, so its
    // version can be read from it.
    std::filesystem::create_symlink("/proc/self/exe", dir.File("bin/rvukiosk"));
    ResetGlobals();
    auto fake = std::make_unique<FakeBrowser>();
    browser = fake.get();
    unitService = MakeUnitService();
    window = std::make_unique<kiosk::TfrmMain>(std::move(fake), boxes, *unitService, [this] { ++terminations; },
                                               Options());
    kiosk::frmMain = window.get();
    BeforeFormCreate();
    window->FormCreate();
    timerActiveAfterFormCreate = window->Timer->isActive();
    // Ticks come only when a test calls the handler.
    window->Timer->stop();
  }
  void TearDown() override {
    window.reset();
    ResetGlobals();
  }
  virtual void BeforeFormCreate() {}
  // The window's options: any free pager port, no station settings file.
  virtual kiosk::KioskOptions Options() { return kiosk::KioskOptions{0}; }
  // The window's unit web service: the fake one, unless a fixture brings another.
  virtual std::unique_ptr<service::WebUnitService> MakeUnitService() {
    return std::make_unique<service::WebUnitService>(std::move(ownedTransport), transport->host(),
                                                     service::RequestTimeLimits{2000, 2000});
  }

  static void ResetGlobals() {
    config::KioskSettings = {};
    service::ServiceSettings = {};
    diag::Globals = {};
  }

  // The message list's lines as text.
  std::vector<std::string> Lines() const {
    std::vector<std::string> lines;
    for (const auto& line : window->rchMessages->Lines()) lines.push_back(line.text.toStdString());
    return lines;
  }

  // Sizes the window as a window system would and lets it lay itself out.
  void ResizeWindow(int width, int height) {
    window->setWindowState(Qt::WindowNoState);
    window->resize(width, height);
    window->FormResize();
  }

  KioskFolders folders;
  TempDir& dir = folders.dir;
  ScopedClock& clock = folders.clock;
  FakeBoxes boxes;
  // The fake service's transport, handed to the unit service in SetUp.
  std::unique_ptr<FakeTransport> ownedTransport = std::make_unique<FakeTransport>();
  FakeTransport* transport = ownedTransport.get();
  std::unique_ptr<service::WebUnitService> unitService;
  FakeBrowser* browser = nullptr;
  int terminations = 0;
  bool timerActiveAfterFormCreate = false;
  std::unique_ptr<kiosk::TfrmMain> window;
};

// A kiosk window that reads a station settings file of the test's own.
class StationSettingsTest : public KioskTest {
 protected:
  // The file's text, written before the window starts; none: no file.
  virtual std::optional<std::string> StationSettingsText() = 0;
  kiosk::KioskOptions Options() override {
    kiosk::KioskOptions options{0};
    options.stationSettingsFile = dir.File("station.conf");
    return options;
  }
  void BeforeFormCreate() override {
    if (const auto text = StationSettingsText()) WriteWholeFile(dir.File("station.conf"), *text);
  }
};

}  // namespace testsupport
