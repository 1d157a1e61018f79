#include "service/unit_service.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>

#include "diag/log.h"
#include "diag/text.h"
#include "service/rvu_settings.h"
#include "tests/support/fake_transport.h"
#include "tests/support/kiosk_folders.h"

namespace {

using namespace service;

constexpr const char* kIncidentPath = "/rvu/rvuisapi.dll/GetZAVPagerXML";
constexpr const char* kFeedPath = "/rvu/RVUSrvc.xml";

// The service on a fake transport whose host is the web host; the feed host is
// the web host too unless a test names another.
class RetryPauseTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ServiceSettings = {};
    ServiceSettings.WWWHost = transport->host();
    ServiceSettings.URI = kDefaultURI;
    diag::Globals = {};
    diag::Globals.Log.SyslogLevel = 7;
    Make(transport->host());
  }
  void TearDown() override {
    ServiceSettings = {};
    diag::Globals = {};
  }
  void Make(const std::string& feedHost) {
    if (owned) service = std::make_unique<WebUnitService>(std::move(owned), feedHost, RequestTimeLimits{2000, 2000});
  }
  size_t Requests(const std::string& path) const {
    size_t count = 0;
    for (const auto& r : transport->Requests()) count += r.rfind(path, 0) == 0 ? 1 : 0;
    return count;
  }
  // Asks for the latest incident outside a tick; true when the request went out.
  bool AskOutsideTick() {
    const size_t before = Requests(kIncidentPath);
    tIncidentRec request;
    request.RC = 77;
    request.RecordFound = true;
    const tIncidentRec record = service->IncidentRecord(request);
    const bool sent = Requests(kIncidentPath) > before;
    if (!sent) {
      // Left out: the request record, with no record found.
      EXPECT_FALSE(record.RecordFound);
      EXPECT_EQ(record.RC, 77);
    }
    return sent;
  }
  void FailIncidents() { transport->Refuse(kIncidentPath); }
  void ServeIncidents() {
    transport->Answer(kIncidentPath, testsupport::ReadWholeFile(std::string(KIOSK_SOURCE_DIR) +
                                                                "/tests/service/fixtures/incident_found.txt"));
  }

  testsupport::KioskFolders folders;
  std::unique_ptr<testsupport::FakeTransport> owned = std::make_unique<testsupport::FakeTransport>();
  testsupport::FakeTransport* transport = owned.get();
  std::unique_ptr<WebUnitService> service;
};

TEST(RetryPause, TheBound) {
  EXPECT_TRUE(MayRequestOutsideTick(std::nullopt));
  EXPECT_FALSE(MayRequestOutsideTick(0));
  EXPECT_FALSE(MayRequestOutsideTick(kRetryPauseMs - 1));
  EXPECT_TRUE(MayRequestOutsideTick(kRetryPauseMs));
}

// However the request failed, the next one outside a tick waits the pause out,
// measured from the end of the failed request on the tick count (which wraps).
TEST_F(RetryPauseTest, AfterAFailureRequestsOutsideATickWaitThePause) {
  struct Case {
    const char* what;
    void (testsupport::FakeTransport::*fail)(const std::string&);
    std::uint32_t tickCount;
  } cases[] = {
      {"refused", &testsupport::FakeTransport::Refuse, 1000},
      {"silent: the pause starts when the time limit ran out", &testsupport::FakeTransport::Silent, 1000},
      {"refused, the tick count wrapping in the pause", &testsupport::FakeTransport::Refuse, 0xFFFFFFFFu - 5000},
  };
  for (const auto& c : cases) {
    folders.clock->SetTickCount(c.tickCount);
    (transport->*c.fail)(kIncidentPath);
    EXPECT_TRUE(AskOutsideTick()) << c.what;
    EXPECT_FALSE(AskOutsideTick()) << c.what;
    folders.clock->Advance(kRetryPauseMs - 1);
    EXPECT_FALSE(AskOutsideTick()) << c.what;
    folders.clock->Advance(1);
    ServeIncidents();
    EXPECT_TRUE(AskOutsideTick()) << c.what;  // and answered: the pause is over
    EXPECT_TRUE(AskOutsideTick()) << c.what;
  }
  // An answer with an error status is a failure too.
  transport->Answer(kIncidentPath, "", 500);
  EXPECT_TRUE(AskOutsideTick());
  EXPECT_FALSE(AskOutsideTick());
}

TEST_F(RetryPauseTest, ATicksRequestsAlwaysGoOutAndTheirOutcomeCounts) {
  FailIncidents();
  EXPECT_TRUE(AskOutsideTick());
  service->TickStarted();
  EXPECT_TRUE(AskOutsideTick()) << "a tick's own request is never left out";
  service->TickEnded();
  EXPECT_FALSE(AskOutsideTick());

  // A failed feed poll of the tick (on the web host) starts the pause anew.
  folders.clock->Advance(kRetryPauseMs);
  transport->Refuse(kFeedPath);
  service->TickStarted();
  service->StatusPoll();
  service->TickEnded();
  EXPECT_FALSE(AskOutsideTick());

  // An answered poll ends it at once, even when its content is no use.
  transport->Answer(kFeedPath, "not a feed");
  service->TickStarted();
  service->StatusPoll();
  service->TickEnded();
  EXPECT_TRUE(AskOutsideTick());
}

