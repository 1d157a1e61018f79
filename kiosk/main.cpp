// The kiosk program: one full-screen window until it is told to end.
#include <sys/socket.h>
#include <unistd.h>

#include <QApplication>
#include <QSocketNotifier>
#include <csignal>

#include "kiosk/frm_main.h"
#include "platform/qt/web_engine_view.h"

namespace {

int gSignalPipe[2] = {-1, -1};

void OnSignal(int) {
  const char byte = 1;
  [[maybe_unused]] ssize_t n = write(gSignalPipe[1], &byte, 1);
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("RVU Kiosk"));

  platform::QtMessageBoxes boxes;
  auto* window = new kiosk::TfrmMain(std::make_unique<platform::WebEngineBrowserView>(nullptr), boxes,
                                     [] { QCoreApplication::quit(); });
  kiosk::frmMain = window;
  window->FormCreate();
  window->show();

  // A service manager's SIGTERM (or Ctrl-C) ends the kiosk as a click on the clock does.
  if (socketpair(AF_UNIX, SOCK_STREAM, 0, gSignalPipe) == 0) {
    auto* notifier = new QSocketNotifier(gSignalPipe[0], QSocketNotifier::Read, &app);
    QObject::connect(notifier, &QSocketNotifier::activated, [window] {
      char byte;
      [[maybe_unused]] ssize_t n = read(gSignalPipe[0], &byte, 1);
      window->lblTimeClick();
    });
    std::signal(SIGTERM, OnSignal);
    std::signal(SIGINT, OnSignal);
  }

  const int status = QApplication::exec();
  delete window;
  return status;
}
