#include "pager-gateway/settings.h"

#include <algorithm>

#include "config/plain_file.h"

namespace pagergw {

namespace {

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
  };

  config::ReadSettings(text, readers, result.problems);
  if (s.restartPauseMaxSeconds < s.restartPauseMinSeconds) {
    result.problems.push_back("RestartPauseMax is below RestartPauseMin; taken as equal");
    s.restartPauseMaxSeconds = s.restartPauseMinSeconds;
  }
  if (s.kiosks.empty() && s.broadcast.empty()) result.problems.push_back("neither Kiosks nor Broadcast: nothing is sent");
  return result;
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
