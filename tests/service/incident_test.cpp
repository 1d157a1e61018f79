#include "service/incident.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <vector>

#include "diag/log.h"
#include "diag/text.h"
#include "platform/cursor.h"
#include "platform/error.h"
#include "service/http_transport.h"
#include "service/rvu_settings.h"
#include "tests/support/http_server.h"
#include "tests/support/kiosk_folders.h"
#include "tests/support/temp_dir.h"

namespace {

using namespace service;
using platform::EncodeDateTime;
using platform::FormatDateTime;
using testsupport::ReadWholeFile;

std::string Found() {
  return ReadWholeFile(std::string(KIOSK_SOURCE_DIR) + "/tests/service/fixtures/incident_found.txt");
}

// An answer with one tag's value replaced, or (nullptr) the tag removed.
std::string With(std::string text, const std::string& tag, const char* value, size_t occurrence = 0) {
  size_t start = std::string::npos;
  for (size_t i = 0, from = 0; i <= occurrence; ++i, from = start + 1) start = text.find("<" + tag + ">", from);
  const std::string end = "</" + tag + ">";
  const size_t stop = text.find(end, start) + end.size();
  text.replace(start, stop - start, value == nullptr ? "" : "<" + tag + ">" + value + end);
  return text;
}

std::string FoundWith(const std::string& tag, const char* value, size_t occurrence = 0) {
  return With(Found(), tag, value, occurrence);
}

std::string Day(platform::TDateTime t) { return FormatDateTime("yyyy-mm-dd hh:nn:ss", t); }

class IncidentAnswerTest : public ::testing::Test {
 protected:
  testsupport::ScopedClock clock{EncodeDateTime({2026, 12, 9, 13, 45, 10, 123})};

