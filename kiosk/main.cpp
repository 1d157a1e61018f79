// The kiosk program: one full-screen window until it is told to end.
#include <sys/socket.h>
#include <unistd.h>

#include <QApplication>
#include <QLoggingCategory>
#include <QSocketNotifier>
#include <QTimer>
#include <csignal>

#include "config/station_settings.h"
#include "diag/log.h"
#include "kiosk/frm_main.h"
#include "kiosk/metrics_publisher.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/metrics.h"
#include "platform/system.h"
#include "platform/qt/message_boxes.h"
#include "platform/qt/web_engine_view.h"
#include "platform/watchdog.h"

#if defined(__SANITIZE_ADDRESS__)
// In the sanitizer build: the web engine's own code frees some objects of its
// pages with a sized delete of another size (seen when a page is torn down).
// That is inside the library and cannot be told apart by library, so the
// check is off for the program that embeds it; the tests of the kiosk's own
// code keep it. What the web engine, D-Bus and fontconfig keep to the end of
// the process is theirs, not a leak of the kiosk's.
extern "C" const char* __asan_default_options() { return "new_delete_type_mismatch=0"; }
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libQt6WebEngineCore.so\nleak:libdbus-1.so\nleak:libfontconfig.so\n";
}
#endif

namespace {

int gSignalPipe[2] = {-1, -1};

void OnSignal(int) {
  const char byte = 1;
  [[maybe_unused]] ssize_t n = write(gSignalPipe[1], &byte, 1);
}

}  // namespace

// The metrics endpoint, when the station settings give it a port: the
// endpoint listens on a thread of its own and serves what the publisher, on
// the window's thread, hands it.
struct Metrics {
  std::unique_ptr<platform::HttpMetricsEndpoint> endpoint;
  std::unique_ptr<kiosk::MetricsPublisher> publisher;
};

Metrics StartMetrics(kiosk::TfrmMain& window, service::UnitService& unitService, double startTimeSeconds) {
  Metrics metrics;
  const config::StationSettings& station = window.StationSettings;
  if (station.metricsPort <= 0) return metrics;
  const std::string function = "[Function=Main.FormCreate][Version=" + diag::Globals.ProgramVersion + "]";
  const std::string where = "[MetricsAddress=" + station.metricsAddress +
                            "][MetricsPort=" + std::to_string(station.metricsPort) + "]";
  try {
    metrics.endpoint = std::make_unique<platform::HttpMetricsEndpoint>(station.metricsAddress, station.metricsPort);
    metrics.publisher = std::make_unique<kiosk::MetricsPublisher>(
        window, unitService, *metrics.endpoint, platform::FolderOf(platform::ProgramFilePath()), startTimeSeconds);
    diag::LogEntry({kiosk::kMetricsListeningCode, 0, function + where, 0});
  } catch (const std::exception& e) {
    metrics = {};
    diag::LogEntry({kiosk::kMetricsFailedCode, 0, function + where + "[Message=" + e.what() + "]", 0});
  }
  return metrics;
}

int main(int argc, char** argv) {
  const double startTimeSeconds = static_cast<double>(platform::CurrentClock().UnixMillis()) / 1000.0;
  // The web engine describes its context (GL type, surface, start parameters)
  // on every start: noise in the service's journal. Its warnings stay, and
  // QT_LOGGING_RULES can still turn the description on.
  QLoggingCategory::setFilterRules(QStringLiteral("qt.webenginecontext.info=false"));
  platform::UseSoftwareSceneRenderer();
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("RVU Kiosk"));

  // The station settings file: the package's, unless RVUKIOSK_STATION_CONF
  // names another (tests, the demo).
  kiosk::KioskOptions options;
  options.stationSettingsFile =
      qEnvironmentVariable("RVUKIOSK_STATION_CONF", QString::fromUtf8(config::kStationSettingsFile)).toStdString();

  platform::QtMessageBoxes boxes;
  const std::unique_ptr<service::UnitService> unitService = service::MakeHttpUnitService();
  auto* window = new kiosk::TfrmMain(std::make_unique<platform::WebEngineBrowserView>(nullptr), boxes, *unitService,
                                     [] { QCoreApplication::quit(); }, options);
  kiosk::frmMain = window;
  window->FormCreate();
  window->show();
  Metrics metrics = StartMetrics(*window, *unitService, startTimeSeconds);

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

  // The service manager's watchdog is fed by a timer of its own: the kiosk's
  // Timer is stopped by commands and keys, and must not let a healthy kiosk be
  // killed. Both run on the UI thread, so a hung thread stops the pings.
  QTimer watchdog;
  const auto pingInterval = platform::WatchdogPingInterval();
  watchdog.setInterval(pingInterval);
  QObject::connect(&watchdog, &QTimer::timeout, [] { platform::NotifyWatchdog(); });
  // Ready once the event loop runs, that is once the window has been shown.
  QTimer::singleShot(0, &app, [&watchdog, pingInterval] {
    platform::NotifyReady();
    if (pingInterval.count() > 0) watchdog.start();
  });
  QObject::connect(&app, &QCoreApplication::aboutToQuit, [] { platform::NotifyStopping(); });

  const int status = QApplication::exec();
  metrics = {};
  delete window;
  return status;
}
