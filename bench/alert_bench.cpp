// The alert's latency through the real kiosk window and the real ALSA and
// espeak-ng adapter: own pages sent over loopback to the window's listening
// socket, each waited for before the next. Measures, per page, the time from
// the datagram's send to the first sample of the gong handed to ALSA and to
// the first sample of the speech, and the kiosk's 1-second tick's worst
// lateness while the sound thread speaks.
//
// The ALSA device is the bench's own: the `file` plugin writing a WAV to a
// null device, which takes samples as fast as they come. So the sound thread
// synthesises without pause, the hardest case for the UI thread's share of
// the processor; a sound card would pace it to real time.
//
//   alert_bench           100 pages
//   alert_bench --smoke   5 pages, only to show that it still works
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QApplication>
#include <QTimer>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "bench/bench_util.h"
#include "bench/stand_ins.h"
#include "config/kiosk_settings.h"
#include "kiosk/frm_main.h"
#include "kiosk/pager_listener.h"
#include "platform/browser_view.h"
#include "platform/system.h"
#include "service/unit_service.h"
#include "tests/support/wait.h"

namespace {

using bench::MonotonicNs;

using bench::NoBoxes;
using bench::StandInBrowser;

class Workspace {
 public:
  Workspace() {
    std::string pattern = "/tmp/kiosk-alert-bench-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
    std::filesystem::create_directory(path_ / "bin");
    std::filesystem::create_symlink("/proc/self/exe", path_ / "bin/rvukiosk");
    std::filesystem::current_path(path_);
    platform::SetProgramFilePathForTesting((path_ / "bin/rvukiosk").string());
    config::tKioskSettings settings;
    settings.CapCode = 1234;
    std::ofstream(config::kFileName, std::ios::binary) << config::KioskSettingsFileText(settings);
    std::ofstream(path_ / "station.conf") << "Alert = on\nAlertDevice = file:FILE=" << (path_ / "alert.wav").string()
                                         << ",FORMAT=wav\n";
  }
  ~Workspace() {
    std::error_code error;
    std::filesystem::current_path("/", error);
    std::filesystem::remove_all(path_, error);
  }
  std::string File(const char* name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
};

std::string Ms(double ms) { return bench::Format("%.1f ms", ms); }

}  // namespace

int main(int argc, char** argv) {
  const bool smoke = argc > 1 && std::string(argv[1]) == "--smoke";
  const int pages = smoke ? 5 : 100;
  QApplication app(argc, argv);
  Workspace workspace;
  NoBoxes boxes;
  const std::unique_ptr<service::UnitService> unitService = service::MakeHttpUnitService();

  // The sound thread notes when each part's first samples reach ALSA.
  std::atomic<std::int64_t> gongNs{0}, speechNs{0};
  kiosk::KioskOptions options{0};
  options.stationSettingsFile = workspace.File("station.conf");
  options.makeAlertSound = [&](const config::AlertSettings& a) {
    platform::AlsaSoundOptions sound{a.device, a.voice, a.rate, a.volume, {}};
    sound.onFirstSamples = [&](platform::AlsaSoundOptions::Part part) {
      (part == platform::AlsaSoundOptions::Part::Gong ? gongNs : speechNs).store(MonotonicNs());
    };
    return platform::MakeAlsaAlertSound(sound);
  };
  auto window = std::make_unique<kiosk::TfrmMain>(std::make_unique<StandInBrowser>(), boxes, *unitService, [] {},
                                                  options);
  kiosk::frmMain = window.get();
  window->FormCreate();
  window->show();

  // The 1-second tick, as the clock shows it.
  std::vector<std::int64_t> ticks;
  QObject::connect(window->Timer, &QTimer::timeout, [&ticks] { ticks.push_back(MonotonicNs()); });

  const int fd = socket(AF_INET, SOCK_DGRAM, 0);
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(window->IdUDPServer1->Port());
  to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);

  const auto pump = [] { QCoreApplication::processEvents(QEventLoop::AllEvents, 5); };
  // Let the start-up's first ticks pass.
  testsupport::WaitUntil([] { return false; }, 2500, pump);

  std::vector<double> toGong, toSpeech;
  std::vector<std::pair<std::int64_t, std::int64_t>> speaking;  // from the first speech sample to the alert's end
  int lost = 0;
  for (int i = 0; i < pages; ++i) {
    gongNs = 0;
    speechNs = 0;
    const std::string line = "12:00:00 [RVU:1234] PAGE " + std::to_string(i) +
                             " STRUCTURE FIRE 12 HILL ST, CALLER REPORTS SMOKE FROM ROOF";
    const std::int64_t sent = MonotonicNs();
    sendto(fd, line.data(), line.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
    platform::AlertSound* sound = window->AlertSound();
    const bool done = testsupport::WaitUntil(
        [&] { return gongNs.load() != 0 && speechNs.load() != 0 && sound->Pending() == 0; }, 30000, pump);
    if (!done) {
      ++lost;
      continue;
    }
    toGong.push_back(static_cast<double>(gongNs.load() - sent) / 1e6);
    toSpeech.push_back(static_cast<double>(speechNs.load() - sent) / 1e6);
    speaking.emplace_back(speechNs.load(), MonotonicNs());
    // A second or so between pages, so that ticks fall on and off the speech.
    testsupport::WaitUntil([] { return false; }, smoke ? 50 : 600, pump);
  }
  close(fd);

  // The latest a tick came, beyond its second, among ticks that ended while speech was made.
  double worstLate = 0;
  int ticksDuringSpeech = 0;
  for (std::size_t t = 1; t < ticks.size(); ++t) {
    bool during = false;
    for (const auto& [from, until] : speaking) during = during || (ticks[t] >= from && ticks[t - 1] <= until);
    if (!during) continue;
    ++ticksDuringSpeech;
    worstLate = std::max(worstLate, static_cast<double>(ticks[t] - ticks[t - 1]) / 1e6 - 1000.0);
  }
  const double gong99 = bench::Percentile(toGong, 99);
  std::printf("alert_bench: %d pages, %d not heard; %d ticks overlapped speech\n", pages, lost, ticksDuringSpeech);
  bench::PrintRow({"A1 datagram to first gong sample, p50 / p99",
                   Ms(bench::Percentile(toGong, 50)) + " / " + Ms(gong99), "-", "-", "p99 < 100 ms",
                   bench::MetText(gong99 < 100 && lost == 0)});
  bench::PrintRow({"A2 datagram to first speech sample, p50 / p99",
                   Ms(bench::Percentile(toSpeech, 50)) + " / " + Ms(bench::Percentile(toSpeech, 99)), "-", "-", "-",
                   ""});
  bench::PrintRow({"A3 clock tick late, worst, while speech is made", Ms(worstLate), "-", "-", "<= 100 ms",
                   bench::MetText(worstLate <= 100)});
  window.reset();
  return lost == 0 ? 0 : 1;
}
