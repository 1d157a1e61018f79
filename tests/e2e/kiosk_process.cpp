#include "tests/e2e/kiosk_process.h"

namespace testsupport {

QImage TakeScreenshot(const std::string& savePath) {
  if (Shell("import -window root " + Quote(savePath)).status != 0) return {};
  return QImage(QString::fromStdString(savePath));
}

}  // namespace testsupport
