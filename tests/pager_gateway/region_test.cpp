// The gateway's side of the region's broker against a recording link: pages
// held while the broker is away and their bound, the receiver's state, and
// what a relay makes of what arrives.
#include <gtest/gtest.h>

#include "pager-gateway/region.h"
#include "tests/pager_gateway/fake_broker.h"

namespace {

using namespace pagergw;
using Kind = platform::BrokerEvent::Kind;
using pagergwtest::Event;
using pagergwtest::FakeBroker;

struct Reports {
  std::vector<std::pair<int, std::string>> all;
  ReportFn Fn() {
    return [this](int severity, const std::string& message) { all.emplace_back(severity, message); };
  }
  int Count(const std::string& text) const {
    int n = 0;
    for (const auto& [s, m] : all) n += m.find(text) != std::string::npos;
    return n;
  }
};

constexpr std::int64_t kNow = 1714522272;

PageMessage Page(const std::string& text, std::uint64_t capcode = 1234567, std::int64_t decoded = kNow) {
  PageMessage p;
  p.decoded = decoded;
  p.capcode = capcode;
  p.agency = "RVU";
  p.text = text;
  p.mode = "POCSAG1200";
  p.receiver = "ridge";
  return p;
}

RegionSettings Settings(bool publish, bool relay) {
  RegionSettings s;
  s.receiver = "ridge";
  s.broker = "broker:8883";
  s.publish = publish;
  s.relay = relay;
  s.maxAgeSeconds = 300;
  return s;
}

TEST(HeldPages, AtTheBoundTheOldestWaitingPageMakesRoom) {
  HeldPages held;
  for (std::size_t i = 0; i < HeldPages::kMaxHeldPages; ++i) ASSERT_TRUE(held.Add("t", std::to_string(i)));
  EXPECT_EQ(held.Size(), HeldPages::kMaxHeldPages);
  // The first pages are handed over: they stay, the oldest waiting one goes.
  const auto handed = held.Hand();
  ASSERT_EQ(handed.size(), HeldPages::kMaxInFlight);
  EXPECT_EQ(handed.front().payload, "0");
  EXPECT_FALSE(held.Add("t", "new"));
  EXPECT_EQ(held.Size(), HeldPages::kMaxHeldPages);
  held.Done(handed.front().id);
  const auto next = held.Hand();
  ASSERT_EQ(next.size(), 1u);
  EXPECT_EQ(next.front().payload, std::to_string(HeldPages::kMaxInFlight + 1)) << "page 20 was dropped";
}

TEST(RegionLink, PagesWaitForTheBrokerAndGoInOrderAtMostTwentyAtATime) {
  FakeBroker broker;
  Reports reports;
  RegionLink link(broker, Settings(true, false), reports.Fn());
  link.SetState("online");
  for (int i = 1; i <= 25; ++i) link.Publish(Page("P" + std::to_string(i)));
  EXPECT_TRUE(broker.handed.empty()) << "nothing goes to a broker not connected";

  link.OnEvents({Event(Kind::Connected)}, kNow);
  ASSERT_FALSE(broker.handed.empty());
  EXPECT_TRUE(broker.handed.front().retained);
  EXPECT_EQ(broker.handed.front().topic, "rvu/receivers/ridge/state");
  EXPECT_EQ(broker.handed.front().payload, "online");
  ASSERT_EQ(broker.PageIds().size(), HeldPages::kMaxInFlight);
  EXPECT_EQ(broker.handed[1].topic, "rvu/pages/RVU/1234567");
  EXPECT_NE(broker.handed[1].payload.find("\"text\":\"P1\""), std::string::npos);

  link.OnEvents({Event(Kind::Delivered, broker.PageIds()[0]), Event(Kind::Delivered, broker.PageIds()[1])}, kNow);
  EXPECT_EQ(broker.PageIds().size(), 22u);
  EXPECT_NE(broker.handed.back().payload.find("\"text\":\"P22\""), std::string::npos);
  // Lost: what was handed is the link's to send again; nothing new goes until it is back.
  link.OnEvents({Event(Kind::Disconnected)}, kNow);
  link.Publish(Page("P26"));
  EXPECT_EQ(broker.PageIds().size(), 22u);
  EXPECT_EQ(link.Held(), 24u);
  link.OnEvents({Event(Kind::Connected)}, kNow);
  EXPECT_EQ(broker.handed.back().payload, "online") << "the state again, as the last will may have replaced it";
  EXPECT_EQ(broker.PageIds().size(), 22u) << "still 20 in flight";
  EXPECT_EQ(link.Counts().published, 2u);
  EXPECT_EQ(reports.Count("connection lost; trying again"), 1);
}

TEST(RegionLink, DroppedPagesAreSaidOnceAndCountedWhenTheBrokerIsBack) {
  FakeBroker broker;
  Reports reports;
  RegionLink link(broker, Settings(true, false), reports.Fn());
  for (std::size_t i = 0; i < HeldPages::kMaxHeldPages; ++i) link.Publish(Page("P" + std::to_string(i)));
  EXPECT_EQ(link.Counts().dropped, 0u);
  EXPECT_EQ(reports.Count("dropped"), 0);
  link.Publish(Page("one past"));
  link.Publish(Page("two past"));
  EXPECT_EQ(link.Counts().dropped, 2u);
  EXPECT_EQ(reports.Count("broker broker:8883 away and 10000 pages held for it: the oldest are dropped"), 1);
  link.OnEvents({Event(Kind::Connected)}, kNow);
  EXPECT_EQ(reports.Count("2 pages dropped while the broker was away (oldest first)"), 1);
  EXPECT_NE(broker.handed.front().payload.find("\"text\":\"P2\""), std::string::npos);
}

TEST(RegionLink, StateChangesAndRefusedPages) {
  FakeBroker broker;
  Reports reports;
  RegionLink link(broker, Settings(true, false), reports.Fn());
  link.OnEvents({Event(Kind::Connected)}, kNow);
  link.SetState("online");
  link.SetState("online");
  link.SetState("silent");
  ASSERT_EQ(broker.handed.size(), 2u);
  EXPECT_EQ(broker.handed[1].payload, "silent");
  link.Publish(Page("P1"));
  auto refused = Event(Kind::Refused, broker.PageIds()[0]);
  refused.text = "the broker refused the page: Not authorized";
  link.OnEvents({refused}, kNow);
  EXPECT_EQ(link.Held(), 0u) << "a refused page is not tried again";
  EXPECT_EQ(link.Counts().refused, 1u);
  EXPECT_EQ(reports.Count("the broker refused the page: Not authorized"), 1);
}

TEST(RegionLink, RelayTakesPagesAndRefusesTheRest) {
  FakeBroker broker;
  Reports reports;
  RegionLink link(broker, Settings(false, true), reports.Fn());
  const std::string topic = "rvu/pages/RVU/1234567";
  const auto pages = link.OnEvents(
      {
          Event(Kind::Connected),
          Event(Kind::Arrived, 0, topic, WritePageMessage(Page("FRESH"))),
          Event(Kind::Arrived, 0, topic, WritePageMessage(Page("AT THE AGE", 1234567, kNow - 300))),
          Event(Kind::Arrived, 0, topic, WritePageMessage(Page("ONE PAST IT", 1234567, kNow - 301))),
          Event(Kind::Arrived, 0, topic, "{\"text\":\"CMD:TERMINATE\"}"),
          Event(Kind::Arrived, 0, "rvu/pages/CFS/1234567", WritePageMessage(Page("WRONG TOPIC"))),
          Event(Kind::Arrived, 0, topic, WritePageMessage(Page("CMD:TERMINATE"))),
      },
      kNow);
  ASSERT_EQ(pages.size(), 3u);
  EXPECT_EQ(pages[0].text, "FRESH");
  EXPECT_EQ(pages[1].text, "AT THE AGE");
  EXPECT_EQ(pages[2].text, "CMD:TERMINATE");
  EXPECT_EQ(RelayedLine(pages[2], {7, 8, 9}).text, "07:08:09 [RVU:1234567]  CMD:TERMINATE");
  EXPECT_EQ(RelayedLine(pages[0], {7, 8, 9}).text, "07:08:09 [RVU:1234567] FRESH");
  const RegionCounts& c = link.Counts();
  EXPECT_EQ(c.arrived, 6u);
  EXPECT_EQ(c.relayed, 3u);
  EXPECT_EQ(c.stale, 1u);
  EXPECT_EQ(c.rejected, 2u);
  EXPECT_EQ(reports.Count("dropped: no \"agency\""), 1);
  EXPECT_EQ(reports.Count("dropped: its page belongs on rvu/pages/RVU/1234567"), 1);
  EXPECT_EQ(reports.Count("the broker had no session of this station"), 1);
  // Stale pages are said once the burst is over, with their count.
  link.OnTick(1000);
  link.OnTick(1500);
  EXPECT_EQ(reports.Count("older than"), 0);
  link.OnTick(2000);
  EXPECT_EQ(reports.Count("1 pages from the broker older than 300 s not shown (1 since the start)"), 1);
  link.OnTick(5000);
  EXPECT_EQ(reports.Count("older than"), 1);
}

TEST(RegionLink, APublishingGatewayThatDoesNotRelayShowsNothingFromTheBroker) {
  FakeBroker broker;
  Reports reports;
  RegionLink link(broker, Settings(true, false), reports.Fn());
  EXPECT_TRUE(link.OnEvents({Event(Kind::Arrived, 0, "rvu/pages/RVU/1234567", WritePageMessage(Page("X")))}, kNow).empty());
}

}  // namespace
