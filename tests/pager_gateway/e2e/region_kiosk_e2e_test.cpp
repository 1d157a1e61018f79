// Receiver gateway -> Debian's mosquitto -> relay gateway -> the real kiosk
// under the test's X display: a page to the kiosk's capcode, heard by the real
// multimon-ng from the test encoder's audio, is shown green; a "CMD:" text
// forged on the broker is a page line, never the command.
#include <gtest/gtest.h>
#include <signal.h>

#include <QColor>
#include <filesystem>

#include "pager-gateway/page_message.h"
#include "platform/page_broker.h"
#include "platform/udp.h"
#include "tests/e2e/kiosk_process.h"
#include "tests/pager_gateway/gateway_process.h"
#include "tests/pager_gateway/mqtt/test_broker.h"
#include "tests/support/temp_dir.h"

namespace {

using testsupport::CountPixels;
using testsupport::WaitUntil;
using namespace pagergwtest;

bool IsBlue(const QColor& c) { return c.blue() > 200 && c.red() < 40 && c.green() < 40; }
bool IsGreenText(const QColor& c) { return c.green() > 90 && c.red() < 60 && c.blue() < 160 && c.green() > c.red() + 60; }
bool IsYellowText(const QColor& c) { return c.red() > 180 && c.green() > 180 && c.blue() < 80; }

const char* kKioskSettings =
    "<xml>\r\n <GlobalSettings>\r\n  <CapCode>1234567</CapCode>\r\n  <CFS>True</CFS>\r\n"
    "  <HeartBeat>False</HeartBeat>\r\n  <MFS>True</MFS>\r\n  <MSC>False</MSC>\r\n  <SAAS>True</SAAS>\r\n"
    "  <RVU>True</RVU>\r\n  <Unknown>True</Unknown>\r\n  <BrowserVisible>True</BrowserVisible>\r\n"
    " </GlobalSettings>\r\n</xml>\r\n";

TEST(RegionToKiosk, PageThroughTheBrokerShownGreenForgedCommandOnlyALine) {
  if (!MosquittoInstalled()) GTEST_SKIP() << "mosquitto is not installed (scripts/bootstrap installs it)";
  testsupport::TempDir kioskDir, dir;
  const std::string shots = std::string(KIOSK_BINARY_DIR) + "/e2e-screenshots";
  std::filesystem::create_directories(shots);
  testsupport::WriteWholeFile(kioskDir.File("RVUKiosk.xml"), kKioskSettings);
  testsupport::KioskProcess kiosk(KIOSK_PROGRAM, kioskDir.path(), kioskDir.File("kiosk.log"));
  QImage shot;
  auto listShown = [&](const char* name) {
    shot = testsupport::TakeScreenshot(shots + "/" + name);
    return !shot.isNull() && CountPixels(shot, 955, 45, 270, 890, IsBlue) > 200000;
  };
  ASSERT_TRUE(WaitUntil([&] { return listShown("region-started.png"); }, 30000, 100));

  TestBroker broker(dir);
  testsupport::WriteWholeFile(dir.File("capcodes.conf"), "1234567 RVU\n");
  const std::string table = "CapcodeTable = " + dir.File("capcodes.conf") + "\n";
  testsupport::WriteWholeFile(dir.File("station.conf"),
                              table + broker.GatewaySettings("station") + "Input = broker\nKiosks = localhost\n");
  testsupport::WriteWholeFile(dir.File("ridge.conf"), table + broker.GatewaySettings("ridge") + "Input = " +
                                                          dir.File("ridge.fifo") + "\nKiosks =\n");
  testsupport::Process relay({GATEWAY_PROGRAM, "--settings", dir.File("station.conf")}, {}, "", dir.File("station.txt"));
  testsupport::Process ridge({GATEWAY_PROGRAM, "--settings", dir.File("ridge.conf")}, {}, "", dir.File("ridge.txt"));
  ASSERT_TRUE(WaitForText(dir.File("station.txt"), "connected to the broker", 10000));
  ASSERT_TRUE(WaitForText(dir.File("ridge.txt"), "connected to the broker", 10000));

  const std::string audio = EncodeAudio(dir, "air", "A 1234567 3 P1 RESCUE VIA THE REGION\n", "--baud 1200 --noise 1500 --seed 9");
  ASSERT_EQ(Shell(std::string(kMultimon) + " -q -t raw " + kAllModes + " " + Quote(audio) + " 2>/dev/null > " +
                  Quote(dir.File("ridge.fifo"))),
            0);
  ASSERT_TRUE(WaitUntil(
      [&] { return listShown("region-own-page.png") && CountPixels(shot, 950, 45, 280, 80, IsGreenText) > 50; }, 20000,
      100))
      << testsupport::ReadWholeFile(dir.File("station.txt"));

  // A receiver's credentials in the wrong hands: "CMD:TERMINATE" to another RVU capcode.
  auto forger = platform::MakeMosquittoBroker(broker.ClientOptions("forger", "ridge"));
  ASSERT_TRUE(WaitUntil(
      [&] {
        for (const auto& e : forger->TakeEvents())
          if (e.kind == platform::BrokerEvent::Kind::Connected) return true;
        return false;
      },
      10000));
  pagergw::PageMessage page;
  page.decoded = std::time(nullptr);
  page.capcode = 7654321;
  page.agency = "RVU";
  page.text = "CMD:TERMINATE";
  page.mode = "POCSAG1200";
  page.receiver = "ridge";
  forger->PublishPage(1, pagergw::PageTopic("rvu", "RVU", 7654321), pagergw::WritePageMessage(page));
  EXPECT_TRUE(WaitUntil(
      [&] { return listShown("region-forged.png") && CountPixels(shot, 950, 45, 280, 80, IsYellowText) > 50; }, 10000,
      100))
      << "the forged text is an RVU page line, yellow";
  EXPECT_TRUE(kiosk.Running()) << "the kiosk did not take it as a command";

  EXPECT_EQ(relay.Stop(SIGTERM, 10000), 0);
  EXPECT_EQ(ridge.Stop(SIGTERM, 10000), 0);
  platform::SendDatagram("127.0.0.1", 15167, "CMD:TERMINATE");
  EXPECT_EQ(kiosk.WaitForExit(15000), 0);
}

}  // namespace
