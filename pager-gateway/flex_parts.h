#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "pager-gateway/decoder_line.h"
#include "pager-gateway/feed_line.h"

namespace pagergw {

// Joins the parts of a long FLEX message into the one message its pagers show.
// A part is held until the last part to the same capcodes comes; a message
// whose next part does not come within kPartWaitMs is given out with the parts
// it has, and so is a last part that comes without the ones before it. Whole
// pages pass straight through. Times in milliseconds of a steady clock, given
// by the caller.
class FlexPartJoiner {
 public:
  // FLEX sends a part per frame (1.875 s); the next part of a message comes in
  // one of the next frames, or not at all.
  static constexpr std::int64_t kPartWaitMs = 6000;

  struct Ready {
    DecodedPage page;
    TimeOfDay received;  // when its first part was received
    std::string incomplete;  // empty, or why the page is given out without all its parts
  };

  // A decoded page received at `received` and `nowMs`: what is ready now (a
  // message cut short by a new one to its capcodes comes before that one).
  std::vector<Ready> Take(DecodedPage page, TimeOfDay received, std::int64_t nowMs);
  // The messages whose next part has not come in time.
  std::vector<Ready> Expire(std::int64_t nowMs);
  // Everything still held (at the end of the input).
  std::vector<Ready> Flush();
  std::size_t Held() const { return held_.size(); }

 private:
  struct Message {
    DecodedPage page;  // the parts so far, their texts joined
    TimeOfDay received;
    std::int64_t lastPartMs = 0;
    int parts = 0;
  };
  static Ready GiveOut(Message held, std::string why);

  std::map<std::vector<std::uint64_t>, Message> held_;
};

}  // namespace pagergw
