// The 1-second tick: clock, lost comms, screen saver, and every 15th tick the
// poll of the status feed, the ticker, a new incident and the next screen. The
// decisions are the plans of kiosk_logic; this reads the state and applies them.
#include <QTimer>

#include "config/kiosk_settings.h"
#include "kiosk/frm_main.h"
#include "kiosk/message_list.h"
#include "kiosk/qt_support.h"
#include "platform/clock.h"

namespace kiosk {

void TfrmMain::TimerTimer() {
  const TickPlan tick = PlanTick({platform::Now(), State.TickCount, State.LastPacketTime, State.CommsLostReported,
                                  State.ScreenSaverUntil, !rchMessages->isHidden()});
  State.TickCount = tick.tickCount;
  AlertUpkeep();
  lblTime->setText(ToQString(tick.caption));
  lblTime->adjustSize();
  if (!tick.lostComms.empty()) {
    AddMessage(tick.lostComms, kWhite);
    State.CommsLostReported = true;
  }
  if (tick.look != LookChange::None) FormResize();
  if (!tick.due) return;

  if (tick.moveClock) {
    // Burn-in guard: the clock jumps to a random place inside the window.
    auto draw = [this](int low, int high) { return std::uniform_int_distribution<int>(low, high)(random_); };
    const auto [left, top] = PlaceClock(width(), height(), lblTime->width(), lblTime->height(), draw);
    lblTime->move(left, top);
  }

  // The poll and the screen's own request share one request's time.
  unitService_.TickStarted();
  struct TickEnd {
    service::UnitService& service;
    ~TickEnd() { service.TickEnded(); }
  } tickEnd{unitService_};
  const service::tRVUSrvc status = unitService_.StatusPoll();

  const std::string caption = FromQString(lblPageJ->text());
  const RotationPlan rotation =
      PlanRotation({platform::Now(), status.LEDDisplay.PageA(), status.LEDDisplay.PageJ(), status.KioskPix, caption,
                    config::KioskSettings.DebugMode, State.LastPageA, State.HoldScreenUntil, State.ScreenStep});
  if (rotation.newTicker) {
    lblPageJ->setText(ToQString(std::string(LabelText(status.LEDDisplay.PageJ(), kTickerMaxChars))));
    State.CurrentIncident.RecordFound = false;
  }
  if (rotation.newIncident) State.LastPageA = status.LEDDisplay.PageA();
  if (!rotation.showScreen) return;
  switch (rotation.screen) {
    case Screen::RouteMap:
      ShowGoogleMap();
      break;
    case Screen::Weather:
      ShowWeatherPage();
      break;
    case Screen::TaskSummary:
      ShowTaskSummary();
      break;
    case Screen::Chart0:
      ShowChartPage(0);
      break;
    case Screen::Picture:
      ShowKioskPicture(status);
      break;
  }
  State.ScreenStep = rotation.nextStep;
}

}  // namespace kiosk
