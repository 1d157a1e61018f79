#include <chrono>
#include <regex>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/sim/sim_fixture.h"
#include "tests/support/temp_dir.h"

namespace {

using namespace simtest;

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

TEST(Control, RaisesAnIncidentWithTheGivenFields) {
  const auto service = StartSim();
  const auto res = Post(service->ControlPort(),
                        "/incident?street=22%20WATTLE%20AVE&suburb=linden%20park&priority=3&tasktype=FLOOD%20ASSIST"
                        "&minutesago=12&task=0");
  ASSERT_TRUE(res);
  ASSERT_EQ(res->status, 200) << res->body;
  const int number = std::stoi(res->body);
  const auto current = service->CurrentIncident();
  ASSERT_TRUE(current);
  EXPECT_EQ(current->number, number);
  EXPECT_EQ(current->street, "22 WATTLE AVE");
  EXPECT_EQ(current->suburb, "LINDEN PARK");
  EXPECT_EQ(current->priority, 3);
  EXPECT_EQ(current->taskType, "FLOOD ASSIST");
  EXPECT_FALSE(current->task);

  const auto state = Get(service->ControlPort(), "/state");
  ASSERT_TRUE(state);
  EXPECT_NE(state->body.find("current " + std::to_string(number) + " P3 FLOOD ASSIST"), std::string::npos)
      << state->body;

  const auto next = Post(service->ControlPort(), "/incident");
  ASSERT_TRUE(next);
  EXPECT_GT(std::stoi(next->body), number);
}

// The number of pictures can change while the service runs: the feed says the
// new number and only those pictures are served.
TEST(Control, ChangesTheNumberOfPictures) {
  const auto service = StartSim();  // three pictures
  auto kioskPix = [&] {
    const auto feed = Get(service->Port(), "/rvu/RVUSrvc.xml?1");
    return feed ? TextBetween(feed->body, "<KioskPix>", "</KioskPix>") : std::string("no answer");
  };
  auto pictureStatus = [&](const char* name) {
    const auto res = Get(service->Port(), std::string("/rvu/kioskpix/html/") + name);
    return res ? res->status : -1;
  };
  EXPECT_EQ(kioskPix(), "3");
  struct Step {
    const char* query;
    int status;
    const char* pix;
    int picture3, picture1000;
  } steps[] = {
      {"count=0", 200, "0", 404, 404},    {"count=1000", 200, "1000", 200, 200},
      {"count=-1", 400, "1000", 200, 200}, {"count=x", 400, "1000", 200, 200},
      {"", 400, "1000", 200, 200},        {"count=3", 200, "3", 200, 404},
  };
  for (const auto& step : steps) {
    const auto res = Post(service->ControlPort(), std::string("/pix?") + step.query);
    ASSERT_TRUE(res) << step.query;
    EXPECT_EQ(res->status, step.status) << step.query;
    EXPECT_EQ(kioskPix(), step.pix) << step.query;
    EXPECT_EQ(pictureStatus("IMG003_big.jpg"), step.picture3) << step.query;
    EXPECT_EQ(pictureStatus("IMG1000_big.jpg"), step.picture1000) << step.query;
  }
}

TEST(Control, RejectsBadIncidentValues) {
  const auto service = StartSim();
  const int before = service->CurrentIncident()->number;
  for (const char* query : {"priority=5", "priority=high", "minutesago=-3", "task=2", "street="}) {
    const auto res = Post(service->ControlPort(), std::string("/incident?") + query);
    ASSERT_TRUE(res) << query;
    EXPECT_EQ(res->status, 400) << query;
  }
  EXPECT_EQ(service->CurrentIncident()->number, before);
}

// curl -X POST sends neither a length nor a body.
TEST(Control, AnswersAPostWithoutLengthAtOnce) {
  const auto service = StartSim();
  service->SetFault(sim::Endpoint::Feed, sim::Fault{sim::FaultMode::Refuse});
  const auto start = std::chrono::steady_clock::now();
  const std::string answer = RawExchange(service->ControlPort(),
                                         "POST /faults/clear HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n");
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
  EXPECT_EQ(answer.rfind("HTTP/1.1 200", 0), 0u) << answer;
  const auto feed = Get(service->Port(), FeedTarget());
  ASSERT_TRUE(feed);
  EXPECT_EQ(feed->status, 200);
}

TEST(Ports, ATakenPortIsAnError) {
  const auto first = StartSim();
  for (const bool control : {false, true}) {
    auto options = TestOptions();
    if (control)
      options.controlPort = first->ControlPort();
    else
      options.port = first->Port();
    sim::UnitServiceSim second(options);
    EXPECT_THROW(second.Start(), std::runtime_error) << (control ? "control port" : "main port");
  }
  const auto feed = Get(first->Port(), FeedTarget());
  ASSERT_TRUE(feed);
  EXPECT_EQ(feed->status, 200);
}

TEST(Control, StateListsTheFaults) {
  const auto service = StartSim();
  sim::Fault fault;
  fault.mode = sim::FaultMode::Delay;
  fault.seconds = 7;
  service->SetFault(sim::Endpoint::Incident, fault);
  const auto state = Get(service->ControlPort(), "/state");
  ASSERT_TRUE(state);
  EXPECT_NE(state->body.find("fault incident delay 7s"), std::string::npos) << state->body;
  EXPECT_NE(state->body.find("fault feed none"), std::string::npos) << state->body;
}

TEST(RequestLog, RecordsEveryMainPortRequestAsReceivedInOrder) {
  testsupport::TempDir dir;
  auto options = TestOptions();
  options.logPath = dir.File("requests.log");
  const auto service = StartSim(options);
  const std::vector<std::string> targets = {
      FeedTarget(),
      LatestIncidentTarget(),
      "/rvu/bom.htm",
      MapTarget("7", "2026-05-12", "1 HIGH ST ASHCOMBE"),  // raw blanks and [amp]
      "/rvu/kioskpix/html/IMG099_big.jpg",                  // not found, still logged
      "/rvu/ChartTaskTypes.html?x=%20y",
  };
  for (const std::string& target : targets) ASSERT_TRUE(Get(service->Port(), target)) << target;
  ASSERT_TRUE(Get(service->ControlPort(), "/state"));  // the control port is not logged

  std::vector<std::string> expected;
  for (const std::string& target : targets) expected.push_back("GET " + target);
  EXPECT_EQ(service->Requests(), expected);
  const auto listed = Get(service->ControlPort(), "/requests");
  ASSERT_TRUE(listed);
  EXPECT_EQ(Lines(listed->body), expected);

  const std::vector<std::string> logged = Lines(testsupport::ReadWholeFile(options.logPath));
  ASSERT_EQ(logged.size(), expected.size());
  const std::regex stamp(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} )");
  for (size_t i = 0; i < logged.size(); ++i) {
    std::smatch match;
    ASSERT_TRUE(std::regex_search(logged[i], match, stamp) && match.position(0) == 0) << logged[i];
    EXPECT_EQ(logged[i].substr(static_cast<size_t>(match.length(0))), expected[i]);
  }

  ASSERT_TRUE(Post(service->ControlPort(), "/requests/clear"));
  EXPECT_TRUE(service->Requests().empty());
  ASSERT_TRUE(Get(service->Port(), "/rvu/bom.htm"));
  EXPECT_EQ(service->Requests(), std::vector<std::string>{"GET /rvu/bom.htm"});
  service->ClearRequests();
  EXPECT_TRUE(service->Requests().empty());
}

}  // namespace
