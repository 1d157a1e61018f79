// The kiosk's own readers against the simulated service: the feed and the
// incident record agree, and a fault of the service is a reported failure.
#include <chrono>
#include <filesystem>

#include "diag/log.h"
#include "service/endpoints.h"
#include "service/incident.h"
#include "service/rvu_settings.h"
#include "service/rvu_srvc.h"
#include "service/http_transport.h"
#include "service/unit_service.h"
#include "tests/sim/sim_fixture.h"
#include "tests/support/http_server.h"
#include "tests/support/kiosk_folders.h"
#include "tests/support/temp_dir.h"

namespace {

class ReadersAgainstTheSimulator : public ::testing::Test {
 protected:
  void SetUp() override {
    diag::Globals = {};
    service::ServiceSettings = {};
    service::ServiceSettings.WWWHost = host;
    service::ServiceSettings.URI = "/rvu/rvuisapi.dll";
  }
  void TearDown() override {
    service::ServiceSettings = {};
    diag::Globals = {};
  }
  std::unique_ptr<sim::UnitServiceSim> service = simtest::StartSim();
  const std::string host = "127.0.0.1:" + std::to_string(service->Port());
  // The program's unit service over HTTP, aimed at the simulator, with short limits.
  service::WebUnitService web{std::make_unique<service::HttpTransport>(), host, {2000, 2000}};
  testsupport::KioskFolders folders;
};

TEST_F(ReadersAgainstTheSimulator, TheFeedAndTheIncidentAgree) {
  const service::tRVUSrvc feed = web.StatusPoll();
  ASSERT_TRUE(feed.Success);
  EXPECT_EQ(feed.KioskPix, 3);
  EXPECT_NE(feed.LEDDisplay.PageA().find(std::to_string(feed.LastPage.MFSIncNo)), std::string::npos);

  const service::tIncidentRec incident = web.IncidentRecord(service::tIncidentRec{});
  ASSERT_TRUE(incident.RecordFound) << incident.Result;
  EXPECT_EQ(incident.RC, 0);
  EXPECT_EQ(incident.Pager.Page.MFSIncNo, feed.LastPage.MFSIncNo);
  EXPECT_EQ(incident.Pager.Page.RVUUnit, feed.LastPage.RVUUnit);
  EXPECT_EQ(incident.Pager.Page.Priority, feed.LastPage.Priority);
  EXPECT_EQ(incident.Pager.Page.TaskType, feed.LastPage.TaskType);
  EXPECT_NE(feed.LEDDisplay.PageA().find(incident.Pager.Page.Suburb), std::string::npos);

  // A new incident changes page A and is the one the record request returns.
  const int raised = service->RaiseIncident();
  const service::tRVUSrvc next = web.StatusPoll();
  EXPECT_NE(next.LEDDisplay.PageA(), feed.LEDDisplay.PageA());
  EXPECT_EQ(web.IncidentRecord(service::tIncidentRec{}).Pager.Page.MFSIncNo, raised);
}

TEST_F(ReadersAgainstTheSimulator, ServiceFaultsAreReportedFailures) {
  struct Case {
    sim::FaultMode mode;
    std::int32_t incidentRC;
  } cases[] = {{sim::FaultMode::Refuse, -400}, {sim::FaultMode::Silent, -400}, {sim::FaultMode::Status, -400},
               {sim::FaultMode::Garbage, 0}, {sim::FaultMode::Truncated, -400}};
  for (const auto& c : cases) {
    service->SetFault(sim::Endpoint::All, {c.mode, 1, 500});
    const service::tRVUSrvc feed = web.StatusPoll();
    EXPECT_FALSE(feed.Success) << sim::NameOf(c.mode);
    folders.clock->Advance(service::kRetryPauseMs);  // the failed poll holds back the next request for so long
    const service::tIncidentRec incident = web.IncidentRecord(service::tIncidentRec{});
    EXPECT_FALSE(incident.RecordFound) << sim::NameOf(c.mode);
    if (c.incidentRC != 0) {
      EXPECT_EQ(incident.RC, c.incidentRC) << sim::NameOf(c.mode);
    }
  }
  service->ClearFaults();
  const service::tRVUSrvc feed = web.StatusPoll();
  EXPECT_TRUE(feed.Success);
}

// The request path carries the unit and the service path as they are; a blank
// in either travels as %20 and the service reads it back as a blank.
TEST_F(ReadersAgainstTheSimulator, AnIncidentRequestWithBlanksReachesTheService) {
  sim::Options options = simtest::TestOptions();
  options.uri = "/rvu/rvu isapi.dll";
  const auto spaced = simtest::StartSim(options);
  sim::IncidentFields fields;
  fields.unit = "JUX 2";
  const int raised = spaced->RaiseIncident(fields);
  service::ServiceSettings.WWWHost = "127.0.0.1:" + std::to_string(spaced->Port());
  service::ServiceSettings.URI = options.uri;

  service::tIncidentRec request;
  request.Pager.Page.MFSIncNo = raised;
  request.Pager.Page.RVUUnit = "JUX 2";
  const service::tIncidentRec incident = web.IncidentRecord(request);
  ASSERT_TRUE(incident.RecordFound) << incident.Result;
  EXPECT_EQ(incident.Pager.Page.MFSIncNo, raised);
  EXPECT_EQ(incident.Pager.Page.RVUUnit, "JUX 2");
  const auto requests = spaced->Requests();
  ASSERT_FALSE(requests.empty());
  EXPECT_EQ(requests.back(), "GET /rvu/rvu%20isapi.dll/GetZAVPagerXML?MFSIncNo=" + std::to_string(raised) +
                                 "&RVUUnit=JUX%202&GUID=" + simtest::kGuid);

  // The unit was read: another unit finds no record.
  request.Pager.Page.RVUUnit = "JUX";
  EXPECT_FALSE(web.IncidentRecord(request).RecordFound);
}

// Over real HTTP and in real time: the requests of one tick share one
// request's time, so a silent service holds a tick for that long, not for each
// request's; outside a tick a request has its whole time.
TEST(WebUnitServiceOverHttp, ATickSpendsOneRequestTimeOnASilentService) {
  testsupport::SilentServer silent;
  service::ServiceSettings = {};
  service::ServiceSettings.WWWHost = silent.host();
  service::ServiceSettings.URI = "/rvu/rvuisapi.dll";
  testsupport::KioskFolders folders;
  platform::SetClock(nullptr);  // real time: the silent service's waits are measured
  service::WebUnitService web{std::make_unique<service::HttpTransport>(), silent.host(), {2000, 2000, 200}};
  using Clock = std::chrono::steady_clock;
  auto millisSince = [](Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
  };
  auto start = Clock::now();
  web.TickStarted();
  EXPECT_FALSE(web.StatusPoll().Success);
  EXPECT_FALSE(web.IncidentRecord(service::tIncidentRec{}).RecordFound);
  EXPECT_FALSE(web.TaskSummary("JUX", "1").Success);
  web.TickEnded();
  EXPECT_GE(millisSince(start), 2000);
  EXPECT_LE(millisSince(start), 2900);  // the poll's time and twice the least
  // Outside a tick, on a service that has not failed just now (this one holds
  // its requests back for a while after the tick's failures).
  service::WebUnitService fresh{std::make_unique<service::HttpTransport>(), silent.host(), {2000, 2000, 200}};
  start = Clock::now();
  EXPECT_FALSE(fresh.IncidentRecord(service::tIncidentRec{}).RecordFound);
  EXPECT_GE(millisSince(start), 1900);
  service::ServiceSettings = {};
}

}  // namespace
