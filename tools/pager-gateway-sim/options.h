#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "platform/feed_wire.h"
#include "tools/pager-gateway-sim/line_generator.h"

namespace gatewaysim {

struct Options {
  std::string host = "127.0.0.1";
  int port = platform::kFeedPort;
  double rate = 1.0;                      // lines per second
  std::optional<std::uint64_t> count;     // stop after this many lines
  std::optional<double> duration;         // stop after this many seconds
  std::uint64_t seed = 1;
  GeneratorSettings generator;
  std::optional<std::string> send;        // send this text once and exit
  bool quiet = false;
  bool help = false;
};

// The slowest and fastest rates taken; the bounds keep deadline arithmetic in range.
inline constexpr double kMinRate = 0.001;
inline constexpr double kMaxRate = 100000.0;

// Reads the arguments after the program name ("--name value" or "--name=value").
// Gives the options, or the text of the first error.
std::variant<Options, std::string> ParseOptions(const std::vector<std::string>& args);

std::string UsageText(const std::string& program);

}  // namespace gatewaysim
