#pragma once

#include <sys/types.h>

#include <chrono>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace testsupport {

// Where a started program's standard output and error go.
struct Output {
  enum class Kind { Inherit, File, Memory, Discard };
  Kind kind = Kind::Inherit;
  std::string file;        // Kind::File: appended to
  bool withErrors = true;  // standard error too; otherwise it stays the test's

  Output() = default;
  // A file name, or "" for the test's own output.
  Output(const std::string& path) : kind(path.empty() ? Kind::Inherit : Kind::File), file(path) {}
  Output(const char* path) : Output(std::string(path)) {}
  static Output Inherit() { return {}; }
  static Output Memory(bool withErrors = true);
  static Output Discard();
};

// A program started in a process group of its own, with changes to the
// environment (nullopt removes a variable), in a working directory ("" keeps
// the test's), its output where `output` says. Whatever of its group is left
// when it goes out of scope is killed.
class Process {
 public:
  using Environment = std::map<std::string, std::optional<std::string>>;

  explicit Process(const std::vector<std::string>& argv, const Environment& env = {},
                   const std::string& workingDirectory = "", const Output& output = {});
  ~Process();
  Process(const Process&) = delete;
  Process& operator=(const Process&) = delete;

  pid_t pid() const { return pid_; }
  // Just before the program was started.
  std::chrono::steady_clock::time_point Started() const { return started_; }
  bool Running();
  // Sends a signal to the program alone; whether it could be sent.
  bool Signal(int signal);
  // The wait status (as waitpid gives it) once it has ended, or nothing when it
  // did not end in time (or was reaped by someone else).
  std::optional<int> WaitStatus(int timeoutMs);
  // The exit status (128 + signal for a signal), or -1 when it did not end in time.
  int WaitForExit(int timeoutMs);
  // Sends a signal to the program and waits; a program that does not end in
  // time is killed with its group and -1 returned.
  int Stop(int signal, int timeoutMs);
  // Sends a signal to the whole group and waits until none of it is left,
  // reaping those of the group handed to this process; what is left after
  // timeoutMs is killed. The program's exit status, or -1 when it was killed.
  int StopGroup(int signal, int timeoutMs);
  // Whether any process of its group is still there.
  bool GroupAlive() const;
  // What it has written so far, with Output::Memory().
  std::string CapturedOutput() const;

 private:
  void Reaped(int status);
  void ReapGroup();

  pid_t pid_ = -1;
  std::chrono::steady_clock::time_point started_;
  std::optional<int> status_;
  bool exited_ = false;
  int captured_ = -1;  // the file that takes its output, with Output::Memory()
};

// The environment changes for a Qt program under the test's X display: the
// display's own window system, and the web engine's sandbox off when running
// as root (it cannot run as root otherwise).
Process::Environment DisplayProgramEnvironment();

struct CommandResult {
  int status = -1;     // the exit status, or -1 when it did not exit normally or in time
  std::string output;  // standard output and error together (with Output::Memory())
};
// Runs a command with /bin/sh to its end, its output in memory unless told otherwise.
CommandResult Shell(const std::string& command, const Output& output = Output::Memory(),
                    int timeoutMs = 10 * 60 * 1000);
// A word for the shell, in single quotes.
std::string Quote(const std::string& word);

}  // namespace testsupport
