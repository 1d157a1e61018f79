// The pager feed and the remote commands that arrive on its port.
#include <QTimer>

#include "config/kiosk_settings.h"
#include "diag/log.h"
#include "kiosk/frm_main.h"
#include "kiosk/qt_support.h"
#include "platform/clock.h"

namespace kiosk {

void TfrmMain::IdUDPServer1UDPRead(const std::string& data, const platform::IpAddress& sender) {
  if (terminating_) return;  // told to end: the rest of a batch is left unhandled
  try {
    State.LastPacketTime = platform::Now();
    State.CommsLostReported = false;
    if (IsCommandText(data) && !CommandAllowed(sender, StationSettings.commandHosts)) {
      // A command from a sender the station does not take commands from: a
      // sign of a live feed, and nothing more.
      Datagrams.Note(DatagramKind::CommandRefused, data, State.LastPacketTime);
      ReportRefusedCommand(sender);
      if (DatagramHandled) DatagramHandled(data);
      return;
    }
    const std::string& text = data;
    if (config::KioskSettings.DebugMode) lblPageJ->setText(ToQString(std::string(LabelText(text, kTickerMaxChars))));
    const DatagramView view = DecideDatagram(text, config::KioskSettings);
    Datagrams.Note(KindOfDatagram(text, view), text, State.LastPacketTime);
    if (view.ownCapcode) State.ScreenSaverUntil = platform::Now() + platform::kOneHour;
    PageAlert(text, view);
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

void TfrmMain::ReportRefusedCommand(const platform::IpAddress& sender) {
  const RefusedCommandNote note = NoteRefusedCommand(refusedCommands_, sender, platform::Now());
  if (!note.log) return;
  const std::string message = note.others ? "Commands refused from senders not in CommandHosts, beyond the " +
                                                std::to_string(kRefusedSendersRemembered) + " remembered"
                                          : "Command refused: sender not in CommandHosts";
  diag::LogEntry({kCommandRefusedCode, 0,
                  "[Function=Main.IdUDPServer1UDPRead][Version=" + diag::Globals.ProgramVersion + "][Message=" +
                      message + "][Sender=" + platform::IpAddressText(sender) +
                      "][Refused=" + std::to_string(note.refused) + "]",
                  0});
}

}  // namespace kiosk
