#pragma once

#include <QImage>
#include <string>

#include "tests/support/process.h"
#include "tests/support/wait.h"

namespace testsupport {

// The real kiosk program, started in a working directory of its own under the
// X display of the test (the test runs inside xvfb-run), in a process group of
// its own so that its web engine processes can be checked for afterwards.
class KioskProcess : public Process {
 public:
  // With `outputFile`, its standard output and error go there.
  // `extra` adds to (or overrides) its environment.
  KioskProcess(const std::string& program, const std::string& workingDirectory, const std::string& outputFile = "",
               const Environment& extra = {})
      : Process({program}, WithExtra(DisplayProgramEnvironment(), extra), workingDirectory, outputFile) {}

 private:
  static Environment WithExtra(Environment env, const Environment& extra) {
    for (const auto& [name, value] : extra) env[name] = value;
    return env;
  }
};

// A screenshot of the whole X display.
QImage TakeScreenshot(const std::string& savePath);

// Counts the pixels of a rectangle that satisfy a test.
template <typename F>
int CountPixels(const QImage& image, int left, int top, int width, int height, F test) {
  int count = 0;
  for (int y = std::max(0, top); y < std::min(image.height(), top + height); ++y)
    for (int x = std::max(0, left); x < std::min(image.width(), left + width); ++x)
      if (test(QColor(image.pixel(x, y)))) ++count;
  return count;
}

}  // namespace testsupport
