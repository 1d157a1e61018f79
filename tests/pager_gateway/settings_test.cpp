#include <gtest/gtest.h>

#include "pager-gateway/settings.h"
#include "tests/support/temp_dir.h"

namespace {

using pagergw::ParseSettings;

TEST(GatewaySettings, ValuesCommentsAndDefaults) {
  const auto r = ParseSettings(
      "# the receiver\n"
      "Input = receiver\n"
      "Frequency = 148.8125M   # the network\n"
      "Gain=42\n"
      "PPM = -3\n"
      "SampleRate = 240000\n"
      "Modes = POCSAG1200, FLEX\n"
      "Kiosks = kiosk1.station  10.0.0.7,kiosk3\n"
      "Broadcast = 10.0.0.255\r\n"
      "DuplicateWindow = 90\n");
  EXPECT_TRUE(r.problems.empty()) << r.problems.front();
  const auto& s = r.settings;
  EXPECT_EQ(s.frequency, "148.8125M");
  EXPECT_EQ(s.gain, "42");
  EXPECT_EQ(s.ppm, -3);
  EXPECT_EQ(s.sampleRate, 240000);
  EXPECT_EQ(s.modes, (std::vector<std::string>{"POCSAG1200", "FLEX"}));
  EXPECT_EQ(s.kiosks, (std::vector<std::string>{"kiosk1.station", "10.0.0.7", "kiosk3"}));
  EXPECT_EQ(s.broadcast, "10.0.0.255");
  EXPECT_EQ(s.duplicateWindowSeconds, 90);
  EXPECT_EQ(s.port, 15167);  // not named: default
  EXPECT_EQ(s.silenceReportSeconds, 600);
  EXPECT_EQ(s.metricsPort, 0);  // no metrics endpoint unless asked for
  EXPECT_EQ(s.metricsAddress, "127.0.0.1");
  const auto metrics = ParseSettings("MetricsPort = 65535\nMetricsAddress = 0.0.0.0\n");
  EXPECT_TRUE(metrics.problems.empty());
  EXPECT_EQ(metrics.settings.metricsPort, 65535);
  EXPECT_EQ(metrics.settings.metricsAddress, "0.0.0.0");
}

TEST(GatewaySettings, LinesThatCannotBeUsed) {
  const struct {
    const char* line;
    const char* problem;
  } cases[] = {
      {"Port = 0", "line 1: Port needs a whole number from 1 to 65535"},
      {"Port = 15167x", "line 1: Port needs a whole number from 1 to 65535"},
      {"PPM = ", "line 1: PPM needs a whole number from -1000 to 1000"},
      {"Modes = POCSAG1200 POCSAG9600", "line 1: Modes \"POCSAG9600\" is none of POCSAG512 POCSAG1200 POCSAG2400 FLEX"},
      {"Modes =", "line 1: Modes needs at least one of POCSAG512 POCSAG1200 POCSAG2400 FLEX"},
      {"Frequency =", "line 1: Frequency needs a value"},
      {"MetricsPort = 65536", "line 1: MetricsPort needs a whole number from 0 to 65535"},
      {"MetricsPort = -1", "line 1: MetricsPort needs a whole number from 0 to 65535"},
      {"MetricsAddress = gateway.local", "line 1: MetricsAddress \"gateway.local\" is no IPv4 address"},
      {"Frequncy = 148M", "line 1: unknown setting \"Frequncy\""},
      {"just words", "line 1: no \"Name = value\""},
  };
  for (const auto& c : cases) {
    const auto r = ParseSettings(c.line);
    ASSERT_EQ(r.problems.size(), 1u) << c.line;
    EXPECT_EQ(r.problems[0], c.problem);
    EXPECT_EQ(r.settings.port, 15167);
    EXPECT_EQ(r.settings.modes.size(), 4u);
  }
  EXPECT_EQ(ParseSettings("Kiosks =\n").problems, std::vector<std::string>{"neither Kiosks nor Broadcast: nothing is sent"});
  const auto pauses = ParseSettings("RestartPauseMin = 30\nRestartPauseMax = 10\n");
  EXPECT_EQ(pauses.settings.restartPauseMaxSeconds, 30);
  EXPECT_EQ(pauses.problems.size(), 1u);
}

TEST(GatewaySettings, TheRegionsBroker) {
  auto r = ParseSettings(
      "Broker = mqtt.region.example:8884\nBrokerCAFile = /etc/ssl/region-ca.crt\nBrokerCredentials = /etc/c\n"
      "TopicPrefix = region/north\nReceiverName = ridge\nRelay = yes\nMaxAge = 120\nKiosks =\n");
  EXPECT_TRUE(r.problems.empty()) << r.problems.front();
  EXPECT_EQ(r.settings.brokerHost, "mqtt.region.example");
  EXPECT_EQ(r.settings.BrokerPort(), 8884);
  EXPECT_TRUE(r.settings.Publishes() && r.settings.Relays()) << "a receiver that relays too";
  EXPECT_EQ(r.settings.topicPrefix, "region/north");
  EXPECT_EQ(r.settings.maxAgeSeconds, 120);

  const struct {
    const char* text;
    const char* host;
    int port;
    bool publishes, relays;
  } ports[] = {
      {"Broker = 10.0.0.9", "10.0.0.9", 1883, true, false},
      {"Broker = 10.0.0.9\nBrokerCAFile = ca.crt", "10.0.0.9", 8883, true, false},
      {"Broker = [fd00::9]:1884\nInput = broker", "fd00::9", 1884, false, true},
      {"Broker = fd00::9", "fd00::9", 1883, true, false},
      {"Input = broker", "", 1883, false, false},
  };
  for (const auto& c : ports) {
    r = ParseSettings(c.text);
    EXPECT_EQ(r.settings.brokerHost, c.host) << c.text;
    EXPECT_EQ(r.settings.BrokerPort(), c.port) << c.text;
    EXPECT_EQ(r.settings.Publishes(), c.publishes) << c.text;
    EXPECT_EQ(r.settings.Relays(), c.relays) << c.text;
  }
  const struct {
    const char* line;
    const char* problem;
  } bad[] = {
      {"Broker = host:0", "line 1: Broker needs a port from 1 to 65535 after ':'"},
      {"Broker = [fd00::9:1884", "line 1: Broker needs \"]\" after an IPv6 address"},
      {"TopicPrefix = rvu/#", "line 1: TopicPrefix needs topic levels without '+', '#', blanks or a '/' at either end"},
      {"TopicPrefix = /rvu", "line 1: TopicPrefix needs topic levels without '+', '#', blanks or a '/' at either end"},
      {"ReceiverName = a/b", "line 1: ReceiverName must not hold '/', '+', '#', '[', ']' or blanks"},
      {"Relay = on", "line 1: Relay needs yes or no"},
      {"MaxAge = 0", "line 1: MaxAge needs a whole number from 1 to 604800"},
      {"Input = broker", "Input = broker without a Broker: nothing comes in"},
      {"Relay = yes", "Relay = yes without a Broker: nothing is relayed"},
      {"Broker = b\nBrokerCertFile = c.crt", "BrokerCertFile and BrokerKeyFile need BrokerCAFile (TLS)"},
  };
  for (const auto& c : bad) EXPECT_EQ(ParseSettings(c.line).problems, std::vector<std::string>{c.problem}) << c.line;
}

TEST(GatewaySettings, BrokerCredentials) {
  auto c = pagergw::ParseCredentials("# the region's broker\nUser = ridge\nPassword = p#ss = word \n");
  EXPECT_TRUE(c.problems.empty()) << c.problems.front();
  EXPECT_EQ(c.user, "ridge");
  EXPECT_EQ(c.password, "p#ss = word") << "a '#' in a password is no comment";
  c = pagergw::ParseCredentials("Password = x\nuser ridge\n");
  EXPECT_EQ(c.problems, (std::vector<std::string>{"line 2: neither \"User = ...\" nor \"Password = ...\"", "no User"}));
  for (unsigned mode : {0600u, 0640u, 0400u, 0660u}) EXPECT_EQ(pagergw::CredentialsModeProblem(mode), "") << mode;
  for (unsigned mode : {0604u, 0644u, 0666u, 0601u})
    EXPECT_NE(pagergw::CredentialsModeProblem(mode), "") << mode;
}

TEST(GatewaySettings, ShippedFileReadsCleanly) {
  const auto r = ParseSettings(
      testsupport::ReadWholeFile(std::string(KIOSK_SOURCE_DIR) + "/deploy/rvu-pager-gateway/gateway.conf"));
  EXPECT_TRUE(r.problems.empty()) << r.problems.front();
  EXPECT_EQ(r.settings.input, "receiver");
  EXPECT_EQ(r.settings.capcodeTable, "/etc/rvu-pager-gateway/capcodes.conf");
  EXPECT_EQ(r.settings.port, 15167);
}

TEST(GatewaySettings, ReceiverPipelineCommands) {
  pagergw::Settings s;
  s.frequency = "148.8125M";
  s.gain = "40";
  s.ppm = 12;
  s.device = "1";
  s.modes = {"POCSAG1200", "FLEX"};
  auto c = pagergw::BuildPipeline(s);
  EXPECT_EQ(c.receiver, (std::vector<std::string>{"/usr/bin/rtl_fm", "-d", "1", "-M", "fm", "-f", "148.8125M", "-s",
                                                   "22050", "-g", "40", "-p", "12", "-"}));
  EXPECT_EQ(c.decoder, (std::vector<std::string>{"/usr/bin/multimon-ng", "-t", "raw", "-a", "POCSAG1200", "-a", "FLEX",
                                                  "-"}));
  // Automatic gain: no -g; another sample rate is resampled to the decoder's.
  s.gain = "auto";
  s.sampleRate = 240000;
  c = pagergw::BuildPipeline(s);
  EXPECT_EQ(c.receiver, (std::vector<std::string>{"/usr/bin/rtl_fm", "-d", "1", "-M", "fm", "-f", "148.8125M", "-s",
                                                   "240000", "-r", "22050", "-p", "12", "-"}));
}

TEST(GatewaySettings, RestartPauseGrowsToItsMaximum) {
  const struct {
    int n, min, max, pause;
  } cases[] = {{1, 1, 60, 1}, {2, 1, 60, 2}, {3, 1, 60, 4}, {6, 1, 60, 32}, {7, 1, 60, 60},
               {1000, 1, 60, 60}, {1, 5, 5, 5}, {3, 5, 300, 20}, {40, 3, 86400, 86400}};
  for (const auto& c : cases)
    EXPECT_EQ(pagergw::RestartPauseSeconds(c.n, c.min, c.max), c.pause) << c.n << " " << c.min << " " << c.max;
}

}  // namespace
