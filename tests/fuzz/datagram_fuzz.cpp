// Feeds arbitrary datagram texts to the kiosk's decisions on them: what is
// shown and in which colour, and which remote command a text is.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "config/kiosk_settings.h"
#include "kiosk/kiosk_logic.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  // The first two bytes choose the switches and a capcode.
  config::tKioskSettings settings;
  settings.ShowCFS = data[0] & 1;
  settings.ShowMFS = data[0] & 2;
  settings.ShowMSC = data[0] & 4;
  settings.ShowSAAS = data[0] & 8;
  settings.ShowRVU = data[0] & 16;
  settings.ShowUnknown = data[0] & 32;
  settings.ShowHeartBeat = data[0] & 64;
  settings.CapCode = static_cast<std::int8_t>(data[1]);
  const std::string_view text(reinterpret_cast<const char*>(data) + 2, size - 2);

  const kiosk::DatagramView view = kiosk::DecideDatagram(text, settings);
  const bool command = text.substr(0, 4) == "CMD:";
  if (command && view.show) std::abort();  // a command is never shown
  if (view.colour != kiosk::kGreen && view.colour != kiosk::kYellow && view.colour != kiosk::kWhite) std::abort();
  if (view.ownCapcode != (view.colour == kiosk::kGreen)) std::abort();

  const kiosk::ParsedCommand parsed = kiosk::ParseRemoteCommand(text);
  if (parsed.command != kiosk::RemoteCommand::None && !command) std::abort();  // only "CMD:" texts command
  if (parsed.command != kiosk::RemoteCommand::CapCode && parsed.capCode != 0) std::abort();
  return 0;
}
