#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "pager-gateway/gateway.h"
#include "pager-gateway/page_message.h"
#include "platform/page_broker.h"

namespace pagergw {

// Pages waiting for the broker's acknowledgement, oldest first. At most
// kMaxInFlight are handed to the link at a time; the rest wait here while the
// broker is away, at most kMaxHeldPages in all, the oldest waiting one dropped
// for a new one past that.
class HeldPages {
 public:
  static constexpr std::size_t kMaxHeldPages = 10000;
  static constexpr std::size_t kMaxInFlight = 20;

  struct Page {
    std::uint64_t id = 0;
    std::string topic, payload;
    bool handed = false;
  };

  // Keeps a page; false when the oldest waiting page was dropped for it.
  bool Add(std::string topic, std::string payload);
  // The pages to hand over now, marked as handed.
  std::vector<Page> Hand();
  // The broker has page `id` (or refused it): it is no longer held.
  void Done(std::uint64_t id);
  std::size_t Size() const { return pages_.size(); }
  std::size_t InFlight() const { return inFlight_; }

 private:
  std::deque<Page> pages_;
  std::uint64_t nextId_ = 1;
  std::size_t inFlight_ = 0;
};

struct RegionSettings {
  std::string prefix = "rvu";
  std::string receiver;          // this receiver's name (its state topic)
  std::string broker;            // "host:port", for the reports
  bool publish = false;          // pages decoded here go to the broker
  bool relay = false;            // pages from the broker go to the kiosks
  std::int64_t maxAgeSeconds = 300;  // a relayed page older than this is not shown
};

struct RegionCounts {
  std::uint64_t published = 0;  // acknowledged by the broker
  std::uint64_t dropped = 0;    // held past the bound and dropped
  std::uint64_t refused = 0;    // refused by the broker
  std::uint64_t arrived = 0;    // messages on the pages topics
  std::uint64_t relayed = 0;    // handed on for the kiosks
  std::uint64_t stale = 0;      // older than the maximum age, not shown
  std::uint64_t rejected = 0;   // not a page: malformed, oversized, on the wrong topic
};

// The gateway's side of the region's broker: pages decoded here are held
// until the broker has them; pages from the broker are checked and handed on.
// No I/O of its own: it talks to the link it is given and reports through
// `report`; the caller passes the times.
class RegionLink {
 public:
  RegionLink(platform::PageBroker& broker, RegionSettings settings, ReportFn report);

  // A page decoded here, after the capcode table and before the duplicate check.
  void Publish(const PageMessage& page);
  // The receiver's state: "online", "silent" or "offline"; sent when it changes
  // and again at every connection (the broker's last will may have replaced it).
  void SetState(const std::string& state);
  // The link's events; gives the pages from the broker to show, in arrival order.
  std::vector<PageMessage> OnEvents(const std::vector<platform::BrokerEvent>& events, std::int64_t nowUtcSeconds);
  // Time passing: reports the stale pages not shown since the last report,
  // once a second has passed without another.
  void OnTick(std::int64_t nowMs);

  bool Connected() const { return connected_; }
  const RegionCounts& Counts() const { return counts_; }
  std::size_t Held() const { return held_.Size(); }

 private:
  void HandOver();
  std::optional<PageMessage> Check(const platform::BrokerEvent& event, std::int64_t nowUtcSeconds);

  platform::PageBroker& broker_;
  RegionSettings settings_;
  ReportFn report_;
  HeldPages held_;
  RegionCounts counts_;
  bool connected_ = false;
  std::string state_;
  std::string lastProblem_;
  std::uint64_t droppedReported_ = 0;
  std::uint64_t staleReported_ = 0;
  std::uint64_t staleSeen_ = 0;
  std::int64_t staleChangedMs_ = 0;
};

// The feed line of a page from the broker: its decode time in the station's
// local time, its agency and capcode, its text ("CMD:" gets a blank in front).
FeedLine RelayedLine(const PageMessage& page, TimeOfDay localDecoded);

}  // namespace pagergw
