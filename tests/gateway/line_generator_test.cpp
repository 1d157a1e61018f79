#include "tools/pager-gateway-sim/line_generator.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

namespace {

using gatewaysim::GenerateLine;
using gatewaysim::GeneratorSettings;
using gatewaysim::LocalTime;
using gatewaysim::OwnPageMarker;

const LocalTime kWhen{2026, 12, 9, 13, 45, 7};

std::vector<std::string> Lines(std::uint64_t seed, int n, const GeneratorSettings& settings = {},
                               const LocalTime& when = kWhen) {
  std::vector<std::string> lines;
  for (int i = 0; i < n; ++i) lines.push_back(GenerateLine(seed, static_cast<std::uint64_t>(i), settings, when));
  return lines;
}

// The agency tag the kiosk filters on ("CFS", "RVU", ...), "HEARTBEAT" for
// heartbeats, empty when the line has none of the kiosk's tags.
std::string KindOf(const std::string& line) {
  if (line.find("[MSC:HEARTBEAT]") != std::string::npos) return "HEARTBEAT";
  for (const char* tag : {"CFS", "MFS", "MSC", "SAAS", "RVU", "Unknown"})
    if (line.find(std::string("[") + tag + ":") != std::string::npos) return tag;
  return "";
}

TEST(LineGenerator, CoversEveryAgencyTagHeartbeatsAndOwnPages) {
  const GeneratorSettings settings;  // capcode 1234, share 0.1
  const std::string marker = OwnPageMarker(settings.capcode);
  for (std::uint64_t seed : {1u, 42u, 2026u}) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::map<std::string, int> kinds;
    int ownRvu = 0, otherRvu = 0;
    for (const auto& line : Lines(seed, 400, settings)) {
      std::string kind = KindOf(line);
      EXPECT_FALSE(kind.empty()) << "line without a kiosk tag: " << line;
      ++kinds[kind];
      if (kind == "RVU") ++(line.find(marker) != std::string::npos ? ownRvu : otherRvu);
      if (kind == "HEARTBEAT") {
        EXPECT_EQ(line, "[MSC:HEARTBEAT] 13:45:07");
      }
    }
    for (const char* kind : {"CFS", "MFS", "MSC", "SAAS", "RVU", "Unknown", "HEARTBEAT"})
      EXPECT_GT(kinds[kind], 0) << kind;
    // Own pages (green) and other pages of the unit's agency (yellow) both appear.
    EXPECT_GT(ownRvu, 0);
    EXPECT_GT(otherRvu, 0);
  }
}

TEST(LineGenerator, OwnPagesFollowShareAndCarryTheCapcodeInTheirTag) {
  struct Case {
    const char* capcode;
    double share;
  } cases[] = {
      {"1234", 0.1},   {"1234", 0.0},  {"1234", 1.0}, {"98765", 0.35}, {"5", 0.5},
      // Inside the block other agencies' capcodes come from: never an accidental own page.
      {"0451010", 0.0}, {"0771230", 0.2},
  };
  constexpr int kLines = 3000;
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string("capcode ") + c.capcode + " share " + std::to_string(c.share));
    const GeneratorSettings settings{c.capcode, c.share};
    const std::string marker = OwnPageMarker(c.capcode);
    ASSERT_EQ(marker, std::string(":") + c.capcode + "]");
    int own = 0;
    for (const auto& line : Lines(7, kLines, settings)) {
      auto at = line.find(marker);
      if (at == std::string::npos) continue;
      ++own;
      // The capcode is the tag's own, as in "[RVU:1234]", not text in the message.
      auto open = line.rfind('[', at);
      ASSERT_NE(open, std::string::npos) << line;
      std::string tag = line.substr(open + 1, at - open - 1);
      EXPECT_TRUE(tag == "RVU" || tag == "CFS" || tag == "SAAS") << line;
    }
    double observed = static_cast<double>(own) / kLines;
    if (c.share == 0.0 || c.share == 1.0)
      EXPECT_EQ(observed, c.share);
    else
      EXPECT_NEAR(observed, c.share, 0.03);
  }
}

TEST(LineGenerator, IsDeterministicForASeed) {
  const GeneratorSettings settings{"1234", 0.2};
  const auto first = Lines(99, 300, settings);
  EXPECT_EQ(first, Lines(99, 300, settings));

  // Another seed gives another stream, not the same one shifted or repeated.
  const auto other = Lines(100, 300, settings);
  int differing = 0;
  for (std::size_t i = 0; i < first.size(); ++i) differing += first[i] != other[i];
  EXPECT_GT(differing, 250);

  // A line depends on its own index only, so a stream can be resumed anywhere.
  EXPECT_EQ(GenerateLine(99, 150, settings, kWhen), first[150]);
}

TEST(LineGenerator, LinesAreSingleDatagramsTheKioskTakesAsPagerLines) {
  const GeneratorSettings settings{"9999999999", 0.3};
  for (std::uint64_t seed = 0; seed < 20; ++seed) {
    for (const auto& line : Lines(seed * 7919 + 3, 500, settings, LocalTime{2031, 2, 28, 23, 59, 59})) {
      ASSERT_FALSE(line.empty());
      EXPECT_LE(line.size(), platform::kFeedMaxDatagramBytes);
      EXPECT_NE(line.rfind("CMD:", 0), 0u) << line;
      for (unsigned char ch : line) ASSERT_TRUE(ch >= 0x20 && ch < 0x7f) << "byte " << int(ch) << " in " << line;
    }
  }
}

}  // namespace