// A feed host of its own says nothing about the web host.
TEST_F(RetryPauseTest, OnlyTheWebHostsFailuresCount) {
  owned = std::make_unique<testsupport::FakeTransport>();
  transport = owned.get();
  ServiceSettings.WWWHost = transport->host();
  Make("feed.other:81");  // refused: the fake knows only the web host
  ServeIncidents();
  service->TickStarted();
  EXPECT_FALSE(service->StatusPoll().Success);
  service->TickEnded();
  EXPECT_TRUE(AskOutsideTick());
}

TEST_F(RetryPauseTest, LeftOutRequestsAreLoggedOnceWithTheirCount) {
  FailIncidents();
  AskOutsideTick();
  for (int i = 0; i < 3; ++i) EXPECT_FALSE(AskOutsideTick());
  folders.clock->Advance(kRetryPauseMs);
  EXPECT_TRUE(AskOutsideTick());
  EXPECT_FALSE(AskOutsideTick());
  folders.clock->Advance(kRetryPauseMs);
  EXPECT_TRUE(AskOutsideTick());
  const std::string log = testsupport::ReadWholeFile(folders.LogFile());
  const std::string line = "[Function=RVULib.GetIncidentRecFromWeb][LeftOut=3]";
  ASSERT_NE(log.find(line), std::string::npos) << log;
  EXPECT_EQ(log.find(line, log.find(line) + 1), std::string::npos);
  EXPECT_NE(log.find("[LeftOut=1]"), std::string::npos) << log;
}

}  // namespace

namespace {

// Each request is counted once by its kind and result, with its time; a
// request left out is not a request.
TEST_F(RetryPauseTest, RequestsAreCountedByKindAndResultWithTheirTime) {
  const std::string feed = testsupport::ReadWholeFile(std::string(KIOSK_SOURCE_DIR) + "/tests/service/fixtures/feed_full.xml");
  struct Case {
    const char* what;
    std::function<void(testsupport::FakeTransport&)> serve;
    RequestResult result;
    double seconds;  // as the clock moved during the request
  } cases[] = {
      {"answered", [&](auto& t) { t.Answer(kFeedPath, feed); }, RequestResult::Ok, 0},
      {"refused", [](auto& t) { t.Refuse(kFeedPath); }, RequestResult::Refused, 0},
      {"silent", [](auto& t) { t.Silent(kFeedPath); }, RequestResult::TimedOut, 2},
      {"status 500", [](auto& t) { t.Answer(kFeedPath, "", 500); }, RequestResult::HttpError, 0},
      {"no feed in the answer", [](auto& t) { t.Answer(kFeedPath, "not a feed"); }, RequestResult::Unreadable, 0},
  };
  for (const auto& c : cases) {
    const RequestCounts before = service->Counts();
    c.serve(*transport);
    service->TickStarted();
    service->StatusPoll();
    service->TickEnded();
    const RequestCounts after = service->Counts();
    for (int r = 0; r < kRequestResults; ++r) {
      const auto result = static_cast<RequestResult>(r);
      EXPECT_EQ(after.Count(RequestKind::StatusPoll, result) - before.Count(RequestKind::StatusPoll, result),
                result == c.result ? 1u : 0u)
          << c.what << ": " << NameOf(result);
    }
    EXPECT_EQ(after.lastFailed[0], c.result != RequestResult::Ok) << c.what;
    const auto& h = after.seconds[static_cast<size_t>(RequestKind::StatusPoll)];
    EXPECT_EQ(h.count, before.seconds[0].count + 1) << c.what;
    EXPECT_DOUBLE_EQ(h.sum - before.seconds[0].sum, c.seconds) << c.what;
  }

  // The incident and the summary have counts of their own; a request left out
  // after a failure is not counted.
  FailIncidents();
  EXPECT_TRUE(AskOutsideTick());
  EXPECT_FALSE(AskOutsideTick());
  folders.clock->Advance(kRetryPauseMs);
  ServeIncidents();
  EXPECT_TRUE(AskOutsideTick());
  service->TaskSummary("JUX", "1");  // unknown path: 404
  const RequestCounts counts = service->Counts();
  EXPECT_EQ(counts.Count(RequestKind::Incident, RequestResult::Refused), 1u);
  EXPECT_EQ(counts.Count(RequestKind::Incident, RequestResult::Ok), 1u);
  EXPECT_EQ(counts.seconds[static_cast<size_t>(RequestKind::Incident)].count, 2u);
  EXPECT_EQ(counts.Count(RequestKind::Summary, RequestResult::HttpError), 1u);
  EXPECT_EQ(counts.Count(RequestKind::StatusPoll, RequestResult::Ok), 1u);
}

TEST(RequestResult, FromTheTransportsErrorClassOrTheReader) {
  EXPECT_EQ(ResultOf("", true), RequestResult::Ok);
  EXPECT_EQ(ResultOf("", false), RequestResult::Unreadable);
  EXPECT_EQ(ResultOf("ESocketError", true), RequestResult::Refused);
  EXPECT_EQ(ResultOf("ETimeoutError", true), RequestResult::TimedOut);
  EXPECT_EQ(ResultOf("EHttpProtocolError", true), RequestResult::HttpError);
  EXPECT_EQ(ResultOf("std::bad_alloc", true), RequestResult::Unreadable);
}

}  // namespace
