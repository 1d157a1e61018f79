#pragma once

#include <QLabel>
#include <QLineEdit>
#include <QWidget>
#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <random>
#include <string>

#include "kiosk/alert_logic.h"
#include "kiosk/kiosk_logic.h"
#include "platform/alert_sound.h"
#include "kiosk/kiosk_metrics.h"
#include "platform/browser_view.h"
#include "platform/datetime.h"
#include "platform/screen_power.h"
#include "service/incident.h"
#include "service/rvu_srvc.h"
#include "service/unit_service.h"

class QFrame;
class QTimer;

namespace kiosk {

class MessageList;
class PagerListener;

// The clock: a label that reports clicks.
class ClickLabel final : public QLabel {
 public:
  explicit ClickLabel(QWidget* parent) : QLabel(parent) {}
  std::function<void()> onClick;

 protected:
  void mouseReleaseEvent(QMouseEvent* event) override;
};

// The key sink: a 1 x 1 edit box that keeps the focus and reports each
// character typed.
class KeyBox final : public QLineEdit {
 public:
  explicit KeyBox(QWidget* parent);
  std::function<void(char key)> onKeyPress;

 protected:
  void keyPressEvent(QKeyEvent* event) override;
};

struct KioskOptions {
  KioskOptions() = default;
  explicit KioskOptions(quint16 port) : pagerPort(port) {}

  quint16 pagerPort = kPagerPort;  // 0: any free port (tests)
  // The station settings file read at start-up; empty: none (every setting at
  // its default).
  std::string stationSettingsFile;
  // Make the alert's sound and the screen's power way from the station
  // settings; unset: the real ones (ALSA and espeak-ng; HDMI-CEC or DDC/CI).
  std::function<std::unique_ptr<platform::AlertSound>(const config::AlertSettings&)> makeAlertSound;
  std::function<std::unique_ptr<platform::ScreenPower>(config::ScreenPowerWay)> makeScreenPower;
  // How long a screen is given to switch before its state is read back.
  std::chrono::milliseconds screenSettle{2000};
};

// What the kiosk remembers while it runs.
struct tKioskState {
  int ScreenStep = 0;
  int TickCount = -1;
  std::string LastPageA;
  platform::TDateTime HoldScreenUntil = 0;
  service::tIncidentRec CurrentIncident;
  platform::TDateTime LastPacketTime = 0;
  bool CommsLostReported = false;
  platform::TDateTime ScreenSaverUntil = 0;
  bool SummaryStep = false;  // the task summary is this period's screen
};

// The kiosk's one window. Its handlers are split over files by concern:
// start-up and layout, the message list, the pager feed and commands, the
// timer, the screens, the task summary and the keys.
class TfrmMain final : public QWidget {
 public:
  TfrmMain(std::unique_ptr<platform::BrowserView> browser, platform::MessageBoxes& boxes,
           service::UnitService& unitService, std::function<void()> terminate, KioskOptions options = {});
  ~TfrmMain() override;

  // Start-up and layout.
  void FormCreate();
  void FormActivate();
  void FormResize();
  void lblTimeClick();

  // The message list.
  void AddMessage(const std::string& text, std::uint32_t colour);

  // The pager feed and the remote commands. A datagram handed in without its
  // sender counts as one sent on this machine.
  void IdUDPServer1UDPRead(const std::string& data,
                           const platform::IpAddress& sender = platform::IpAddress::V4(127, 0, 0, 1));
  void RemoteCommands(const std::string& text);
  // When set, told of each datagram the handler has taken, once it is done
  // with it: for whoever counts what the window handled (tests, benchmarks).
  std::function<void(const std::string& datagram)> DatagramHandled;

  // The alert: a page to the own capcode heard and the screen switched on
  // (frm_main_alert). The devices' threads get values only.
  void PageAlert(const std::string& text, const DatagramView& view);
  void SwitchScreen(ScreenEvent event);
  // Logs what the devices' threads found wrong; from the tick.
  void AlertUpkeep();
  platform::AlertSound* AlertSound() const { return alertSound_.get(); }
  platform::ScreenSwitcher* Screen() const { return screen_.get(); }

  // The 1-second tick.
  void TimerTimer();

  // The browser screens.
  void ShowGoogleMap();
  void ShowWeatherPage();
  void ShowChartPage(int index);
  void ShowKioskPicture(const service::tRVUSrvc& status);
  void WebBrowserDocumentComplete();

  // The task summary.
  void ShowTaskSummary();

  // The keys.
  void txtCaptureKeystrokesKeyPress(char key);

  tKioskState State;
  // What became of the datagrams, and the screen last shown: for the metrics.
  DatagramCounts Datagrams;
  std::optional<kiosk::Screen> ShownScreen;
  // The station settings as read at start-up.
  config::StationSettings StationSettings;

  // Components, named by kind (lbl label, pnl panel, rch list, txt edit box).
  QTimer* Timer;
  QLabel* lblPageJ;
  ClickLabel* lblTime;
  QWidget* pnlWebBrowser;
  platform::BrowserView* WebBrowser;
  PagerListener* IdUDPServer1;
  MessageList* rchMessages;
  KeyBox* txtCaptureKeystrokes;
  QFrame* pnlSummary;
  QLabel* lblTitle;
  std::array<std::array<QLabel*, service::kSummaryColumns>, service::kSummaryRows> lblSummaryCells;  // lblP1Rec ... lblTotTot

 protected:
  void resizeEvent(QResizeEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  // Stops the timer for the life of a screen routine.
  class TimerPause {
   public:
    explicit TimerPause(QTimer* timer);
    ~TimerPause();

   private:
    QTimer* timer_;
  };

  void CreateComponents();
  void CreateSummaryLabels();
  // Shows, places or hides the summary grid as the look and the step say.
  void PlaceSummary();
  void CentreSummaryGrid();
  void SetSummaryStep(bool summaryStep);
  void RequestTerminate();
  void SetBusyCursor(bool busy);
  void ReportListenFailure();
  void ReadStationSettings();
  void ReportRefusedCommand(const platform::IpAddress& sender);
  void StartAlert();
  void NoteLook(bool dark);
  void ApplyToggle(const Toggle& toggle);
  void KeyAction(char key);

  std::unique_ptr<platform::BrowserView> browser_;
  platform::MessageBoxes& boxes_;
  service::UnitService& unitService_;
  std::function<void()> terminate_;
  KioskOptions options_;
  std::mt19937 random_;
  bool pointerHidden_ = false;
  bool terminating_ = false;  // told to end: nothing more is handled
  QWidget* summaryGrid_ = nullptr;
  RefusedCommands refusedCommands_;  // commands from senders not in CommandHosts
  // The alert (none while it is off) and the screen's power (none without a way).
  std::unique_ptr<platform::AlertSound> alertSound_;
  std::unique_ptr<platform::ScreenSwitcher> screen_;
  std::vector<config::PronunciationEntry> pronunciation_;
  AlertMemory alertMemory_;
  ProblemThrottle soundProblems_, screenProblems_, alertsLeftOut_;
  std::optional<bool> lookDark_;  // the look FormResize last applied
};

// The one window, set before its creation handler runs.
extern TfrmMain* frmMain;

}  // namespace kiosk
