#include "tests/support/process.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <stdexcept>

#include "tests/support/wait.h"

extern char** environ;

namespace testsupport {

namespace {

// This process's environment with the changes made, as "NAME=value" entries.
std::vector<std::string> ChangedEnvironment(const Process::Environment& changes) {
  std::vector<std::string> entries;
  for (char** e = environ; *e != nullptr; ++e) {
    const std::string entry(*e);
    if (changes.count(entry.substr(0, entry.find('='))) == 0) entries.push_back(entry);
  }
  for (const auto& [name, value] : changes)
    if (value) entries.push_back(name + "=" + *value);
  return entries;
}

std::vector<char*> Pointers(std::vector<std::string>& strings) {
  std::vector<char*> pointers;
  for (auto& s : strings) pointers.push_back(s.data());
  pointers.push_back(nullptr);
  return pointers;
}

int Decode(int status) { return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status); }

}  // namespace

Output Output::Memory(bool withErrors) {
  Output output;
  output.kind = Kind::Memory;
  output.withErrors = withErrors;
  return output;
}

Output Output::Discard() {
  Output output;
  output.kind = Kind::Discard;
  return output;
}

Process::Process(const std::vector<std::string>& argv, const Environment& env, const std::string& workingDirectory,
                 const Output& output) {
  if (argv.empty()) throw std::invalid_argument("no program to start");
  // Everything the child needs is made here: between fork and exec it only
  // calls what is safe in a copy of a process with threads.
  std::vector<std::string> args = argv, environment = ChangedEnvironment(env);
  std::vector<char*> argPointers = Pointers(args), envPointers = Pointers(environment);
  if (output.kind == Output::Kind::Memory) {
    char name[] = "/tmp/test-output-XXXXXX";
    captured_ = mkostemp(name, O_CLOEXEC);
    if (captured_ < 0) throw std::runtime_error("cannot make a file for the output");
    unlink(name);
  }
  started_ = std::chrono::steady_clock::now();
  pid_ = fork();
  if (pid_ < 0) {
    if (captured_ >= 0) close(captured_);
    throw std::runtime_error("fork failed");
  }
  if (pid_ == 0) {
    setpgid(0, 0);
    if (!workingDirectory.empty() && chdir(workingDirectory.c_str()) != 0) _exit(126);
    int out = -1;
    switch (output.kind) {
      case Output::Kind::Inherit:
        break;
      case Output::Kind::File:
        out = open(output.file.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
        break;
      case Output::Kind::Memory:
        out = captured_;
        break;
      case Output::Kind::Discard:
        out = open("/dev/null", O_WRONLY);
        break;
    }
    if (out >= 0) {
      dup2(out, STDOUT_FILENO);
      if (output.withErrors) dup2(out, STDERR_FILENO);
    }
    execvpe(argPointers[0], argPointers.data(), envPointers.data());
    _exit(127);
  }
  setpgid(pid_, pid_);
}

Process::~Process() {
  if (!exited_) Stop(SIGKILL, 5000);
  if (GroupAlive()) kill(-pid_, SIGKILL);
  if (captured_ >= 0) close(captured_);
}

void Process::Reaped(int status) {
  status_ = status;
  exited_ = true;
}

bool Process::Running() {
  if (exited_) return false;
  int status = 0;
  const pid_t r = waitpid(pid_, &status, WNOHANG);
  if (r == pid_)
    Reaped(status);
  else if (r < 0 && errno == ECHILD)
    exited_ = true;  // reaped elsewhere (a subreaper's sweep of its orphans): the status is gone
  return !exited_;
}

bool Process::Signal(int signal) { return !exited_ && kill(pid_, signal) == 0; }

std::optional<int> Process::WaitStatus(int timeoutMs) {
  WaitUntil([this] { return !Running(); }, timeoutMs, 20);
  return exited_ ? status_ : std::nullopt;
}

int Process::WaitForExit(int timeoutMs) {
  const auto status = WaitStatus(timeoutMs);
  return status ? Decode(*status) : -1;
}

int Process::Stop(int signal, int timeoutMs) {
  Signal(signal);
  const int status = WaitForExit(timeoutMs);
  if (status < 0) {
    kill(-pid_, SIGKILL);
    WaitForExit(5000);
  }
  return status;
}

void Process::ReapGroup() {
  int status = 0;
  for (pid_t r; (r = waitpid(-pid_, &status, WNOHANG)) > 0;)
    if (r == pid_) Reaped(status);
}

int Process::StopGroup(int signal, int timeoutMs) {
  kill(-pid_, signal);
  auto gone = [this] {
    ReapGroup();
    return !Running() && !GroupAlive();
  };
  if (WaitUntil(gone, timeoutMs, 10)) return status_ ? Decode(*status_) : -1;
  kill(-pid_, SIGKILL);
  // A zombie that another reaper keeps would hold the group: give up on it then.
  WaitUntil(gone, 5000, 10);
  return -1;
}

bool Process::GroupAlive() const { return kill(-pid_, 0) == 0; }

std::string Process::CapturedOutput() const {
  std::string text;
  if (captured_ < 0) return text;
  char buffer[4096];
  for (ssize_t n; (n = pread(captured_, buffer, sizeof buffer, static_cast<off_t>(text.size()))) > 0;)
    text.append(buffer, static_cast<std::size_t>(n));
  return text;
}

Process::Environment DisplayProgramEnvironment() {
  Process::Environment env{{"QT_QPA_PLATFORM", std::nullopt}};
  if (getuid() == 0) env["QTWEBENGINE_DISABLE_SANDBOX"] = "1";
  return env;
}

CommandResult Shell(const std::string& command, const Output& output, int timeoutMs) {
  Process shell({"/bin/sh", "-c", command}, {}, "", output);
  CommandResult result;
  const auto status = shell.WaitStatus(timeoutMs);
  if (status && WIFEXITED(*status)) result.status = WEXITSTATUS(*status);
  result.output = shell.CapturedOutput();
  return result;
}

std::string Quote(const std::string& word) {
  std::string quoted = "'";
  for (char c : word) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

}  // namespace testsupport
