#include "pager-gateway/settings.h"

#include <algorithm>
#include <charconv>
#include <functional>
#include <map>

#include "pager-gateway/plain_file.h"

namespace pagergw {

namespace {

// Words separated by blanks or commas.
std::vector<std::string> Words(std::string_view s) {
  std::vector<std::string> words;
  std::string word;
  for (char c : std::string(s) + " ") {
    if (c == ' ' || c == ',' || c == '\t') {
      if (!word.empty()) words.push_back(word);
      word.clear();
    } else {
      word += c;
    }
  }
  return words;
}

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
  using Reader = std::function<std::string(std::string_view)>;  // gives the problem, or ""
  auto text_ = [](std::string& field, bool mayBeEmpty) -> Reader {
    return [&field, mayBeEmpty](std::string_view v) -> std::string {
      if (v.empty() && !mayBeEmpty) return "needs a value";
      field = std::string(v);
      return "";
    };
  };
  auto int_ = [](int& field, int lo, int hi) -> Reader {
    return [&field, lo, hi](std::string_view v) -> std::string {
      return ReadInt(v, lo, hi, field) ? "" : "needs a whole number from " + std::to_string(lo) + " to " +
                                                   std::to_string(hi);
    };
  };
  const std::map<std::string, Reader, std::less<>> readers = {
      {"Input", text_(s.input, false)},
      {"RtlFm", text_(s.rtlFm, false)},
      {"MultimonNg", text_(s.multimonNg, false)},
      {"Device", text_(s.device, false)},
      {"Frequency", text_(s.frequency, false)},
      {"Gain", text_(s.gain, false)},
      {"PPM", int_(s.ppm, -1000, 1000)},
      {"SampleRate", int_(s.sampleRate, 1000, 3200000)},
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
      {"Broadcast", text_(s.broadcast, true)},
      {"Port", int_(s.port, 1, 65535)},
      {"DuplicateWindow", int_(s.duplicateWindowSeconds, 0, 86400)},
      {"SilenceReport", int_(s.silenceReportSeconds, 1, 604800)},
      {"SilenceRestart", int_(s.silenceRestartSeconds, 0, 604800)},
      {"RestartPauseMin", int_(s.restartPauseMinSeconds, 1, 3600)},
      {"RestartPauseMax", int_(s.restartPauseMaxSeconds, 1, 86400)},
      {"CapcodeTable", text_(s.capcodeTable, false)},
      {"SyslogServer", text_(s.syslogServer, true)},
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
      {"BrokerCAFile", text_(s.brokerCaFile, true)},
      {"BrokerCertFile", text_(s.brokerCertFile, true)},
      {"BrokerKeyFile", text_(s.brokerKeyFile, true)},
      {"BrokerCredentials", text_(s.brokerCredentials, true)},
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
      {"MaxAge", int_(s.maxAgeSeconds, 1, 604800)},
  };

  ForEachEntry(text, [&](std::string_view line, const std::string& where) {
    const auto equals = line.find('=');
    if (equals == std::string_view::npos) {
      result.problems.push_back(where + "no \"Name = value\"");
      return;
    }
    const std::string_view name = Trim(line.substr(0, equals));
    const auto reader = readers.find(name);
    if (reader == readers.end()) {
      result.problems.push_back(where + "unknown setting \"" + std::string(name) + "\"");
      return;
    }
    if (std::string problem = reader->second(Trim(line.substr(equals + 1))); !problem.empty())
      result.problems.push_back(where + std::string(name) + " " + problem);
  });
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
