#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <utility>

namespace pagergw {

// Several transmitters, and the network's own repeats, send a page more than
// once: the same text to the same capcode within the window after it was sent
// is sent once. Times are milliseconds of a steady clock, given by the caller.
class DuplicateFilter {
 public:
  explicit DuplicateFilter(std::int64_t windowMs) : windowMs_(windowMs) {}

  // Whether to send this text to this capcode at `nowMs`; a yes starts its window.
  bool ShouldSend(std::uint64_t capcode, const std::string& text, std::int64_t nowMs);
  // Entries still remembered (their window has not ended).
  std::size_t Remembered() const { return sent_.size(); }

 private:
  std::int64_t windowMs_;
  std::map<std::pair<std::uint64_t, std::string>, std::int64_t> sent_;
};

}  // namespace pagergw
