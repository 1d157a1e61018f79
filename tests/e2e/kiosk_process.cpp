#include "tests/e2e/kiosk_process.h"

#include <unistd.h>

#include <cstdlib>

namespace testsupport {

namespace {
Process::Environment KioskEnvironment() {
  Process::Environment env{{"QT_QPA_PLATFORM", std::nullopt}};  // the real window system of the display
  if (getuid() == 0) env["QTWEBENGINE_DISABLE_SANDBOX"] = "1";
  return env;
}
}  // namespace

KioskProcess::KioskProcess(const std::string& program, const std::string& workingDirectory,
                           const std::string& outputFile)
    : Process({program}, KioskEnvironment(), workingDirectory, outputFile) {}

QImage TakeScreenshot(const std::string& savePath) {
  const std::string command = "import -window root " + savePath + " 2>/dev/null";
  if (std::system(command.c_str()) != 0) return {};
  return QImage(QString::fromStdString(savePath));
}

}  // namespace testsupport
