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
  const kiosk::KeyAction action = DecideKey(key);
  if (const Toggle toggle = ToggleOf(action); toggle.setting) {
    ApplyToggle(toggle);
    if (toggle.said) boxes_.Inform(toggle.said + BoolText(config::KioskSettings.*toggle.setting));
    return;
  }
  switch (action) {
    case KeyAction::ShowMap:
      ShowGoogleMap();
      Timer->stop();
      break;
    case KeyAction::ShowWeather:
      ShowWeatherPage();
      Timer->stop();
      break;
    case KeyAction::AskQuit:
      if (boxes_.AskYesNo("Quit?", "RVU Kiosk")) RequestTerminate();
      break;
    case KeyAction::StartTimer:
      if (!Timer->isActive()) Timer->start();  // the rotation runs on from where it stood
      boxes_.Inform("Screen scroll: " + BoolText(Timer->isActive()));
      break;
    case KeyAction::Help:
      boxes_.Inform(HelpText(diag::GetFileVersionText(), config::KioskSettings, Timer->isActive(),
                             State.LastPacketTime));
      break;
    default:  // no key of the table, or a toggle (above)
      break;
  }
}

// A changed value is saved at once; a save that fails leaves the value changed
// in memory and raises. The browser switch also lays the window out again.
void TfrmMain::ApplyToggle(const Toggle& toggle) {
  bool& value = config::KioskSettings.*toggle.setting;
  value = !value;
  config::SaveKioskSettings();
  if (toggle.browser()) {
    pnlWebBrowser->setVisible(value);
    FormResize();
  }
}

}  // namespace kiosk
