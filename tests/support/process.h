#pragma once

#include <sys/types.h>

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace testsupport {

// A program started in a process group of its own, with changes to the
// environment (nullopt removes a variable), in a working directory ("" keeps
// the test's) and with its output in a file ("" leaves it on the test's output).
// Whatever of its group is left when it goes out of scope is killed.
class Process {
 public:
  using Environment = std::map<std::string, std::optional<std::string>>;

  Process(const std::vector<std::string>& argv, const Environment& env, const std::string& workingDirectory,
          const std::string& outputFile);
  ~Process();
  Process(const Process&) = delete;
  Process& operator=(const Process&) = delete;

  pid_t pid() const { return pid_; }
  bool Running();
  // The exit status (128 + signal for a signal), or -1 when it did not end in time.
  int WaitForExit(int timeoutMs);
  // Sends a signal and waits; a program that does not end in time is killed and -1 returned.
  int Stop(int signal, int timeoutMs);
  // Whether any process of its group is still there.
  bool GroupAlive() const;

 private:
  pid_t pid_ = -1;
  int status_ = 0;
  bool exited_ = false;
};

}  // namespace testsupport
