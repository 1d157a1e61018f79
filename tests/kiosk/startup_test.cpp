#include <QFrame>
#include <QTimer>

#include "diag/text.h"
#include "kiosk/pager_listener.h"
#include "tests/kiosk/kiosk_fixture.h"

namespace {

using namespace kiosk;
using testsupport::KioskTest;

class StartUpTest : public KioskTest {};

TEST_F(StartUpTest, FormCreateLeavesTheDocumentedState) {
  const platform::TDateTime now = platform::Now();
  EXPECT_EQ(Lines(), std::vector<std::string>{"13:45:10 KIOSK " + std::string(KIOSK_VERSION) + " STARTED"});
  EXPECT_EQ(window->rchMessages->Lines()[0].colour, QColor(Qt::white));
  EXPECT_EQ(browser->navigations, std::vector<std::string>{"about:blank"});

  const tKioskState& s = window->State;
  EXPECT_EQ(s.ScreenStep, 0);
  EXPECT_EQ(s.TickCount, -1);
  EXPECT_EQ(s.LastPageA, "");
  EXPECT_DOUBLE_EQ(s.HoldScreenUntil, now);
  EXPECT_DOUBLE_EQ(s.LastPacketTime, now);
  EXPECT_FALSE(s.CommsLostReported);
  EXPECT_DOUBLE_EQ(s.ScreenSaverUntil, now + platform::kOneHour);
  EXPECT_FALSE(s.CurrentIncident.RecordFound);

  EXPECT_EQ(window->pnlSummary->size(), QSize(1, 1));
  EXPECT_EQ(window->pnlSummary->x(), 969);  // the designed width, before the window was maximised
  EXPECT_EQ(window->txtCaptureKeystrokes->size(), QSize(1, 1));
  EXPECT_TRUE(window->lblTime->text().isEmpty());
  EXPECT_TRUE(window->lblPageJ->text().isEmpty());
  EXPECT_TRUE(timerActiveAfterFormCreate);
  EXPECT_EQ(window->Timer->interval(), 1000);
  EXPECT_TRUE(window->IdUDPServer1->Listening());
  EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::BlankCursor);

  // Both settings files were written with their defaults and read back.
  EXPECT_TRUE(std::filesystem::exists("RVUKiosk.xml"));
  EXPECT_TRUE(std::filesystem::exists("RVU-Settings.xml"));
  EXPECT_TRUE(config::KioskSettings.BrowserVisible);
  EXPECT_FALSE(window->pnlWebBrowser->isHidden());
  EXPECT_EQ(service::ServiceSettings.WWWHost, "localhost:8080");
  EXPECT_EQ(diag::Globals.ProgramVersion, KIOSK_VERSION);
  EXPECT_EQ(diag::Globals.Log.ProgramId, "VUDURE");
}

TEST_F(StartUpTest, AClickOnTheClockTerminates) {
  window->lblTimeClick();
  EXPECT_EQ(terminations, 1);
}

class BrokenSettingsStartUp : public KioskTest {
  void BeforeFormCreate() override {
    testsupport::WriteWholeFile("RVUKiosk.xml", "<xml><GlobalSettings>");
    testsupport::WriteWholeFile("RVU-Settings.xml",
                                "<xml><GlobalSettings><BrowserVisible>True</BrowserVisible></GlobalSettings></xml>");
  }
};

TEST_F(BrokenSettingsStartUp, AnUnreadableKioskFileIsReportedAndStartUpGoesOn) {
  EXPECT_EQ(Lines(), (std::vector<std::string>{"13:45:10 KIOSK " + std::string(KIOSK_VERSION) + " STARTED",
                                                 "13:45:10 Error loading RVUKiosk.XML"}));
  EXPECT_FALSE(config::KioskSettings.BrowserVisible);
  EXPECT_TRUE(window->pnlWebBrowser->isHidden());
}

TEST(PagerPortTaken, TheKioskStartsAndSaysSo) {
  testsupport::KioskFolders folders;
  testsupport::FakeBoxes boxes;
  service::WebUnitService unitService(std::make_unique<testsupport::FakeTransport>(), "unit.test:8080");
  TfrmMain first(std::make_unique<testsupport::FakeBrowser>(), boxes, unitService, [] {}, KioskOptions{0});
  const quint16 taken = first.IdUDPServer1->Port();
  TfrmMain second(std::make_unique<testsupport::FakeBrowser>(), boxes, unitService, [] {}, KioskOptions{taken});
  second.FormCreate();
  ASSERT_EQ(second.rchMessages->LineCount(), 2u);
  // This program folder holds no program file: no version to show.
  EXPECT_EQ(second.rchMessages->Lines()[0].text.toStdString(), "13:45:10 KIOSK  STARTED");
  const std::string line = second.rchMessages->Lines()[1].text.toStdString();
  EXPECT_EQ(line.rfind("13:45:10 Cannot listen on UDP port " + std::to_string(taken) + ": ", 0), 0u) << line;
  const std::string log = testsupport::ReadWholeFile(folders.LogFile());
  EXPECT_NE(log.find(",30000,\"[Function=Main.FormCreate]"), std::string::npos) << log;
  config::KioskSettings = {};
  diag::Globals = {};
}

}  // namespace
