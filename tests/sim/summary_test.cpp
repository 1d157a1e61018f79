#include <array>
#include <string>

#include <gtest/gtest.h>

#include "tests/sim/sim_fixture.h"

namespace {

using namespace simtest;

constexpr const char* kGroups[] = {"{\"id\":P1,", "{\"id\":P2,", "{\"id\":P3,", "{\"id\":P7,", "{\"id\":TOT,"};
constexpr const char* kKeys[] = {"\"REC\":", "\"ACK\":", "\"MOB\":", "\"CSD\":", "\"TOT\":"};
enum { kP1, kP2, kP3, kP7, kTotalRow };
enum { kRec, kAck, kMob, kCsd, kTotal };

using Table = std::array<std::array<int, 5>, 5>;

// Reads the answer by its markers, as the kiosk does; -1 marks a value that
// is missing or not a number.
Table ReadSummary(const std::string& answer) {
  Table table{};
  for (int row = 0; row < 5; ++row) {
    const std::string group = TextBetween(answer, kGroups[row], "}") + ",";
    for (int column = 0; column < 5; ++column) {
      const std::string value = TextBetween(group, kKeys[column], ",");
      const bool number = !value.empty() && value.find_first_not_of("0123456789") == std::string::npos;
      table[row][column] = number ? std::stoi(value) : -1;
    }
  }
  return table;
}

Table Summary(int port, int days = 1) {
  const auto res = Get(port, SummaryTarget(days));
  EXPECT_TRUE(res);
  if (!res) return {};
  EXPECT_EQ(res->status, 200);
  return ReadSummary(res->body);
}

TEST(Summary, HasFiveGroupsWhoseTotalsAddUp) {
  const auto service = StartSim();
  const Table table = Summary(service->Port());
  for (int row = 0; row < 5; ++row) {
    int sum = 0;
    for (int column = 0; column < 4; ++column) {
      EXPECT_GE(table[row][column], 0) << "row " << row << " column " << column;
      sum += table[row][column];
    }
    EXPECT_EQ(table[row][kTotal], sum) << "row " << row;
  }
  for (int column = 0; column < 5; ++column) {
    int sum = 0;
    for (int row = 0; row < 4; ++row) sum += table[row][column];
    EXPECT_EQ(table[kTotalRow][column], sum) << "column " << column;
  }
  // A day of history.
  EXPECT_GT(table[kTotalRow][kTotal], 0);
}

TEST(Summary, CountsTheIncidentsOfThePeriodByStage) {
  const auto service = StartSim();
  const int port = service->Port();
  const Table before = Summary(port);
  const Table beforeTwoDays = Summary(port, 2);

  sim::IncidentFields received;  // no task yet
  received.priority = 2;
  received.task = false;
  service->RaiseIncident(received);
  sim::IncidentFields closed;  // a task long finished
  closed.priority = 7;
  closed.task = true;
  closed.minutesAgo = 300;
  service->RaiseIncident(closed);
  sim::IncidentFields yesterday;  // outside one day, inside two
  yesterday.priority = 1;
  yesterday.minutesAgo = 33 * 60;
  service->RaiseIncident(yesterday);

  const Table after = Summary(port);
  EXPECT_EQ(after[kP2][kRec], before[kP2][kRec] + 1);
  EXPECT_EQ(after[kP2][kTotal], before[kP2][kTotal] + 1);
  EXPECT_EQ(after[kP7][kCsd], before[kP7][kCsd] + 1);
  EXPECT_EQ(after[kP1][kTotal], before[kP1][kTotal]);
  EXPECT_EQ(after[kTotalRow][kTotal], before[kTotalRow][kTotal] + 2);

  const Table afterTwoDays = Summary(port, 2);
  EXPECT_EQ(afterTwoDays[kP1][kTotal], beforeTwoDays[kP1][kTotal] + 1);
  EXPECT_EQ(afterTwoDays[kTotalRow][kTotal], beforeTwoDays[kTotalRow][kTotal] + 3);
}

TEST(Summary, AWrongGuidGetsNoGroups) {
  const auto service = StartSim();
  const auto res = Get(service->Port(), SummaryTarget(1, "00000000-0000-0000-0000-000000000000"));
  ASSERT_TRUE(res);
  for (const char* group : kGroups) EXPECT_EQ(res->body.find(group), std::string::npos) << group;
}

}  // namespace
