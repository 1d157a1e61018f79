#include "pager-gateway/receiver.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

namespace pagergw {

std::vector<std::string> LineSplitter::Feed(std::string_view bytes) {
  std::vector<std::string> lines;
  for (char c : bytes) {
    if (c == '\n') {
      lines.push_back(std::move(partial_));
      partial_.clear();
    } else {
      partial_ += c;
      if (partial_.size() >= kMaxLine) {
        lines.push_back(std::move(partial_));
        partial_.clear();
      }
    }
  }
  return lines;
}

std::optional<std::string> LineSplitter::Rest() {
  if (partial_.empty()) return std::nullopt;
  std::string rest = std::move(partial_);
  partial_.clear();
  return rest;
}

std::string DescribeWaitStatus(int status) {
  if (WIFEXITED(status)) return "exit status " + std::to_string(WEXITSTATUS(status));
  if (WIFSIGNALED(status)) return "signal " + std::to_string(WTERMSIG(status));
  return "status " + std::to_string(status);
}

namespace {

std::string BaseName(const std::string& path) {
  const auto slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// In the child: joins the group, dies with the gateway, takes its standard
// input and output, and runs the program.
[[noreturn]] void RunChild(const std::vector<std::string>& argv, pid_t group, pid_t parent, int in, int out) {
  ::setpgid(0, group);
  ::prctl(PR_SET_PDEATHSIG, SIGTERM);
  if (::getppid() != parent) ::_exit(1);  // the gateway ended before the line above
  sigset_t none;
  sigemptyset(&none);
  ::sigprocmask(SIG_SETMASK, &none, nullptr);
  ::signal(SIGPIPE, SIG_DFL);
  if (in >= 0) ::dup2(in, STDIN_FILENO);
  if (out >= 0) ::dup2(out, STDOUT_FILENO);
  std::vector<char*> args;
  for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  ::execvp(args[0], args.data());
  const std::string message = "cannot start " + argv[0] + ": " + std::strerror(errno) + "\n";
  (void)!::write(STDERR_FILENO, message.data(), message.size());
  ::_exit(127);
}

}  // namespace

ReceiverPipeline::~ReceiverPipeline() { Stop(); }

bool ReceiverPipeline::Start(const PipelineCommands& commands, std::string& error) {
  Stop();
  int audio[2], text[2];
  if (::pipe2(audio, O_CLOEXEC) != 0) {
    error = std::string("pipe: ") + std::strerror(errno);
    return false;
  }
  if (::pipe2(text, O_CLOEXEC) != 0) {
    error = std::string("pipe: ") + std::strerror(errno);
    ::close(audio[0]);
    ::close(audio[1]);
    return false;
  }
  const pid_t parent = ::getpid();
  const std::vector<std::pair<const std::vector<std::string>*, std::pair<int, int>>> programs = {
      {&commands.receiver, {-1, audio[1]}}, {&commands.decoder, {audio[0], text[1]}}};
  for (const auto& [argv, fds] : programs) {
    const pid_t pid = ::fork();
    if (pid < 0) {
      error = std::string("fork: ") + std::strerror(errno);
      break;
    }
    if (pid == 0) RunChild(*argv, group_ > 0 ? group_ : 0, parent, fds.first, fds.second);
    if (group_ <= 0) group_ = pid;
    ::setpgid(pid, group_);  // also here, so the group exists before the next fork uses it
    children_.push_back({BaseName(argv->front()), pid, std::nullopt});
  }
  ::close(audio[0]);
  ::close(audio[1]);
  ::close(text[1]);
  output_ = text[0];
  ::fcntl(output_, F_SETFL, ::fcntl(output_, F_GETFL) | O_NONBLOCK);
  if (children_.size() != programs.size()) {
    Stop();
    return false;
  }
  return true;
}

bool ReceiverPipeline::AnyEnded() {
  bool ended = false;
  for (Child& child : children_) {
    int status = 0;
    if (!child.status && ::waitpid(child.pid, &status, WNOHANG) == child.pid) child.status = status;
    ended = ended || child.status.has_value();
  }
  return ended;
}

std::string ReceiverPipeline::Stop() {
  if (children_.empty() && output_ < 0) return "";
  AnyEnded();
  if (group_ > 0) ::kill(-group_, SIGTERM);
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + std::chrono::seconds(2);
  bool killed = false;
  for (;;) {
    bool all = true;
    for (Child& child : children_) {
      int status = 0;
      if (!child.status && ::waitpid(child.pid, &status, WNOHANG) == child.pid) child.status = status;
      all = all && child.status.has_value();
    }
    if (all) break;
    if (killed && Clock::now() >= deadline + std::chrono::seconds(3)) break;  // stuck in the kernel: leave it
    if (!killed && Clock::now() >= deadline) {
      ::kill(-group_, SIGKILL);
      killed = true;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  std::string how;
  for (const Child& child : children_)
    how += (how.empty() ? "" : ", ") + child.name + " " +
           (child.status ? DescribeWaitStatus(*child.status) : std::string("did not end"));
  children_.clear();
  group_ = -1;
  if (output_ >= 0) ::close(output_);
  output_ = -1;
  return how;
}

}  // namespace pagergw
