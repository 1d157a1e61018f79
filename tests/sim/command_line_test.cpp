#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <chrono>
#include <ostream>
#include <regex>
#include <string>
#include <vector>

#include "tests/sim/sim_fixture.h"
#include "tests/support/process.h"
#include "tests/support/temp_dir.h"
#include "tests/support/wait.h"

namespace {

using namespace simtest;

struct ArgsCase {
  std::vector<std::string> args;
  bool valid;
  int port;
  std::optional<int> controlPort;
  int pix;
  bool incident;
  std::string log;
};

void PrintTo(const ArgsCase& c, std::ostream* os) {
  for (const auto& a : c.args) *os << a << ' ';
}

class CommandLine : public ::testing::TestWithParam<ArgsCase> {};

TEST_P(CommandLine, IsReadIntoOptions) {
  const ArgsCase c = GetParam();
  std::string error;
  const auto line = sim::ParseCommandLine(c.args, error);
  ASSERT_EQ(line.has_value(), c.valid) << error;
  if (!c.valid) {
    EXPECT_FALSE(error.empty());
    return;
  }
  EXPECT_EQ(line->options.port, c.port);
  EXPECT_EQ(line->options.controlPort, c.controlPort);
  EXPECT_EQ(line->options.pix, c.pix);
  EXPECT_EQ(line->options.startWithIncident, c.incident);
  EXPECT_EQ(line->options.logPath, c.log);
  EXPECT_TRUE(line->options.announce);
}

INSTANTIATE_TEST_SUITE_P(
    Arguments, CommandLine,
    ::testing::Values(ArgsCase{{}, true, 8080, std::nullopt, 12, true, "-"},
                      ArgsCase{{"--port", "0", "--control-port", "0"}, true, 0, 0, 12, true, "-"},
                      ArgsCase{{"--port=9000", "--pix=5", "--no-incident"}, true, 9000, std::nullopt, 5, false, "-"},
                      ArgsCase{{"--log", "/tmp/x.log", "--pix", "0"}, true, 8080, std::nullopt, 0, true, "/tmp/x.log"},
                      ArgsCase{{"--port"}, false, 0, std::nullopt, 0, false, ""},
                      ArgsCase{{"--port", "70000"}, false, 0, std::nullopt, 0, false, ""},
                      ArgsCase{{"--pix", "-1"}, false, 0, std::nullopt, 0, false, ""},
                      ArgsCase{{"--pix", "many"}, false, 0, std::nullopt, 0, false, ""},
                      ArgsCase{{"--log="}, false, 0, std::nullopt, 0, false, ""},
                      ArgsCase{{"--portable"}, false, 0, std::nullopt, 0, false, ""},
                      ArgsCase{{"extra"}, false, 0, std::nullopt, 0, false, ""}));

TEST(Program, AnnouncesItsPortsServesAndEndsCleanlyOnSigterm) {
#ifndef UNIT_SERVICE_SIM_PATH
  GTEST_SKIP() << "the program's path is not known to this build";
#else
  testsupport::TempDir dir;
  const std::string log = dir.File("requests.log");
  testsupport::Process sim(
      {UNIT_SERVICE_SIM_PATH, "--port", "0", "--control-port", "0", "--pix", "2", "--log", log, "--no-incident"}, {},
      "", testsupport::Output::Memory(false));

  // Its first line, the announcement.
  testsupport::WaitUntil([&] { return sim.CapturedOutput().find('\n') != std::string::npos; }, 10000);
  std::string printed = sim.CapturedOutput();
  std::smatch match;
  const std::regex announce(R"(unit-service-sim listening on 127\.0\.0\.1:(\d+) control 127\.0\.0\.1:(\d+)\n)");
  const bool announced = std::regex_search(printed, match, announce) && match.position(0) == 0;
  EXPECT_TRUE(announced) << printed;
  if (announced) {
    const int port = std::stoi(match[1]);
    const auto feed = Get(port, FeedTarget());
    ASSERT_TRUE(feed);
    EXPECT_NE(feed->body.find("<PageA></PageA>"), std::string::npos) << feed->body;
    EXPECT_NE(feed->body.find("<KioskPix>2</KioskPix>"), std::string::npos);
    const auto state = Get(std::stoi(match[2]), "/state");
    ASSERT_TRUE(state);
    EXPECT_NE(state->body.find("current none"), std::string::npos);
  }

  sim.Signal(SIGTERM);
  const std::optional<int> status = sim.WaitStatus(5000);
  if (!status) FAIL() << "the program did not end on SIGTERM";
  EXPECT_TRUE(WIFEXITED(*status));
  EXPECT_EQ(WEXITSTATUS(*status), 0);
  printed = sim.CapturedOutput();
  // The request log went to the file, so the announcement is all it printed.
  EXPECT_EQ(std::count(printed.begin(), printed.end(), '\n'), 1) << printed;
  EXPECT_NE(testsupport::ReadWholeFile(log).find("GET " + FeedTarget()), std::string::npos);
#endif
}

}  // namespace
