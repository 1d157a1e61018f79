#include "config/station_settings.h"

#include <gtest/gtest.h>

#include "platform/files.h"
#include "tests/support/temp_dir.h"

namespace {

using config::ParseStationSettings;

std::string Text(const std::optional<std::vector<config::IpNetwork>>& hosts) {
  if (!hosts) return "every sender";
  std::string text;
  for (const auto& n : *hosts)
    text += (text.empty() ? "" : " ") + platform::IpAddressText(n.address) + "/" + std::to_string(n.prefix);
  return text;
}

TEST(StationSettings, CommandHosts) {
  struct Case {
    const char* text;
    std::string hosts;
    std::vector<std::string> problems;
  } cases[] = {
      {"", "every sender", {}},
      {"# CommandHosts = 127.0.0.1\n", "every sender", {}},
      {"CommandHosts = 127.0.0.1", "127.0.0.1/32", {}},
      {"CommandHosts = 127.0.0.1, 192.168.10.0/24, ::1\n", "127.0.0.1/32 192.168.10.0/24 ::1/128", {}},
      {"CommandHosts = 10.0.0.1 10.0.0.2,,fd00::/8\n", "10.0.0.1/32 10.0.0.2/32 fd00::/8", {}},
      {"CommandHosts = ::ffff:192.0.2.1\n", "192.0.2.1/32", {}},
      {"CommandHosts = 0.0.0.0/0\n", "0.0.0.0/0", {}},
      // A bad entry is left out; the rest of the list stands.
      {"CommandHosts = 127.0.0.1, kiosk-pc, 192.168.10.0/33\n",
       "127.0.0.1/32",
       {"line 1: CommandHosts left out \"kiosk-pc\", \"192.168.10.0/33\": no address, or network in CIDR form"}},
      {"CommandHosts = 10.0.0.1/-1 10.0.0.1/ 10.0.0.1/8x ::1/129 1.2.3 256.1.1.1 10.0.0.1/24/8 127.0.0.1\n",
       "127.0.0.1/32",
       {"line 1: CommandHosts left out \"10.0.0.1/-1\", \"10.0.0.1/\", \"10.0.0.1/8x\", \"::1/129\", \"1.2.3\", "
        "\"256.1.1.1\", \"10.0.0.1/24/8\": no address, or network in CIDR form"}},
      // Nothing usable: never everyone, only this machine.
      {"CommandHosts = gateway.local\n",
       "127.0.0.0/8 ::1/128",
       {"line 1: CommandHosts left out \"gateway.local\": no address, or network in CIDR form; no usable entry: "
        "commands are taken from this machine only"}},
      {"CommandHosts =\n",
       "127.0.0.0/8 ::1/128",
       {"line 1: CommandHosts no usable entry: commands are taken from this machine only"}},
      // An unknown name is reported with its line and changes nothing.
      {"# station\nAlertSound = bell.wav\nCommandHosts = ::1\n", "::1/128", {"line 2: unknown setting \"AlertSound\""}},
  };
  for (const auto& c : cases) {
    const auto r = ParseStationSettings(c.text);
    EXPECT_EQ(Text(r.settings.commandHosts), c.hosts) << c.text;
    EXPECT_EQ(r.problems, c.problems) << c.text;
  }
}

TEST(StationSettings, MetricsEndpoint) {
  struct Case {
    const char* text;
    int port;
    std::string address;
    std::vector<std::string> problems;
  } cases[] = {
      // Off unless a port is given, and on loopback unless an address is.
      {"", 0, "127.0.0.1", {}},
      {"MetricsPort = 9471\n", 9471, "127.0.0.1", {}},
      {"MetricsPort = 9471\nMetricsAddress = 192.168.10.5\n", 9471, "192.168.10.5", {}},
      {"MetricsAddress = ::1\n", 0, "127.0.0.1", {"line 1: MetricsAddress \"::1\" is no IPv4 address"}},
      {"MetricsAddress = 0.0.0.0\n", 0, "0.0.0.0", {}},
      // The port at its bounds and one past each.
      {"MetricsPort = 65535\n", 65535, "127.0.0.1", {}},
      {"MetricsPort = 65536\n", 0, "127.0.0.1", {"line 1: MetricsPort needs a whole number from 0 to 65535"}},
      {"MetricsPort = 0\n", 0, "127.0.0.1", {}},
      {"MetricsPort = -1\n", 0, "127.0.0.1", {"line 1: MetricsPort needs a whole number from 0 to 65535"}},
      // A host name is no address to listen on: the default stands.
      {"MetricsPort = 9471\nMetricsAddress = kiosk.local\n",
       9471,
       "127.0.0.1",
       {"line 2: MetricsAddress \"kiosk.local\" is no IPv4 address"}},
  };
  for (const auto& c : cases) {
    const auto r = ParseStationSettings(c.text);
    EXPECT_EQ(r.settings.metricsPort, c.port) << c.text;
    EXPECT_EQ(r.settings.metricsAddress, c.address) << c.text;
    EXPECT_EQ(r.problems, c.problems) << c.text;
  }
}

TEST(StationSettings, File) {
  testsupport::TempDir dir;
  EXPECT_EQ(Text(config::ReadStationSettings(dir.File("station.conf")).settings.commandHosts), "every sender");
  {
    std::FILE* f = std::fopen(dir.File("station.conf").c_str(), "w");
    std::fputs("CommandHosts = 127.0.0.1\n", f);
    std::fclose(f);
  }
  const auto r = config::ReadStationSettings(dir.File("station.conf"));
  EXPECT_EQ(Text(r.settings.commandHosts), "127.0.0.1/32");
  EXPECT_TRUE(r.problems.empty());
}

// The alert's settings as one line, to compare a case's outcome at a glance.
std::string Text(const config::AlertSettings& a) {
  const char* ways[] = {"none", "cec", "ddc"};
  return std::string(a.alert ? "alert" : "silent") + (a.gong ? " gong" : "") + (a.speech ? " speech" : "") + " x" +
         std::to_string(a.repeats) + " " + a.voice + " " + std::to_string(a.rate) + "/" + std::to_string(a.volume) +
         " " + a.device + " " + a.pronunciationTable + " " + ways[static_cast<int>(a.screenPower)] +
         (a.standbyWhileDark ? " standby" : "");
}

TEST(StationSettings, Alert) {
  const std::string defaults = "silent gong speech x2 en 160/100 default /etc/rvukiosk/pronunciation.conf none";
  struct Case {
    const char* text;
    std::string alert;
    std::vector<std::string> problems;
  } cases[] = {
      {"", defaults, {}},
      {"Alert = on\nAlertGong = no\nAlertSpeech = TRUE\nAlertRepeats = 3\nAlertVoice = en-gb\nAlertRate = 200\n"
       "AlertVolume = 150\nAlertDevice = plughw:1,0\nPronunciationTable = /tmp/p.conf\nScreenPower = CEC\n"
       "ScreenStandbyWhileDark = yes\n",
       "alert speech x3 en-gb 200/150 plughw:1,0 /tmp/p.conf cec standby",
       {}},
      {"Alert = 1\nAlertSpeech = off\nScreenPower = ddc\n",
       "alert gong x2 en 160/100 default /etc/rvukiosk/pronunciation.conf ddc", {}},
      // The numbers at their bounds are taken; one past is reported and changes nothing.
      {"AlertRepeats = 1\nAlertRate = 80\nAlertVolume = 0\n",
       "silent gong speech x1 en 80/0 default /etc/rvukiosk/pronunciation.conf none", {}},
      {"AlertRepeats = 5\nAlertRate = 450\nAlertVolume = 200\n",
       "silent gong speech x5 en 450/200 default /etc/rvukiosk/pronunciation.conf none", {}},
      {"AlertRepeats = 6\nAlertRate = 79\nAlertVolume = 201\nAlertRepeats = 0\nAlertRate = 451\n",
       defaults,
       {"line 1: AlertRepeats needs a whole number from 1 to 5", "line 2: AlertRate needs a whole number from 80 to 450",
        "line 3: AlertVolume needs a whole number from 0 to 200", "line 4: AlertRepeats needs a whole number from 1 to 5",
        "line 5: AlertRate needs a whole number from 80 to 450"}},
      {"Alert = maybe\nScreenPower = hdmi\nAlertDevice =\nAlertVoice =\n",
       defaults,
       {"line 1: Alert needs on or off", "line 2: ScreenPower needs none, cec or ddc", "line 3: AlertDevice needs a value",
        "line 4: AlertVoice needs a value"}},
  };
  for (const auto& c : cases) {
    const auto r = ParseStationSettings(c.text);
    EXPECT_EQ(Text(r.settings.alert), c.alert) << c.text;
    EXPECT_EQ(r.problems, c.problems) << c.text;
  }
}

TEST(StationSettings, ShippedFileIsEmptyAndTheGuidesLineLimitsToTheLocalGateway) {
  const std::string shipped = KIOSK_SOURCE_DIR "/deploy/rvukiosk/station.conf";
  ASSERT_TRUE(platform::FileExists(shipped));
  EXPECT_NE(platform::ReadFile(shipped).find("\n# CommandHosts = 127.0.0.1\n"), std::string::npos);
  const auto r = config::ReadStationSettings(shipped);
  EXPECT_EQ(Text(r.settings.commandHosts), "every sender");
  EXPECT_FALSE(r.settings.alert.alert);
  EXPECT_EQ(r.settings.alert.screenPower, config::ScreenPowerWay::None);
  EXPECT_TRUE(r.problems.empty());
  // Every alert setting is documented there, commented out, at its default.
  const std::string text = platform::ReadFile(shipped);
  for (const char* line : {"# Alert = off\n", "# AlertGong = on\n", "# AlertSpeech = on\n", "# AlertRepeats = 2\n",
                           "# AlertVoice = en\n", "# AlertRate = 160\n", "# AlertVolume = 100\n",
                           "# AlertDevice = default\n", "# PronunciationTable = /etc/rvukiosk/pronunciation.conf\n",
                           "# ScreenPower = none\n", "# ScreenStandbyWhileDark = off\n"}) {
    EXPECT_NE(text.find(line), std::string::npos) << line;
    const std::string uncommented = std::string(line).substr(2);
    EXPECT_EQ(Text(ParseStationSettings(uncommented).settings.alert), Text(config::AlertSettings{})) << line;
  }
  EXPECT_EQ(Text(ParseStationSettings("CommandHosts = 127.0.0.1\n").settings.commandHosts), "127.0.0.1/32");
}

}  // namespace
