#include "service/rvu_srvc.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>

#include "diag/log.h"
#include "diag/report_throttle.h"
#include "diag/text.h"
#include "service/endpoints.h"
#include "service/http_transport.h"
#include "service/reader_failure.h"
#include "tests/support/http_server.h"
#include "tests/support/kiosk_folders.h"
#include "tests/support/temp_dir.h"

namespace {

using namespace service;
using testsupport::ReadWholeFile;

const std::string kFeedPath = "/rvu/RVUSrvc.xml";

std::string Fixture(const char* name) {
  return ReadWholeFile(std::string(KIOSK_SOURCE_DIR) + "/tests/service/fixtures/" + name);
}

std::string Without(std::string text, const std::string& element) {
  const size_t start = text.find("<" + element + ">");
  const std::string end = "</" + element + ">";
  text.erase(start, text.find(end, start) + end.size() - start);
  return text;
}

class FeedTest : public ::testing::Test {
 protected:
  void SetUp() override {
    diag::Globals = diag::tGlobalSettings{};
    diag::Globals.Log.SyslogLevel = 7;
    diag::Globals.ProgramVersion = "1.0.0.1";
  }
  void TearDown() override { diag::Globals = diag::tGlobalSettings{}; }

  // Reads the feed from a host over HTTP, with limits that keep a failing test short.
  void Read(tRVUSrvc& srvc, const std::string& host) { GetRVUSrvcXML(srvc, http, host, {2000, 1000}); }
  void Read(tRVUSrvc& srvc) { Read(srvc, server.host()); }

  // The log file's lines, CR LF taken off.
  std::vector<std::string> LogLines() const {
    std::vector<std::string> lines;
    const std::string path = dir.File("bin/rvukiosk-20261209.CSV");
    if (!std::filesystem::exists(path)) return lines;
    const std::string content = ReadWholeFile(path);
    for (size_t pos = 0, end; (end = content.find("\r\n", pos)) != std::string::npos; pos = end + 2)
      lines.push_back(content.substr(pos, end - pos));
    return lines;
  }
  size_t ReportCount() const {
    size_t n = 0;
    for (const auto& e : std::filesystem::directory_iterator(dir.File("bin"))) n += e.path().extension() == ".XML";
    return n;
  }

