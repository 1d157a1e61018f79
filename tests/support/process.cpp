#include "tests/support/process.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <stdexcept>
#include <thread>

namespace testsupport {

Process::Process(const std::vector<std::string>& argv, const Environment& env, const std::string& workingDirectory,
                 const std::string& outputFile) {
  pid_ = fork();
  if (pid_ < 0) throw std::runtime_error("fork failed");
  if (pid_ == 0) {
    setpgid(0, 0);
    for (const auto& [name, value] : env) {
      if (value)
        setenv(name.c_str(), value->c_str(), 1);
      else
        unsetenv(name.c_str());
    }
    if (!workingDirectory.empty() && chdir(workingDirectory.c_str()) != 0) _exit(126);
    if (!outputFile.empty()) {
      const int out = open(outputFile.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
      if (out >= 0) {
        dup2(out, STDOUT_FILENO);
        dup2(out, STDERR_FILENO);
      }
    }
    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    execvp(args[0], args.data());
    _exit(127);
  }
  setpgid(pid_, pid_);
}

Process::~Process() {
  if (!exited_) Stop(SIGKILL, 5000);
  if (GroupAlive()) kill(-pid_, SIGKILL);
}

bool Process::Running() {
  if (exited_) return false;
  if (waitpid(pid_, &status_, WNOHANG) == pid_) exited_ = true;
  return !exited_;
}

int Process::WaitForExit(int timeoutMs) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (Running() && std::chrono::steady_clock::now() < end) std::this_thread::sleep_for(std::chrono::milliseconds(20));
  if (Running()) return -1;
  return WIFEXITED(status_) ? WEXITSTATUS(status_) : 128 + WTERMSIG(status_);
}

int Process::Stop(int signal, int timeoutMs) {
  if (!exited_) kill(pid_, signal);
  const int status = WaitForExit(timeoutMs);
  if (status < 0) {
    kill(-pid_, SIGKILL);
    WaitForExit(5000);
  }
  return status;
}

bool Process::GroupAlive() const { return kill(-pid_, 0) == 0; }

}  // namespace testsupport
