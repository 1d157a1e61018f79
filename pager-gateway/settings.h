#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/feed_wire.h"

namespace pagergw {

// The gateway's settings file: "Name = value" lines, "#" starts a comment.
struct Settings {
  // "receiver": start rtl_fm | multimon-ng from the settings below; "stdin":
  // read multimon-ng's output from standard input; any other value: the path of
  // a named pipe that multimon-ng's output is written into.
  std::string input = "receiver";

  // The receiver.
  std::string rtlFm = "/usr/bin/rtl_fm";
  std::string multimonNg = "/usr/bin/multimon-ng";
  std::string device = "0";             // rtl_fm -d: index or serial number of the dongle
  std::string frequency = "148.8125M";  // rtl_fm -f
  std::string gain = "auto";            // rtl_fm -g in dB, or "auto"
  int ppm = 0;                          // rtl_fm -p
  int sampleRate = 22050;               // rtl_fm -s; resampled to multimon-ng's 22050 Hz when different
  std::vector<std::string> modes = {"POCSAG512", "POCSAG1200", "POCSAG2400", "FLEX"};

  // Where the feed goes.
  std::vector<std::string> kiosks = {"127.0.0.1"};  // host names or addresses, resolved at each send
  std::string broadcast;                            // a broadcast address, or empty
  int port = platform::kFeedPort;

  int duplicateWindowSeconds = 60;
  int silenceReportSeconds = 600;    // no page decoded for this long is reported
  int silenceRestartSeconds = 1800;  // ... and restarts the receiver (0: never)
  int restartPauseMinSeconds = 1;    // the pause before a restart doubles up to the maximum
  int restartPauseMaxSeconds = 60;

  std::string capcodeTable = "/etc/rvu-pager-gateway/capcodes.conf";
  std::string syslogServer;  // receiver of syslog datagrams (UDP 514, facility local0), or empty

  // The region's MQTT broker ("Input = broker" takes the pages from it alone).
  std::string brokerHost;  // empty: no broker
  int brokerPort = 0;      // 0: 1883, or 8883 with TLS
  std::string brokerCaFile, brokerCertFile, brokerKeyFile;  // TLS when a CA file is given
  std::string brokerCredentials;  // a file with "User = ..." and "Password = ...", or empty
  std::string topicPrefix = "rvu";
  std::string receiverName;  // this gateway's name at the broker; empty: the host's name
  bool relay = false;        // pages from the broker to the kiosks (always with "Input = broker")
  int maxAgeSeconds = 300;   // a page from the broker decoded longer ago than this is not shown

  bool BrokerInput() const { return input == "broker"; }
  bool Relays() const { return !brokerHost.empty() && (relay || BrokerInput()); }
  bool Publishes() const { return !brokerHost.empty() && !BrokerInput(); }
  int BrokerPort() const { return brokerPort != 0 ? brokerPort : brokerCaFile.empty() ? 1883 : 8883; }
  // The metrics endpoint: its TCP port (0: none) and the address it listens on.
  int metricsPort = 0;
  std::string metricsAddress = "127.0.0.1";
};

struct SettingsResult {
  Settings settings;
  std::vector<std::string> problems;  // "line 3: ..." for each line not taken
};

// Settings not named keep their defaults; a line that cannot be used is
// reported and leaves its setting as it was.
SettingsResult ParseSettings(std::string_view text);

// The broker's log-in, from its own file ("User = ...", "Password = ...").
struct Credentials {
  std::string user, password;
  std::vector<std::string> problems;
};
Credentials ParseCredentials(std::string_view text);
// What is wrong with the credentials file's permission bits: it must not be
// readable by others than its owner and group (the gateway's service). Empty when fine.
std::string CredentialsModeProblem(unsigned mode);

// The two programs of the receiver, each as its argument list.
struct PipelineCommands {
  std::vector<std::string> receiver;  // rtl_fm ... -
  std::vector<std::string> decoder;   // multimon-ng -t raw -a ... -
};
PipelineCommands BuildPipeline(const Settings& settings);

// The pause before the n-th restart in a row (n from 1): the minimum, doubled
// each time, at most the maximum.
int RestartPauseSeconds(int restartsInARow, int minSeconds, int maxSeconds);

}  // namespace pagergw
