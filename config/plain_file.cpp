#include "config/plain_file.h"

#include <charconv>

#include "platform/ip_address.h"

namespace config {

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
  return s;
}

void ForEachEntry(std::string_view text,
                  const std::function<void(std::string_view line, const std::string& where)>& entry) {
  int number = 0;
  while (!text.empty()) {
    const auto end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    ++number;
    if (const auto hash = line.find('#'); hash != std::string_view::npos) line = line.substr(0, hash);
    line = Trim(line);
    if (!line.empty()) entry(line, "line " + std::to_string(number) + ": ");
  }
}

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

SettingReader TextSetting(std::string& field, bool mayBeEmpty) {
  return [&field, mayBeEmpty](std::string_view v) -> std::string {
    if (v.empty() && !mayBeEmpty) return "needs a value";
    field = std::string(v);
    return "";
  };
}

SettingReader IntSetting(int& field, int lo, int hi) {
  return [&field, lo, hi](std::string_view v) -> std::string {
    int value = 0;
    const auto [ptr, ec] = std::from_chars(v.data(), v.data() + v.size(), value);
    if (ec != std::errc() || ptr != v.data() + v.size() || value < lo || value > hi)
      return "needs a whole number from " + std::to_string(lo) + " to " + std::to_string(hi);
    field = value;
    return "";
  };
}

SettingReader SwitchSetting(bool& field) {
  return [&field](std::string_view v) -> std::string {
    std::string lower;
    for (char c : v) lower += static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    if (lower == "on" || lower == "yes" || lower == "true" || lower == "1") {
      field = true;
    } else if (lower == "off" || lower == "no" || lower == "false" || lower == "0") {
      field = false;
    } else {
      return "needs on or off";
    }
    return "";
  };
}

SettingReader ListenAddressSetting(std::string& field) {
  return [&field](std::string_view value) -> std::string {
    const auto address = platform::ParseIpAddress(value);
    if (!address || address->v6) return "\"" + std::string(value) + "\" is no IPv4 address";
    field = std::string(value);
    return "";
  };
}

void ReadSettings(std::string_view text, const SettingReaders& readers, std::vector<std::string>& problems) {
  ForEachEntry(text, [&](std::string_view line, const std::string& where) {
    const auto equals = line.find('=');
    if (equals == std::string_view::npos) {
      problems.push_back(where + "no \"Name = value\"");
      return;
    }
    const std::string_view name = Trim(line.substr(0, equals));
    const auto reader = readers.find(name);
    if (reader == readers.end()) {
      problems.push_back(where + "unknown setting \"" + std::string(name) + "\"");
      return;
    }
    if (std::string problem = reader->second(Trim(line.substr(equals + 1))); !problem.empty())
      problems.push_back(where + std::string(name) + " " + problem);
  });
}

}  // namespace config
