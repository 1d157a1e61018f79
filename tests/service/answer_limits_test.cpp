// Each reader of the unit web service takes an answer up to its own limit and
// fails on a longer one as on any unreadable answer; what an over-long value
// leaves in the log and the reports stays within the outside-text bound.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "diag/log.h"
#include "diag/text.h"
#include "service/http_transport.h"
#include "service/incident.h"
#include "service/rvu_settings.h"
#include "service/rvu_srvc.h"
#include "service/task_summary.h"
#include "tests/support/http_server.h"
#include "tests/support/kiosk_folders.h"
#include "tests/support/temp_dir.h"

namespace {

using namespace service;
using testsupport::ReadWholeFile;

std::string Fixture(const char* name) {
  return ReadWholeFile(std::string(KIOSK_SOURCE_DIR) + "/tests/service/fixtures/" + name);
}

// A good answer padded with trailing blanks to exactly `size` bytes.
std::string PaddedTo(std::string answer, size_t size) {
  answer.resize(size, ' ');
  return answer;
}

class AnswerLimitTest : public ::testing::Test {
 protected:
  void SetUp() override {
    diag::Globals = diag::tGlobalSettings{};
    diag::Globals.Log.SyslogLevel = 7;
    diag::Globals.ProgramVersion = "1.0.0.1";
    ServiceSettings = tRVUSettings{};
    ServiceSettings.WWWHost = server.host();
    ServiceSettings.URI = "/rvu/rvuisapi.dll";
  }
  void TearDown() override {
    ServiceSettings = tRVUSettings{};
    diag::Globals = diag::tGlobalSettings{};
  }

  std::string LogText() const {
    return std::filesystem::exists(folders.LogFile()) ? ReadWholeFile(folders.LogFile()) : "";
  }
  std::vector<std::string> Reports() const {
    std::vector<std::string> reports;
    for (const auto& e : std::filesystem::directory_iterator(folders.dir.File("bin")))
      if (e.path().extension() == ".XML") reports.push_back(ReadWholeFile(e.path().string()));
    return reports;
  }
  void Clear() {
    diag::Globals.Log.LastDay = 0;
    for (const auto& e : std::filesystem::directory_iterator(folders.dir.File("bin")))
      std::filesystem::remove(e.path());
  }

  HttpTransport http;
  testsupport::TestHttpServer server;
  testsupport::KioskFolders folders;
  const RequestTimeLimits limits{5000, 10000};
};

TEST_F(AnswerLimitTest, EachReaderTakesItsLimitAndFailsOneBytePast) {
  struct Reader {
    const char* name;
    std::size_t limit;
    const char* path;
    std::string answer;
    std::function<bool()> read;  // whether the read succeeded
    bool reports;                // a failure is reported (report and 30000 line)
  } readers[] = {
      {"status feed", kStatusFeedMaxAnswerBytes, "/rvu/RVUSrvc.xml", Fixture("feed_full.xml"),
       [&] {
         tRVUSrvc srvc;
         GetRVUSrvcXML(srvc, http, server.host(), limits);
         return srvc.Success;
       },
       true},
      {"incident record", kIncidentMaxAnswerBytes, "/rvu/rvuisapi.dll/GetZAVPagerXML",
       Fixture("incident_found.txt"),
       [&] {
         const tIncidentRec r = GetIncidentRecFromWeb(tIncidentRec{}, http, limits);
         if (!r.RecordFound) {
           EXPECT_EQ(r.RC, -400);
         }
         return r.RecordFound;
       },
       true},
      {"task summary", kTaskSummaryMaxAnswerBytes, "/rvu/rvuisapi.dll/json", Fixture("summary_simulator.json"),
       [&] { return GetTaskSummary(http, server.host(), "JUX", "1", limits).Success; }, false},
  };
  for (const auto& reader : readers) {
    EXPECT_EQ(reader.limit, 1024u * 1024u) << reader.name;
    for (const size_t size : {reader.limit, reader.limit + 1}) {
      SCOPED_TRACE(std::string(reader.name) + ", " + std::to_string(size) + " bytes");
      Clear();
      server.Answer(reader.path, PaddedTo(reader.answer, size));
      const bool fits = size <= reader.limit;
      EXPECT_EQ(reader.read(), fits);
      const std::string log = LogText();
      if (fits || !reader.reports) {
        EXPECT_EQ(log.find(",30000,"), std::string::npos) << log;
        EXPECT_TRUE(Reports().empty());
        continue;
      }
      EXPECT_NE(log.find(",30000,"), std::string::npos) << log;
      EXPECT_NE(log.find("[ClassName=EHttpProtocolError][Message=Answer longer than 1048576 bytes"),
                std::string::npos)
          << log;
      EXPECT_NE(log.find("[Trace=400]"), std::string::npos) << log;
      EXPECT_EQ(Reports().size(), 1u);
    }
  }
}

// A number field that never ends (no end tag, nearly the whole answer) goes
// into the report's message and the 30000 line cut at the bound.
TEST_F(AnswerLimitTest, AnOverlongBadFieldIsCutInTheReportAndTheLogLine) {
  const std::string bad(kStatusFeedMaxAnswerBytes - 4096, '7');
  server.Answer("/rvu/RVUSrvc.xml",
                diag::ReplaceAll(Fixture("feed_full.xml"), "<KioskPix>12<", "<KioskPix>X" + bad + "\r\n<"));
  tRVUSrvc srvc;
  GetRVUSrvcXML(srvc, http, server.host(), limits);
  EXPECT_FALSE(srvc.Success);

  const std::string log = LogText();
  EXPECT_EQ(log.find("\r\n"), log.size() - 2) << "one line";
  // The message is cut on its own: the fields after it stay in the line.
  EXPECT_LE(log.size(), 49 + diag::kLogTextMaxBytes);
  EXPECT_NE(log.find(",30000,\"[Function=RVULib.GetRVUSrvcXML]"), std::string::npos) << log;
  EXPECT_NE(log.find(" bytes]][Trace="), std::string::npos) << log;
  EXPECT_NE(log.find("][Notes=]\"\r\n"), std::string::npos) << log;

  const auto reports = Reports();
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_LT(reports[0].size(), 4096u);
  EXPECT_NE(reports[0].find("<e.Message>'X7777"), std::string::npos) << reports[0];
  EXPECT_NE(reports[0].find("... [cut, "), std::string::npos) << reports[0];
}

}  // namespace