  // A request record as the route map sends it, with markers in fields that
  // the answer may or may not overwrite.
  static tIncidentRec Request() {
    tIncidentRec inc;
    inc.RC = 77;
    inc.Result = "before";
    inc.RecordFound = true;
    inc.Pager.Page.Street = "old street";
    inc.Pager.ThisMFSIncNo = 11;
    return inc;
  }
};

TEST_F(IncidentAnswerTest, AFoundRecordIsReadInFull) {
  tIncidentRec r = Request();
  std::int32_t trace = 0;
  ReadIncidentAnswer(Found(), r, trace);
  EXPECT_EQ(trace, 1200);
  EXPECT_TRUE(r.RecordFound);
  EXPECT_EQ(r.RC, 0);
  EXPECT_EQ(r.Result, "OK");
  EXPECT_EQ(r.Version, "3.1.4");
  EXPECT_EQ(r.DateTime, "2026-12-09 13:40:02");
  EXPECT_EQ(r.LogRecID, 90017);
  const auto& pg = r.Pager;
  EXPECT_EQ(pg.ThisMFSIncNo, 123456);
  EXPECT_EQ(Day(pg.ThisZAVDate), "2026-12-09 00:00:00");
  EXPECT_EQ(pg.NextZAVDate, 0);
  EXPECT_EQ(Day(pg.PriorZAVDate), "2026-12-08 00:00:00");
  EXPECT_EQ(Day(pg.FirstZAVDate), "2026-01-02 00:00:00");
  EXPECT_EQ(pg.LastMFSIncNo, 123456);
  EXPECT_EQ(pg.Page.Action, "RESPOND");
  EXPECT_EQ(pg.Page.CallerPhoneNo, "0412 345 678");
  EXPECT_EQ(FormatDateTime("hh:nn:ss", pg.Page.CallRecptTime), "13:31:15");
  EXPECT_EQ(Day(pg.Page.ZAVDateTime), "2026-12-09 13:32:40");
  EXPECT_EQ(pg.Page.IncidentDescription, "VEHICLE ROLLOVER - PERSON TRAPPED");
  EXPECT_EQ(pg.Page.Street, "14 Old Mill Rd - near bridge");
  EXPECT_EQ(pg.Page.Suburb, "BRINDLEMOOR EAST");
  EXPECT_EQ(pg.Page.MFSIncNo, 123456);
  EXPECT_EQ(pg.Page.Priority, 1);
  EXPECT_TRUE(pg.Page.RVU);
  EXPECT_EQ(pg.Page.RVUUnit, "JUX");
  EXPECT_EQ(Day(pg.Page.StartDate), "2026-12-09 00:00:00");
  EXPECT_DOUBLE_EQ(pg.Geometry.lat, -34.92811);
  EXPECT_DOUBLE_EQ(pg.Geometry.lng, 138.61245);
  EXPECT_TRUE(pg.RecordFound);
  const auto& t = r.Task;
  EXPECT_TRUE(t.RecordFound);
  EXPECT_EQ(FormatDateTime("hh:nn:ss", t.ArrivedAtScene), "13:41:00");
  EXPECT_TRUE(t.AssistingAgencyCFS && t.AssistingAgencyMFS && t.AssistingAgencySAAS && t.AssistingAgencySAPOL &&
              t.AssistingAgencyWelfare);
  EXPECT_FALSE(t.AssistingAgencyLocalCouncil || t.AssistingAgencyGas || t.AssistingAgencyVMR);
  EXPECT_EQ(t.CrewIDs, "12,34,56");
  EXPECT_EQ(t.CrewInitials, "12,34,56.");
  EXPECT_EQ(t.DutyOfficerID, 7);
  EXPECT_EQ(t.IncidentType, 3);
  EXPECT_EQ(t.Risks, 0);  // "n/a" is no integer: 0
  EXPECT_EQ(FormatDateTime("hh:nn:ss", t.TaskComplete), "14:55:30");
  EXPECT_EQ(Day(t.UnitMobileDateTime), "2026-12-09 13:35:00");
  EXPECT_EQ(t.UnitVehicleKM - t.UnitVehicleKMStart, 14);
  EXPECT_TRUE(t.Vehicle31 && t.Vehicle41 && t.VehicleTlr);
  EXPECT_FALSE(t.Vehicle32 || t.Vehicle33 || t.Vehicle42);
  EXPECT_EQ(t.Weather, 2);
}

TEST_F(IncidentAnswerTest, Outcomes) {
  struct Case {
    const char* name;
    std::string answer;
    bool recordFound;
    std::int32_t rc;
    const char* result;
    std::int32_t trace;
    bool raises;
  } cases[] = {
      {"no <RC> at all", "<Result>OK</Result>", false, 77, "before", 420, false},
      {"negative RC", diag::ReplaceAll(Found(), "<RC>0<", "<RC>-5<"), false, -5, "OK", 500, false},
      {"found marker in lower case", diag::ReplaceAll(Found(), "<RecordFound>True</RecordFound></Pager>",
                                                       "<RecordFound>true</RecordFound></Pager>"),
       true, -3, "OK", 500, false},
      {"positive RC", diag::ReplaceAll(Found(), "<RC>0<", "<RC>2<"), true, 2, "OK", 700, false},
      {"RC not an integer", diag::ReplaceAll(Found(), "<RC>0<", "<RC>zero<"), true, 0, "OK", 1200, false},
      {"Geometry.lat missing", FoundWith("Geometry.lat", nullptr), true, 0, "OK", 800, true},
      {"empty ZAVDateTime", FoundWith("ZAVDateTime", ""), true, 0, "OK", 700, true},
      {"empty DutyOfficerID", FoundWith("DutyOfficerID", ""), true, 0, "OK", 1000, true},
      {"bad LogRecID", FoundWith("LogRecID", "x"), true, 0, "OK", 600, true},
      {"bad UnitMobileDateTime", FoundWith("UnitMobileDateTime", "09/12/2026 13:35"), true, 0, "OK", 1200, true},
  };
  for (const auto& c : cases) {
    tIncidentRec r = Request();
    std::int32_t trace = 0;
    bool raised = false;
    try {
      ReadIncidentAnswer(c.answer, r, trace);
    } catch (const platform::Error&) {
      raised = true;
    }
    EXPECT_EQ(raised, c.raises) << c.name;
    EXPECT_EQ(r.RecordFound, c.recordFound) << c.name;
    EXPECT_EQ(r.RC, c.rc) << c.name;
    EXPECT_EQ(r.Result, c.result) << c.name;
    EXPECT_EQ(trace, c.trace) << c.name;
  }
}

TEST_F(IncidentAnswerTest, PartialReadsKeepTheValuesBeforeTheFailure) {
  tIncidentRec r = Request();
  std::int32_t trace = 0;
  EXPECT_THROW(ReadIncidentAnswer(FoundWith("Geometry.lat", nullptr), r, trace), platform::Error);
  EXPECT_EQ(r.Pager.Page.Suburb, "BRINDLEMOOR EAST");
  EXPECT_DOUBLE_EQ(r.Pager.Geometry.lng, 138.61245);
  EXPECT_FALSE(r.Pager.RecordFound);  // read after the latitude

  // A positive RC keeps the request's pointers and page.
  r = Request();
  ReadIncidentAnswer(diag::ReplaceAll(Found(), "<RC>0<", "<RC>2<"), r, trace);
  EXPECT_EQ(r.Pager.ThisMFSIncNo, 11);
  EXPECT_EQ(r.Pager.Page.Street, "old street");
  EXPECT_EQ(r.Task.ArrivedAtScene, -1);
  EXPECT_EQ(r.Task.IncidentType, 0);
}

TEST_F(IncidentAnswerTest, TaskSectionVariants) {
  tIncidentRec r = Request();
  r.Task.Notes = "old";
  std::int32_t trace = 0;
  ReadIncidentAnswer(FoundWith("RecordFound", "False", 1), r, trace);  // the task's own marker
  EXPECT_EQ(trace, 1300);
  EXPECT_FALSE(r.Task.RecordFound);
  EXPECT_EQ(r.Task.ArrivedAtScene, -1);
  EXPECT_EQ(r.Task.TaskComplete, -1);
  EXPECT_EQ(r.Task.UnitMobileDateTime, -1);
  EXPECT_EQ(r.Task.IncidentType, -1);
  EXPECT_EQ(r.Task.StopCall, -1);
  EXPECT_EQ(r.Task.Notes, "");
  EXPECT_TRUE(r.RecordFound);

  r = Request();
  std::string answer = Found();
  for (const char* tag : {"ArrivedAtScene", "IncidentDate", "UnitMobileDateTime", "TaskComplete"})
    answer = With(answer, tag, "");
  ReadIncidentAnswer(answer, r, trace);
  EXPECT_EQ(r.Task.ArrivedAtScene, -1);
  EXPECT_EQ(r.Task.IncidentDate, 0);
  EXPECT_EQ(r.Task.UnitMobileDateTime, 0);
  EXPECT_EQ(r.Task.TaskComplete, -1);
}

TEST_F(IncidentAnswerTest, ZAVDateTimeForms) {
  struct Case {
    const char* text;
    const char* expected;
  } cases[] = {
      {"12/05/13 14:30", "2013-05-12 14:30:00"},
      {"2013-05-12 14:30:00", "2013-05-12 14:30:00"},
      {"14:30", "1899-12-30 14:30:00"},
  };
  for (const auto& c : cases) {
    tIncidentRec r = Request();
    std::int32_t trace = 0;
    ReadIncidentAnswer(FoundWith("ZAVDateTime", c.text), r, trace);
    EXPECT_EQ(Day(r.Pager.Page.ZAVDateTime), c.expected) << c.text;
  }
}

class IncidentRequestTest : public ::testing::Test {
 protected:
  void SetUp() override {
    diag::Globals = diag::tGlobalSettings{};
    diag::Globals.Log.SyslogLevel = 7;
    diag::Globals.ProgramVersion = "1.0.0.1";
    ServiceSettings = tRVUSettings{};
    ServiceSettings.WWWHost = server.host();
    ServiceSettings.URI = "/rvu/rvuisapi.dll";
    platform::SetCursorHook([this](bool busy) { cursor.push_back(busy); });
  }
  void TearDown() override {
    platform::SetCursorHook({});
    ServiceSettings = tRVUSettings{};
    diag::Globals = diag::tGlobalSettings{};
  }
  std::string LogText() const {
    const std::string path = dir.File("bin/rvukiosk-20261209.CSV");
    return std::filesystem::exists(path) ? ReadWholeFile(path) : "";
  }

