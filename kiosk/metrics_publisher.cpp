#include "kiosk/metrics_publisher.h"

#include "diag/counters.h"
#include "diag/log.h"
#include "kiosk/frm_main.h"
#include "kiosk/pager_listener.h"
#include "platform/clock.h"

namespace kiosk {

MetricsPublisher::MetricsPublisher(TfrmMain& window, service::UnitService& service,
                                   platform::MetricsEndpoint& endpoint, std::string programFolder,
                                   double startTimeSeconds, QObject* parent)
    : QObject(parent),
      window_(window),
      service_(service),
      endpoint_(endpoint),
      programFolder_(std::move(programFolder)),
      startTimeSeconds_(startTimeSeconds),
      started_(platform::Now()) {
  elapsed_.start();
  beat_.setInterval(kBeatMs);
  beat_.setTimerType(Qt::PreciseTimer);
  QObject::connect(&beat_, &QTimer::timeout, this, [this] { Beat(); });
  beat_.start();
  Publish();
}

void MetricsPublisher::Beat() {
  stalls_.Beat(elapsed_.elapsed(), kBeatMs);
  if (++beats_ < kBeatsPerSnapshot) return;
  beats_ = 0;
  Publish();
}

KioskFigures MetricsPublisher::Figures() {
  const std::int64_t nowMs = elapsed_.elapsed();
  if (folderMeasuredMs_ < 0 || nowMs - folderMeasuredMs_ >= kFolderIntervalMs) {
    folder_ = platform::MeasureFolder(programFolder_, kFolderMaxEntries);
    space_ = platform::SpaceOf(programFolder_);
    folderMeasuredMs_ = nowMs;
  }
  const platform::TDateTime now = platform::Now();
  KioskFigures f;
  f.datagrams = window_.Datagrams;
  f.secondsSinceDatagram = SecondsBetween(window_.State.LastPacketTime, now);
  f.secondsSinceHeartbeat =
      SecondsBetween(f.datagrams.lastHeartbeat > 0 ? f.datagrams.lastHeartbeat : started_, now);
  f.lostComms = window_.State.CommsLostReported;
  f.screen = window_.ShownScreen;
  f.dark = IsDark(now, window_.State.ScreenSaverUntil);
  f.requests = service_.Counts();
  f.longestStallSeconds = static_cast<double>(stalls_.LongestMs(nowMs)) / 1000.0;
  if (window_.WebBrowser) f.renderer = window_.WebBrowser->Renderer();
  f.diag = diag::DiagCounts();
  f.programFolder = folder_;
  f.fileSystem = space_;
  f.receiveBufferBytes = window_.IdUDPServer1 ? window_.IdUDPServer1->ReceiveBufferBytes() : 0;
  f.version = diag::Globals.ProgramVersion;
  f.startTimeSeconds = startTimeSeconds_;
  return f;
}

void MetricsPublisher::Publish() { endpoint_.Publish(KioskSnapshot(Figures())); }

}  // namespace kiosk
