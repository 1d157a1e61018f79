// The single-key commands.
#include <QTimer>

#include "config/kiosk_settings.h"
#include "diag/text.h"
#include "kiosk/frm_main.h"
#include "platform/clock.h"

namespace kiosk {

void TfrmMain::txtCaptureKeystrokesKeyPress(char key) {
  const platform::TDateTime now = platform::Now();
  if (IsDarkForWaking(now, State.ScreenSaverUntil)) {
    // A key on a dark display only wakes it.
    State.ScreenSaverUntil = now + platform::kOneHour;
    FormResize();
  } else {
    KeyAction(key);
  }
  txtCaptureKeystrokes->setFocus();
}

void TfrmMain::KeyAction(char key) {
  using diag::BoolText;
  config::tKioskSettings& settings = config::KioskSettings;
  auto toggle = [this](bool& value, const char* shown) {
    ToggleAndSave(value);
    boxes_.Inform(std::string(shown) + BoolText(value));
  };
  switch (DecideKey(key)) {
    case KeyAction::ShowMap:
      ShowGoogleMap();
      Timer->stop();
      break;
    case KeyAction::ShowWeather:
      ShowWeatherPage();
      Timer->stop();
      break;
    case KeyAction::ToggleBrowser:
      ToggleAndSave(settings.BrowserVisible);
      pnlWebBrowser->setVisible(settings.BrowserVisible);
      FormResize();
      break;
    case KeyAction::ToggleCFS:
      toggle(settings.ShowCFS, "Display CFS pages: ");
      break;
    case KeyAction::ToggleRVU:
      toggle(settings.ShowRVU, "Display RVU pages: ");
      break;
    case KeyAction::ToggleHeartBeat:
      toggle(settings.ShowHeartBeat, "Display HeartBeat pages: ");
      break;
    case KeyAction::ToggleMFS:
      toggle(settings.ShowMFS, "Display MFS pages: ");
      break;
    case KeyAction::ToggleSAAS:
      toggle(settings.ShowSAAS, "Display SAAS pages: ");
      break;
    case KeyAction::ToggleUnknown:
      toggle(settings.ShowUnknown, "Display unknown pages: ");
      break;
    case KeyAction::AskQuit:
      if (boxes_.AskYesNo("Quit?", "RVU Kiosk")) RequestTerminate();
      break;
    case KeyAction::StartTimer:
      if (!Timer->isActive()) Timer->start();  // the rotation runs on from where it stood
      boxes_.Inform("Screen scroll: " + BoolText(Timer->isActive()));
      break;
    case KeyAction::Help:
      boxes_.Inform(HelpText(diag::GetFileVersionText(), settings, Timer->isActive(), State.LastPacketTime));
      break;
    case KeyAction::None:
      break;
  }
}

// A changed value is saved at once; a save that fails leaves the value changed
// in memory and raises.
void TfrmMain::ToggleAndSave(bool& value) {
  value = !value;
  config::SaveKioskSettings();
}

}  // namespace kiosk
