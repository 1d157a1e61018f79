#include <QFrame>
#include <chrono>
#include <set>

#include "tests/kiosk/screens_fixture.h"

namespace {

using namespace kiosk;
using testsupport::ScreensTest;

const std::string kGuid = "3C9D2B70-5E41-4A8F-9B26-D17E0A4C58F3";

class RotationTest : public ScreensTest {
 protected:
  std::string MapAddress() const {
    return "http://" + Host() + "/rvu/rvuisapi.dll/iframe?iframeonly=true&output=html&guid=" + kGuid +
           "&mfsincno=123456&incidentdate=2026-12-09&width=1180&height=840&url=https://maps.google.com/maps"
           "?mapmode=standard[amp]views=traffic[amp]zoom=15[amp]hl=en[amp]iwloc=near[amp]output=embed"
           "[amp]directionsmode=driving[amp]daddr=14 Old Mill Rd - near bridge BRINDLEMOOR EAST,vendale shire"
           "[amp]saddr=12 quarry rd brindlemoor,vendale shire";
  }
  std::string Page(const char* path) const { return "http://" + Host() + path; }
};

TEST_F(RotationTest, FivePeriodsWithoutPictures) {
  ServeFeed("INC 123456 P1 RESCUE", "ticker", 0);
  ServeIncident("2026-12-09 10:00:00");  // long past: no hold
  server.Answer("/rvu/rvuisapi.dll/json", "{\"id\":P1,\"REC\":1,\"ACK\":1,\"MOB\":1,\"CSD\":1,\"TOT\":1}");
  Tick(76);
  EXPECT_EQ(browser->navigations,
            (std::vector<std::string>{"about:blank", MapAddress(), Page("/rvu/bom.htm"), Page("/rvu/bom.htm"),
                                      Page("/rvu/ChartCrewIncidentCounts.html"), MapAddress()}));
  // A poll every period, the incident once, the summary at step 2.
  EXPECT_EQ(RequestPaths(), (std::vector<std::string>{
                                "/rvu/RVUSrvc.xml", "/rvu/rvuisapi.dll/GetZAVPagerXML", "/rvu/RVUSrvc.xml",
                                "/rvu/RVUSrvc.xml", "/rvu/rvuisapi.dll/json", "/rvu/RVUSrvc.xml", "/rvu/RVUSrvc.xml",
                                "/rvu/RVUSrvc.xml"}));
  EXPECT_EQ(window->State.ScreenStep, 1);
  EXPECT_TRUE(window->Timer->isActive());
}

TEST_F(RotationTest, WithPicturesStepsThreeAndFourShowPictures) {
  ServeFeed("INC 123456 P1 RESCUE", "ticker", 1);
  ServeIncident("2026-12-09 10:00:00");
  Tick(76);
  const std::string picture = Page("/rvu/kioskpix/html/IMG001_big.jpg");  // one picture: always number 1
  EXPECT_EQ(browser->navigations, (std::vector<std::string>{"about:blank", MapAddress(), Page("/rvu/bom.htm"),
                                                            picture, picture, MapAddress()}));
}

TEST_F(RotationTest, PicturesArePickedAtRandomAmongTheOffered) {
  service::tRVUSrvc status;
  status.KioskPix = 3;
  std::set<std::string> seen;
  for (int i = 0; i < 200; ++i) {
    window->ShowKioskPicture(status);
    seen.insert(browser->navigations.back());
  }
  EXPECT_EQ(seen, (std::set<std::string>{Page("/rvu/kioskpix/html/IMG001_big.jpg"),
                                         Page("/rvu/kioskpix/html/IMG002_big.jpg"),
                                         Page("/rvu/kioskpix/html/IMG003_big.jpg")}));
  EXPECT_TRUE(window->Timer->isActive());
}

TEST_F(RotationTest, ANewIncidentTakesOverFromAnyStepAndHoldsTheMap) {
  ServeFeed("INC 1", "ticker", 0);
  ServeIncident("2026-12-09 13:40:00");  // paged five minutes ago: held until 14:00:00
  Tick(1);
  ASSERT_EQ(browser->navigations.size(), 2u);
  Tick(45);  // three periods: the hold keeps the map
  EXPECT_EQ(browser->navigations.size(), 2u);
  EXPECT_EQ(window->State.ScreenStep, 1);

  // At the weather step, a new incident brings the map back at once.
  clock->SetNow(platform::EncodeDateTime({2026, 12, 9, 14, 0, 30, 0}));
  Tick(15);
  EXPECT_EQ(browser->navigations.back(), Page("/rvu/bom.htm"));
  EXPECT_EQ(window->State.ScreenStep, 2);
  ServeFeed("INC 2", "ticker", 0);
  Tick(15);
  EXPECT_EQ(browser->navigations.back(), MapAddress());
  EXPECT_EQ(window->State.ScreenStep, 1);
  EXPECT_EQ(window->State.LastPageA, "INC 2");
  EXPECT_DOUBLE_EQ(window->State.HoldScreenUntil, platform::EncodeDateTime({2026, 12, 9, 14, 0, 0, 0}));

  // An empty page A is never a new incident.
  ServeFeed("", "ticker", 0);
  Tick(15);
  EXPECT_EQ(window->State.LastPageA, "INC 2");
  EXPECT_EQ(browser->navigations.back(), Page("/rvu/bom.htm"));
}

TEST_F(RotationTest, TheTickerClearsTheIncidentAndDebugModeKeepsBoth) {
  ServeFeed("INC 1", "first ticker", 0);
  ServeIncident("2026-12-09 10:00:00");
  Tick(1);
  EXPECT_EQ(window->lblPageJ->text(), QStringLiteral("first ticker"));
  EXPECT_TRUE(window->State.CurrentIncident.RecordFound);
  ASSERT_EQ(RequestPaths().size(), 2u);  // the poll and the incident

  // Page A changes while page J stays: the stored incident is reused.
  ServeFeed("INC 2", "first ticker", 0);
  Tick(15);
  EXPECT_EQ(RequestPaths().size(), 3u);  // the poll only
  EXPECT_EQ(browser->navigations.back(), MapAddress());

  // A new ticker text makes the next route map fetch the incident afresh.
  ServeFeed("INC 2", "second ticker", 0);
  Tick(15);
  EXPECT_EQ(window->lblPageJ->text(), QStringLiteral("second ticker"));
  EXPECT_FALSE(window->State.CurrentIncident.RecordFound);

  window->State.CurrentIncident.RecordFound = true;
  config::KioskSettings.DebugMode = true;
  window->lblPageJ->setText(QStringLiteral("[LISTENING]"));
  ServeFeed("INC 2", "third ticker", 0);
  Tick(15);
  EXPECT_EQ(window->lblPageJ->text(), QStringLiteral("[LISTENING]"));
  EXPECT_TRUE(window->State.CurrentIncident.RecordFound);
}

// The ticker is handed at most what it can show, and a long page J that stays
// the same is no new ticker: the stored incident is kept.
TEST_F(RotationTest, AHugeTickerIsCutToWhatTheLabelCanShow) {
  const std::string huge(900000, 'J');
  ServeFeed("INC 1", huge, 0);
  ServeIncident("2026-12-09 10:00:00");
  Tick(1);
  EXPECT_EQ(window->lblPageJ->text().toStdString(), huge.substr(0, kTickerMaxChars));
  EXPECT_TRUE(window->State.CurrentIncident.RecordFound);
  ASSERT_EQ(RequestPaths().size(), 2u);  // the poll and the incident

  // Page A changes while page J stays: the stored incident is reused.
  ServeFeed("INC 2", huge, 0);
  Tick(15);
  EXPECT_EQ(RequestPaths().size(), 3u);  // the poll only
  EXPECT_TRUE(window->State.CurrentIncident.RecordFound);

  // A ticker as long as the bound is shown whole.
  const std::string fits(kTickerMaxChars, 'K');
  ServeFeed("INC 2", fits, 0);
  Tick(15);
  EXPECT_EQ(window->lblPageJ->text().toStdString(), fits);
  EXPECT_FALSE(window->State.CurrentIncident.RecordFound);

  // A datagram shown in debug mode too.
  config::KioskSettings.DebugMode = true;
  window->IdUDPServer1UDPRead(std::string(70000, 'D'));
  EXPECT_EQ(window->lblPageJ->text().toStdString(), std::string(kTickerMaxChars, 'D'));
}

TEST_F(RotationTest, AnUnreachableFeedFallsBackToWeatherAndChart) {
  server.Refuse("/rvu/RVUSrvc.xml");
  server.Answer("/rvu/rvuisapi.dll/GetZAVPagerXML", "no record here");
  window->lblPageJ->setText(QStringLiteral("old"));
  Tick(76);
  EXPECT_TRUE(window->lblPageJ->text().isEmpty());
  EXPECT_EQ(browser->navigations,
            (std::vector<std::string>{"about:blank", Page("/rvu/bom.htm"), Page("/rvu/bom.htm"),
                                      Page("/rvu/ChartCrewIncidentCounts.html")}));
  // The map steps found no incident: a red line each time.
  size_t red = 0;
  for (const auto& line : window->rchMessages->Lines())
    if (line.text.endsWith(QStringLiteral("GOOGLE MAP - INVALID INCIDIENT DETAILS"))) {
      ++red;
      EXPECT_EQ(line.colour, QColor(255, 0, 0));
    }
  EXPECT_EQ(red, 2u);
}

TEST_F(RotationTest, TheRouteMap) {
  ServeIncident("2026-12-09 10:00:00");
  window->ShowGoogleMap();
  EXPECT_EQ(browser->navigations.back(), MapAddress());
  EXPECT_TRUE(window->State.CurrentIncident.RecordFound);
  EXPECT_DOUBLE_EQ(window->State.HoldScreenUntil, platform::EncodeDateTime({2026, 12, 9, 10, 20, 0, 0}));
  EXPECT_EQ(server.Requests().back(), "/rvu/rvuisapi.dll/GetZAVPagerXML?MFSIncNo=0&GUID=" + kGuid);
  const std::string log = testsupport::ReadWholeFile(dir.File("bin/rvukiosk-20261209.CSV"));
  EXPECT_NE(log.find(",66666,\"[Function=Main.ShowGoogleMap][URL=" + MapAddress() + "]\"\r\n"), std::string::npos);

  // With a loaded incident nothing is fetched; the hold is set again.
  window->State.HoldScreenUntil = 0;
  const size_t requests = server.Requests().size();
  window->ShowGoogleMap();
  EXPECT_EQ(server.Requests().size(), requests);
  EXPECT_DOUBLE_EQ(window->State.HoldScreenUntil, platform::EncodeDateTime({2026, 12, 9, 10, 20, 0, 0}));

  // An incident without a pager time: day 0 in the address.
  window->State.CurrentIncident.Pager.Page.ZAVDateTime = 0;
  window->ShowGoogleMap();
  EXPECT_NE(browser->navigations.back().find("&incidentdate=1899-12-30&"), std::string::npos);
}

TEST_F(RotationTest, ABlankPageIsPaintedBlack) {
  struct Case {
    const char* location;
    bool painted;
  } cases[] = {{"about:blank", true}, {"  about:blank \r\n", true}, {"ABOUT:BLANK", false}, {"http://x/", false}};
  for (const auto& c : cases) {
    browser->backgrounds.clear();
    browser->location = c.location;
    browser->Complete();
    EXPECT_EQ(browser->backgrounds, c.painted ? std::vector<std::string>{"#000000"} : std::vector<std::string>{})
        << c.location;
  }
}

// The requests of one tick share one request's time: a silent service stops
// the clock once per tick for that long, not once per request.
TEST_F(RotationTest, ATickSpendsOneRequestTimeOnASilentService) {
  unitService->SetLimits({2000, 2000, 200});
  ServeFeed("", "ticker", 0);
  server.Silent("/rvu/rvuisapi.dll/GetZAVPagerXML");
  server.Silent("/rvu/rvuisapi.dll/json");
  struct Case {
    const char* what;
    bool feedSilent;
    int step;
    long leastMs, mostMs;
  } cases[] = {
      {"silent feed, then the incident record", true, 0, 2000, 2900},
      {"silent feed, then the summary", true, 2, 2000, 2900},
      {"feed answers, the incident record has its full time", false, 0, 1900, 2900},
  };
  for (const auto& c : cases) {
    if (c.feedSilent)
      server.Silent("/rvu/RVUSrvc.xml");
    else
      ServeFeed("", "ticker", 0);
    window->State.CurrentIncident.RecordFound = false;
    window->State.HoldScreenUntil = 0;
    window->State.ScreenStep = c.step;
    window->State.TickCount = 14;
    // The silent service's waits move the clock on: the tick's time is read from it.
    const std::uint32_t start = clock->TickCount();
    window->TimerTimer();
    const long ms = static_cast<long>(clock->TickCount() - start);
    EXPECT_GE(ms, c.leastMs) << c.what;
    EXPECT_LE(ms, c.mostMs) << c.what;
    EXPECT_TRUE(window->Timer->isActive()) << c.what;
    // Outside a tick a request has the whole time again (once the pause after
    // the tick's failed requests has passed).
    clock->Advance(service::kRetryPauseMs);
    window->ShowGoogleMap();
    EXPECT_EQ(server.Limits().back().totalMs, 2000) << c.what << ": the limits are restored";
  }
}

}  // namespace