  HttpTransport http;
  testsupport::TestHttpServer server;
  testsupport::KioskFolders folders;
  testsupport::TempDir& dir = folders.dir;
};

TEST_F(FeedTest, AGoodFeedFillsTheRecordAndLogsItsAddress) {
  server.Answer(kFeedPath, Fixture("feed_full.xml"));
  tRVUSrvc srvc;
  Read(srvc);
  EXPECT_TRUE(srvc.Success);
  EXPECT_EQ(srvc.URL, "http://" + server.host() + "/rvu/RVUSrvc.xml?20261209134510123");
  EXPECT_EQ(server.Requests(), std::vector<std::string>{"/rvu/RVUSrvc.xml?20261209134510123"});
  EXPECT_EQ(srvc.LEDDisplay.PageA(), "INC 123456 P1 RESCUE 14 OLD MILL RD BRINDLEMOOR EAST");
  EXPECT_EQ(srvc.LEDDisplay.Pages[3], "");
  EXPECT_EQ(srvc.LEDDisplay.Pages[4], "TRAINING THURSDAY 1900");
  EXPECT_EQ(srvc.LEDDisplay.PageJ(), "JUX CREW 4 AVAILABLE - ROADS WET - CHECK BA SETS & TORCHES");
  EXPECT_EQ(srvc.LastPage.MFSIncNo, 123456);
  EXPECT_EQ(srvc.LastPage.RVUUnit, "JUX");
  EXPECT_EQ(srvc.LastPage.Priority, 1);
  EXPECT_EQ(srvc.LastPage.TaskType, "RESCUE");
  EXPECT_EQ(srvc.KioskPix, 12);
  EXPECT_EQ(LogLines(), std::vector<std::string>{
                            "13:45:10,\"[13:45:10.123]\",\"          \",60101,\"[Function=RVULib.GetRVUSrvcXML][URL=" +
                            srvc.URL + "][Result=OK]\""});
  EXPECT_EQ(ReportCount(), 0u);
}

TEST_F(FeedTest, MissingPagesAreEmptyButMissingIntegersFail) {
  struct Case {
    std::string document;
    bool success;
    std::int32_t trace;  // 0 for none
  } cases[] = {
      {Without(Fixture("feed_full.xml"), "LEDDisplay"), true, 0},
      {Without(Fixture("feed_full.xml"), "PageJ"), true, 0},
      {Without(Fixture("feed_full.xml"), "LastRVUUnit"), true, 0},
      {Without(Fixture("feed_full.xml"), "KioskPix"), false, 600},
      {Without(Fixture("feed_full.xml"), "LastPriority"), false, 600},
      {diag::ReplaceAll(Fixture("feed_full.xml"), "<KioskPix>12<", "<KioskPix>$C<"), false, 600},
      {diag::ReplaceAll(Fixture("feed_full.xml"), "<KioskPix>12<", "<KioskPix>-3<"), true, 0},
      {diag::ReplaceAll(Fixture("feed_full.xml"), "xml>", "feed>"), false, 500},
      {"<xml><RVUSrvc><PageA>", false, 400},
      {"", false, 400},
  };
  for (const auto& c : cases) {
    diag::Globals.Log.LastDay = 0;
    std::filesystem::remove(dir.File("bin/rvukiosk-20261209.CSV"));
    testsupport::TestHttpServer feed;
    feed.Answer(kFeedPath, c.document);
    tRVUSrvc srvc;
    Read(srvc, feed.host());
    EXPECT_EQ(srvc.Success, c.success) << c.document;
    const auto lines = LogLines();
    ASSERT_EQ(lines.size(), 1u) << c.document;
    if (c.trace == 0) {
      EXPECT_NE(lines[0].find(",60101,"), std::string::npos);
    } else {
      EXPECT_NE(lines[0].find(",30000,"), std::string::npos);
      EXPECT_NE(lines[0].find("[Trace=" + std::to_string(c.trace) + "]"), std::string::npos) << lines[0];
    }
  }
}

TEST_F(FeedTest, AFailureKeepsWhatWasReadBeforeIt) {
  server.Answer(kFeedPath, diag::ReplaceAll(Fixture("feed_full.xml"), "<KioskPix>12</KioskPix>", "<KioskPix/>"));
  tRVUSrvc srvc;
  srvc.KioskPix = 77;  // the caller's value survives
  Read(srvc);
  EXPECT_FALSE(srvc.Success);
  EXPECT_EQ(srvc.LEDDisplay.PageA(), "INC 123456 P1 RESCUE 14 OLD MILL RD BRINDLEMOOR EAST");
  EXPECT_EQ(srvc.LastPage.TaskType, "RESCUE");
  EXPECT_EQ(srvc.KioskPix, 77);
  EXPECT_EQ(ReportCount(), 1u);
  EXPECT_EQ(LogLines(), std::vector<std::string>{
                            "13:45:10,\"[13:45:10.123]\",\"          \",30000,\"[Function=RVULib.GetRVUSrvcXML]"
                            "[Version=1.0.0.1][ClassName=EConvertError][Message='' is not a valid integer value]"
                            "[Trace=600][FileName=][CoInitializeCount=0][Notes=]\""});
}

TEST_F(FeedTest, UnreachableSilentAndFailingHostsFailAt400WithinTheTimeLimit) {
  testsupport::SilentServer silent;
  testsupport::TestHttpServer failing;
  failing.Answer(kFeedPath, "oops", 500);
  struct Case {
    std::string host;
    const char* className;
  } cases[] = {
      {"127.0.0.1:" + std::to_string(testsupport::UnusedPort()), "ESocketError"},
      {silent.host(), "ETimeoutError"},
      {failing.host(), "EHttpProtocolError"},
      {"no-such-host.invalid", "ESocketError"},
  };
  for (const auto& c : cases) {
    diag::Globals.Log.LastDay = 0;
    std::filesystem::remove(dir.File("bin/rvukiosk-20261209.CSV"));
    tRVUSrvc srvc;
    srvc.LEDDisplay.PageJ() = "kept";
    const auto started = std::chrono::steady_clock::now();
    Read(srvc, c.host);
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(3)) << c.host;
    EXPECT_FALSE(srvc.Success);
    EXPECT_EQ(srvc.URL, "http://" + c.host + "/rvu/RVUSrvc.xml?20261209134510123");
    EXPECT_EQ(srvc.LEDDisplay.PageJ(), "kept");
    const auto lines = LogLines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find(std::string("[ClassName=") + c.className + "]"), std::string::npos) << lines[0];
    EXPECT_NE(lines[0].find("[Trace=400]"), std::string::npos) << lines[0];
  }
}

