// The gateway's own reports as the journal and a syslog receiver get them.
#include "pager-gateway/report.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>

#include "diag/syslog.h"
#include "pager-gateway/gateway.h"
#include "tests/support/temp_dir.h"
#include "tests/support/udp_receiver.h"

namespace {

// Standard error sent to a file for the life of the object.
class CapturedStderr {
 public:
  CapturedStderr() : file_(dir_.File("stderr")) {
    std::fflush(stderr);
    saved_ = ::dup(2);
    FILE* f = std::fopen(file_.c_str(), "w");
    ::dup2(::fileno(f), 2);
    std::fclose(f);
  }
  ~CapturedStderr() { Restore(); }
  std::string Text() {
    Restore();
    return testsupport::ReadWholeFile(file_);
  }

 private:
  void Restore() {
    if (saved_ < 0) return;
    std::fflush(stderr);
    ::dup2(saved_, 2);
    ::close(saved_);
    saved_ = -1;
  }
  testsupport::TempDir dir_;
  std::string file_;
  int saved_ = -1;
};

// A page text is reported as it came from the air: its line breaks must not
// start a journal entry of its own, whose "<0>" would give it any priority.
TEST(GatewayReport, AJournalLineStaysOneLineWithinTheBound) {
  const std::string marker = "... [cut, 1025 bytes]";
  struct Case {
    const char* name;
    int severity;
    std::string message, line;
  } cases[] = {
      {"plain", pagergw::kInfo, "pages decoded again", "<6>pages decoded again\n"},
      {"line break and a priority", pagergw::kDebug, "page 1234567: FIRE\n<0>ALL UNITS",
       "<7>page 1234567: FIRE <0>ALL UNITS\n"},
      {"every control character", pagergw::kDebug, std::string("a\0b\r\x1b[2J\x7f", 9), "<7>a b  [2J \n"},
      {"at the bound", pagergw::kDebug, std::string(1024, 'p'), "<7>" + std::string(1024, 'p') + "\n"},
      {"one past it", pagergw::kDebug, std::string(1025, 'p'),
       "<7>" + std::string(1024 - marker.size(), 'p') + marker + "\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    CapturedStderr captured;
    pagergw::Reporter("").Report(c.severity, c.message);
    EXPECT_EQ(captured.Text(), c.line);
    EXPECT_EQ(pagergw::JournalLine(c.severity, c.message), c.line);
  }
}

TEST(GatewayReport, TheDatagramStaysOneLineWithinTheBound) {
  testsupport::UdpReceiver receiver;
  pagergw::Reporter reporter("127.0.0.1:" + std::to_string(receiver.port()));
  {
    CapturedStderr captured;
    reporter.Report(pagergw::kWarning, "decoder said: x\r\n<0>y" + std::string(100000, 'z'));
  }
  const auto datagram = receiver.Receive();
  ASSERT_TRUE(datagram);
  EXPECT_LE(datagram->size(), diag::kSyslogDatagramMaxBytes);
  EXPECT_NE(datagram->find("%rvu-pager-gateway: decoder said: x  <0>yzzz"), std::string::npos) << *datagram;
  EXPECT_TRUE(datagram->ends_with("z... [cut, 100021 bytes]")) << *datagram;
}

}  // namespace
