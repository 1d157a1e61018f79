#include "diag/syslog.h"

#include <gtest/gtest.h>

#include "diag/log.h"
#include "diag/text.h"
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

// The message is cut to the outside-text bound and the whole datagram stays
// within its bound, each time with a marker saying how long the message was;
// control characters are sent as blanks.
TEST(Syslog, DatagramBounds) {
  const auto now = EncodeDateTime({2015, 1, 5, 13, 45, 10, 0});
  const std::string header = "<134>Jan 05 2015 13:45:10: %VUDURE: ";
  // A program identifier long enough that the datagram's bound, not the
  // message's, is the one reached.
  const std::string longId(1500, 'P');
  const std::string longHeader = "<134>Jan 05 2015 13:45:10: %" + longId + ": ";
  const size_t room = kSyslogDatagramMaxBytes - longHeader.size();
  auto cutTo = [](size_t bytes, size_t length) {
    const std::string marker = "... [cut, " + std::to_string(length) + " bytes]";
    return std::string(bytes - marker.size(), 'm') + marker;
  };
  struct Case {
    const char* name;
    std::string programId, message, expected;
  } cases[] = {
      {"line breaks", "VUDURE", "30000: [Message=a\r\n<0>b\x7f\x01]", header + "30000: [Message=a  <0>b  ]"},
      {"message at its bound", "VUDURE", std::string(kLogTextMaxBytes, 'm'), header + std::string(1536, 'm')},
      {"message one past it", "VUDURE", std::string(kLogTextMaxBytes + 1, 'm'), header + cutTo(1536, 1537)},
      {"1 MiB message", "VUDURE", std::string(1 << 20, 'm'), header + cutTo(1536, 1 << 20)},
      {"datagram at its bound", longId, std::string(room, 'm'), longHeader + std::string(room, 'm')},
      {"datagram one past it", longId, std::string(room + 1, 'm'), longHeader + cutTo(room, room + 1)},
      {"header past the bound", std::string(3000, 'P'), "msg", "<134>Jan 05 2015 13:45:10: %" + std::string(2048 - 28, 'P')},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string datagram = BuildSyslogDatagram(now, c.programId, 6, 16, c.message);
    EXPECT_EQ(datagram, c.expected);
    EXPECT_LE(datagram.size(), kSyslogDatagramMaxBytes);
  }
  EXPECT_EQ(longHeader.size() + room, 2048u);
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
  // A message longer than a datagram can carry goes out cut, within the bound.
  SendSyslog(std::string(70000, 'x'), 3, 16);
  const auto cut = receiver.Receive();
  ASSERT_TRUE(cut);
  EXPECT_LE(cut->size(), kSyslogDatagramMaxBytes);
  EXPECT_TRUE(cut->ends_with("x... [cut, 70000 bytes]")) << *cut;
}

}  // namespace
