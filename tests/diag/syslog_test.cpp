#include "diag/syslog.h"

#include <gtest/gtest.h>

#include "diag/log.h"
#include "platform/error.h"
#include "tests/support/temp_dir.h"
#include "tests/support/udp_receiver.h"

namespace {

using namespace diag;
using platform::EncodeDateTime;

TEST(Syslog, DatagramText) {
  struct Case {
    int month, day;
    const char* programId;
    int severity;
    const char* expected;
  } cases[] = {
      {1, 5, "VUDURE", 6, "<134>Jan 05 2015 13:45:10: %VUDURE: msg"},
      {12, 25, "VUDURE", 3, "<131>Dec 25 2015 13:45:10: %VUDURE: msg"},
      {7, 1, "", 0, "<128>Jul 01 2015 13:45:10: %: msg"},
  };
  for (const auto& c : cases) {
    const auto now = EncodeDateTime({2015, c.month, c.day, 13, 45, 10, 999});
    EXPECT_EQ(BuildSyslogDatagram(now, c.programId, c.severity, 16, "msg"), c.expected);
  }
  EXPECT_EQ(BuildSyslogDatagram(EncodeDateTime({2015, 1, 5, 0, 0, 0, 0}), "X", 7, 1, ""),
            "<15>Jan 05 2015 00:00:00: %X: ");
}

class SyslogSend : public ::testing::Test {
 protected:
  void SetUp() override {
    Globals = tGlobalSettings{};
    Globals.Log.ProgramId = "VUDURE";
    SyslogPort = receiver.port();
  }
  void TearDown() override {
    Globals = tGlobalSettings{};
    SyslogPort = kSyslogPort;
  }
  testsupport::UdpReceiver receiver;
  testsupport::ScopedClock clock{EncodeDateTime({2026, 3, 5, 8, 1, 2, 0})};
};

TEST_F(SyslogSend, EmptyServerSendsNothing) {
  SendSyslog("60101: x", 6, 16);
  EXPECT_EQ(receiver.Receive(200), std::nullopt);
}

TEST_F(SyslogSend, SendsToTheServerAndRaisesItsErrors) {
  Globals.Log.SyslogServer = "localhost";
  SendSyslog("30000: [Function=X.Y]", 3, 16);
  EXPECT_EQ(receiver.Receive(), "<131>Mar 05 2026 08:01:02: %VUDURE: 30000: [Function=X.Y]");

  Globals.Log.SyslogServer = "no-such-host.invalid";
  EXPECT_THROW(SendSyslog("x", 3, 16), platform::Error);
  Globals.Log.SyslogServer = "127.0.0.1";
  EXPECT_THROW(SendSyslog(std::string(70000, 'x'), 3, 16), platform::Error);
}

}  // namespace
