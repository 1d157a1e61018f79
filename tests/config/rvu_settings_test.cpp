#include "service/rvu_settings.h"

#include <gtest/gtest.h>

#include <vector>

#include "diag/text.h"
#include "platform/system.h"
#include "tests/config/settings_fixture.h"

namespace {

using service::InitRVUSettings;
using service::tRVUSettings;
using testsupport::ReadWholeFile;
using testsupport::WriteWholeFile;

class RVUSettingsTest : public testsupport::SettingsTest {};

const char* const kDefaultFile =
    "<xml>\r\n"
    " <GlobalSettings>\r\n"
    "  <DBPath>localhost:RVU.FDB</DBPath>\r\n"
    "  <DatabaseIdleTimer>1500</DatabaseIdleTimer>\r\n"
    "  <DaysOfLogsFilesRetained>7</DaysOfLogsFilesRetained>\r\n"
    "  <EmailDebugAlertTo>kiosk-alerts@localhost</EmailDebugAlertTo>\r\n"
    "  <ZAVSamplePeriod>40</ZAVSamplePeriod>\r\n"
    "  <GUID>3C9D2B70-5E41-4A8F-9B26-D17E0A4C58F3</GUID>\r\n"
    "  <HQEmail>hq@localhost</HQEmail>\r\n"
    "  <IncidentSampleSince>00:00:00</IncidentSampleSince>\r\n"
    "  <LoginSuccessURL>http://localhost:8080/sencha/index.html</LoginSuccessURL>\r\n"
    "  <LoginFailURL>http://localhost:8080/sencha/html/relogin.html</LoginFailURL>\r\n"
    "  <PlayHeartBeat>True</PlayHeartBeat>\r\n"
    "  <RVUPagingPassword>KTRWN</RVUPagingPassword>\r\n"
    "  <SMTPRelay>localhost:8080</SMTPRelay>\r\n"
    "  <SyslogLevel>7</SyslogLevel>\r\n"
    "  <SyslogServer></SyslogServer>\r\n"
    "  <DaysOfLogsFilesRetained>7</DaysOfLogsFilesRetained>\r\n"
    "  <UDPPort>15167</UDPPort>\r\n"
    "  <WWWHost>localhost:8080</WWWHost>\r\n"
    "  <URI>/rvu/rvuisapi.dll</URI>\r\n"
    "  <UPSXML></UPSXML>\r\n"
    " </GlobalSettings>\r\n"
    "</xml>\r\n";

// The default file with one element's line replaced, added, or (for nullptr) removed.
std::string DefaultsWith(const std::string& element, const char* text) {
  std::string content;
  const std::string all = kDefaultFile;
  const std::string wanted = text == nullptr ? "" : "  <" + element + ">" + text + "</" + element + ">\r\n";
  bool placed = false;
  size_t pos = 0;
  for (size_t end; (end = all.find("\r\n", pos)) != std::string::npos; pos = end + 2) {
    const std::string line = all.substr(pos, end - pos) + "\r\n";
    if (line.find("<" + element + ">") != std::string::npos) {
      if (!placed) content += wanted;
      placed = true;
    } else {
      if (line == " </GlobalSettings>\r\n" && !placed) content += wanted;
      content += line;
    }
  }
  return content;
}

TEST_F(RVUSettingsTest, NoFileWritesThe24DefaultLinesAndReadsThemBack) {
  diag::Globals.CoInitializeCount = 3;
  tRVUSettings s;
  InitRVUSettings(s);
  EXPECT_EQ(ReadWholeFile("RVU-Settings.xml"), kDefaultFile);
  EXPECT_EQ(s.WWWHost, "localhost:8080");
  EXPECT_EQ(s.URI, "/rvu/rvuisapi.dll");
  EXPECT_EQ(s.UDPPort, 15167);
  EXPECT_EQ(s.ZAVSamplePeriod, 40);
  EXPECT_EQ(s.DatabaseIdleTimer, 1500);
  EXPECT_TRUE(s.PlayHeartBeat);
  EXPECT_EQ(s.IncidentSampleSince, 0);
  EXPECT_EQ(s.IncidentSamplePeriod, 0);
  EXPECT_EQ(s.DBPath, "localhost:RVU.FDB");
  EXPECT_EQ(s.GUID, "3C9D2B70-5E41-4A8F-9B26-D17E0A4C58F3");
  EXPECT_EQ(s.HQEmail, "hq@localhost");
  EXPECT_EQ(s.EmailMissingTaskTo, "");
  EXPECT_EQ(s.UPSXML, "");
  EXPECT_EQ(s.LoginSuccessURL, "http://localhost:8080/sencha/index.html");
  EXPECT_EQ(s.LoginFailURL, "http://localhost:8080/sencha/html/relogin.html");
  EXPECT_EQ(s.SMTPRelay, "localhost:8080");
  EXPECT_EQ(s.RVUPagingPassword, "KTRWN");
  EXPECT_EQ(s.ReadAt, "09/12/2026 13:45:10");
  EXPECT_EQ(diag::Globals.Log.SyslogServer, "");
  EXPECT_EQ(diag::Globals.Log.SyslogLevel, 7);
  EXPECT_EQ(diag::Globals.Log.DaysOfLogsFilesRetained, 7);
  EXPECT_EQ(diag::Globals.EmailDebugAlertTo, "kiosk-alerts@localhost");
  EXPECT_EQ(diag::Globals.CoInitializeCount, 0);
  EXPECT_TRUE(Reports().empty());
}

TEST_F(RVUSettingsTest, EmptyOrMissingValuesTakeTheirReplacements) {
  std::string content = DefaultsWith("WWWHost", "");
  WriteWholeFile("RVU-Settings.xml", content);
  content = DefaultsWith("URI", nullptr);
  content.replace(content.find("  <DBPath>localhost:RVU.FDB</DBPath>\r\n"), 38, "");
  content.replace(content.find("  <WWWHost>localhost:8080</WWWHost>"), 35, "  <WWWHost></WWWHost>");
  WriteWholeFile("RVU-Settings.xml", content);
  tRVUSettings s;
  InitRVUSettings(s);
  EXPECT_EQ(s.WWWHost, "localhost:8080");
  EXPECT_EQ(s.URI, "/rvu/rvuisapi.dll");
  EXPECT_EQ(s.DBPath, "localhost:" + dir.File("bin/") + "RVU.FDB");
  EXPECT_TRUE(Reports().empty());
}

TEST_F(RVUSettingsTest, Conversions) {
  struct Case {
    const char* element;
    const char* text;
    bool fails;
  } cases[] = {
      {"PlayHeartBeat", "true", false},   {"PlayHeartBeat", "Yes", false},   {"UDPPort", "abc", false},
      {"SyslogLevel", "abc", true},       {"SyslogLevel", "", true},         {"DaysOfLogsFilesRetained", "x", true},
      {"ZAVSamplePeriod", "$28", false},  {"IncidentSampleSince", "09/12/2026 06:30:00", false},
      {"IncidentSampleSince", "bad", true}, {"IncidentSamplePeriod", "2.5", false},
      {"IncidentSamplePeriod", "two", false},
  };
  for (const auto& c : cases) {
    ResetGlobals();
    for (const auto& r : Reports()) std::filesystem::remove(r);
    WriteWholeFile("RVU-Settings.xml", DefaultsWith(c.element, c.text));
    tRVUSettings s;
    InitRVUSettings(s);
    EXPECT_EQ(Reports().size(), c.fails ? 1u : 0u) << c.element << "=" << c.text;
  }
  // The values of the last good reads.
  auto read = [this](const char* element, const char* text) {
    ResetGlobals();
    WriteWholeFile("RVU-Settings.xml", DefaultsWith(element, text));
    tRVUSettings s;
    InitRVUSettings(s);
    return s;
  };
  EXPECT_TRUE(read("PlayHeartBeat", "true").PlayHeartBeat);
  EXPECT_TRUE(read("PlayHeartBeat", "True").PlayHeartBeat);
  EXPECT_FALSE(read("PlayHeartBeat", "Yes").PlayHeartBeat);
  EXPECT_EQ(read("UDPPort", "abc").UDPPort, 0);
  EXPECT_EQ(read("ZAVSamplePeriod", "$28").ZAVSamplePeriod, 40);
  EXPECT_DOUBLE_EQ(read("IncidentSamplePeriod", "2.5").IncidentSamplePeriod, 2.5);
  EXPECT_DOUBLE_EQ(read("IncidentSamplePeriod", "two").IncidentSamplePeriod, 0);
  EXPECT_EQ(platform::FormatDateTime("yyyy-mm-dd hh:nn:ss",
                                     read("IncidentSampleSince", "09/12/2026 06:30:00").IncidentSampleSince),
            "2026-12-09 06:30:00");
}

TEST_F(RVUSettingsTest, AMissingZAVSamplePeriodFailsAt400BeforeTheLoggingValues) {
  std::vector<std::pair<int, int>> beeps;
  platform::SetBeepSink([&beeps](int hz, int ms) { beeps.emplace_back(hz, ms); });
  WriteWholeFile("RVU-Settings.xml", DefaultsWith("ZAVSamplePeriod", nullptr));
  tRVUSettings s;
  s.ZAVSamplePeriod = -1;
  InitRVUSettings(s);
  platform::SetBeepSink({});
  EXPECT_EQ(s.WWWHost, "localhost:8080");
  EXPECT_EQ(s.URI, "/rvu/rvuisapi.dll");
  EXPECT_EQ(s.UDPPort, 15167);
  EXPECT_EQ(s.ZAVSamplePeriod, -1);
  EXPECT_EQ(diag::Globals.Log.SyslogServer, "");
  EXPECT_EQ(diag::Globals.Log.SyslogLevel, 0);
  EXPECT_EQ(diag::Globals.Log.DaysOfLogsFilesRetained, 0);
  EXPECT_EQ(diag::Globals.CoInitializeCount, 0);
  ASSERT_EQ(Reports(), std::vector<std::string>{ReportFile()});
  EXPECT_EQ(ReportElement(ReportFile(), "Trace"), "400");
  EXPECT_EQ(ReportElement(ReportFile(), "e.Message"), "'' is not a valid integer value");
  EXPECT_EQ(beeps.size(), 4u);
  // Level 0 filters the 30000 entry out: the report is all that remains.
  EXPECT_FALSE(std::filesystem::exists(LogFile()));
}

TEST_F(RVUSettingsTest, TheFailureLogTextByteForByte) {
  // A failure after the logging values were read is written to the log.
  WriteWholeFile("RVU-Settings.xml", DefaultsWith("DaysOfLogsFilesRetained", "seven"));
  tRVUSettings s;
  InitRVUSettings(s);
  EXPECT_EQ(diag::Globals.Log.SyslogLevel, 7);
  EXPECT_EQ(LoggedText(),
            "[Function=RVULib.InitRVUSettings][Version=][Classname=EConvertError]"
            "[Message='seven' is not a valid integer value][Trace=400][Filename=" +
                ReportFile() + "][CoInitializeCount=1][Notes=gkRVUSettingsFile=RVU-Settings.xml]");
}

TEST_F(RVUSettingsTest, FilesThatCannotBeReadOrWritten) {
  WriteWholeFile("RVU-Settings.xml", "<xml><GlobalSettings><WWWHost>x</WWWHost>");
  tRVUSettings s;
  s.WWWHost = "kept";
  InitRVUSettings(s);
  EXPECT_EQ(s.WWWHost, "kept");
  EXPECT_EQ(s.ReadAt, "");
  EXPECT_EQ(ReportElement(ReportFile(), "Trace"), "210");
  EXPECT_EQ(ReportElement(ReportFile(), "ClassName"), "EXmlError");

  std::filesystem::remove(ReportFile());
  RemoveWorkingDirectory();
  InitRVUSettings(s);
  EXPECT_EQ(s.WWWHost, "kept");
  EXPECT_EQ(ReportElement(ReportFile(), "Trace"), "100");
  EXPECT_EQ(ReportElement(ReportFile(), "ClassName"), "EInOutError");
  EXPECT_EQ(diag::Globals.CoInitializeCount, 0);
}

TEST_F(RVUSettingsTest, ArbitraryBytesNeverEscape) {
  std::string deep;
  for (int i = 0; i < 100000; ++i) deep += "<GlobalSettings>";
  const std::string cases[] = {
      std::string("\x00\xFF binary \x01", 12),
      std::string(4 << 20, 'x'),
      "<xml>" + deep,
      "<!DOCTYPE x [<!ENTITY a \"aaaaaaaaaa\">]><xml><GlobalSettings><WWWHost>&a;</WWWHost></GlobalSettings></xml>",
      "<xml><GlobalSettings><SyslogLevel>99999999999</SyslogLevel></GlobalSettings></xml>",
  };
  for (const auto& content : cases) {
    WriteWholeFile("RVU-Settings.xml", content);
    tRVUSettings s;
    InitRVUSettings(s);
    EXPECT_EQ(diag::Globals.CoInitializeCount, 0);
  }
}

}  // namespace
