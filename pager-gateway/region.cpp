#include "pager-gateway/region.h"

#include <algorithm>

namespace pagergw {

using platform::BrokerEvent;

namespace {

// Stale pages come in bursts (a session's queue): said once the burst is over.
constexpr std::int64_t kStaleQuietMs = 1000;

}  // namespace

bool HeldPages::Add(std::string topic, std::string payload) {
  bool kept = true;
  if (pages_.size() >= kMaxHeldPages) {
    const auto oldest = std::find_if(pages_.begin(), pages_.end(), [](const Page& p) { return !p.handed; });
    if (oldest != pages_.end()) pages_.erase(oldest);
    kept = false;
  }
  pages_.push_back({nextId_++, std::move(topic), std::move(payload), false});
  return kept;
}

std::vector<HeldPages::Page> HeldPages::Hand() {
  std::vector<Page> out;
  for (Page& p : pages_) {
    if (inFlight_ >= kMaxInFlight) break;
    if (p.handed) continue;
    p.handed = true;
    ++inFlight_;
    out.push_back(p);
  }
  return out;
}

void HeldPages::Done(std::uint64_t id) {
  const auto it = std::find_if(pages_.begin(), pages_.end(), [id](const Page& p) { return p.id == id; });
  if (it == pages_.end()) return;
  if (it->handed) --inFlight_;
  pages_.erase(it);
}

RegionLink::RegionLink(platform::PageBroker& broker, RegionSettings settings, ReportFn report)
    : broker_(broker), settings_(std::move(settings)), report_(std::move(report)) {}

void RegionLink::Publish(const PageMessage& page) {
  if (!held_.Add(PageTopic(settings_.prefix, page.agency, page.capcode), WritePageMessage(page))) {
    if (++counts_.dropped == droppedReported_ + 1)
      report_(kWarning, "broker " + settings_.broker + " away and " + std::to_string(HeldPages::kMaxHeldPages) +
                            " pages held for it: the oldest are dropped");
  }
  HandOver();
}

void RegionLink::SetState(const std::string& state) {
  if (state == state_) return;
  state_ = state;
  if (connected_) broker_.PublishState(StateTopic(settings_.prefix, settings_.receiver), state_);
}

void RegionLink::HandOver() {
  if (!connected_) return;
  for (const auto& p : held_.Hand()) broker_.PublishPage(p.id, p.topic, p.payload);
}

std::vector<PageMessage> RegionLink::OnEvents(const std::vector<BrokerEvent>& events, std::int64_t nowUtcSeconds) {
  std::vector<PageMessage> pages;
  for (const BrokerEvent& e : events) {
    switch (e.kind) {
      case BrokerEvent::Kind::Connected:
        connected_ = true;
        lastProblem_.clear();
        report_(kNotice, "connected to the broker " + settings_.broker);
        if (settings_.relay && !e.sessionPresent)
          report_(kNotice, "the broker had no session of this station (its first connection, or the session was "
                           "lost): pages published while the station was away do not come");
        if (counts_.dropped > droppedReported_) {
          report_(kWarning, std::to_string(counts_.dropped - droppedReported_) +
                                " pages dropped while the broker was away (oldest first)");
          droppedReported_ = counts_.dropped;
        }
        if (settings_.publish && !state_.empty())
          broker_.PublishState(StateTopic(settings_.prefix, settings_.receiver), state_);
        HandOver();
        break;
      case BrokerEvent::Kind::Disconnected:
        connected_ = false;
        // Said once per kind of trouble, not at every retry.
        if (e.text != lastProblem_) report_(kError, e.text + "; trying again");
        else report_(kDebug, e.text);
        lastProblem_ = e.text;
        break;
      case BrokerEvent::Kind::Delivered:
        ++counts_.published;
        held_.Done(e.id);
        HandOver();
        break;
      case BrokerEvent::Kind::Refused:
        report_(kError, e.text);
        if (e.id != 0) {
          ++counts_.refused;
          held_.Done(e.id);
          HandOver();
        }
        break;
      case BrokerEvent::Kind::Arrived:
        if (auto page = Check(e, nowUtcSeconds)) pages.push_back(std::move(*page));
        break;
    }
  }
  return pages;
}

std::optional<PageMessage> RegionLink::Check(const BrokerEvent& e, std::int64_t nowUtcSeconds) {
  ++counts_.arrived;
  if (!settings_.relay) return std::nullopt;
  std::string why;
  std::optional<PageMessage> page = ReadPageMessage(e.payload, why);
  if (page && e.topic != PageTopic(settings_.prefix, page->agency, page->capcode)) {
    why = "its page belongs on " + PageTopic(settings_.prefix, page->agency, page->capcode);
    page.reset();
  }
  if (!page) {
    ++counts_.rejected;
    report_(kWarning, "message on " + e.topic + " (" + std::to_string(e.payload.size()) + " bytes) dropped: " + why);
    return std::nullopt;
  }
  if (nowUtcSeconds - page->decoded > settings_.maxAgeSeconds) {
    ++counts_.stale;
    report_(kDebug, "page to " + std::to_string(page->capcode) + " from " + page->receiver + " decoded at " +
                        WriteIsoTime(page->decoded, page->utcOffsetSeconds) + " is too old to show");
    return std::nullopt;
  }
  ++counts_.relayed;
  return page;
}

void RegionLink::OnTick(std::int64_t nowMs) {
  if (counts_.stale != staleSeen_) {
    staleSeen_ = counts_.stale;
    staleChangedMs_ = nowMs;
  }
  if (counts_.stale == staleReported_ || nowMs - staleChangedMs_ < kStaleQuietMs) return;
  report_(kNotice, std::to_string(counts_.stale - staleReported_) + " pages from the broker older than " +
                       std::to_string(settings_.maxAgeSeconds) + " s not shown (" + std::to_string(counts_.stale) +
                       " since the start)");
  staleReported_ = counts_.stale;
}

FeedLine RelayedLine(const PageMessage& page, TimeOfDay localDecoded) {
  return MakeFeedLine(localDecoded, page.agency, page.alias, page.capcode, page.text);
}

}  // namespace pagergw
