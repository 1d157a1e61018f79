#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "pager-gateway/capcode_table.h"
#include "pager-gateway/decoder_line.h"
#include "platform/feed_wire.h"

namespace pagergw {

struct TimeOfDay {
  int hour = 0, minute = 0, second = 0;
};

// One line of the feed for one capcode of a page.
struct FeedLine {
  std::uint64_t capcode = 0;
  std::string pagerText;  // what the pager shows, for the duplicate check
  std::string text;       // "HH:MM:SS [AGENCY:capcode] message"
  std::string alias;      // from the table, for the journal
  std::string agency;     // the tag in the line
};

// The feed lines of a decoded page, one per capcode in the order decoded:
// time, a blank, "[" agency ":" capcode in decimal "]", a blank, the pager's
// text. A text beginning "CMD:" (a remote command of the kiosk) gets a blank in
// front, so a page can never be taken for one.
std::vector<FeedLine> MapPage(const DecodedPage& page, const CapcodeTable& table, TimeOfDay received);
// The feed line of one capcode of a page, its text given as the pager shows it.
FeedLine MakeFeedLine(TimeOfDay received, const std::string& agency, const std::string& alias, std::uint64_t capcode,
                      std::string message);

struct Datagram {
  std::string bytes;
  bool cut = false;  // the line was longer than the kiosk takes
};

// What goes on the wire for a line: at most platform::kFeedMaxDatagramBytes bytes, and never
// a text beginning "CMD:".
Datagram PrepareDatagram(std::string_view line);

}  // namespace pagergw
