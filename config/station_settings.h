#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/ip_address.h"

// The kiosk's station settings: what the station adds beyond the two XML
// settings files, in a file of "Name = value" lines (the format of the pager
// gateway's settings). Read once at start-up; the kiosk never writes it.
namespace config {

// Where the package installs the file.
inline constexpr const char* kStationSettingsFile = "/etc/rvukiosk/station.conf";

// An address and how many of its leading bits a sender must share with it.
struct IpNetwork {
  platform::IpAddress address;
  int prefix = 32;
  bool operator==(const IpNetwork&) const = default;
};

// "192.0.2.7", "192.168.10.0/24", "::1", "2001:db8::/32". An IPv4 address in
// IPv6 form ("::ffff:192.0.2.7", prefix 96 or more) is taken as the IPv4 one.
std::optional<IpNetwork> ParseIpNetwork(std::string_view text);

// This machine's own addresses: 127.0.0.0/8 and ::1.
std::vector<IpNetwork> LoopbackNetworks();

// Where the package installs the pronunciation table of the spoken alert.
inline constexpr const char* kPronunciationTableFile = "/etc/rvukiosk/pronunciation.conf";

// How the station's screen is switched on and to standby: not at all, over
// HDMI-CEC, or over DDC/CI.
enum class ScreenPowerWay { None, Cec, Ddc };

// What is heard when a page to the unit's own capcode arrives, and what is
// done to the screen. Everything off by default: the kiosk is silent and
// leaves the screen's power alone.
struct AlertSettings {
  bool alert = false;   // the master switch: off, nothing is heard
  bool gong = true;     // the two-tone gong first
  bool speech = true;   // then the page read out
  int repeats = 2;      // how often the page is read out
  std::string voice = "en";
  int rate = 160;       // words a minute
  int volume = 100;     // espeak-ng's scale, 100 its normal loudness
  std::string device = "default";  // the ALSA device
  std::string pronunciationTable = kPronunciationTableFile;
  ScreenPowerWay screenPower = ScreenPowerWay::None;
  bool standbyWhileDark = false;  // the screen to standby while the kiosk is dark
};

// The bounds of the alert's numbers.
inline constexpr int kAlertRepeatsMax = 5;
inline constexpr int kAlertRateMin = 80;
inline constexpr int kAlertRateMax = 450;
inline constexpr int kAlertVolumeMax = 200;
// The highest TCP port number.
inline constexpr int kMaxPort = 65535;
// Where the metrics endpoint listens unless the station names an address.
inline constexpr const char* kDefaultMetricsAddress = "127.0.0.1";

struct StationSettings {
  // The senders whose remote commands are taken; none given: every sender.
  std::optional<std::vector<IpNetwork>> commandHosts;
  AlertSettings alert;
  // The metrics endpoint's TCP port (1 to kMaxPort); 0: no endpoint.
  int metricsPort = 0;
  // The IPv4 address it listens on: one of this machine's, "0.0.0.0" for all.
  std::string metricsAddress = kDefaultMetricsAddress;
};


struct StationSettingsResult {
  StationSettings settings;
  std::vector<std::string> problems;  // "line 3: ..." for each line or entry not taken
};

// Settings not named keep their defaults; an unknown name or a line that
// cannot be used is reported and changes nothing. In CommandHosts a bad entry
// is reported and left out; when none of its entries can be used, commands
// are taken from this machine only (never from everyone).
StationSettingsResult ParseStationSettings(std::string_view text);

// Reads the file at `path`. No file: the defaults, no problem. A file that
// exists but cannot be read is reported, and commands are taken from this
// machine only, since what it limits cannot be known.
StationSettingsResult ReadStationSettings(const std::string& path);

// The pronunciation table of the spoken alert: one abbreviation a line and
// its spoken form after it ("RD road"), blank-separated; "#" starts a comment.
// An abbreviation is one word of letters and digits; it is matched as a whole
// word, in any case. A later line for the same abbreviation replaces the one
// before.
struct PronunciationEntry {
  std::string word;    // in capitals
  std::string spoken;
  bool operator==(const PronunciationEntry&) const = default;
};
struct PronunciationTable {
  std::vector<PronunciationEntry> entries;
  std::vector<std::string> problems;  // "line N: ..." for each line not taken
};
PronunciationTable ParsePronunciationTable(std::string_view text);
// No file: an empty table and one problem; so is a file that cannot be read.
PronunciationTable ReadPronunciationTable(const std::string& path);

}  // namespace config
