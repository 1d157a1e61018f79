#include <chrono>
#include <cstdlib>
#include <ctime>
#include <regex>
#include <ostream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/xml.h"
#include "tests/sim/sim_fixture.h"

namespace {

using namespace simtest;

std::string Answer(int port, const std::string& query) {
  const auto res = Get(port, IncidentTarget(query));
  EXPECT_TRUE(res);
  if (!res) return {};
  EXPECT_EQ(res->status, 200);
  return res->body;
}

bool Matches(const std::string& text, const char* pattern) { return std::regex_match(text, std::regex(pattern)); }

bool IsInteger(const std::string& text) { return Matches(text, "-?[0-9]+"); }

std::chrono::system_clock::time_point LocalTime(const std::string& text) {
  std::tm tm{};
  tm.tm_isdst = -1;
  EXPECT_EQ(std::sscanf(text.c_str(), "%d-%d-%d %d:%d:%d", &tm.tm_year, &tm.tm_mon, &tm.tm_mday, &tm.tm_hour,
                        &tm.tm_min, &tm.tm_sec),
            6)
      << text;
  tm.tm_year -= 1900;
  tm.tm_mon -= 1;
  return std::chrono::system_clock::from_time_t(std::mktime(&tm));
}

std::string FeedText(int port, const char* element) {
  const auto res = Get(port, FeedTarget());
  if (!res) return {};
  platform::XmlDocument doc;
  doc.LoadText(res->body);
  const auto srvc = doc.TopElement("xml").Child("RVUSrvc");
  return std::string(element) == "PageA" ? srvc.Child("LEDDisplay").Child("PageA").Text() : srvc.Child(element).Text();
}

TEST(IncidentRecord, LatestAgreesWithTheFeed) {
  const auto service = StartSim();
  sim::IncidentFields fields;
  fields.street = "CNR HIGH ST &#8211; QUARRY RD";
  fields.suburb = "Ashcombe";
  fields.priority = 1;
  fields.taskType = "ROAD CRASH RESCUE";
  fields.minutesAgo = 30;
  service->RaiseIncident(fields);
  const int port = service->Port();

  const std::string answer = Answer(port, std::string("MFSIncNo=0&GUID=") + kGuid);
  EXPECT_EQ(Tagged(answer, "RC"), "0");
  EXPECT_FALSE(Tagged(answer, "Result").empty());
  EXPECT_FALSE(Tagged(answer, "Version").empty());
  EXPECT_TRUE(Matches(Tagged(answer, "DateTime"), R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d)"));
  EXPECT_TRUE(IsInteger(Tagged(answer, "LogRecID")));

  const std::string pager = Tagged(answer, "Pager");
  EXPECT_NE(pager.find("<RecordFound>True</RecordFound>"), std::string::npos);
  EXPECT_EQ(Tagged(pager, "MFSIncNo"), FeedText(port, "LastGRNMFSIncNo"));
  EXPECT_EQ(Tagged(pager, "RVUUnit"), FeedText(port, "LastRVUUnit"));
  EXPECT_EQ(Tagged(pager, "Priority"), FeedText(port, "LastPriority"));
  EXPECT_EQ(Tagged(pager, "TaskType"), FeedText(port, "LastTaskType"));
  // The service sends the entity; the kiosk shows a dash, as the feed does.
  EXPECT_EQ(Tagged(pager, "Street"), "CNR HIGH ST &#8211; QUARRY RD");
  EXPECT_EQ(Tagged(pager, "Suburb"), "ASHCOMBE");
  const std::string pageA = FeedText(port, "PageA");
  EXPECT_NE(pageA.find(ReplaceAll(Tagged(pager, "Street"), "&#8211;", "-")), std::string::npos) << pageA;
  EXPECT_NE(pageA.find(Tagged(pager, "Suburb")), std::string::npos) << pageA;

  const std::string zavDateTime = Tagged(pager, "ZAVDateTime");
  ASSERT_TRUE(Matches(zavDateTime, R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d)")) << zavDateTime;
  const auto age = std::chrono::system_clock::now() - LocalTime(zavDateTime);
  EXPECT_NEAR(std::chrono::duration<double>(age).count(), 30 * 60, 90);
  EXPECT_TRUE(Matches(Tagged(pager, "CallRecptTime"), R"(\d\d:\d\d:\d\d)"));
  EXPECT_TRUE(Matches(Tagged(pager, "StartDate"), R"(\d{4}-\d\d-\d\d)"));
  const double lat = std::strtod(Tagged(pager, "Geometry.lat").c_str(), nullptr);
  const double lng = std::strtod(Tagged(pager, "Geometry.lng").c_str(), nullptr);
  EXPECT_TRUE(Matches(Tagged(pager, "Geometry.lat"), R"(-?\d+\.\d+)"));
  EXPECT_TRUE(Matches(Tagged(pager, "Geometry.lng"), R"(-?\d+\.\d+)"));
  EXPECT_TRUE(lat > -90 && lat < 90 && lat != 0) << lat;
  EXPECT_TRUE(lng > -180 && lng < 180 && lng != 0) << lng;
}

// A task is given as it stands: times not reached yet are empty.
struct TaskCase {
  int minutesAgo;
  bool mobile;
  bool complete;
};

void PrintTo(const TaskCase& c, std::ostream* os) { *os << c.minutesAgo << " minutes ago"; }

class TaskSection : public ::testing::TestWithParam<TaskCase> {};

TEST_P(TaskSection, HoldsEveryTagInItsForm) {
  const TaskCase c = GetParam();
  const auto service = StartSim();
  sim::IncidentFields fields;
  fields.task = true;
  fields.minutesAgo = c.minutesAgo;
  const int number = service->RaiseIncident(fields);
  const std::string answer = Answer(service->Port(), std::string("MFSIncNo=0&GUID=") + kGuid);
  const std::string task = Tagged(answer, "Task");

  EXPECT_EQ(Tagged(task, "RecordFound"), "True");
  EXPECT_EQ(Tagged(task, "MFSIncNo"), std::to_string(number));
  for (const char* tag : {"AssistingAgencyLocalCouncil", "AssistingAgencyCharity", "AssistingAgencyCFS",
                          "AssistingAgencyEPA", "AssistingAgencyGas", "AssistingAgencyMFS", "AssistingAgencyOther",
                          "AssistingAgencyOtherRVUUnit", "AssistingAgencyRSPCA", "AssistingAgencySAAS",
                          "AssistingAgencySAPOL", "AssistingAgencySAPowerNetworks", "AssistingAgencySAWater",
                          "AssistingAgencyVMR", "AssistingAgencyWelfare", "MFSAcknowledged", "MFSCleared",
                          "Vehicle31", "Vehicle32", "Vehicle33", "Vehicle41", "Vehicle42", "VehicleTlr"})
    EXPECT_TRUE(Matches(Tagged(task, tag), "True|False")) << tag << " = " << Tagged(task, tag);
  for (const char* tag : {"DutyOfficerID", "IncidentType", "StopCall", "TeamLeaderID", "UnitManagerID", "Weather",
                          "Risks"})
    EXPECT_TRUE(IsInteger(Tagged(task, tag))) << tag << " = " << Tagged(task, tag);
  EXPECT_TRUE(Matches(Tagged(task, "CrewIDs"), "[0-9]+(,[0-9]+)+")) << Tagged(task, "CrewIDs");
  EXPECT_TRUE(Matches(Tagged(task, "DriverIDs"), "[0-9]+(,[0-9]+)*")) << Tagged(task, "DriverIDs");
  EXPECT_EQ(Tagged(task, "IncidentDate"), Tagged(Tagged(answer, "Pager"), "ZAVDateTime").substr(0, 10));
  for (const char* tag : {"Notes", "CloseDate", "TaskComplete", "ArrivedAtScene", "UnitMobileDateTime"})
    EXPECT_NE(task.find(std::string("<") + tag + ">"), std::string::npos) << tag;

  EXPECT_EQ(Tagged(task, "UnitMobileDateTime").empty(), !c.mobile);
  if (c.mobile) {
    EXPECT_TRUE(Matches(Tagged(task, "UnitMobileDateTime"), R"(\d{4}-\d\d-\d\d \d\d:\d\d)"));
  }
  EXPECT_EQ(Tagged(task, "TaskComplete").empty(), !c.complete);
  EXPECT_EQ(Tagged(task, "MFSCleared"), c.complete ? "True" : "False");
  if (c.complete) {
    EXPECT_TRUE(Matches(Tagged(task, "ArrivedAtScene"), R"(\d\d:\d\d)"));
    EXPECT_TRUE(Matches(Tagged(task, "TaskComplete"), R"(\d\d:\d\d)"));
    EXPECT_TRUE(Matches(Tagged(task, "CloseDate"), R"(\d{4}-\d\d-\d\d)"));
    EXPECT_GT(std::atoi(Tagged(task, "UnitVehicleKM").c_str()), std::atoi(Tagged(task, "UnitVehicleKMStart").c_str()));
    EXPECT_NE(Tagged(task, "StopCall"), "0");
  } else {
    EXPECT_EQ(Tagged(task, "ArrivedAtScene"), "");
    EXPECT_EQ(Tagged(task, "CloseDate"), "");
  }
}

INSTANTIATE_TEST_SUITE_P(Stages, TaskSection,
                         ::testing::Values(TaskCase{0, false, false}, TaskCase{300, true, true}));

TEST(IncidentRecord, AnIncidentWithoutTaskSaysSo) {
  const auto service = StartSim();
  sim::IncidentFields fields;
  fields.task = false;
  service->RaiseIncident(fields);
  const std::string answer = Answer(service->Port(), std::string("MFSIncNo=0&GUID=") + kGuid);
  EXPECT_NE(Tagged(answer, "Pager").find("<RecordFound>True</RecordFound>"), std::string::npos);
  EXPECT_NE(Tagged(Tagged(answer, "Task"), "RecordFound"), "True");
}

struct ReturnCase {
  const char* name;
  std::string (*query)(int number, const std::string& date);
  int rc;
  bool found;
};

void PrintTo(const ReturnCase& c, std::ostream* os) { *os << c.name; }

class ReturnCodes : public ::testing::TestWithParam<ReturnCase> {};

TEST_P(ReturnCodes, FollowTheRequest) {
  const ReturnCase c = GetParam();
  const auto service = StartSim();
  const auto current = service->CurrentIncident();
  ASSERT_TRUE(current);
  const std::string latest = Answer(service->Port(), std::string("MFSIncNo=0&GUID=") + kGuid);
  const std::string date = Tagged(Tagged(latest, "Pager"), "ZAVDateTime").substr(0, 10);

  const std::string answer = Answer(service->Port(), c.query(current->number, date));
  EXPECT_EQ(Tagged(answer, "RC"), std::to_string(c.rc)) << answer;
  EXPECT_FALSE(Tagged(answer, "Result").empty());
  const std::string pager = Tagged(answer, "Pager");
  EXPECT_EQ(pager.find("<RecordFound>True</RecordFound>") != std::string::npos, c.found) << answer;
  if (c.found) {
    EXPECT_EQ(Tagged(pager, "MFSIncNo"), std::to_string(current->number));
  }
}

std::string Guid() { return std::string("&GUID=") + kGuid; }

INSTANTIATE_TEST_SUITE_P(
    Requests, ReturnCodes,
    ::testing::Values(
        ReturnCase{"Latest", [](int, const std::string&) { return "MFSIncNo=0" + Guid(); }, 0, true},
        ReturnCase{"ByNumberDateAndUnit",
                   [](int n, const std::string& d) {
                     return "MFSIncNo=" + std::to_string(n) + "&ZAVDate=" + d + "&RVUUnit=JUX" + Guid();
                   },
                   0, true},
        ReturnCase{"GuidInSmallLetters",
                   [](int, const std::string&) {
                     return std::string("MFSIncNo=0&GUID=3c9d2b70-5e41-4a8f-9b26-d17e0a4c58f3");
                   },
                   0, true},
        ReturnCase{"UnknownNumber", [](int, const std::string&) { return "MFSIncNo=1" + Guid(); }, -2, false},
        ReturnCase{"OtherDate",
                   [](int n, const std::string&) { return "MFSIncNo=" + std::to_string(n) + "&ZAVDate=2001-01-01" + Guid(); },
                   -2, false},
        ReturnCase{"NotANumber", [](int, const std::string&) { return "MFSIncNo=abc" + Guid(); }, -2, false},
        ReturnCase{"WrongGuid",
                   [](int, const std::string&) {
                     return std::string("MFSIncNo=0&GUID=00000000-0000-0000-0000-000000000000");
                   },
                   -1, false},
        ReturnCase{"NoGuid", [](int, const std::string&) { return std::string("MFSIncNo=0"); }, -1, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(IncidentRecord, WithoutAnyIncidentNoRecordIsFound) {
  auto options = TestOptions();
  options.startWithIncident = false;
  const auto service = StartSim(options);
  const std::string answer = Answer(service->Port(), std::string("MFSIncNo=0&GUID=") + kGuid);
  EXPECT_EQ(Tagged(answer, "RC"), "0");
  EXPECT_NE(answer.find("<Pager>"), std::string::npos);
  EXPECT_EQ(Tagged(answer, "Pager").find("<RecordFound>True</RecordFound>"), std::string::npos);
}

TEST(IncidentRecord, PointersLinkNeighbours) {
  const auto service = StartSim();
  const int first = service->RaiseIncident();
  const int second = service->RaiseIncident();
  ASSERT_LT(first, second);
  const int port = service->Port();

  const std::string older = Tagged(Answer(port, "MFSIncNo=" + std::to_string(first) + Guid()), "Pointers");
  EXPECT_EQ(Tagged(older, "ThisMFSIncNo"), std::to_string(first));
  EXPECT_EQ(Tagged(older, "NextMFSIncNo"), std::to_string(second));
  EXPECT_EQ(Tagged(older, "LastMFSIncNo"), std::to_string(second));
  EXPECT_TRUE(Matches(Tagged(older, "NextZAVDate"), R"(\d{4}-\d\d-\d\d)"));

  const std::string latest = Tagged(Answer(port, "MFSIncNo=0" + Guid()), "Pointers");
  EXPECT_EQ(Tagged(latest, "ThisMFSIncNo"), std::to_string(second));
  EXPECT_EQ(Tagged(latest, "PriorMFSIncNo"), std::to_string(first));
  EXPECT_EQ(Tagged(latest, "NextMFSIncNo"), "0");
  EXPECT_LT(std::atoi(Tagged(latest, "FirstMFSIncNo").c_str()), first);
}

}  // namespace
