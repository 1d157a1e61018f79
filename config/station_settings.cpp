#include "config/station_settings.h"

#include <algorithm>
#include <charconv>

#include "config/plain_file.h"
#include "platform/error.h"
#include "platform/files.h"

namespace config {

namespace {

bool IsV4Mapped(const platform::IpAddress& a) {
  for (int i = 0; i < 10; ++i)
    if (a.bytes[i] != 0) return false;
  return a.v6 && a.bytes[10] == 0xFF && a.bytes[11] == 0xFF;
}

}  // namespace

std::optional<IpNetwork> ParseIpNetwork(std::string_view text) {
  const auto slash = text.find('/');
  const auto address = platform::ParseIpAddress(text.substr(0, slash));
  if (!address) return std::nullopt;
  const int width = static_cast<int>(address->Size() * 8);
  IpNetwork network{*address, width};
  if (slash != std::string_view::npos) {
    const std::string_view bits = text.substr(slash + 1);
    int prefix = -1;
    const auto [ptr, ec] = std::from_chars(bits.data(), bits.data() + bits.size(), prefix);
    if (bits.empty() || bits.front() == '-' || ec != std::errc() || ptr != bits.data() + bits.size() || prefix > width)
      return std::nullopt;
    network.prefix = prefix;
  }
  if (IsV4Mapped(network.address) && network.prefix >= 96) {
    network.address = platform::IpAddress::V4(network.address.bytes[12], network.address.bytes[13],
                                              network.address.bytes[14], network.address.bytes[15]);
    network.prefix -= 96;
  }
  return network;
}

std::vector<IpNetwork> LoopbackNetworks() { return {*ParseIpNetwork("127.0.0.0/8"), *ParseIpNetwork("::1")}; }

StationSettingsResult ParseStationSettings(std::string_view text) {
  StationSettingsResult result;
  StationSettings& s = result.settings;
  const SettingReaders readers = {
      {"CommandHosts",
       [&s](std::string_view value) -> std::string {
         std::vector<IpNetwork> hosts;
         std::string bad;
         for (const std::string& word : Words(value)) {
           if (const auto network = ParseIpNetwork(word))
             hosts.push_back(*network);
           else
             bad += (bad.empty() ? "" : ", ") + ("\"" + word + "\"");
         }
         std::string problem;
         if (!bad.empty()) problem = "left out " + bad + ": no address, or network in CIDR form";
         if (hosts.empty()) {
           hosts = LoopbackNetworks();
           problem +=
               std::string(problem.empty() ? "" : "; ") + "no usable entry: commands are taken from this machine only";
         }
         s.commandHosts = hosts;
         return problem;
       }},
      {"Alert", SwitchSetting(s.alert.alert)},
      {"AlertGong", SwitchSetting(s.alert.gong)},
      {"AlertSpeech", SwitchSetting(s.alert.speech)},
      {"AlertRepeats", IntSetting(s.alert.repeats, 1, kAlertRepeatsMax)},
      {"AlertVoice", TextSetting(s.alert.voice, false)},
      {"AlertRate", IntSetting(s.alert.rate, kAlertRateMin, kAlertRateMax)},
      {"AlertVolume", IntSetting(s.alert.volume, 0, kAlertVolumeMax)},
      {"AlertDevice", TextSetting(s.alert.device, false)},
      {"PronunciationTable", TextSetting(s.alert.pronunciationTable, false)},
      {"ScreenPower",
       [&s](std::string_view value) -> std::string {
         std::string lower;
         for (char c : value) lower += static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
         if (lower == "none")
           s.alert.screenPower = ScreenPowerWay::None;
         else if (lower == "cec")
           s.alert.screenPower = ScreenPowerWay::Cec;
         else if (lower == "ddc")
           s.alert.screenPower = ScreenPowerWay::Ddc;
         else
           return "needs none, cec or ddc";
         return "";
       }},
      {"ScreenStandbyWhileDark", SwitchSetting(s.alert.standbyWhileDark)},
      {"MetricsPort", IntSetting(s.metricsPort, 0, kMaxPort)},
      {"MetricsAddress", ListenAddressSetting(s.metricsAddress)},
  };
  ReadSettings(text, readers, result.problems);
  return result;
}

StationSettingsResult ReadStationSettings(const std::string& path) {
  if (!platform::FileExists(path)) return {};
  try {
    return ParseStationSettings(platform::ReadFile(path));
  } catch (const std::exception& e) {
    StationSettingsResult result;
    result.settings.commandHosts = LoopbackNetworks();
    result.problems.push_back(std::string("cannot be read (") + e.what() +
                              "): commands are taken from this machine only");
    return result;
  }
}

namespace {

bool IsWordChar(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
}

std::string Upper(std::string_view text) {
  std::string upper;
  for (char c : text) upper += static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
  return upper;
}

}  // namespace

PronunciationTable ParsePronunciationTable(std::string_view text) {
  PronunciationTable table;
  ForEachEntry(text, [&table](std::string_view line, const std::string& where) {
    const auto blank = line.find_first_of(" \t");
    const std::string_view word = line.substr(0, blank);
    const std::string_view spoken = blank == std::string_view::npos ? std::string_view() : Trim(line.substr(blank));
    if (spoken.empty()) {
      table.problems.push_back(where + "\"" + std::string(word) + "\" has no spoken form");
      return;
    }
    if (!std::all_of(word.begin(), word.end(), IsWordChar)) {
      table.problems.push_back(where + "\"" + std::string(word) + "\" is not one word of letters and digits");
      return;
    }
    const std::string upper = Upper(word);
    const auto same = std::find_if(table.entries.begin(), table.entries.end(),
                                   [&upper](const PronunciationEntry& e) { return e.word == upper; });
    if (same != table.entries.end())
      same->spoken = std::string(spoken);
    else
      table.entries.push_back({upper, std::string(spoken)});
  });
  return table;
}

PronunciationTable ReadPronunciationTable(const std::string& path) {
  if (!platform::FileExists(path)) return {{}, {"no pronunciation table " + path + ": words are spoken as written"}};
  try {
    return ParsePronunciationTable(platform::ReadFile(path));
  } catch (const std::exception& e) {
    return {{}, {"pronunciation table " + path + " cannot be read (" + e.what() + "): words are spoken as written"}};
  }
}

}  // namespace config
