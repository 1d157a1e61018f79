// The kiosk's own readers against the simulated service: the feed and the
// incident record agree, and a fault of the service is a reported failure.
#include <filesystem>

#include "diag/log.h"
#include "service/endpoints.h"
#include "service/incident.h"
#include "service/rvu_settings.h"
#include "service/rvu_srvc.h"
#include "service/web_request.h"
#include "tests/sim/sim_fixture.h"
#include "tests/support/temp_dir.h"

namespace {

class ReadersAgainstTheSimulator : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::create_directory(dir.File("bin"));
    diag::Globals = {};
    const std::string host = "127.0.0.1:" + std::to_string(service->Port());
    service::SetFeedHostForTesting(host);
    service::ServiceSettings = {};
    service::ServiceSettings.WWWHost = host;
    service::ServiceSettings.URI = "/rvu/rvuisapi.dll";
    service::gRequestTimeLimits = {2000, 2000};
  }
  void TearDown() override {
    service::SetFeedHostForTesting("");
    service::gRequestTimeLimits = {};
    service::ServiceSettings = {};
    diag::Globals = {};
  }
  std::unique_ptr<sim::UnitServiceSim> service = simtest::StartSim();
  testsupport::TempDir dir;
  testsupport::ScopedCwd cwd{dir.path()};
  testsupport::ScopedProgramPath program{dir.File("bin/rvukiosk")};
};

TEST_F(ReadersAgainstTheSimulator, TheFeedAndTheIncidentAgree) {
  service::tRVUSrvc feed;
  service::GetRVUSrvcXML(feed);
  ASSERT_TRUE(feed.Success);
  EXPECT_EQ(feed.KioskPix, 3);
  EXPECT_NE(feed.LEDDisplay.PageA().find(std::to_string(feed.LastPage.MFSIncNo)), std::string::npos);

  const service::tIncidentRec incident = service::GetIncidentRecFromWeb({});
  ASSERT_TRUE(incident.RecordFound) << incident.Result;
  EXPECT_EQ(incident.RC, 0);
  EXPECT_EQ(incident.Pager.Page.MFSIncNo, feed.LastPage.MFSIncNo);
  EXPECT_EQ(incident.Pager.Page.RVUUnit, feed.LastPage.RVUUnit);
  EXPECT_EQ(incident.Pager.Page.Priority, feed.LastPage.Priority);
  EXPECT_EQ(incident.Pager.Page.TaskType, feed.LastPage.TaskType);
  EXPECT_NE(feed.LEDDisplay.PageA().find(incident.Pager.Page.Suburb), std::string::npos);

  // A new incident changes page A and is the one the record request returns.
  const int raised = service->RaiseIncident();
  service::tRVUSrvc next;
  service::GetRVUSrvcXML(next);
  EXPECT_NE(next.LEDDisplay.PageA(), feed.LEDDisplay.PageA());
  EXPECT_EQ(service::GetIncidentRecFromWeb({}).Pager.Page.MFSIncNo, raised);
}

TEST_F(ReadersAgainstTheSimulator, ServiceFaultsAreReportedFailures) {
  struct Case {
    sim::FaultMode mode;
    std::int32_t incidentRC;
  } cases[] = {{sim::FaultMode::Refuse, -400}, {sim::FaultMode::Silent, -400}, {sim::FaultMode::Status, -400},
               {sim::FaultMode::Garbage, 0}, {sim::FaultMode::Truncated, -400}};
  for (const auto& c : cases) {
    service->SetFault(sim::Endpoint::All, {c.mode, 1, 500});
    service::tRVUSrvc feed;
    service::GetRVUSrvcXML(feed);
    EXPECT_FALSE(feed.Success) << sim::NameOf(c.mode);
    const service::tIncidentRec incident = service::GetIncidentRecFromWeb({});
    EXPECT_FALSE(incident.RecordFound) << sim::NameOf(c.mode);
    if (c.incidentRC != 0) {
      EXPECT_EQ(incident.RC, c.incidentRC) << sim::NameOf(c.mode);
    }
  }
  service->ClearFaults();
  service::tRVUSrvc feed;
  service::GetRVUSrvcXML(feed);
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
  const service::tIncidentRec incident = service::GetIncidentRecFromWeb(request);
  ASSERT_TRUE(incident.RecordFound) << incident.Result;
  EXPECT_EQ(incident.Pager.Page.MFSIncNo, raised);
  EXPECT_EQ(incident.Pager.Page.RVUUnit, "JUX 2");
  const auto requests = spaced->Requests();
  ASSERT_FALSE(requests.empty());
  EXPECT_EQ(requests.back(), "GET /rvu/rvu%20isapi.dll/GetZAVPagerXML?MFSIncNo=" + std::to_string(raised) +
                                 "&RVUUnit=JUX%202&GUID=" + simtest::kGuid);

  // The unit was read: another unit finds no record.
  request.Pager.Page.RVUUnit = "JUX";
  EXPECT_FALSE(service::GetIncidentRecFromWeb(request).RecordFound);
}

}  // namespace
