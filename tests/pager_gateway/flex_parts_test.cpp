// Long FLEX messages come from multimon-ng in parts; the feed carries each
// message as one line. The lines of fixtures/flex-parts.txt are made to the
// form multimon-ng 1.2 prints FLEX alphanumeric pages in ("K" a whole message,
// "F" a part with more to come, "C" the last part; frames 1.875 s apart).
#include <gtest/gtest.h>

#include "pager-gateway/gateway.h"
#include "tests/pager_gateway/fixtures.h"

namespace {

using pagergw::FlexPartJoiner;
using pagergw::Gateway;

constexpr std::int64_t kWait = FlexPartJoiner::kPartWaitMs;
constexpr int kTick = -1;        // time passing, no line
constexpr int kEndOfInput = -2;  // the decoder's output ends

struct Step {
  int line;  // index in flex-parts.txt, or kTick / kEndOfInput
  std::int64_t atMs;
  std::vector<std::string> sent;
};

struct Case {
  const char* name;
  std::vector<Step> steps;
  std::vector<std::string> warnings;
};

// Received at 10:00:00 plus the step's time: a joined message carries the time of its first part.
pagergw::TimeOfDay At(std::int64_t ms) { return {10, static_cast<int>(ms / 60000), static_cast<int>(ms / 1000 % 60)}; }

const std::string kPartsOf1234567 =
    "RESCUE P1 VEHICLE ROLLOVER 14 OLD MILL RD QUARRY FLAT 1 PERSON TRAPPED SAAS AND CFS RESPONDING MAP:VS 42 C7 TG 233";

TEST(FlexParts, OneLinePerMessage) {
  const Case cases[] = {
      {"two parts, split mid-word",
       {{0, 1000, {}}, {1, 2875, {"10:00:01 [RVU:1234567] " + kPartsOf1234567}}},
       {}},
      {"three parts",
       {{2, 0, {}},
        {3, 1875, {}},
        {4, 3750,
         {"10:00:00 [CFS:451003] *CFSRES INC042 01/05/24 10:21 RESPOND GRASS FIRE, LARGE. 118 KESTREL CREEK "
          "RD,VENDALE MAP:VS 40 B3 TG 241,BRDM24,BRDM34P,QFLT14"}}},
       {}},
      {"two capcodes' parts interleaved",
       {{5, 0, {}},
        {6, 10, {}},
        {7, 1875, {"10:00:00 [SAAS:771205] P1 CARDIAC ARREST 31 CHURCH ST OLD MILL M 67 CASE 0412 VNDL103"}},
        {8, 1885, {"10:00:00 [RVU:1234567] RESCUE P2 TREE ON HOUSE 19 SCHOOL LANE HARROWDENE"}}},
       {}},
      {"a lone part is sent when the wait is over",
       {{9, 1000, {}},
        {kTick, 1000 + kWait - 1, {}},
        {kTick, 1000 + kWait, {"10:00:01 [RVU:1234567] RESCUE P1 ROAD CRASH PERSON TRAPPED 22 VENDA"}},
        {kTick, 1000 + 2 * kWait, {}}},
       {"FLEX message to 1234567: no further part within 6 s; its 1 part sent"}},
      {"a lone part past the wait goes before the next page, even without a tick",
       {{9, 0, {}},
        {10, 70000,
         {"10:00:00 [RVU:1234567] RESCUE P1 ROAD CRASH PERSON TRAPPED 22 VENDA",
          "10:01:10 [RVU:1234567] UARRY FLAT ACCESS VIA GATE 3 POLICE ON SCENE"}}},
       {"FLEX message to 1234567: no further part within 6 s; its 1 part sent",
        "FLEX message to 1234567: last part without the parts before it; sent as it is"}},
      {"a last part without the ones before it is sent at once",
       {{10, 0, {"10:00:00 [RVU:1234567] UARRY FLAT ACCESS VIA GATE 3 POLICE ON SCENE"}}},
       {"FLEX message to 1234567: last part without the parts before it; sent as it is"}},
      {"a group call in parts: one line per member",
       {{11, 0, {}},
        {12, 1875,
         {"10:00:00 [RVU:1234567] STANDBY - SEVERE WEATHER WARNING VENDALE SHIRE, ALL CREWS TO STATIONS",
          "10:00:00 [CFS:451003] STANDBY - SEVERE WEATHER WARNING VENDALE SHIRE, ALL CREWS TO STATIONS"}}},
       {}},
      {"a whole group call: one line per member",
       {{13, 0,
         {"10:00:00 [RVU:1234567] PAGING NETWORK TEST - NO RESPONSE REQUIRED",
          "10:00:00 [CFS:451003] PAGING NETWORK TEST - NO RESPONSE REQUIRED",
          "10:00:00 [SAAS:771205] PAGING NETWORK TEST - NO RESPONSE REQUIRED"}}},
       {}},
      {"a new message cuts the one before short",
       {{14, 0, {}},
        {15, 1875,
         {"10:00:00 [RVU:1234567] RESCUE P3 HORSE STUCK IN DAM 40 HOMESTEAD RD",
          "10:00:01 [RVU:1234567] RESCUE STOOD DOWN - CREWS RETURN TO STATION"}}},
       {"FLEX message to 1234567: a new message came before the last part; its 1 part sent"}},
      {"what is held is sent when the input ends",
       {{2, 0, {}},
        {3, 1875, {}},
        {kEndOfInput, 2000,
         {"10:00:00 [CFS:451003] *CFSRES INC042 01/05/24 10:21 RESPOND GRASS FIRE, LARGE. 118 KESTREL CREEK "
          "RD,VENDALE MAP:VS 40 B3 TG 241,BRDM24"}},
        {kTick, 2000 + kWait, {}}},
       {"FLEX message to 451003: input ended before the last part; its 2 parts sent"}},
  };
  const auto lines = pagergwtest::FixtureLines("flex-parts.txt");
  const auto table = pagergw::ParseCapcodeTable("1234567 RVU\n451003 CFS\n771205 SAAS\n").table;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<std::string> warnings;
    Gateway gateway(table, 60000, 600000, 0, [&warnings](int severity, const std::string& message) {
      if (severity <= pagergw::kWarning) warnings.push_back(message);
    });
    for (const Step& s : c.steps) {
      std::vector<std::string> sent;
      if (s.line == kTick)
        sent = gateway.OnTick(s.atMs);
      else if (s.line == kEndOfInput)
        sent = gateway.OnEndOfInput(s.atMs);
      else
        sent = gateway.OnDecoderLine(lines.at(static_cast<std::size_t>(s.line)), At(s.atMs), s.atMs);
      EXPECT_EQ(sent, s.sent) << "step at " << s.atMs << " ms";
    }
    EXPECT_EQ(warnings, c.warnings);
  }
}

}  // namespace
