#include "pager-gateway/flex_parts.h"

namespace pagergw {

namespace {

std::string Parts(int n) { return std::to_string(n) + (n == 1 ? " part" : " parts"); }

}  // namespace

FlexPartJoiner::Ready FlexPartJoiner::GiveOut(Message held, std::string why) {
  held.page.part = DecodedPage::Part::Whole;
  return {std::move(held.page), held.received, std::move(why)};
}

std::vector<FlexPartJoiner::Ready> FlexPartJoiner::Take(DecodedPage page, TimeOfDay received, std::int64_t nowMs) {
  std::vector<Ready> out = Expire(nowMs);
  const auto found = held_.find(page.capcodes);
  if (page.part == DecodedPage::Part::Whole) {
    if (found != held_.end()) {
      std::string why = "a new message came before the last part; its " + Parts(found->second.parts) + " sent";
      out.push_back(GiveOut(std::move(found->second), std::move(why)));
      held_.erase(found);
    }
    out.push_back({std::move(page), received, ""});
    return out;
  }
  if (found == held_.end()) {
    if (page.part == DecodedPage::Part::Last) {
      page.part = DecodedPage::Part::Whole;
      out.push_back({std::move(page), received, "last part without the parts before it; sent as it is"});
    } else {
      std::vector<std::uint64_t> capcodes = page.capcodes;
      held_.emplace(std::move(capcodes), Message{std::move(page), received, nowMs, 1});
    }
    return out;
  }
  Message& held = found->second;
  held.page.text += page.text;  // a message is cut into parts anywhere, mid-word too
  held.lastPartMs = nowMs;
  ++held.parts;
  if (page.part == DecodedPage::Part::Last) {
    out.push_back(GiveOut(std::move(held), ""));
    held_.erase(found);
  }
  return out;
}

std::vector<FlexPartJoiner::Ready> FlexPartJoiner::Expire(std::int64_t nowMs) {
  std::vector<Ready> out;
  for (auto it = held_.begin(); it != held_.end();) {
    if (nowMs - it->second.lastPartMs < kPartWaitMs) {
      ++it;
      continue;
    }
    std::string why =
        "no further part within " + std::to_string(kPartWaitMs / 1000) + " s; its " + Parts(it->second.parts) + " sent";
    out.push_back(GiveOut(std::move(it->second), std::move(why)));
    it = held_.erase(it);
  }
  return out;
}

std::vector<FlexPartJoiner::Ready> FlexPartJoiner::Flush() {
  std::vector<Ready> out;
  for (auto& [capcodes, held] : held_) {
    std::string why = "input ended before the last part; its " + Parts(held.parts) + " sent";
    out.push_back(GiveOut(std::move(held), std::move(why)));
  }
  held_.clear();
  return out;
}

}  // namespace pagergw
