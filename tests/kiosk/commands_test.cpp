#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QFrame>
#include <QThread>
#include <algorithm>

#include "kiosk/pager_listener.h"
#include "tests/kiosk/screens_fixture.h"
#include "tests/support/wait.h"

namespace {

using namespace kiosk;
using testsupport::ScreensTest;

class CommandTest : public ScreensTest {
 protected:
  void SetUp() override {
    ScreensTest::SetUp();
    ResizeWindow(1280, 1024);
  }
  std::string SettingsFile() const { return testsupport::ReadWholeFile("RVUKiosk.xml"); }
};

TEST_F(CommandTest, TogglesChangeTheValueAndSaveTheFile) {
  using config::KioskSettings;
  struct Case {
    const char* command;
    bool config::tKioskSettings::*value;
    const char* element;
  } cases[] = {
      {"CMD:TOGGLECFS", &config::tKioskSettings::ShowCFS, "CFS"},
      {"CMD:TOGGLEMFS", &config::tKioskSettings::ShowMFS, "MFS"},
      {"CMD:TOGGLEMSC", &config::tKioskSettings::ShowMSC, "MSC"},
      {"CMD:TOGGLESAAS", &config::tKioskSettings::ShowSAAS, "SAAS"},
      {"CMD:TOGGLERVU", &config::tKioskSettings::ShowRVU, "RVU"},
      {"CMD:TOGGLEUNKNOWN", &config::tKioskSettings::ShowUnknown, "Unknown"},
      {"CMD:TOGGLEHEARTBEAT", &config::tKioskSettings::ShowHeartBeat, "HeartBeat"},
  };
  for (const auto& c : cases) {
    const bool before = KioskSettings.*c.value;
    window->IdUDPServer1UDPRead(c.command);
    EXPECT_EQ(KioskSettings.*c.value, !before) << c.command;
    const std::string line = std::string("  <") + c.element + ">" + (before ? "False" : "True") + "</" + c.element + ">";
    EXPECT_NE(SettingsFile().find("\r\n" + line + "\r\n"), std::string::npos) << c.command;
    window->IdUDPServer1UDPRead(c.command);  // twice: back to the old value
    EXPECT_EQ(KioskSettings.*c.value, before) << c.command;
  }
  EXPECT_EQ(window->rchMessages->LineCount(), 1u);  // commands are never shown
}

TEST_F(CommandTest, CapCode) {
  window->IdUDPServer1UDPRead("CMD:CAPCODE=-5");
  EXPECT_EQ(config::KioskSettings.CapCode, -5);
  EXPECT_NE(SettingsFile().find("<CapCode>-5</CapCode>"), std::string::npos);
  std::filesystem::remove("RVUKiosk.xml");
  for (const char* bad : {"CMD:CAPCODE=", "CMD:CAPCODE=abc"}) window->IdUDPServer1UDPRead(bad);
  EXPECT_EQ(config::KioskSettings.CapCode, -5);
  EXPECT_FALSE(std::filesystem::exists("RVUKiosk.xml"));  // nothing saved
  window->IdUDPServer1UDPRead("CMD:CAPCODE=$10");
  EXPECT_EQ(config::KioskSettings.CapCode, 16);
  // The new marker applies to the next datagram.
  window->IdUDPServer1UDPRead("[RVU:16] RESCUE");
  EXPECT_EQ(window->rchMessages->Lines().back().colour, QColor(0, 128, 0));
}

// On a running timer the next tick comes at its normal time; only the count
// starts again.
TEST_F(CommandTest, ScrollKeepsARunningTimerToItsBeat) {
  window->Timer->start();
  QThread::msleep(600);
  window->IdUDPServer1UDPRead("CMD:SCROLL");
  EXPECT_TRUE(window->Timer->isActive());
  EXPECT_EQ(window->State.TickCount, -1);
  EXPECT_LT(window->Timer->remainingTime(), 500);
}

TEST_F(CommandTest, ScreensStopTheTimerAndScrollStartsIt) {
  ServeIncident("2026-12-09 10:00:00");
  window->Timer->start();
  window->IdUDPServer1UDPRead("CMD:SCREEN0");
  EXPECT_NE(browser->navigations.back().find("/iframe?"), std::string::npos);
  EXPECT_FALSE(window->Timer->isActive());
  window->IdUDPServer1UDPRead("CMD:SCROLL");
  EXPECT_TRUE(window->Timer->isActive());
  EXPECT_EQ(window->State.TickCount, -1);
  window->IdUDPServer1UDPRead("CMD:SCREEN1");
  EXPECT_EQ(browser->navigations.back(), "http://" + Host() + "/rvu/bom.htm");
  EXPECT_FALSE(window->Timer->isActive());
  // Not an exact match: neither shown nor a command.
  window->IdUDPServer1UDPRead("CMD:SCREEN0\r\n");
  EXPECT_EQ(browser->navigations.back(), "http://" + Host() + "/rvu/bom.htm");
}

// Route map commands in one batch against a silent service, with the program's
// time limits: the first asks for the incident and waits its limit out; the
// rest show the no-record line without asking, so the clock stands still for
// one request's time, not twenty. Key 0 is held back the same way, and once the
// pause has passed the service is asked again.
TEST_F(CommandTest, ABatchOfRouteMapCommandsWaitsForASilentServiceOnce) {
  unitService->SetLimits(service::RequestTimeLimits{});
  server.Silent("/rvu/rvuisapi.dll/GetZAVPagerXML");
  auto incidentRequests = [&] {
    const auto paths = RequestPaths();
    return std::count(paths.begin(), paths.end(), "/rvu/rvuisapi.dll/GetZAVPagerXML");
  };
  auto noRecordLines = [&] {
    const auto lines = Lines();
    return std::count_if(lines.begin(), lines.end(), [](const std::string& line) {
      return line.find("GOOGLE MAP - INVALID INCIDIENT DETAILS") != std::string::npos;
    });
  };
  int handled = 0;
  window->DatagramHandled = [&](const std::string&) { ++handled; };

  constexpr int kCommands = 20;
  const int fd = socket(AF_INET, SOCK_DGRAM, 0);
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(window->IdUDPServer1->Port());
  to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  const std::string command = "CMD:SCREEN0";
  for (int i = 0; i < kCommands; ++i)
    ASSERT_EQ(sendto(fd, command.data(), command.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to),
              static_cast<ssize_t>(command.size()));
  close(fd);
  QThread::msleep(100);  // all of them wait in the socket: one batch
  const std::uint32_t start = clock->TickCount();
  ASSERT_TRUE(testsupport::WaitUntil([&] { return handled == kCommands; }, 5000,
                                     [] { QCoreApplication::processEvents(QEventLoop::AllEvents, 10); }))
      << handled;
  const long stood = static_cast<long>(clock->TickCount() - start);
  EXPECT_GE(stood, 30000);
  EXPECT_LE(stood, 30500);
  EXPECT_EQ(incidentRequests(), 1);
  EXPECT_EQ(noRecordLines(), kCommands);
  EXPECT_FALSE(window->Timer->isActive());

  clock->Advance(service::kRetryPauseMs - 1);
  window->txtCaptureKeystrokes->onKeyPress('0');
  EXPECT_EQ(incidentRequests(), 1);
  EXPECT_EQ(noRecordLines(), kCommands + 1);
  EXPECT_FALSE(window->Timer->isActive());
  clock->Advance(1);
  window->txtCaptureKeystrokes->onKeyPress('0');
  EXPECT_EQ(incidentRequests(), 2);
  window->IdUDPServer1UDPRead("CMD:SCREEN0");
  EXPECT_EQ(incidentRequests(), 2);
  clock->Advance(service::kRetryPauseMs);
  window->IdUDPServer1UDPRead("CMD:SCREEN0");
  EXPECT_EQ(incidentRequests(), 3);
}

TEST_F(CommandTest, BrowserAndScreenSaver) {
  window->IdUDPServer1UDPRead("CMD:TOGGLEBROWSER");
  EXPECT_FALSE(config::KioskSettings.BrowserVisible);
  EXPECT_TRUE(window->pnlWebBrowser->isHidden());
  EXPECT_EQ(window->rchMessages->geometry(), QRect(50, 40, 1180, 904));
  EXPECT_NE(SettingsFile().find("<BrowserVisible>False</BrowserVisible>"), std::string::npos);
  window->IdUDPServer1UDPRead("CMD:TOGGLEBROWSER");
  EXPECT_EQ(window->rchMessages->geometry(), QRect(950, 40, 280, 904));

  window->IdUDPServer1UDPRead("CMD:TOGGLESCREENSAVER");  // dark at once
  EXPECT_DOUBLE_EQ(window->State.ScreenSaverUntil, platform::Now() - 1);
  EXPECT_TRUE(window->rchMessages->isHidden());
  window->IdUDPServer1UDPRead("CMD:TOGGLESCREENSAVER");  // lit for an hour
  EXPECT_DOUBLE_EQ(window->State.ScreenSaverUntil, platform::Now() + platform::kOneHour);
  EXPECT_FALSE(window->rchMessages->isHidden());

  window->State.ScreenSaverUntil = platform::Now() - 1;
  window->FormResize();
  window->IdUDPServer1UDPRead("CMD:SCREENSAVER=OFF");
  EXPECT_DOUBLE_EQ(window->State.ScreenSaverUntil, platform::Now() + platform::kOneHour);
  EXPECT_FALSE(window->rchMessages->isHidden());
}

TEST_F(CommandTest, Terminate) {
  window->IdUDPServer1UDPRead("CMD:TERMINATE");
  EXPECT_EQ(terminations, 1);
}

TEST_F(CommandTest, AToggleWhoseSaveFailsStaysToggledAndIsSwallowed) {
  // Without the working directory behind it, nothing can be written there.
  ASSERT_GT(std::filesystem::remove_all(std::filesystem::current_path()), 0u);
  const bool before = config::KioskSettings.ShowCFS;
  window->IdUDPServer1UDPRead("CMD:TOGGLECFS");
  EXPECT_EQ(config::KioskSettings.ShowCFS, !before);
  window->IdUDPServer1UDPRead("CMD:TOGGLEBROWSER");
  EXPECT_FALSE(config::KioskSettings.BrowserVisible);
  EXPECT_FALSE(window->pnlWebBrowser->isHidden());  // the save raised before the panel was switched
  EXPECT_DOUBLE_EQ(window->State.LastPacketTime, platform::Now());
}

}  // namespace
