#include "pager-gateway/dedup.h"

namespace pagergw {

bool DuplicateFilter::ShouldSend(std::uint64_t capcode, const std::string& text, std::int64_t nowMs) {
  // Forget what has left its window, so the map holds one window's pages at most.
  for (auto it = sent_.begin(); it != sent_.end();)
    it = nowMs - it->second >= windowMs_ ? sent_.erase(it) : std::next(it);
  auto [it, inserted] = sent_.try_emplace({capcode, text}, nowMs);
  return inserted;
}

}  // namespace pagergw
