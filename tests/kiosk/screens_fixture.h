#pragma once

#include <QTimer>

#include "diag/text.h"
#include "service/endpoints.h"
#include "tests/kiosk/kiosk_fixture.h"

namespace testsupport {

// A kiosk whose web host and status feed are the fake service.
class ScreensTest : public KioskTest {
 protected:
  void SetUp() override {
    KioskTest::SetUp();
    service::ServiceSettings.WWWHost = server.host();
    diag::Globals.Log.SyslogLevel = 7;
    diag::Globals.Log.DaysOfLogsFilesRetained = 0;
  }

  static std::string Feed(const std::string& pageA, const std::string& pageJ, int pix) {
    return "<xml><RVUSrvc><LEDDisplay><PageA>" + pageA + "</PageA><PageJ>" + pageJ +
           "</PageJ></LEDDisplay><LastGRNMFSIncNo>123456</LastGRNMFSIncNo><LastRVUUnit>JUX</LastRVUUnit>"
           "<LastPriority>1</LastPriority><LastTaskType>RESCUE</LastTaskType><KioskPix>" +
           std::to_string(pix) + "</KioskPix></RVUSrvc></xml>";
  }
  void ServeFeed(const std::string& pageA, const std::string& pageJ, int pix) {
    server.Answer("/rvu/RVUSrvc.xml", Feed(pageA, pageJ, pix));
  }
  // The incident of the fixture answer, paged at a given time ("YYYY-MM-DD HH:MM:SS").
  void ServeIncident(const std::string& pagerTime) {
    std::string answer =
        ReadWholeFile(std::string(KIOSK_SOURCE_DIR) + "/tests/service/fixtures/incident_found.txt");
    answer = diag::ReplaceAll(answer, "<ZAVDateTime>2026-12-09 13:32:40</ZAVDateTime>",
                              "<ZAVDateTime>" + pagerTime + "</ZAVDateTime>");
    server.Answer("/rvu/rvuisapi.dll/GetZAVPagerXML", answer);
  }

  // One second passes and the timer ticks.
  void Tick(int count = 1) {
    for (int i = 0; i < count; ++i) {
      clock->Advance(1000);
      window->TimerTimer();
    }
  }

  // The path of each request the server saw, without its query.
  std::vector<std::string> RequestPaths() const {
    std::vector<std::string> paths;
    for (const auto& r : server.Requests()) paths.push_back(r.substr(0, r.find('?')));
    return paths;
  }

  std::string Host() const { return server.host(); }

  FakeTransport& server = *transport;
};

}  // namespace testsupport
