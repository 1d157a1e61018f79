#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <chrono>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/process.h"
#include "tests/support/udp_receiver.h"

namespace {

using Clock = std::chrono::steady_clock;

// The built simulator run as a child process, its standard output kept.
testsupport::Process StartSim(std::vector<std::string> args) {
  args.insert(args.begin(), GATEWAY_SIM_PATH);
  return testsupport::Process(args, {}, "", testsupport::Output::Memory(false));
}

void ExpectCleanExit(const std::optional<int>& status) {
  ASSERT_TRUE(status.has_value()) << "the simulator did not end in time";
  ASSERT_TRUE(WIFEXITED(*status)) << "ended by signal " << (WIFSIGNALED(*status) ? WTERMSIG(*status) : 0);
  EXPECT_EQ(WEXITSTATUS(*status), 0);
}

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

TEST(GatewayProgram, SendDeliversExactlyTheGivenBytesOnce) {
  struct Case {
    std::string text;
    bool quiet;
  } cases[] = {
      {"CMD:SCROLL", false},
      {"CMD:CAPCODE=1234", true},
      {"[RVU:1234] RESCUE P1 VEHICLE ROLLOVER 14 OLD MILL RD BRINDLEMOOR EAST", false},
      {"  two  spaces, a\ttab, = signs and \xc3\xa9 bytes  ", false},
      {"", true},
      {std::string(8191, 'x') + "!", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE("text of " + std::to_string(c.text.size()) + " bytes: " + c.text.substr(0, 40));
    testsupport::UdpReceiver receiver;
    std::vector<std::string> args = {"--port", std::to_string(receiver.port()), "--send", c.text};
    if (c.quiet) args.push_back("--quiet");
    testsupport::Process sim = StartSim(args);
    ExpectCleanExit(sim.WaitStatus(10000));

    auto datagram = receiver.Receive();
    ASSERT_TRUE(datagram.has_value());
    EXPECT_EQ(*datagram, c.text);
    EXPECT_FALSE(receiver.Receive(200).has_value()) << "more than one datagram";
    EXPECT_EQ(sim.CapturedOutput(), c.quiet ? std::string() : c.text + "\n");
  }
}

TEST(GatewayProgram, SendsTheSetNumberOfLinesAtTheSetRate) {
  struct Case {
    std::vector<std::string> args;
    std::size_t lines;
    double spanSeconds;  // from the first line to the last
  } cases[] = {
      {{"--count", "5", "--rate", "10"}, 5, 0.4},
      {{"--count", "3", "--rate", "2.5"}, 3, 0.8},
      {{"--duration", "0.45", "--rate", "10"}, 5, 0.4},
      {{"--count", "4", "--duration", "10", "--rate", "20"}, 4, 0.15},
  };
  for (const auto& c : cases) {
    std::string shown;
    for (const auto& a : c.args) shown += a + " ";
    SCOPED_TRACE(shown);
    testsupport::UdpReceiver receiver;
    auto args = c.args;
    args.insert(args.end(), {"--port", std::to_string(receiver.port()), "--seed", "5"});
    testsupport::Process sim = StartSim(args);

    std::vector<std::string> received;
    std::vector<Clock::time_point> arrivals;
    while (received.size() < c.lines) {
      auto datagram = receiver.Receive(3000);
      if (!datagram) break;
      received.push_back(*datagram);
      arrivals.push_back(Clock::now());
    }
    ExpectCleanExit(sim.WaitStatus(10000));
    ASSERT_EQ(received.size(), c.lines);
    EXPECT_FALSE(receiver.Receive(100).has_value()) << "more lines than set";

    double span = std::chrono::duration<double>(arrivals.back() - arrivals.front()).count();
    EXPECT_GT(span, c.spanSeconds - 0.05);
    EXPECT_LT(span, c.spanSeconds + 0.35);
    // Each line sent is printed, in order.
    EXPECT_EQ(SplitLines(sim.CapturedOutput()), received);
  }
}

TEST(GatewayProgram, PagesTheChosenCapcode) {
  testsupport::UdpReceiver receiver;
  testsupport::Process sim = StartSim({"--port", std::to_string(receiver.port()), "--capcode", "8080", "--own-share",
                                       "1", "--count", "4", "--rate", "100", "--quiet"});
  ExpectCleanExit(sim.WaitStatus(10000));
  for (int i = 0; i < 4; ++i) {
    auto datagram = receiver.Receive();
    ASSERT_TRUE(datagram.has_value());
    EXPECT_NE(datagram->find(":8080]"), std::string::npos) << *datagram;
  }
}

TEST(GatewayProgram, StopSignalEndsEvenASlowFeedCleanly) {
  for (int sig : {SIGTERM, SIGINT}) {
    SCOPED_TRACE(strsignal(sig));
    testsupport::UdpReceiver receiver;
    // One line per 100 s: the stop must not wait for the next deadline.
    testsupport::Process sim = StartSim({"--port", std::to_string(receiver.port()), "--rate", "0.01", "--quiet"});
    ASSERT_TRUE(receiver.Receive(5000).has_value());
    sim.Signal(sig);
    ExpectCleanExit(sim.WaitStatus(2000));
    EXPECT_FALSE(receiver.Receive(100).has_value());
  }
}

TEST(GatewayProgram, BadArgumentsSendNothing) {
  testsupport::UdpReceiver receiver;
  testsupport::Process sim =
      StartSim({"--port", std::to_string(receiver.port()), "--rate", "0", "--send", "CMD:SCROLL"});
  auto status = sim.WaitStatus(10000);
  ASSERT_TRUE(status.has_value());
  ASSERT_TRUE(WIFEXITED(*status));
  EXPECT_NE(WEXITSTATUS(*status), 0);
  EXPECT_FALSE(receiver.Receive(200).has_value());
}

}  // namespace
