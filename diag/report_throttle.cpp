#include "diag/report_throttle.h"

#include <algorithm>

namespace diag {

tReportThrottle::Entry* tReportThrottle::Find(const tFailureKey& key) {
  auto it = std::find_if(entries_.begin(), entries_.end(), [&key](const Entry& e) { return e.Key == key; });
  return it == entries_.end() ? nullptr : &*it;
}

tReportThrottle::Decision tReportThrottle::Decide(const tFailureKey& key, std::int64_t nowMs) {
  Entry* entry = Find(key);
  if (!entry) {
    if (entries_.size() >= kRememberedFailures) {
      auto oldest = std::min_element(entries_.begin(), entries_.end(),
                                     [](const Entry& a, const Entry& b) { return a.LastSeenMs < b.LastSeenMs; });
      heldBackForgotten_ += oldest->HeldBack;
      entries_.erase(oldest);
    }
    entries_.emplace_back();
    entry = &entries_.back();
    entry->Key = key;
  }
  entry->LastSeenMs = nowMs;
  Decision decision;
  const bool due = !entry->Reported || nowMs < entry->LastWrittenMs ||
                   nowMs - entry->LastWrittenMs >= kRepeatedReportIntervalMs;
  if (!due) {
    ++entry->HeldBack;
    decision.Write = false;
    decision.LastReport = entry->LastReport;
    return decision;
  }
  decision.HeldBack = entry->HeldBack;
  decision.HeldBackForgotten = heldBackForgotten_;
  return decision;
}

void tReportThrottle::Written(const tFailureKey& key, std::int64_t nowMs, const std::string& fileName) {
  heldBackForgotten_ = 0;
  Entry* entry = Find(key);
  if (!entry) return;
  entry->Reported = true;
  entry->LastWrittenMs = nowMs;
  entry->HeldBack = 0;
  entry->LastReport = fileName;
}

void tReportThrottle::NotWritten(const tFailureKey& key) {
  if (Entry* entry = Find(key)) ++entry->HeldBack;
}

std::string HeldBackNote(const tReportThrottle::Decision& decision) {
  std::string note;
  if (decision.HeldBack > 0) note += "[Held back=" + std::to_string(decision.HeldBack) + "]";
  if (decision.HeldBackForgotten > 0)
    note += "[Held back, forgotten failures=" + std::to_string(decision.HeldBackForgotten) + "]";
  return note;
}

}  // namespace diag
