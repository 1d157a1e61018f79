#include <gtest/gtest.h>

#include "platform/error.h"
#include "service/task_summary.h"
#include "tests/support/fake_transport.h"
#include "tests/support/temp_dir.h"

namespace {

using namespace service;

std::string Fixture(const char* name) {
  return testsupport::ReadWholeFile(std::string(KIOSK_SOURCE_DIR) + "/tests/service/fixtures/" + name);
}

TEST(TaskSummaryAnswer, CellsAreReadByTheirMarkers) {
  struct Case {
    const char* fixture;
    SummaryCells expected;
  } cases[] = {
      // As the simulated service answers.
      {"summary_simulator.json",
       {{{"1", "1", "0", "7", "9"}, {"2", "0", "0", "4", "6"}, {"0", "0", "1", "8", "9"}, {"0", "0", "0", "1", "1"},
         {"3", "1", "1", "20", "25"}}}},
      {"summary_edges.json",
       {{
           {"3", "2", "2", "1", "3"},
           {"5", "5", "4", "", "5"},        // no "CSD": in the P2 group
           {"\"7\"", " 6", "6", "6", "7"},  // values as they stand, quotes and blanks included
           {"0", "0", "0", "0", "0"},
           {"15", "13", "12", "7", "15"},   // the last value ends at "}"; a second P1 group is ignored
       }}},
  };
  for (const auto& c : cases) EXPECT_EQ(ReadTaskSummary(Fixture(c.fixture)), c.expected) << c.fixture;
  for (const auto& row : ReadTaskSummary("no groups at all"))
    for (const auto& cell : row) EXPECT_EQ(cell, "");
  EXPECT_EQ(TaskSummaryTitle("JUX", "1"), "TASK SUMMARY FOR JUX (PAST 1 DAYS)");
}

// The request goes as the service expects it, byte for byte.
TEST(TaskSummaryRequest, AddressHeadersAndTransportSettings) {
  const WebRequest request = TaskSummaryRequest("unit.test:8080", "JUX", "1");
  EXPECT_EQ(request.target,
            "http://unit.test:8080/rvu/rvuisapi.dll/json?method=getsummary&rvuunit=JUX&days=1"
            "&guid=3C9D2B70-5E41-4A8F-9B26-D17E0A4C58F3");
  EXPECT_EQ(request.host, "unit.test:8080");
  EXPECT_EQ(request.port, 80);
  EXPECT_EQ(request.readTimeoutMs, 30000);
  EXPECT_TRUE(request.followRedirects);
  EXPECT_TRUE(request.keepCookies);
  const std::vector<std::pair<std::string, std::string>> headers = {{"User-Agent", "Mozilla/4.0"},
                                                                    {"Connection", "Keep-Alive"},
                                                                    {"Cache-Control", "no-cache"},
                                                                    {"Accept", "text/html, */*"},
                                                                    {"Content-Type", "text/html"}};
  EXPECT_EQ(request.headers, headers);
}

// A summary that cannot be had is a failed record, never an error.
TEST(TaskSummaryRead, FailuresAreSilentRecords) {
  testsupport::FakeTransport transport;
  struct Case {
    const char* what;
    std::function<void()> serve;
    bool success;
  } cases[] = {
      {"an answer", [&] { transport.Answer("/rvu/rvuisapi.dll/json", Fixture("summary_simulator.json")); }, true},
      {"HTTP 500", [&] { transport.Answer("/rvu/rvuisapi.dll/json", "boom", 500); }, false},
      {"refused", [&] { transport.Refuse("/rvu/rvuisapi.dll/json"); }, false},
  };
  for (const auto& c : cases) {
    c.serve();
    const tTaskSummary summary = GetTaskSummary(transport, transport.host(), "JUX", "1", {});
    EXPECT_EQ(summary.Success, c.success) << c.what;
    EXPECT_EQ(summary.Cells[4][4], c.success ? "25" : "") << c.what;
  }
  EXPECT_EQ(GetTaskSummary(transport, "elsewhere:80", "JUX", "1", {}).Success, false);
}

}  // namespace
