#include "tests/support/process.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdlib>

#include "tests/support/temp_dir.h"
#include "tests/support/wait.h"

namespace {

using testsupport::Output;
using testsupport::Process;

TEST(Process, RunsWithTheEnvironmentChangesInItsFolder) {
  setenv("PROCESS_TEST_KEPT", "kept", 1);
  setenv("PROCESS_TEST_REMOVED", "there", 1);
  testsupport::TempDir dir;
  Process p({"sh", "-c", "echo \"$PROCESS_TEST_KEPT|${PROCESS_TEST_REMOVED-unset}|$PROCESS_TEST_ADDED\"; pwd"},
            {{"PROCESS_TEST_REMOVED", std::nullopt}, {"PROCESS_TEST_ADDED", "added value"}}, dir.path(),
            Output::Memory());
  ASSERT_EQ(p.WaitForExit(5000), 0);
  std::string folder = dir.path();
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  EXPECT_EQ(p.CapturedOutput(), "kept|unset|added value\n" + folder + "\n");
  unsetenv("PROCESS_TEST_KEPT");
  unsetenv("PROCESS_TEST_REMOVED");
}

TEST(Process, OutputGoesWhereItIsSent) {
  testsupport::TempDir dir;
  const std::string script = "echo out; echo err >&2";
  {
    Process memory({"sh", "-c", script}, {}, "", Output::Memory());
    ASSERT_EQ(memory.WaitForExit(5000), 0);
    EXPECT_EQ(memory.CapturedOutput(), "out\nerr\n");
  }
  {
    Process outOnly({"sh", "-c", script + " 2>/dev/null; echo more"}, {}, "", Output::Memory(false));
    ASSERT_EQ(outOnly.WaitForExit(5000), 0);
    EXPECT_EQ(outOnly.CapturedOutput(), "out\nmore\n");
  }
  // A file is appended to, not replaced.
  testsupport::WriteWholeFile(dir.File("out.txt"), "before\n");
  for (int run = 0; run < 2; ++run) {
    Process file({"sh", "-c", script}, {}, "", dir.File("out.txt"));
    ASSERT_EQ(file.WaitForExit(5000), 0);
    EXPECT_EQ(file.CapturedOutput(), "") << "nothing is kept in memory";
  }
  EXPECT_EQ(testsupport::ReadWholeFile(dir.File("out.txt")), "before\nout\nerr\nout\nerr\n");
}

TEST(Process, ExitStatusesAndSignals) {
  struct Case {
    const char* script;
    int exitStatus;
  } cases[] = {
      {"exit 0", 0},
      {"exit 3", 3},
      {"kill -TERM $$", 128 + SIGTERM},
      {"kill -KILL $$", 128 + SIGKILL},
  };
  for (const auto& c : cases) {
    Process p({"sh", "-c", c.script});
    EXPECT_EQ(p.WaitForExit(5000), c.exitStatus) << c.script;
    EXPECT_FALSE(p.Running()) << c.script;
  }
  Process missing({"/nonexistent/program"});
  EXPECT_EQ(missing.WaitForExit(5000), 127);
  Process badFolder({"true"}, {}, "/nonexistent/folder");
  EXPECT_EQ(badFolder.WaitForExit(5000), 126);
}

TEST(Process, WaitsAreBoundedAndStopsEndIt) {
  Process p({"sleep", "30"});
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(p.WaitForExit(200), -1);
  EXPECT_EQ(p.WaitStatus(0), std::nullopt);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  EXPECT_TRUE(p.Running());
  ASSERT_TRUE(p.Signal(SIGTERM));
  const auto status = p.WaitStatus(5000);
  ASSERT_TRUE(status.has_value());
  EXPECT_TRUE(WIFSIGNALED(*status));
  EXPECT_EQ(WTERMSIG(*status), SIGTERM);
  EXPECT_FALSE(p.Signal(SIGTERM)) << "no signal to a program that has ended";

  // A program that ignores the signal is killed at the end of the wait.
  Process stubborn({"sh", "-c", "trap '' TERM; echo ready; while :; do sleep 0.05; done"}, {}, "", Output::Memory());
  ASSERT_TRUE(testsupport::WaitUntil([&] { return !stubborn.CapturedOutput().empty(); }, 5000, 10));
  EXPECT_EQ(stubborn.Stop(SIGTERM, 300), -1);
  EXPECT_FALSE(stubborn.Running());
  // Its own child was killed with it; whoever inherited it reaps it.
  EXPECT_TRUE(testsupport::WaitUntil([&] { return !stubborn.GroupAlive(); }, 5000, 10));
}

TEST(Process, StopGroupEndsEveryProcessOfTheGroup) {
  // The shell leaves a child behind in its group.
  Process p({"sh", "-c", "sleep 30 & echo started; wait"}, {}, "", Output::Memory());
  ASSERT_TRUE(testsupport::WaitUntil([&] { return !p.CapturedOutput().empty(); }, 5000, 10));
  EXPECT_TRUE(p.GroupAlive());
  EXPECT_EQ(p.StopGroup(SIGTERM, 5000), 128 + SIGTERM);
  EXPECT_FALSE(p.GroupAlive());
}

TEST(Process, ShellCommandsAndQuoting) {
  struct Case {
    std::string command;
    int status;
    std::string output;
  } cases[] = {
      {"echo one; echo two >&2", 0, "one\ntwo\n"},
      {"printf %s " + testsupport::Quote("it's a \"word\" with $HOME and \\"), 0, "it's a \"word\" with $HOME and \\"},
      {"exit 4", 4, ""},
      {"kill -KILL $$", -1, ""},
  };
  for (const auto& c : cases) {
    const auto result = testsupport::Shell(c.command);
    EXPECT_EQ(result.status, c.status) << c.command;
    EXPECT_EQ(result.output, c.output) << c.command;
  }
  EXPECT_EQ(testsupport::Shell("echo shown", Output::Inherit()).output, "");
  EXPECT_EQ(testsupport::Shell("sleep 30", Output::Memory(), 200).status, -1);
}

TEST(WaitUntil, ChecksUntilTheConditionHoldsOrTheTimeIsUp) {
  int checks = 0;
  EXPECT_TRUE(testsupport::WaitUntil([&] { return ++checks == 3; }, 5000, 1));
  EXPECT_EQ(checks, 3);

  checks = 0;
  int pauses = 0;
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(testsupport::WaitUntil(
      [&] {
        ++checks;
        return false;
      },
      100,
      [&] {
        ++pauses;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
      }));
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(100));
  EXPECT_EQ(checks, pauses + 1) << "a check after every pause, the last one after the time is up";

  checks = 0;
  EXPECT_FALSE(testsupport::WaitUntil([&] { return ++checks > 1; }, 0));
  EXPECT_EQ(checks, 1) << "no time: a single check";
}

}  // namespace
