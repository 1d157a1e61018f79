#pragma once

#include <cstdlib>
#include <fstream>
#include <optional>
#include <regex>
#include <string>
#include <vector>

#include "tests/support/process.h"
#include "tests/support/temp_dir.h"
#include "tests/support/udp_receiver.h"
#include "tests/support/wait.h"

// Helpers of the tests that run the real gateway, encoder and multimon-ng.
namespace pagergwtest {

using testsupport::Quote;

// Runs a shell command with its output on the test's own; its exit status (-1
// when it did not exit normally).
inline int Shell(const std::string& command) {
  return testsupport::Shell(command, testsupport::Output::Inherit()).status;
}

// Audio of the pages ("KIND CAPCODE FUNCTION TEXT" lines) written to a file.
inline std::string EncodeAudio(const testsupport::TempDir& dir, const std::string& name, const std::string& pages,
                               const std::string& options) {
  testsupport::WriteWholeFile(dir.File(name + ".pages"), pages);
  const std::string audio = dir.File(name + ".raw");
  const auto encoded = testsupport::Shell(Quote(POCSAG_ENCODE) + " " + options + " < " +
                                          Quote(dir.File(name + ".pages")) + " > " + Quote(audio));
  if (encoded.status != 0) throw std::runtime_error("pocsag-encode failed for " + name + ": " + encoded.output);
  return audio;
}

inline const char* kMultimon = "/usr/bin/multimon-ng";
inline const char* kAllModes = "-a POCSAG512 -a POCSAG1200 -a POCSAG2400 -a FLEX";

// The datagrams that arrive until none has come for `quietMs`, or `count` have come.
inline std::vector<std::string> ReceiveLines(testsupport::UdpReceiver& receiver, std::size_t count, int firstMs,
                                             int quietMs = 1500) {
  std::vector<std::string> lines;
  for (int wait = firstMs; lines.size() < count; wait = quietMs) {
    auto d = receiver.Receive(wait);
    if (!d) break;
    lines.push_back(*d);
  }
  return lines;
}

// A feed line with its time checked against now (within two seconds) and taken off.
inline std::string WithoutTime(const std::string& line) {
  if (!std::regex_match(line.substr(0, 9), std::regex("[0-2][0-9]:[0-5][0-9]:[0-5][0-9] "))) return "BAD TIME: " + line;
  const std::time_t now = std::time(nullptr);
  std::tm tm{};
  localtime_r(&now, &tm);
  const int sent = std::stoi(line.substr(0, 2)) * 3600 + std::stoi(line.substr(3, 2)) * 60 + std::stoi(line.substr(6, 2));
  const int here = tm.tm_hour * 3600 + tm.tm_min * 60 + tm.tm_sec;
  const int apart = std::abs(here - sent);
  if (apart > 5 && apart < 86400 - 5) return "TIME " + std::to_string(apart) + " s OFF: " + line;
  return line.substr(9);
}

inline std::vector<std::string> WithoutTimes(const std::vector<std::string>& lines) {
  std::vector<std::string> out;
  for (const auto& l : lines) out.push_back(WithoutTime(l));
  return out;
}

// Waits until a file contains a text.
inline bool WaitForText(const std::string& path, const std::string& text, int timeoutMs) {
  return testsupport::WaitUntil(
      [&] {
        std::ifstream in(path);
        const std::string content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        return content.find(text) != std::string::npos;
      },
      timeoutMs);
}

}  // namespace pagergwtest
