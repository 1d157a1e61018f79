#include <chrono>
#include <future>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "tests/sim/sim_fixture.h"
#include "tests/support/wait.h"

namespace {

using namespace simtest;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

std::string RawGet(int port, const std::string& target) {
  return RawExchange(port, "GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n");
}

class Faults : public ::testing::Test {
 protected:
  void SetUp() override { service_ = StartSim(); }

  // Sets a fault the way an operator would, over the control port.
  void SetFault(const std::string& query) {
    const auto res = Post(service_->ControlPort(), "/fault?" + query);
    ASSERT_TRUE(res);
    ASSERT_EQ(res->status, 200) << res->body;
  }

  void ExpectFeedWorks() {
    const auto res = Get(service_->Port(), FeedTarget());
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 200);
    EXPECT_EQ(res->body.rfind("<xml>", 0), 0u);
  }

  int Port() const { return service_->Port(); }

  std::unique_ptr<sim::UnitServiceSim> service_;
};

TEST_F(Faults, SilentHoldsTheConnectionWhileTheRestWorks) {
  SetFault("endpoint=feed&mode=silent");
  const auto start = Clock::now();
  const auto res = Get(Port(), FeedTarget(), 1s);
  EXPECT_FALSE(res);
  EXPECT_EQ(res.error(), httplib::Error::Read);
  EXPECT_GE(SecondsSince(start), 0.9);

  const auto state = Get(service_->ControlPort(), "/state");
  ASSERT_TRUE(state);
  EXPECT_NE(state->body.find("fault feed silent"), std::string::npos) << state->body;
  const auto other = Get(Port(), LatestIncidentTarget());
  ASSERT_TRUE(other);
  EXPECT_EQ(other->status, 200);

  ASSERT_TRUE(Post(service_->ControlPort(), "/faults/clear"));
  ExpectFeedWorks();
}

TEST_F(Faults, RefuseClosesWithoutAnswer) {
  SetFault("endpoint=incident&mode=refuse");
  const auto start = Clock::now();
  EXPECT_EQ(RawGet(Port(), LatestIncidentTarget()), "");
  EXPECT_LT(SecondsSince(start), 2.0);
  EXPECT_FALSE(Get(Port(), LatestIncidentTarget()));
  service_->ClearFaults();
  const auto res = Get(Port(), LatestIncidentTarget());
  ASSERT_TRUE(res);
  EXPECT_NE(res->body.find("<RC>"), std::string::npos);
}

TEST_F(Faults, DelayAnswersNormallyAfterTheTime) {
  SetFault("endpoint=feed&mode=delay&seconds=1");
  const auto start = Clock::now();
  const auto res = Get(Port(), FeedTarget());
  ASSERT_TRUE(res);
  EXPECT_GE(SecondsSince(start), 1.0);
  EXPECT_EQ(res->status, 200);
  EXPECT_EQ(res->body.rfind("<xml>", 0), 0u);
}

TEST_F(Faults, StatusAnswersWithTheCode) {
  for (const auto& [query, status] : std::vector<std::pair<std::string, int>>{
           {"endpoint=summary&mode=status", 500},
           {"endpoint=summary&mode=status&code=503", 503},
           {"endpoint=summary&mode=status&code=404", 404}}) {
    SetFault(query);
    const auto res = Get(Port(), SummaryTarget());
    ASSERT_TRUE(res) << query;
    EXPECT_EQ(res->status, status) << query;
    EXPECT_EQ(res->body.find("{\"id\":P1,"), std::string::npos) << query;
  }
}

TEST_F(Faults, GarbageIsRandomBytesWithStatus200) {
  SetFault("endpoint=feed&mode=garbage");
  const auto first = Get(Port(), FeedTarget());
  const auto second = Get(Port(), FeedTarget());
  ASSERT_TRUE(first && second);
  EXPECT_EQ(first->status, 200);
  EXPECT_GE(first->body.size(), 1024u);
  EXPECT_NE(first->body.rfind("<xml>", 0), 0u);
  EXPECT_NE(first->body, second->body);
}