  // Asks over HTTP, with limits that keep a failing test short.
  tIncidentRec Get(const tIncidentRec& inc) { return GetIncidentRecFromWeb(inc, http, {2000, 1000}); }

  std::vector<bool> cursor;
  HttpTransport http;
  testsupport::TestHttpServer server;
  testsupport::KioskFolders folders;
  testsupport::TempDir& dir = folders.dir;
};

TEST_F(IncidentRequestTest, AsksForTheIncidentAndReadsTheAnswer) {
  server.Answer("/rvu/rvuisapi.dll/GetZAVPagerXML", Found());
  tIncidentRec inc;
  inc.Pager.Page.MFSIncNo = 123456;
  inc.Pager.Page.ZAVDateTime = EncodeDateTime({2026, 12, 9, 13, 32, 40, 0});
  inc.Pager.Page.RVUUnit = "JUX";
  const tIncidentRec r = Get(inc);
  EXPECT_TRUE(r.RecordFound);
  EXPECT_EQ(r.Pager.Page.Suburb, "BRINDLEMOOR EAST");
  EXPECT_EQ(server.Requests(), std::vector<std::string>{"/rvu/rvuisapi.dll/GetZAVPagerXML?MFSIncNo=123456"
                                                        "&ZAVDate=2026-12-09&RVUUnit=JUX"
                                                        "&GUID=3C9D2B70-5E41-4A8F-9B26-D17E0A4C58F3"});
  EXPECT_EQ(cursor, (std::vector<bool>{true, false}));
  EXPECT_EQ(LogText(), "");  // a good read writes no log entry
}

TEST_F(IncidentRequestTest, FailuresAreReportedWithMinusTheStep) {
  server.Answer("/rvu/rvuisapi.dll/GetZAVPagerXML", FoundWith("Geometry.lat", nullptr));
  tIncidentRec r = Get(tIncidentRec{});
  EXPECT_FALSE(r.RecordFound);
  EXPECT_EQ(r.RC, -800);
  EXPECT_EQ(r.Result, "'' is not a valid floating point value EConvertError HTTP.Host=" + server.host());
  EXPECT_EQ(r.Pager.Page.Suburb, "BRINDLEMOOR EAST");
  const std::string target = server.host() + "/rvu/rvuisapi.dll/GetZAVPagerXML?MFSIncNo=0"
                                             "&GUID=3C9D2B70-5E41-4A8F-9B26-D17E0A4C58F3";
  EXPECT_EQ(LogText(), "13:45:10,\"[13:45:10.123]\",\"          \",30000,\"[Function=RVULib.GetIncidentRecFromWeb]"
                       "[Version=1.0.0.1][ClassName=EConvertError][Message='' is not a valid floating point value]"
                       "[Trace=800][FileName=][CoInitializeCount=0][Notes=" +
                           target + "]\"\r\n");
  EXPECT_TRUE(std::filesystem::exists(dir.File("bin/EXCEPTION-20261209134510123.XML")));
  EXPECT_EQ(cursor, (std::vector<bool>{true, false}));
}

TEST_F(IncidentRequestTest, HostsThatCannotAnswerFailAt400WithinTheTimeLimit) {
  testsupport::SilentServer silent;
  server.Answer("/rvu/rvuisapi.dll/GetZAVPagerXML", "down", 503);
  const std::string hosts[] = {"127.0.0.1:" + std::to_string(testsupport::UnusedPort()), silent.host(),
                               server.host()};
  for (const auto& host : hosts) {
    ServiceSettings.WWWHost = host;
    const auto started = std::chrono::steady_clock::now();
    tIncidentRec inc;
    inc.RC = 5;
    const tIncidentRec r = Get(inc);
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(3)) << host;
    EXPECT_FALSE(r.RecordFound);
    EXPECT_EQ(r.RC, -400) << host;
    EXPECT_NE(r.Result.find(" HTTP.Host=" + host), std::string::npos) << r.Result;
  }
  EXPECT_EQ(cursor.size(), 6u);
  EXPECT_FALSE(cursor.back());
}

TEST_F(IncidentRequestTest, ArbitraryAnswersNeverEscape) {
  std::string nested;
  for (int i = 0; i < 10000; ++i) nested += "<Pager><Task><Pointers>";
  const std::string answers[] = {
      std::string("\x00\xFF<RC>\x00", 7),
      std::string(3 << 20, '<'),
      "<RC>0</RC><Pager><RecordFound>True</RecordFound>",
      "<RC>0<Pager><RecordFound>True</RecordFound></Pager>" + nested,
      Found().substr(0, Found().size() / 2),
      diag::ReplaceAll(Found(), "</", "<"),
  };
  for (const auto& answer : answers) {
    testsupport::TestHttpServer s;
    s.Answer("/rvu/rvuisapi.dll/GetZAVPagerXML", answer);
    ServiceSettings.WWWHost = s.host();
    Get(tIncidentRec{});
  }
  EXPECT_EQ(cursor.size(), 2 * std::size(answers));
}

}  // namespace
