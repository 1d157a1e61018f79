#pragma once

// Starting a program in a process group of its own, and reading what its
// whole process tree (the program and every descendant, such as the web
// engine's processes) uses, from /proc.
#include <sys/types.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "tests/support/process.h"

namespace bench {

// Makes this process the reaper of orphaned descendants, so that processes a
// child leaves behind are still found below this one and are reaped here.
void BecomeSubreaper();

// A fresh folder in /tmp holding a copy of a program, so that what the program
// writes beside itself (the kiosk's daily logs) and in its working directory
// stays there; removed with everything in it at the end of the scope.
class ProgramCopy {
 public:
  explicit ProgramCopy(const std::string& program);
  ~ProgramCopy();
  ProgramCopy(const ProgramCopy&) = delete;
  ProgramCopy& operator=(const ProgramCopy&) = delete;
  const std::string& Folder() const { return folder_; }
  const std::string& Path() const { return path_; }

 private:
  std::string folder_, path_;
};

using Child = testsupport::Process;

// A program started in a working directory, in a process group of its own,
// under the display's own window system, with its output thrown away (the web
// engine's console chatter would drown the figures).
inline Child StartChild(const std::vector<std::string>& argv, const std::string& workingDirectory) {
  return Child(argv, testsupport::DisplayProgramEnvironment(), workingDirectory, testsupport::Output::Discard());
}

// Reaps any exited descendants handed to this process as subreaper.
void ReapOrphans();

// The pids of a process and all its descendants.
std::vector<pid_t> ProcessTree(pid_t root);

// The first process in the tree whose program file name is `name`; -1 if none.
pid_t FindInTree(pid_t root, const std::string& name);

struct ProcessSample {
  std::string name;       // the command name from /proc/<pid>/stat
  double cpuSeconds = 0;  // user + system time so far
  std::uint64_t rssBytes = 0;
  std::uint64_t pssBytes = 0;
};
// Nothing for a process that is gone.
bool ReadProcess(pid_t pid, ProcessSample& sample, bool withPss = false);

// Adds up the CPU time a process tree uses from the first sample on: each
// process counts from when it was first seen (from 0 for processes that
// start later), so processes that come and go do not spoil the sum.
class TreeCpu {
 public:
  explicit TreeCpu(pid_t root) : root_(root) {}
  void Begin();  // the start of the measured time
  void Sample();
  double Seconds() const;
  // The CPU seconds by command name, for a breakdown.
  std::map<std::string, double> ByName() const;

 private:
  struct Seen {
    std::string name;
    double first = 0;
    double last = 0;
  };
  pid_t root_;
  bool begun_ = false;
  std::map<pid_t, Seen> seen_;
};

// The CPU seconds each thread of a process has used so far, added up by thread name.
std::map<std::string, double> ThreadCpu(pid_t pid);

struct TreeMemory {
  std::uint64_t rssBytes = 0;  // resident set sizes added up (shared pages count in each)
  std::uint64_t pssBytes = 0;  // proportional set sizes added up (shared pages split)
  int processes = 0;
};
TreeMemory ReadTreeMemory(pid_t root);

}  // namespace bench
