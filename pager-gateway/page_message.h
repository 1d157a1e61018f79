#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace pagergw {

// A page as it travels through the region's MQTT broker: a flat JSON object
//   {"time":"2024-05-01T10:11:12+10:00","capcode":1234567,"agency":"RVU",
//    "alias":"Brindlemoor rescue","text":"...","mode":"POCSAG1200","receiver":"ridge"}
// The text is the feed line's (single bytes; a "CMD:" text already has its
// blank in front), written with \u00XX for control characters and bytes above
// 127, so the payload is plain ASCII.
struct PageMessage {
  std::int64_t decoded = 0;   // when it was decoded: seconds since 1970-01-01 UTC
  int utcOffsetSeconds = 0;   // the receiver's zone, for the written time
  std::uint64_t capcode = 0;
  std::string agency, alias, text, mode, receiver;

  bool operator==(const PageMessage&) const = default;
};

// A payload longer than this is no page.
inline constexpr std::size_t kMaxPageMessageBytes = 8192;

// "<prefix>/pages/<agency>/<capcode>", the agency's ":" written as "/".
std::string PageTopic(std::string_view prefix, std::string_view agency, std::uint64_t capcode);
// "<prefix>/receivers/<name>/state".
std::string StateTopic(std::string_view prefix, std::string_view receiver);

std::string WritePageMessage(const PageMessage& page);
// The page of a payload; nothing, with the reason in `why`, for anything that
// is not exactly the object above (a key missing or unknown, a value of the
// wrong kind, nesting, an unknown mode, an agency that could not be a tag, a
// payload over kMaxPageMessageBytes).
std::optional<PageMessage> ReadPageMessage(std::string_view payload, std::string& why);

// ISO 8601 with the zone: "2024-05-01T10:11:12+10:00" ("Z" for UTC when read).
std::string WriteIsoTime(std::int64_t utcSeconds, int utcOffsetSeconds);
struct IsoTime {
  std::int64_t utcSeconds = 0;
  int utcOffsetSeconds = 0;
};
std::optional<IsoTime> ReadIsoTime(std::string_view text);

}  // namespace pagergw
