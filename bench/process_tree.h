#pragma once

// Starting a program in a process group of its own, and reading what its
// whole process tree (the program and every descendant, such as the web
// engine's processes) uses, from /proc.
#include <sys/types.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

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

// A program started in a working directory, in a new process group, with the
// environment of this process less QT_QPA_PLATFORM, with the web engine's
// sandbox off when running as root (it cannot run as root otherwise), and its
// output thrown away.
class Child {
 public:
  Child(const std::string& program, const std::vector<std::string>& args, const std::string& workingDirectory);
  ~Child();
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;

  pid_t Pid() const { return pid_; }
  std::int64_t StartNs() const { return startNs_; }  // just before the fork
  bool Running();
  // SIGTERM to the whole group, SIGKILL after timeoutMs; returns when no
  // process of the group is left.
  void Stop(int timeoutMs = 5000);

 private:
  pid_t pid_ = -1;
  std::int64_t startNs_ = 0;
  bool exited_ = false;
};

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
