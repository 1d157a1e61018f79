#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <regex>
#include <ostream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/sim/sim_fixture.h"
#include "tests/support/temp_dir.h"

extern char** environ;

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
  int out[2];
  ASSERT_EQ(::pipe(out), 0);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
  posix_spawn_file_actions_addclose(&actions, out[0]);
  std::vector<std::string> args = {UNIT_SERVICE_SIM_PATH, "--port",  "0",   "--control-port", "0",
                                   "--pix",               "2",       "--log", log,            "--no-incident"};
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t pid = 0;
  ASSERT_EQ(posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ), 0);
  posix_spawn_file_actions_destroy(&actions);
  ::close(out[1]);

  // Everything it writes to stdout until it ends.
  std::string printed;
  auto readFor = [&](std::chrono::milliseconds limit, bool untilLine) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < deadline && !(untilLine && printed.find('\n') != std::string::npos)) {
      pollfd p{out[0], POLLIN, 0};
      if (::poll(&p, 1, 50) <= 0) continue;
      char buffer[512];
      const ssize_t n = ::read(out[0], buffer, sizeof buffer);
      if (n <= 0) break;
      printed.append(buffer, static_cast<size_t>(n));
    }
  };
  readFor(std::chrono::seconds(10), true);
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

  ::kill(pid, SIGTERM);
  int status = 0;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  pid_t ended = 0;
  while ((ended = ::waitpid(pid, &status, WNOHANG)) == 0 && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  if (ended == 0) {
    ::kill(pid, SIGKILL);
    ::waitpid(pid, &status, 0);
    FAIL() << "the program did not end on SIGTERM";
  }
  EXPECT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  readFor(std::chrono::milliseconds(200), false);
  ::close(out[0]);
  // The request log went to the file, so the announcement is all it printed.
  EXPECT_EQ(std::count(printed.begin(), printed.end(), '\n'), 1) << printed;
  EXPECT_NE(testsupport::ReadWholeFile(log).find("GET " + FeedTarget()), std::string::npos);
#endif
}

}  // namespace