// An unreachable service fails every poll the same way: each poll logs its
// 30000 line, and the report is written once an hour.
TEST_F(FeedTest, AnUnreachableServiceLogsEveryPollAndIsReportedOnceAnHour) {
  const std::string host = "127.0.0.1:" + std::to_string(testsupport::UnusedPort());
  constexpr std::int64_t kPollMs = 15000;
  size_t polls = 0;
  for (std::int64_t at = 0; at <= diag::kRepeatedReportIntervalMs; at += kPollMs, ++polls) {
    tRVUSrvc srvc;
    Read(srvc, host);
    ASSERT_FALSE(srvc.Success);
    ASSERT_EQ(ReportCount(), at < diag::kRepeatedReportIntervalMs ? 1u : 2u) << at;
    folders.clock->Advance(kPollMs);
  }
  const auto lines = LogLines();
  ASSERT_EQ(lines.size(), polls);
  for (const auto& line : lines) {
    EXPECT_NE(line.find(",30000,\"[Function=RVULib.GetRVUSrvcXML]"), std::string::npos) << line;
    EXPECT_NE(line.find("[FileName=]"), std::string::npos) << line;  // the record's name, as ever
  }
}

TEST(FeedFailureText, OnlyTheFirstLineBreakBecomesABlank) {
  diag::Globals = diag::tGlobalSettings{};
  diag::Globals.ProgramVersion = "2.0.0.0";
  diag::Globals.CoInitializeCount = 3;
  EXPECT_EQ(ReaderFailureLogText("RVULib.GetRVUSrvcXML", "EXmlError", "a\r\nb\r\nc", 400, "f.xml", "n"),
            "[Function=RVULib.GetRVUSrvcXML][Version=2.0.0.0][ClassName=EXmlError][Message=a b\r\nc][Trace=400]"
            "[FileName=f.xml][CoInitializeCount=3][Notes=n]");
  diag::Globals = diag::tGlobalSettings{};
}

// A message or notes from outside are cut each on its own, at the bound and
// one past it, so that the fields after them are still in the text.
TEST(FeedFailureText, MessageAndNotesAreCutEachOnItsOwn) {
  diag::Globals = diag::tGlobalSettings{};
  const std::string atBound(diag::kOutsideTextMaxBytes, 'm');
  const std::string pastBound(diag::kOutsideTextMaxBytes + 1, 'm');
  const std::string marker = "... [cut, 1025 bytes]";
  const std::string cut = std::string(diag::kOutsideTextMaxBytes - marker.size(), 'm') + marker;
  struct Case {
    std::string message, notes, shownMessage, shownNotes;
  } cases[] = {
      {atBound, "n", atBound, "n"},
      {pastBound, "n", cut, "n"},
      {"m", pastBound, "m", cut},
      {pastBound, pastBound, cut, cut},
  };
  for (const auto& c : cases) {
    const std::string text = ReaderFailureLogText("RVULib.GetRVUSrvcXML", "EConvertError", c.message, 600, "", c.notes);
    EXPECT_EQ(text, "[Function=RVULib.GetRVUSrvcXML][Version=][ClassName=EConvertError][Message=" + c.shownMessage +
                        "][Trace=600][FileName=][CoInitializeCount=0][Notes=" + c.shownNotes + "]");
  }
}

}  // namespace
