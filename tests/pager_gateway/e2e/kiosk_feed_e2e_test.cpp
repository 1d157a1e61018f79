// Encoder -> multimon-ng -> gateway -> the real kiosk under the test's X
// display (xvfb-run, 1280 x 1024), in a network namespace of its own so that
// port 15167 belongs to this test. The gateway runs its receiving pipeline with
// a stand-in for rtl_fm that plays the encoded audio.
#include <gtest/gtest.h>
#include <signal.h>

#include <QColor>
#include <filesystem>

#include "platform/udp.h"
#include "tests/e2e/kiosk_process.h"
#include "tests/pager_gateway/gateway_process.h"
#include "tests/support/temp_dir.h"

namespace {

using testsupport::CountPixels;
using testsupport::WaitUntil;
using namespace pagergwtest;

bool IsBlue(const QColor& c) { return c.blue() > 200 && c.red() < 40 && c.green() < 40; }
bool IsWhitish(const QColor& c) { return c.red() > 180 && c.green() > 180 && c.blue() > 180; }
bool IsGreenText(const QColor& c) { return c.green() > 90 && c.red() < 60 && c.blue() < 160 && c.green() > c.red() + 60; }

// The kiosk's own capcode 1234567; heartbeats neither as MSC nor by their own switch.
const char* kKioskSettings =
    "<xml>\r\n <GlobalSettings>\r\n  <CapCode>1234567</CapCode>\r\n  <CFS>True</CFS>\r\n"
    "  <HeartBeat>False</HeartBeat>\r\n  <MFS>True</MFS>\r\n  <MSC>False</MSC>\r\n  <SAAS>True</SAAS>\r\n"
    "  <RVU>True</RVU>\r\n  <Unknown>True</Unknown>\r\n  <BrowserVisible>True</BrowserVisible>\r\n"
    " </GlobalSettings>\r\n</xml>\r\n";

TEST(GatewayToKiosk, OwnPageShownGreenWakesTheKioskHeartbeatAsTheFiltersSay) {
  testsupport::TempDir kioskDir, gatewayDir;
  const std::string shots = std::string(KIOSK_BINARY_DIR) + "/e2e-screenshots";
  std::filesystem::create_directories(shots);
  testsupport::WriteWholeFile(kioskDir.File("RVUKiosk.xml"), kKioskSettings);
  testsupport::KioskProcess kiosk(KIOSK_PROGRAM, kioskDir.path(), kioskDir.File("kiosk.log"));

  // The list (950,40, 280 wide) on its blue ground, the start-up line white in its first line.
  QImage shot;
  auto listShown = [&](const char* name) {
    shot = testsupport::TakeScreenshot(shots + "/" + name);
    return !shot.isNull() && CountPixels(shot, 955, 45, 270, 890, IsBlue) > 200000;
  };
  ASSERT_TRUE(WaitUntil([&] { return listShown("gateway-started.png"); }, 30000, 100));
  // Dark: an hour without a page to the own capcode, as the remote command makes it at once.
  platform::SendDatagram("127.0.0.1", 15167, "CMD:TOGGLESCREENSAVER");
  ASSERT_TRUE(WaitUntil([&] { return !listShown("gateway-dark.png"); }, 10000, 100));

  // First run of the receiver: a heartbeat, then a page to the kiosk's capcode.
  testsupport::WriteWholeFile(gatewayDir.File("capcodes.conf"), "1234567 RVU\n1900000 MSC:HEARTBEAT\n");
  const std::string standIn = gatewayDir.File("rtl_fm");
  testsupport::WriteWholeFile(standIn,
                              "#!/bin/sh\ncd " + Quote(gatewayDir.path()) +
                                  "\nrun=$(( $(cat runs.txt 2>/dev/null || echo 0) + 1 ))\necho $run > runs.txt\n"
                                  "echo $$ > pid.txt\ncat run-$run.raw\nexec sleep 600\n");
  std::filesystem::permissions(standIn, std::filesystem::perms::owner_all);
  std::filesystem::rename(EncodeAudio(gatewayDir, "one", "A 1900000 3 10:00\nA 1234567 3 P1 RESCUE\n",
                                      "--baud 1200 --apart --noise 1500 --seed 4"),
                          gatewayDir.File("run-1.raw"));
  std::filesystem::rename(EncodeAudio(gatewayDir, "two", "A 1900000 3 10:15\n", "--baud 512 --noise 1500 --seed 4"),
                          gatewayDir.File("run-2.raw"));
  testsupport::WriteWholeFile(gatewayDir.File("gateway.conf"),
                              "CapcodeTable = " + gatewayDir.File("capcodes.conf") + "\nRtlFm = " + standIn +
                                  "\nKiosks = localhost\nRestartPauseMin = 1\n");
  testsupport::Process gateway({GATEWAY_PROGRAM, "--settings", gatewayDir.File("gateway.conf")}, {}, "",
                               gatewayDir.File("journal.txt"));

  // The page wakes the kiosk and is its second line, green; the heartbeat is not shown.
  ASSERT_TRUE(WaitUntil(
      [&] { return listShown("gateway-own-page.png") && CountPixels(shot, 950, 52, 280, 16, IsGreenText) > 50; }, 20000,
      100))
      << testsupport::ReadWholeFile(gatewayDir.File("journal.txt"));
  EXPECT_EQ(CountPixels(shot, 950, 54, 280, 880, IsWhitish), 0) << "a white line below the start-up line";
  const std::string journal = testsupport::ReadWholeFile(gatewayDir.File("journal.txt"));
  EXPECT_NE(journal.find("[MSC:HEARTBEAT:1900000] 10:00"), std::string::npos) << "the heartbeat was sent\n" << journal;

  // With the heartbeat switch on, the next heartbeat (from the receiver's next
  // run, after it was killed) is shown, white, below the green page.
  platform::SendDatagram("127.0.0.1", 15167, "CMD:TOGGLEHEARTBEAT");
  ASSERT_TRUE(WaitForText(gatewayDir.File("pid.txt"), "\n", 2000));
  ASSERT_EQ(kill(std::stoi(testsupport::ReadWholeFile(gatewayDir.File("pid.txt"))), SIGKILL), 0);
  EXPECT_TRUE(WaitUntil(
      [&] {
        shot = testsupport::TakeScreenshot(shots + "/gateway-heartbeat.png");
        return CountPixels(shot, 950, 60, 280, 880, IsWhitish) > 50;
      },
      20000, 100))
      << testsupport::ReadWholeFile(gatewayDir.File("journal.txt"));
  EXPECT_GT(CountPixels(shot, 950, 52, 280, 16, IsGreenText), 50);
  EXPECT_GT(CountPixels(shot, 955, 45, 270, 890, IsBlue), 200000) << "the kiosk stays awake";

  EXPECT_EQ(gateway.Stop(SIGTERM, 10000), 0);
  platform::SendDatagram("127.0.0.1", 15167, "CMD:TERMINATE");
  EXPECT_EQ(kiosk.WaitForExit(15000), 0);
  EXPECT_TRUE(WaitUntil([&] { return !kiosk.GroupAlive(); }, 10000, 100));
}

}  // namespace