TEST_F(Faults, TruncatedSendsLessThanItAnnounces) {
  SetFault("endpoint=weather&mode=truncated");
  const std::string raw = RawGet(Port(), "/rvu/bom.htm");
  const size_t bodyAt = raw.find("\r\n\r\n");
  ASSERT_NE(bodyAt, std::string::npos) << raw;
  const std::string length = TextBetween(raw, "Content-Length: ", "\r\n");
  ASSERT_FALSE(length.empty());
  EXPECT_LT(raw.size() - bodyAt - 4, std::stoul(length));
  EXPECT_GT(raw.size() - bodyAt - 4, 0u);
  EXPECT_FALSE(Get(Port(), "/rvu/bom.htm"));
}

TEST_F(Faults, HugeIsTenMegabytes) {
  SetFault("endpoint=feed&mode=huge");
  SetFault("endpoint=chart&mode=huge");
  for (const char* target : {"/rvu/RVUSrvc.xml?20260512143059123", "/rvu/ChartTaskTypes.html"}) {
    const auto res = Get(Port(), target, 20s);
    ASSERT_TRUE(res) << target;
    EXPECT_EQ(res->status, 200);
    EXPECT_EQ(res->body.size(), sim::kHugeBodySize) << target;
  }
  const auto feed = Get(Port(), FeedTarget(), 20s);
  ASSERT_TRUE(feed);
  EXPECT_EQ(feed->body.rfind("<xml>", 0), 0u);
  service_->ClearFaults();
  ExpectFeedWorks();
}

// A fault hits its own endpoint group and no other.
TEST_F(Faults, ApplyPerEndpoint) {
  const std::vector<std::pair<std::string, std::string>> endpoints = {
      {"feed", FeedTarget()},
      {"incident", LatestIncidentTarget()},
      {"summary", SummaryTarget()},
      {"iframe", ReplaceAll(MapTarget("1", "2026-05-12", "1 HIGH ST ASHCOMBE"), " ", "%20")},
      {"weather", "/rvu/bom.htm"},
      {"chart", "/rvu/ChartCrewIncidentCounts.html"},
      {"pix", "/rvu/kioskpix/html/IMG002_big.jpg"}};
  for (const auto& [faulty, unused] : endpoints) {
    SetFault("endpoint=" + faulty + "&mode=status&code=503");
    for (const auto& [name, target] : endpoints) {
      const auto res = Get(Port(), target);
      ASSERT_TRUE(res) << name;
      EXPECT_EQ(res->status, name == faulty ? 503 : 200) << "fault on " << faulty << ", asked " << name;
    }
    service_->ClearFaults();
  }
  SetFault("endpoint=all&mode=status&code=503");
  for (const auto& [name, target] : endpoints) {
    const auto res = Get(Port(), target);
    ASSERT_TRUE(res) << name;
    EXPECT_EQ(res->status, 503) << name;
  }
  const auto unknown = Get(Port(), "/nothing/here");
  ASSERT_TRUE(unknown);
  EXPECT_EQ(unknown->status, 404);
}

TEST_F(Faults, ControlRejectsUnknownNames) {
  for (const char* query : {"endpoint=printer&mode=silent", "endpoint=feed&mode=explode", "endpoint=feed",
                            "endpoint=feed&mode=status&code=42", "endpoint=feed&mode=delay&seconds=-1"}) {
    const auto res = Post(service_->ControlPort(), std::string("/fault?") + query);
    ASSERT_TRUE(res) << query;
    EXPECT_EQ(res->status, 400) << query;
  }
  ExpectFeedWorks();
}

TEST_F(Faults, StopReturnsPromptlyWhileConnectionsAreHeld) {
  SetFault("endpoint=all&mode=silent");
  auto held = std::async(std::launch::async, [port = Port()] { return static_cast<bool>(Get(port, FeedTarget(), 30s)); });
  auto delayed = std::async(std::launch::async, [this] {
    SetFault("endpoint=incident&mode=delay&seconds=60");
    return static_cast<bool>(Get(Port(), LatestIncidentTarget(), 30s));
  });
  // Wait until both requests have arrived.
  testsupport::WaitUntil([&] { return service_->Requests().size() >= 2; }, 5000, 10);
  ASSERT_EQ(service_->Requests().size(), 2u);

  const auto start = Clock::now();
  service_->Stop();
  EXPECT_LT(SecondsSince(start), 2.0);
  EXPECT_FALSE(held.get());
  EXPECT_FALSE(delayed.get());
}

}  // namespace
