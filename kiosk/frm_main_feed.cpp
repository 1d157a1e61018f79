// The pager feed and the remote commands that arrive on its port.
#include <QTimer>

#include "config/kiosk_settings.h"
#include "kiosk/frm_main.h"
#include "kiosk/qt_support.h"
#include "platform/clock.h"

namespace kiosk {

void TfrmMain::IdUDPServer1UDPRead(const std::string& data) {
  if (terminating_) return;  // told to end: the rest of a batch is left unhandled
  try {
    State.LastPacketTime = platform::Now();
    State.CommsLostReported = false;
    const std::string& text = data;
    if (config::KioskSettings.DebugMode) lblPageJ->setText(ToQString(std::string(LabelText(text, kTickerMaxChars))));
    const DatagramView view = DecideDatagram(text, config::KioskSettings);
    if (view.ownCapcode) State.ScreenSaverUntil = platform::Now() + platform::kOneHour;
    if (view.show) AddMessage(text, view.colour);
    RemoteCommands(text);
  } catch (...) {
    // A datagram never takes the kiosk down; what was done before stays done.
  }
  if (DatagramHandled) DatagramHandled(data);
}

void TfrmMain::RemoteCommands(const std::string& text) {
  config::tKioskSettings& settings = config::KioskSettings;
  const ParsedCommand parsed = ParseRemoteCommand(text);
  if (const Toggle toggle = ToggleOf(parsed.command); toggle.setting) {
    ApplyToggle(toggle);
    return;
  }
  switch (parsed.command) {
    case RemoteCommand::Screen0:
      ShowGoogleMap();
      Timer->stop();  // the screen stays until the rotation is started again
      break;
    case RemoteCommand::Screen1:
      ShowWeatherPage();
      Timer->stop();
      break;
    case RemoteCommand::Scroll:
      State.TickCount = -1;
      if (!Timer->isActive()) Timer->start();  // a running timer keeps its beat
      break;
    case RemoteCommand::CapCode:
      settings.CapCode = parsed.capCode;
      config::SaveKioskSettings();
      break;
    case RemoteCommand::ToggleScreenSaver: {
      const platform::TDateTime now = platform::Now();
      State.ScreenSaverUntil = now < State.ScreenSaverUntil ? now - 1 : now + platform::kOneHour;
      FormResize();
      break;
    }
    case RemoteCommand::ScreenSaverOff:
      State.ScreenSaverUntil = platform::Now() + platform::kOneHour;
      FormResize();
      break;
    case RemoteCommand::Terminate:
      RequestTerminate();
      break;
    default:  // no command, a bad capcode, or a toggle (above)
      break;
  }
}

}  // namespace kiosk
