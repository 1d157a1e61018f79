#include "service/incident_conversions.h"

#include <gtest/gtest.h>

#include "platform/error.h"
#include "tests/support/temp_dir.h"

namespace {

using namespace service;
using platform::EncodeDateTime;
using platform::FormatDateTime;

// The conversions read the current year from the clock.
class ConversionTest : public ::testing::Test {
 protected:
  testsupport::ScopedClock clock{EncodeDateTime({2026, 12, 9, 12, 0, 0, 0})};
};

template <typename F>
std::string Converted(F convert, const char* text, const char* pattern) {
  try {
    return FormatDateTime(pattern, convert(text));
  } catch (const platform::Error& e) {
    EXPECT_EQ(e.ClassName(), platform::kConvertError);
    return std::string("error: ") + e.what();
  }
}

TEST_F(ConversionTest, DateTextToDate) {
  struct Case {
    const char* text;
    const char* expected;
  } cases[] = {
      {"12/05/13", "2013-05-12 00:00"},
      {"2013-05-12 14:30:00", "2013-05-12 00:00"},
      {"2013-05-12T14:30", "2013-05-12 00:00"},
      {" 9/1/2026\r\n", "2026-01-09 00:00"},
      {"9/1", "2026-01-09 00:00"},
      {"   ", "1899-12-30 00:00"},
      {"", "1899-12-30 00:00"},
      {"31/02/13", "error: '31/02/13' is not a valid date"},
      {"2013-5-1", "error: '/5-/2013' is not a valid date"},
      {"tomorrow", "error: 'tomorrow' is not a valid date"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(Converted(DateTextToDate, c.text, "yyyy-mm-dd hh:nn"), c.expected) << c.text;
}

TEST_F(ConversionTest, FixedServiceTimesAndDateTimes) {
  struct Case {
    const char* text;
    const char* expected;
  } times[] = {
      {"7:05", "07:05:00"}, {"14:30:59", "14:30:59"}, {"", "error: '' is not a valid time"},
      {"14.30", "error: '14.30' is not a valid time"}, {"25:00", "error: '25:00' is not a valid time"},
  };
  for (const auto& c : times) EXPECT_EQ(Converted(ServiceTextToTime, c.text, "hh:nn:ss"), c.expected) << c.text;
  struct Case dateTimes[] = {
      {"2013-05-12 14:30", "2013-05-12 14:30:00"},
      {"2013-05-12", "2013-05-12 00:00:00"},
      {"12/05/2013 14:30", "error: '12/05/2013 14:30' is not a valid date and time"},
  };
  for (const auto& c : dateTimes)
    EXPECT_EQ(Converted(ServiceTextToDateTime, c.text, "yyyy-mm-dd hh:nn:ss"), c.expected) << c.text;
  EXPECT_EQ(Converted(LocaleTextToTime, "13:31:15", "hh:nn:ss"), "13:31:15");
}

TEST(CrewIDs, Initials) {
  struct Case {
    const char* ids;
    const char* expected;
  } plain[] = {{"0", ""}, {",12,34,", "12,34."}, {"12,34", "12,34."}, {"12.", "12."}, {"", ""}, {"7", "7."}};
  for (const auto& c : plain) EXPECT_EQ(CrewIDsToInitials(c.ids), c.expected) << c.ids;

  MemberList = {{12, "JS"}, {34, "ab"}, {5, "X"}};
  struct Case known[] = {{"12,34,56", "JS,ab,56."}, {"34,12,34.", "ab,JS,34."}, {"512,5", "512,X."}};
  for (const auto& c : known) EXPECT_EQ(CrewIDsToInitials(c.ids), c.expected) << c.ids;
  MemberList.clear();
}

TEST(TaskRecord, NoTaskDefaults) {
  tTaskRec task;
  task.MFSIncNo = 5;
  task.CrewIDs = "1,2";
  task.Vehicle31 = true;
  task.RecordFound = true;
  task.CloseDate = 42;
  InitTaskRec(task);
  EXPECT_EQ(task.MFSIncNo, 0);
  EXPECT_EQ(task.CrewIDs, "");
  EXPECT_FALSE(task.Vehicle31);
  EXPECT_FALSE(task.RecordFound);
  EXPECT_EQ(task.CloseDate, 0);
  EXPECT_EQ(task.ArrivedAtScene, -1);
  EXPECT_EQ(task.TaskComplete, -1);
  EXPECT_EQ(task.UnitMobileDateTime, -1);
  EXPECT_EQ(task.IncidentType, -1);
  EXPECT_EQ(task.StopCall, -1);
}

}  // namespace
