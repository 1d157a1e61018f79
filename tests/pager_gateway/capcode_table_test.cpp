#include <gtest/gtest.h>

#include "pager-gateway/capcode_table.h"
#include "tests/support/temp_dir.h"

namespace {

using pagergw::ParseCapcodeTable;

TEST(CapcodeTable, EntriesAliasesAndDefault) {
  const auto result = ParseCapcodeTable(
      "# capcode  agency  alias\n"
      "1234567  RVU   Brindlemoor rescue  # the unit\n"
      "\t0451003\tCFS\n"
      "1900000 MSC:HEARTBEAT network heartbeat\r\n"
      "default Unknown\n");
  EXPECT_TRUE(result.problems.empty());
  const auto& t = result.table;
  EXPECT_EQ(t.entries.size(), 3u);
  EXPECT_EQ(t.Lookup(1234567).agency, "RVU");
  EXPECT_EQ(t.Lookup(1234567).alias, "Brindlemoor rescue");
  EXPECT_EQ(t.Lookup(451003).agency, "CFS");  // leading zeros are the same capcode
  EXPECT_EQ(t.Lookup(451003).alias, "");
  EXPECT_EQ(t.Lookup(1900000).agency, "MSC:HEARTBEAT");
  EXPECT_EQ(t.Lookup(42).agency, "Unknown");
}

TEST(CapcodeTable, DefaultAgencyWithoutAnyLine) {
  EXPECT_EQ(ParseCapcodeTable("").table.Lookup(7).agency, "Unknown");
  EXPECT_EQ(ParseCapcodeTable("default OTHER\n").table.Lookup(7).agency, "OTHER");
}

TEST(CapcodeTable, BadLinesAreReportedAndSkipped) {
  const struct {
    const char* line;
    const char* problem;
  } cases[] = {
      {"12a4 CFS", "line 2: \"12a4\" is no capcode"},
      {"-5 CFS", "line 2: \"-5\" is no capcode"},
      {"99999999999999999999999 CFS", "line 2: \"99999999999999999999999\" is no capcode"},
      {"1234", "line 2: no agency tag, or one with a blank, '[' or ']'"},
      {"1234 [CFS]", "line 2: no agency tag, or one with a blank, '[' or ']'"},
      {"1234 CF]S", "line 2: no agency tag, or one with a blank, '[' or ']'"},
      {"1111 SAAS again", "line 2: capcode 1111 listed again; this entry counts"},
      {"default CFS extra", "line 2: the default takes no alias; ignored"},
  };
  for (const auto& c : cases) {
    const auto result = ParseCapcodeTable(std::string("1111 RVU first\n") + c.line + "\n2222 MFS\n");
    ASSERT_EQ(result.problems.size(), 1u) << c.line;
    EXPECT_EQ(result.problems[0], c.problem);
    EXPECT_EQ(result.table.Lookup(2222).agency, "MFS") << "the lines after it still count";
  }
  EXPECT_EQ(ParseCapcodeTable("1111 RVU\n1111 SAAS\n").table.Lookup(1111).agency, "SAAS");
}

TEST(CapcodeTable, ShippedTableReadsCleanly) {
  const auto text = testsupport::ReadWholeFile(std::string(KIOSK_SOURCE_DIR) + "/deploy/rvu-pager-gateway/capcodes.conf");
  const auto result = ParseCapcodeTable(text);
  EXPECT_TRUE(result.problems.empty()) << result.problems.front();
  EXPECT_EQ(result.table.defaultAgency, "Unknown");
  bool heartbeat = false;
  for (const auto& [capcode, entry] : result.table.entries) heartbeat = heartbeat || entry.agency == "MSC:HEARTBEAT";
  EXPECT_TRUE(heartbeat) << "the shipped table names the network's heartbeat capcode";
}

}  // namespace
