// The pager feed and the remote commands that arrive on its port.
#include "config/kiosk_settings.h"
#include "kiosk/frm_main.h"
#include "kiosk/qt_support.h"
#include "platform/clock.h"

namespace kiosk {

void TfrmMain::IdUDPServer1UDPRead(const std::string& data) {
  try {
    State.LastPacketTime = platform::Now();
    State.CommsLostReported = false;
    const std::string& text = data;
    if (config::KioskSettings.DebugMode) lblPageJ->setText(ToQString(text));
    const DatagramView view = DecideDatagram(text, config::KioskSettings);
    if (view.ownCapcode) State.ScreenSaverUntil = platform::Now() + platform::kOneHour;
    if (view.show) AddMessage(text, view.colour);
    RemoteCommands(text);
  } catch (...) {
    // A datagram never takes the kiosk down; what was done before stays done.
  }
}

void TfrmMain::RemoteCommands(const std::string&) {
  // STUB: the remote commands arrive with the screens and the rotation; until
  // then every text is a pager line and nothing more happens here.
}

}  // namespace kiosk
