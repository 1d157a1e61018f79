#include "tools/pager-gateway-sim/options.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using gatewaysim::Options;
using gatewaysim::ParseOptions;

TEST(GatewayOptions, DefaultDestinationIsTheLocalKiosk) {
  auto parsed = ParseOptions({});
  ASSERT_TRUE(std::holds_alternative<Options>(parsed));
  const auto& o = std::get<Options>(parsed);
  EXPECT_EQ(o.host, "127.0.0.1");
  EXPECT_EQ(o.port, 15167);
  EXPECT_FALSE(o.count);
  EXPECT_FALSE(o.duration);
  EXPECT_FALSE(o.send);
}

TEST(GatewayOptions, AcceptsValuesInBothForms) {
  auto parsed = ParseOptions({"--host", "127.0.0.1", "--port=15999", "--rate", "2.5", "--count", "12", "--duration=0.75",
                              "--capcode", "0431200", "--own-share", "0.25", "--seed=18446744073709551615",
                              "--send", "CMD:CAPCODE=1234", "--quiet"});
  ASSERT_TRUE(std::holds_alternative<Options>(parsed)) << std::get<std::string>(parsed);
  const auto& o = std::get<Options>(parsed);
  EXPECT_EQ(o.port, 15999);
  EXPECT_DOUBLE_EQ(o.rate, 2.5);
  EXPECT_EQ(o.count, 12u);
  EXPECT_EQ(o.duration, 0.75);
  EXPECT_EQ(o.generator.capcode, "0431200");
  EXPECT_DOUBLE_EQ(o.generator.ownShare, 0.25);
  EXPECT_EQ(o.seed, 18446744073709551615ull);
  EXPECT_EQ(o.send, "CMD:CAPCODE=1234");
  EXPECT_TRUE(o.quiet);

  // A text to send may itself look like an option or contain '='.
  auto send = ParseOptions({"--send", "--quiet"});
  ASSERT_TRUE(std::holds_alternative<Options>(send));
  EXPECT_EQ(std::get<Options>(send).send, "--quiet");
  EXPECT_FALSE(std::get<Options>(send).quiet);
  auto inlineSend = ParseOptions({"--send=CMD:CAPCODE=42"});
  ASSERT_TRUE(std::holds_alternative<Options>(inlineSend));
  EXPECT_EQ(std::get<Options>(inlineSend).send, "CMD:CAPCODE=42");
}

TEST(GatewayOptions, RejectsBadArguments) {
  const std::vector<std::vector<std::string>> cases = {
      {"--rate", "0"},         {"--rate", "-1"},          {"--rate", "abc"},     {"--rate", "1x"},
      {"--rate", "inf"},       {"--rate", "nan"},         {"--rate", ""},        {"--rate"},
      {"--port", "0"},         {"--port", "65536"},       {"--port", "80.5"},    {"--count", "0"},
      {"--count", "2.5"},      {"--count", "-3"},         {"--duration", "0"},   {"--duration", "-1"},
      {"--own-share", "1.5"},  {"--own-share", "-0.1"},   {"--capcode", "12a"},  {"--capcode", ""},
      {"--capcode", "12345678901"}, {"--host", ""},       {"--seed", "x"},       {"--bogus"},
      {"extra"},               {"--quiet=yes"},           {"--send"},
  };
  for (const auto& args : cases) {
    std::string shown;
    for (const auto& a : args) shown += "'" + a + "' ";
    auto parsed = ParseOptions(args);
    ASSERT_TRUE(std::holds_alternative<std::string>(parsed)) << shown;
    EXPECT_FALSE(std::get<std::string>(parsed).empty()) << shown;
  }
}

}  // namespace
