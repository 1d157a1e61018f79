#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/feed_wire.h"

namespace gatewaysim {

// Wall-clock fields stamped into a line (times, dates of incidents).
struct LocalTime {
  int year = 2026;
  int month = 1;
  int day = 1;
  int hour = 0;
  int minute = 0;
  int second = 0;
};

struct GeneratorSettings {
  std::string capcode = "1234";  // the unit's own capcode
  double ownShare = 0.1;         // share of lines that page the own capcode, 0..1
};

// The text that marks a page to the given capcode, ":1234]" for "1234".
std::string OwnPageMarker(const std::string& capcode);

// The line number `index` of the stream for `seed`. The same arguments always
// give the same line. Lines carry every agency tag and heartbeats, are printable
// ASCII without line breaks, never start with "CMD:" and never exceed
// platform::kFeedMaxDatagramBytes. A line contains OwnPageMarker(capcode) exactly when it is a page
// to the own capcode, which happens for about `ownShare` of the lines.
std::string GenerateLine(std::uint64_t seed, std::uint64_t index, const GeneratorSettings& settings,
                         const LocalTime& when);

}  // namespace gatewaysim
