#include "pager-gateway/settings.h"

#include <algorithm>
#include <charconv>

#include "config/plain_file.h"

namespace pagergw {

using config::Trim;

namespace {

bool ReadInt(std::string_view s, int lo, int hi, int& out) {
  int value = 0;
  const auto [ptr, ec] = std::from_chars(s.data(), s.data() + s.size(), value);
  if (ec != std::errc() || ptr != s.data() + s.size() || value < lo || value > hi) return false;
  out = value;
  return true;
}

const std::vector<std::string> kModes = {"POCSAG512", "POCSAG1200", "POCSAG2400", "FLEX"};

}  // namespace

SettingsResult ParseSettings(std::string_view text) {
  SettingsResult result;
  Settings& s = result.settings;
  using config::IntSetting;
  using config::TextSetting;
  using config::Words;
  const config::SettingReaders readers = {
      {"Input", TextSetting(s.input, false)},
      {"RtlFm", TextSetting(s.rtlFm, false)},
      {"MultimonNg", TextSetting(s.multimonNg, false)},
      {"Device", TextSetting(s.device, false)},
      {"Frequency", TextSetting(s.frequency, false)},
      {"Gain", TextSetting(s.gain, false)},
      {"PPM", IntSetting(s.ppm, -1000, 1000)},
      {"SampleRate", IntSetting(s.sampleRate, 1000, 3200000)},
      {"Modes",
       [&s](std::string_view v) -> std::string {
         std::vector<std::string> modes = Words(v);
         if (modes.empty()) return "needs at least one of POCSAG512 POCSAG1200 POCSAG2400 FLEX";
         for (const auto& m : modes)
           if (std::find(kModes.begin(), kModes.end(), m) == kModes.end())
             return "\"" + m + "\" is none of POCSAG512 POCSAG1200 POCSAG2400 FLEX";
         s.modes = modes;
         return "";
       }},
      {"Kiosks",
       [&s](std::string_view v) -> std::string {
         s.kiosks = Words(v);
         return "";
       }},
      {"Broadcast", TextSetting(s.broadcast, true)},
      {"Port", IntSetting(s.port, 1, 65535)},
      {"DuplicateWindow", IntSetting(s.duplicateWindowSeconds, 0, 86400)},
      {"SilenceReport", IntSetting(s.silenceReportSeconds, 1, 604800)},
      {"SilenceRestart", IntSetting(s.silenceRestartSeconds, 0, 604800)},
      {"RestartPauseMin", IntSetting(s.restartPauseMinSeconds, 1, 3600)},
      {"RestartPauseMax", IntSetting(s.restartPauseMaxSeconds, 1, 86400)},
      {"MetricsPort", IntSetting(s.metricsPort, 0, 65535)},
      {"MetricsAddress", config::ListenAddressSetting(s.metricsAddress)},
      {"CapcodeTable", TextSetting(s.capcodeTable, false)},
      {"SyslogServer", TextSetting(s.syslogServer, true)},
      {"Broker",
       [&s](std::string_view v) -> std::string {
         // host, host:port, [v6 address]:port
         std::string_view host = v;
         int port = 0;
         const auto colon = v.rfind(':');
         const bool bracketed = !v.empty() && v.front() == '[';
         if (colon != std::string_view::npos && (bracketed ? colon > 0 && v[colon - 1] == ']' : v.find(':') == colon)) {
           if (!ReadInt(v.substr(colon + 1), 1, 65535, port)) return "needs a port from 1 to 65535 after ':'";
           host = v.substr(0, colon);
         }
         if (bracketed) {
           if (host.size() < 3 || host.back() != ']') return "needs \"]\" after an IPv6 address";
           host = host.substr(1, host.size() - 2);
         }
         s.brokerHost = std::string(host);
         s.brokerPort = port;
         return "";
       }},
      {"BrokerCAFile", TextSetting(s.brokerCaFile, true)},
      {"BrokerCertFile", TextSetting(s.brokerCertFile, true)},
      {"BrokerKeyFile", TextSetting(s.brokerKeyFile, true)},
      {"BrokerCredentials", TextSetting(s.brokerCredentials, true)},
      {"TopicPrefix",
       [&s](std::string_view v) -> std::string {
         if (v.empty() || v.front() == '/' || v.back() == '/' || v.find_first_of("+# ") != std::string_view::npos)
           return "needs topic levels without '+', '#', blanks or a '/' at either end";
         s.topicPrefix = std::string(v);
         return "";
       }},
      {"ReceiverName",
       [&s](std::string_view v) -> std::string {
         if (v.find_first_of("/+#[] ") != std::string_view::npos) return "must not hold '/', '+', '#', '[', ']' or blanks";
         s.receiverName = std::string(v);
         return "";
       }},
      {"Relay",
       [&s](std::string_view v) -> std::string {
         if (v == "yes") s.relay = true;
         else if (v == "no") s.relay = false;
         else return "needs yes or no";
         return "";
       }},
      {"MaxAge", IntSetting(s.maxAgeSeconds, 1, 604800)},
  };

  config::ReadSettings(text, readers, result.problems);
  if (s.restartPauseMaxSeconds < s.restartPauseMinSeconds) {
    result.problems.push_back("RestartPauseMax is below RestartPauseMin; taken as equal");
    s.restartPauseMaxSeconds = s.restartPauseMinSeconds;
  }
  if (s.kiosks.empty() && s.broadcast.empty() && !s.Publishes())
    result.problems.push_back("neither Kiosks nor Broadcast: nothing is sent");
  if (s.BrokerInput() && s.brokerHost.empty()) result.problems.push_back("Input = broker without a Broker: nothing comes in");
  if (s.relay && s.brokerHost.empty()) result.problems.push_back("Relay = yes without a Broker: nothing is relayed");
  if (s.brokerCaFile.empty() && !(s.brokerCertFile.empty() && s.brokerKeyFile.empty()))
    result.problems.push_back("BrokerCertFile and BrokerKeyFile need BrokerCAFile (TLS)");
  return result;
}

Credentials ParseCredentials(std::string_view text) {
  // Not through ForEachEntry: a password may hold a '#'. Only a line that
  // starts with one is a comment.
  Credentials c;
  int number = 0;
  while (!text.empty()) {
    const auto end = text.find('\n');
    const std::string_view line = Trim(text.substr(0, end));
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    ++number;
    if (line.empty() || line.front() == '#') continue;
    const auto equals = line.find('=');
    const std::string_view name = Trim(line.substr(0, equals));
    if (equals == std::string_view::npos || (name != "User" && name != "Password")) {
      c.problems.push_back("line " + std::to_string(number) + ": neither \"User = ...\" nor \"Password = ...\"");
      continue;
    }
    (name == "User" ? c.user : c.password) = std::string(Trim(line.substr(equals + 1)));
  }
  if (c.user.empty()) c.problems.push_back("no User");
  return c;
}

std::string CredentialsModeProblem(unsigned mode) {
  if (mode & 0007) return "readable by every user (chmod 0640, owner root, group of the gateway's service)";
  return "";
}

PipelineCommands BuildPipeline(const Settings& s) {
  PipelineCommands c;
  constexpr int kDecoderRate = 22050;  // the rate multimon-ng's raw input must have
  c.receiver = {s.rtlFm, "-d", s.device, "-M", "fm", "-f", s.frequency, "-s", std::to_string(s.sampleRate)};
  if (s.sampleRate != kDecoderRate) c.receiver.insert(c.receiver.end(), {"-r", std::to_string(kDecoderRate)});
  if (s.gain != "auto") c.receiver.insert(c.receiver.end(), {"-g", s.gain});
  c.receiver.insert(c.receiver.end(), {"-p", std::to_string(s.ppm), "-"});
  c.decoder = {s.multimonNg, "-t", "raw"};
  for (const auto& mode : s.modes) c.decoder.insert(c.decoder.end(), {"-a", mode});
  c.decoder.push_back("-");
  return c;
}

int RestartPauseSeconds(int restartsInARow, int minSeconds, int maxSeconds) {
  long long pause = minSeconds;
  for (int i = 1; i < restartsInARow && pause < maxSeconds; ++i) pause *= 2;
  return static_cast<int>(std::min<long long>(pause, maxSeconds));
}

}  // namespace pagergw
