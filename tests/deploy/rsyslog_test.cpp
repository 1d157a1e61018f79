// The kiosk's log entries as a standard syslog receiver sees them: Debian's
// rsyslogd on loopback, started by the test.
#include <gtest/gtest.h>

#include "diag/log.h"
#include "diag/syslog.h"
#include "diag/text.h"
#include "platform/clock.h"
#include "tests/deploy/support/deploy_support.h"
#include "tests/support/temp_dir.h"

namespace {

using deploytest::Rsyslog;
using deploytest::SyslogMessage;

std::string TrimLeft(const std::string& text) {
  return text.substr(std::min(text.find_first_not_of(' '), text.size()));
}

class KioskLogToRsyslog : public ::testing::Test {
 protected:
  void SetUp() override {
    diag::Globals = diag::tGlobalSettings{};
    diag::Globals.Log.ProgramId = "VUDURE";
    diag::Globals.Log.LogFileBase = dir.File("rvukiosk");
    diag::Globals.Log.SyslogServer = "127.0.0.1";
    diag::Globals.Log.SyslogLevel = 7;
    diag::SyslogPort = rsyslog.port();
  }
  void TearDown() override {
    diag::Globals = diag::tGlobalSettings{};
    diag::SyslogPort = diag::kSyslogPort;
  }
  Rsyslog rsyslog;
  testsupport::TempDir dir;
  testsupport::ScopedClock clock{platform::EncodeDateTime({2026, 12, 9, 13, 45, 10, 0})};
};

TEST_F(KioskLogToRsyslog, EveryEntryArrivesAsLocal0WithTheTagAndTheText) {
  struct Case {
    std::int32_t code;
    const char* text;
    const char* severity;
  } cases[] = {
      {60101, "[Function=RVULib.GetRVUSrvcXML][URL=http://localhost:8080/rvu/RVUSrvc.xml?20261209134510000][Result=OK]",
       "info"},
      {30000, "[Function=Main.TimerTimer][ClassName=ESocketError][Message=Failed: \"refused\"]", "err"},
      {70001, "[Function=Main.Debug][Note=50% done; a|b: c]", "debug"},
      {50000, "[Function=Main.Note]", "notice"},
      {40000, "[Function=Main.Warn]", "warning"},
      {20000, "[Function=Main.Crit]", "crit"},
      {10000, "[Function=Main.Alert]", "alert"},
      {5, "[Function=Main.Emergency]", "emerg"},
  };
  for (const auto& c : cases) EXPECT_FALSE(diag::LogEntry({c.code, 0, c.text, 0}).empty()) << c.code;

  const std::vector<SyslogMessage> received = rsyslog.ReceivedAll();
  ASSERT_EQ(received.size(), std::size(cases));
  for (size_t i = 0; i < received.size(); ++i) {
    const SyslogMessage& m = received[i];
    const auto& c = cases[i];
    EXPECT_EQ(m.facility, "local0") << c.code;
    EXPECT_EQ(m.severity, c.severity) << c.code;
    EXPECT_EQ(m.tag, "%VUDURE:") << c.code;
    EXPECT_EQ(m.program, "%VUDURE") << c.code;
    // The sender's own time, year included, not the time of arrival.
    EXPECT_EQ(m.reported.substr(0, 19), "2026-12-09T13:45:10") << c.code;
    EXPECT_EQ(TrimLeft(m.text), diag::CodeText(c.code) + ": " + diag::ReplaceAll(c.text, "\"", "'")) << c.code;
  }
}

TEST_F(KioskLogToRsyslog, EntriesAboveTheLevelAreNotSent) {
  diag::Globals.Log.SyslogLevel = 5;
  diag::LogEntry({60101, 0, "[Function=Quiet.Info]", 0});
  diag::LogEntry({50000, 0, "[Function=Loud.Notice]", 0});
  const std::vector<SyslogMessage> received = rsyslog.ReceivedAll();
  ASSERT_EQ(received.size(), 1u);
  EXPECT_EQ(TrimLeft(received[0].text), "50000: [Function=Loud.Notice]");
}

}  // namespace
