// The 1-second tick: clock, lost comms, screen saver, and every 15th tick the
// poll of the status feed, the ticker, a new incident and the next screen.
#include <QTimer>
#include <cmath>

#include "config/kiosk_settings.h"
#include "kiosk/frm_main.h"
#include "kiosk/message_list.h"
#include "kiosk/qt_support.h"
#include "platform/clock.h"
#include "service/rvu_srvc.h"
#include "service/web_request.h"

namespace kiosk {

namespace {
constexpr int kPeriodTicks = 15;
constexpr std::int64_t kLostCommsMs = 60 * 1000;

std::int64_t MillisBetween(platform::TDateTime from, platform::TDateTime to) {
  return std::llround((to - from) * static_cast<double>(platform::kMillisPerDay));
}
}  // namespace

void TfrmMain::TimerTimer() {
  if (++State.TickCount == kPeriodTicks) State.TickCount = 0;

  lblTime->setText(ToQString(platform::FormatDateTime("hh:nn:ss", platform::Now())));
  lblTime->adjustSize();

  if (MillisBetween(State.LastPacketTime, platform::Now()) > kLostCommsMs && !State.CommsLostReported) {
    AddMessage("Lost comms: " + platform::DateTimeToStr(State.LastPacketTime), kWhite);
    State.CommsLostReported = true;
  }

  // The list's visibility records which look is on the screen.
  const platform::TDateTime now = platform::Now();
  if (now > State.ScreenSaverUntil && !rchMessages->isHidden())
    FormResize();
  else if (now < State.ScreenSaverUntil && rchMessages->isHidden())
    FormResize();

  if (State.TickCount != 0) return;

  if (IsDark(platform::Now(), State.ScreenSaverUntil)) {
    // Burn-in guard: the clock jumps to a random place inside the window.
    const int maxLeft = std::max(0, width() - lblTime->width() - 1);
    const int maxTop = std::max(0, height() - lblTime->height() - 1);
    lblTime->move(std::uniform_int_distribution<int>(0, maxLeft)(random_),
                  std::uniform_int_distribution<int>(0, maxTop)(random_));
  }

  service::tRVUSrvc status;
  const std::uint32_t pollStart = platform::CurrentClock().TickCount();
  service::GetRVUSrvcXML(status);
  // The screen's own request (incident record or summary) gets what the poll
  // left of one request's time.
  const service::RequestBudgetScope budget(
      static_cast<long>(static_cast<std::uint32_t>(platform::CurrentClock().TickCount() - pollStart)));

  if (status.LEDDisplay.PageJ() != FromQString(lblPageJ->text()) && !config::KioskSettings.DebugMode) {
    lblPageJ->setText(ToQString(status.LEDDisplay.PageJ()));
    State.CurrentIncident.RecordFound = false;
  }

  const std::string& pageA = status.LEDDisplay.PageA();
  if (pageA != State.LastPageA && !pageA.empty()) {
    State.LastPageA = pageA;
    ShowGoogleMap();
    State.ScreenStep = 1;
    return;
  }
  if (platform::Now() > State.HoldScreenUntil) {
    const RotationStep step = Rotate(State.ScreenStep, status.KioskPix);
    switch (step.screen) {
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
    State.ScreenStep = step.next;
  }
}

}  // namespace kiosk
