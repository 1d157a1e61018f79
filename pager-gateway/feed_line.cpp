#include "pager-gateway/feed_line.h"

#include <cstdio>

#include "pager-gateway/page_text.h"

namespace pagergw {

namespace {

constexpr std::string_view kCommandPrefix = "CMD:";

bool StartsWithCommand(std::string_view s) { return s.substr(0, kCommandPrefix.size()) == kCommandPrefix; }

}  // namespace

std::vector<FeedLine> MapPage(const DecodedPage& page, const CapcodeTable& table, TimeOfDay received) {
  const std::string message = PagerText(page);
  std::vector<FeedLine> lines;
  for (std::uint64_t capcode : page.capcodes) {
    const CapcodeEntry entry = table.Lookup(capcode);
    lines.push_back(MakeFeedLine(received, entry.agency, entry.alias, capcode, message));
  }
  return lines;
}

FeedLine MakeFeedLine(TimeOfDay received, const std::string& agency, const std::string& alias, std::uint64_t capcode,
                      std::string message) {
  if (StartsWithCommand(message)) message.insert(0, 1, ' ');
  char clock[16];
  std::snprintf(clock, sizeof clock, "%02d:%02d:%02d", received.hour % 100, received.minute % 100,
                received.second % 100);
  FeedLine line;
  line.capcode = capcode;
  line.pagerText = message;
  line.text = std::string(clock) + " [" + agency + ":" + std::to_string(capcode) + "] " + message;
  line.alias = alias;
  line.agency = agency;
  return line;
}

Datagram PrepareDatagram(std::string_view line) {
  Datagram d;
  d.bytes = std::string(line);
  if (StartsWithCommand(d.bytes)) d.bytes.insert(0, 1, ' ');
  if (d.bytes.size() > platform::kFeedMaxDatagramBytes) {
    d.bytes.resize(platform::kFeedMaxDatagramBytes);
    d.cut = true;
  }
  return d;
}

}  // namespace pagergw
