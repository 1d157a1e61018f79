#include "config/kiosk_settings.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>
#include <filesystem>

#include "diag/report_throttle.h"
#include "diag/text.h"
#include "platform/error.h"
#include "tests/config/settings_fixture.h"

namespace {

using config::KioskSettings;
using testsupport::ReadWholeFile;
using testsupport::WriteWholeFile;

class KioskSettingsTest : public testsupport::SettingsTest {};

const char* const kDefaultFile =
    "<xml>\r\n"
    " <GlobalSettings>\r\n"
    "  <!-- Turn screen saver off when this capcode received -->\r\n"
    "  <CapCode>0</CapCode>\r\n"
    "  <!-- Only display the following pages -->\r\n"
    "  <CFS>True</CFS>\r\n"
    "  <HeartBeat>True</HeartBeat>\r\n"
    "  <MFS>True</MFS>\r\n"
    "  <MSC>False</MSC>\r\n"
    "  <SAAS>True</SAAS>\r\n"
    "  <RVU>True</RVU>\r\n"
    "  <Unknown>True</Unknown>\r\n"
    "  <!-- Start with Browser ON or OFF -->\r\n"
    "  <BrowserVisible>True</BrowserVisible>\r\n"
    " </GlobalSettings>\r\n"
    "</xml>\r\n";

std::string FileWith(const std::string& globalSettings) {
  return "<xml>\r\n <GlobalSettings>\r\n" + globalSettings + " </GlobalSettings>\r\n</xml>\r\n";
}

TEST_F(KioskSettingsTest, NoFileWritesTheDefaultsAndReadsThemBack) {
  diag::Globals.CoInitializeCount = 2;  // another reader's count is kept
  EXPECT_TRUE(config::GetSettings());
  EXPECT_EQ(ReadWholeFile("RVUKiosk.xml"), kDefaultFile);
  EXPECT_TRUE(KioskSettings.ShowCFS && KioskSettings.ShowMFS && KioskSettings.ShowSAAS && KioskSettings.ShowRVU &&
              KioskSettings.ShowHeartBeat && KioskSettings.ShowUnknown && KioskSettings.BrowserVisible);
  EXPECT_FALSE(KioskSettings.ShowMSC);
  EXPECT_FALSE(KioskSettings.DebugMode);
  EXPECT_EQ(KioskSettings.CapCode, 0);
  EXPECT_EQ(diag::Globals.CoInitializeCount, 2);
  EXPECT_TRUE(Reports().empty());
}

TEST_F(KioskSettingsTest, ElementTexts) {
  struct Case {
    const char* text;
    bool flag;
  } flags[] = {{"true", true}, {"Yes", true}, {"enabled", true}, {"1", false}, {"on", false}, {"", false}};
  for (const auto& c : flags) {
    WriteWholeFile("RVUKiosk.xml", FileWith(std::string("  <CFS>") + c.text + "</CFS>\r\n  <Debug>" + c.text +
                                            "</Debug>\r\n"));
    EXPECT_TRUE(config::GetSettings());
    EXPECT_EQ(KioskSettings.ShowCFS, c.flag) << c.text;
    EXPECT_EQ(KioskSettings.DebugMode, c.flag) << c.text;
  }
  struct CapCase {
    const char* text;
    std::int32_t capCode;
  } capCodes[] = {{"12a", 0}, {"", 0}, {"-7", -7}, {" 1234567", 1234567}, {"$10", 16}};
  for (const auto& c : capCodes) {
    WriteWholeFile("RVUKiosk.xml", FileWith(std::string("  <CapCode>") + c.text + "</CapCode>\r\n"));
    EXPECT_TRUE(config::GetSettings());
    EXPECT_EQ(KioskSettings.CapCode, c.capCode) << c.text;
  }
}

TEST_F(KioskSettingsTest, SaveWritesValuesBackAndDropsDebug) {
  WriteWholeFile("RVUKiosk.xml", FileWith("  <CapCode>-7</CapCode>\r\n  <MSC>Yes</MSC>\r\n  <Debug>True</Debug>\r\n"
                                          "  <LoadFromQuorb>True</LoadFromQuorb>\r\n  <Other>x</Other>\r\n"));
  EXPECT_TRUE(config::GetSettings());
  EXPECT_TRUE(KioskSettings.DebugMode);
  KioskSettings.ShowCFS = !KioskSettings.ShowCFS;
  config::SaveKioskSettings();
  const std::string saved = ReadWholeFile("RVUKiosk.xml");
  EXPECT_NE(saved.find("\r\n  <CapCode>-7</CapCode>\r\n"), std::string::npos);
  EXPECT_NE(saved.find("\r\n  <CFS>True</CFS>\r\n"), std::string::npos);
  EXPECT_NE(saved.find("\r\n  <MSC>True</MSC>\r\n"), std::string::npos);
  EXPECT_EQ(saved.find("Debug"), std::string::npos);
  EXPECT_EQ(saved.find("LoadFromQuorb"), std::string::npos);
  EXPECT_TRUE(KioskSettings.DebugMode);  // stays on for this run

  config::KioskSettings = {};
  EXPECT_TRUE(config::GetSettings());
  EXPECT_FALSE(KioskSettings.DebugMode);
  EXPECT_EQ(KioskSettings.CapCode, -7);
}

TEST_F(KioskSettingsTest, AFileThatIsNotWellFormedFailsAt210AndChangesNothing) {
  diag::Globals.Log.SyslogLevel = 7;
  diag::Globals.ProgramVersion = "1.0.0.1";
  const std::string broken = "<xml>\r\n <GlobalSettings>\r\n  <CFS>True</CFS>\r\n";
  WriteWholeFile("RVUKiosk.xml", broken);
  EXPECT_FALSE(config::GetSettings());
  EXPECT_FALSE(KioskSettings.ShowCFS || KioskSettings.BrowserVisible || KioskSettings.ShowMSC);
  EXPECT_EQ(KioskSettings.CapCode, 0);
  EXPECT_EQ(ReadWholeFile("RVUKiosk.xml"), broken);
  EXPECT_EQ(diag::Globals.CoInitializeCount, 0);

  ASSERT_EQ(Reports(), std::vector<std::string>{ReportFile()});
  EXPECT_EQ(ReportElement(ReportFile(), "Function"), "Lib.GetSettings");
  EXPECT_EQ(ReportElement(ReportFile(), "Trace"), "210");
  EXPECT_EQ(ReportElement(ReportFile(), "Notes"), "kFileName=RVUKiosk.xml");
  const std::string message = ReportElement(ReportFile(), "e.Message");
  EXPECT_NE(message.find("RVUKiosk.xml"), std::string::npos);
  // The log writes double quotes as single ones.
  EXPECT_EQ(LoggedText(), "[Function=Lib.GetSettings][Version=1.0.0.1][ClassName=EXmlError][Message=" +
                              diag::ReplaceAll(message, "\"", "'") +
                              "][Trace=210][FileName=" + ReportFile() +
                              "][CoInitializeCount=1][Notes=kFileName=RVUKiosk.xml]");
}

// A file that stays broken fails the same way at every read: each read logs
// its 30000 line, naming the report that describes the failure, and the report
// itself is written once an hour.
TEST_F(KioskSettingsTest, ARepeatedFailureLogsEveryTimeAndNamesTheLastReport) {
  diag::Globals.Log.SyslogLevel = 7;
  WriteWholeFile("RVUKiosk.xml", "<xml>\r\n <GlobalSettings>\r\n");
  const std::string second = dir.File("bin/EXCEPTION-20261209144510123.XML");
  struct Read {
    std::int64_t advanceMs;
    std::string named;  // the report the log line names
  } reads[] = {
      {0, ReportFile()},
      {600000, ReportFile()},                                       // ten minutes later
      {diag::kRepeatedReportIntervalMs - 600000 - 1, ReportFile()},  // a millisecond before the hour
      {1, second},                                                   // the hour: a report again
      {15000, second},
  };
  for (const auto& r : reads) {
    clock->Advance(r.advanceMs);
    EXPECT_FALSE(config::GetSettings());
    EXPECT_NE(ReadWholeFile(LogFile()).rfind("[FileName=" + r.named + "]"), std::string::npos) << r.named;
    EXPECT_TRUE(std::filesystem::exists(r.named));
  }
  const std::string log = ReadWholeFile(LogFile());
  size_t lines = 0;
  for (size_t at = 0; (at = log.find(",30000,", at)) != std::string::npos; ++at) ++lines;
  EXPECT_EQ(lines, std::size(reads));
  EXPECT_EQ(Reports().size(), 2u);
  EXPECT_EQ(ReportElement(second, "Notes"), "kFileName=RVUKiosk.xml [Held back=2]");
}

TEST_F(KioskSettingsTest, OtherShapesOfAWellFormedFile) {
  struct Case {
    const char* content;
    bool ok;
  } cases[] = {
      {"<xml><GlobalSettings/></xml>", true},
      {"<xml/>", true},
      {"<settings><GlobalSettings><CFS>True</CFS></GlobalSettings></settings>", false},  // not the expected root
  };
  for (const auto& c : cases) {
    config::KioskSettings = {};
    WriteWholeFile("RVUKiosk.xml", c.content);
    EXPECT_EQ(config::GetSettings(), c.ok) << c.content;
    EXPECT_FALSE(KioskSettings.ShowCFS || KioskSettings.BrowserVisible) << c.content;
    EXPECT_EQ(ReadWholeFile("RVUKiosk.xml"), c.content);
  }
  EXPECT_EQ(ReportElement(ReportFile(), "Trace"), "300");
}

TEST_F(KioskSettingsTest, AWorkingDirectoryWithoutRoomFailsAt100WithTheDefaultsInEffect) {
  diag::Globals.Log.SyslogLevel = 7;
  RemoveWorkingDirectory();
  EXPECT_FALSE(config::GetSettings());
  EXPECT_TRUE(KioskSettings.ShowCFS && KioskSettings.BrowserVisible && KioskSettings.ShowUnknown);
  EXPECT_NE(LoggedText().find("[Trace=100]"), std::string::npos);
  EXPECT_EQ(ReportElement(ReportFile(), "ClassName"), "EInOutError");
  try {
    config::SaveKioskSettings();
    FAIL() << "a save that cannot write must raise";
  } catch (const platform::Error& e) {
    EXPECT_EQ(e.ClassName(), platform::kInOutError);
  }
}

TEST_F(KioskSettingsTest, ASaveThatFailsPartWayLeavesThePreviousFileIntact) {
  const std::string previous = FileWith("  <CapCode>1234</CapCode>\r\n");
  WriteWholeFile("RVUKiosk.xml", previous);
  // A file size limit makes the write fail part-way, as a full disk would.
  std::signal(SIGXFSZ, SIG_IGN);
  rlimit old{};
  getrlimit(RLIMIT_FSIZE, &old);
  rlimit small = old;
  small.rlim_cur = 100;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  KioskSettings.CapCode = 99;
  EXPECT_THROW(config::SaveKioskSettings(), platform::Error);
  setrlimit(RLIMIT_FSIZE, &old);
  EXPECT_EQ(ReadWholeFile("RVUKiosk.xml"), previous);
  std::vector<std::string> left;
  for (const auto& e : std::filesystem::directory_iterator(".")) left.push_back(e.path().filename());
  EXPECT_EQ(left, std::vector<std::string>{"RVUKiosk.xml"});
  EXPECT_EQ(KioskSettings.CapCode, 99);  // the value in memory has changed all the same
}

TEST_F(KioskSettingsTest, ArbitraryBytesNeverEscape) {
  std::string deep;
  for (int i = 0; i < 100000; ++i) deep += "<a>";
  const std::string cases[] = {
      std::string("\x00\x01\x02\xFF\xFE garbage", 14),
      "\xFF\xFE<\0x\0m\0l\0>\0",
      std::string(5 << 20, '<'),
      "<xml><GlobalSettings>" + deep,
      "<!DOCTYPE x [<!ENTITY a \"aaaaaaaaaa\"><!ENTITY b \"&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;\">]>"
      "<xml><GlobalSettings><CFS>&b;</CFS></GlobalSettings></xml>",
      "<xml><GlobalSettings><CapCode><![CDATA[42]]></CapCode><CFS>T&#0;</CFS></GlobalSettings></xml>",
      "",
  };
  for (const auto& content : cases) {
    WriteWholeFile("RVUKiosk.xml", content);
    config::GetSettings();  // returns, whatever the outcome
    EXPECT_EQ(diag::Globals.CoInitializeCount, 0);
  }
}

}  // namespace
