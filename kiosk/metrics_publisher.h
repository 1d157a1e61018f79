#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <cstdint>
#include <string>

#include "kiosk/kiosk_metrics.h"
#include "platform/metrics.h"
#include "service/unit_service.h"

namespace kiosk {

class TfrmMain;

// Reads the kiosk's figures on the window's thread and hands the metrics
// endpoint a snapshot of them once a second; the endpoint's own thread only
// ever sees those snapshots. A beat every kBeatMs measures how long the thread
// is held up (a hold-up shorter than the beat can go unseen; those that matter
// last seconds). The program folder is measured once every kFolderIntervalMs, at
// most kFolderMaxEntries entries, so a scrape never costs a walk of it.
class MetricsPublisher final : public QObject {
 public:
  static constexpr int kBeatMs = 250;
  static constexpr int kBeatsPerSnapshot = 4;
  static constexpr std::int64_t kFolderIntervalMs = 60000;
  static constexpr std::uint64_t kFolderMaxEntries = 20000;

  MetricsPublisher(TfrmMain& window, service::UnitService& service, platform::MetricsEndpoint& endpoint,
                   std::string programFolder, double startTimeSeconds, QObject* parent = nullptr);

  // Reads the figures and publishes them now.
  void Publish();
  // The figures as they stand.
  KioskFigures Figures();

 private:
  void Beat();

  TfrmMain& window_;
  service::UnitService& service_;
  platform::MetricsEndpoint& endpoint_;
  std::string programFolder_;
  double startTimeSeconds_;
  platform::TDateTime started_;
  QTimer beat_;
  QElapsedTimer elapsed_;
  StallWatch stalls_;
  int beats_ = 0;
  std::int64_t folderMeasuredMs_ = -1;
  platform::FolderUsage folder_;
  platform::FileSystemSpace space_;
};

}  // namespace kiosk
