#include "tests/e2e/kiosk_process.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <stdexcept>

namespace testsupport {

KioskProcess::KioskProcess(const std::string& program, const std::string& workingDirectory) {
  pid_ = fork();
  if (pid_ < 0) throw std::runtime_error("fork failed");
  if (pid_ == 0) {
    setpgid(0, 0);
    if (chdir(workingDirectory.c_str()) != 0) _exit(126);
    if (getuid() == 0) setenv("QTWEBENGINE_DISABLE_SANDBOX", "1", 1);
    unsetenv("QT_QPA_PLATFORM");  // the real window system of the display
    execl(program.c_str(), program.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  setpgid(pid_, pid_);
}

KioskProcess::~KioskProcess() {
  if (!exited_) Stop(SIGKILL, 5000);
  if (GroupAlive()) kill(-pid_, SIGKILL);
}

bool KioskProcess::Running() {
  if (exited_) return false;
  if (waitpid(pid_, &status_, WNOHANG) == pid_) exited_ = true;
  return !exited_;
}

int KioskProcess::WaitForExit(int timeoutMs) {
  WaitFor([this] { return !Running(); }, timeoutMs);
  if (!exited_) return -1;
  return WIFEXITED(status_) ? WEXITSTATUS(status_) : 128 + WTERMSIG(status_);
}

int KioskProcess::Stop(int signal, int timeoutMs) {
  if (!exited_) kill(pid_, signal);
  const int status = WaitForExit(timeoutMs);
  if (status < 0) {
    kill(-pid_, SIGKILL);
    WaitForExit(5000);
  }
  return status;
}

bool KioskProcess::GroupAlive() const { return kill(-pid_, 0) == 0; }

QImage TakeScreenshot(const std::string& savePath) {
  const std::string command = "import -window root " + savePath + " 2>/dev/null";
  if (std::system(command.c_str()) != 0) return {};
  return QImage(QString::fromStdString(savePath));
}

}  // namespace testsupport
